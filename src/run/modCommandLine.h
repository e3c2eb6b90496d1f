#pragma once

#include "model/Klassifizierung.h"

#include <QString>
#include <QStringList>

namespace run {

using StartArgsArray = std::array<QString, 6>; // index 1 to 5

// The Windows command-line text after the program path: "/" and tab separate, blanks are
// ordinary characters, at most max arguments, each trimmed.
StartArgsArray ParseCommandLine(const QString& text, int max = 5);

// On POSIX the shell has split the words: each is one argument in order, trimmed; a "/" before
// a switch word (a, m, o, ALL, OOT, ALO in any case) is dropped.
StartArgsArray StartArgsFromWords(const QStringList& words, int max = 5);

bool isRunMode(const QString& mode);     // a A m M o O
bool isOfflineMode(const QString& mode); // a A m M
bool isOnlineMode(const QString& mode);  // o O

// The rows an unattended run outputs (the choice of the fourth argument); entry k for row k + 1.
model::Selection chooseRows(const model::MerkmalTable& table, int entries, const StartArgsArray& args);
// The correction rows (the "OOT" rule) with the mode's condition.
model::Selection chooseCorrectionRows(const model::MerkmalTable& table, int entries,
                                      const StartArgsArray& args);

} // namespace run
