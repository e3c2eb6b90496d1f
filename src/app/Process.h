#pragma once

#include <QStringList>

namespace app {

// The arguments after the program's name, whole: on Windows from the command line's text, so
// that a name outside the ANSI code page arrives as typed.
QStringList commandArguments(int argc, char* argv[]);

// The start options as the run scans them: on Windows the command line's text after the program,
// in which only "/" and tab separate (a name keeps every blank); elsewhere the shell's words.
QStringList startOptionWords(const QStringList& arguments);

// A Windows program of the GUI subsystem gets no console: an unattended run started from one
// writes to its parent's console, unless its output is redirected already. Nothing elsewhere.
void useParentConsole();

} // namespace app
