#pragma once

#include <QByteArray>
#include <QString>

// The file that starts an unattended run: a batch file on Windows, a shell script elsewhere.
namespace run {

enum class ScriptKind { WindowsBatch, PosixShell };

struct BatchChoice {
    int mode = -1;   // 0 /a, 1 /m, 2 /o; -1 none
    int choice = -1; // 0 /ALL, 1 /OOT, 2 /ALO; -1 none
    QString workbook1;
    QString workbook2;
    QString configuration;
    QString program; // full path of the program (with ".exe" on Windows)
};

struct BatchFile {
    QString path;
    QByteArray content;
};

// Named after the first workbook with its extension replaced by ".bat" or ".sh".
BatchFile makeBatchFile(const BatchChoice& c, ScriptKind kind);

// Writes the file (executable where that matters); throws settings::FileError.
void writeBatchFile(const BatchFile& f, ScriptKind kind);

inline ScriptKind platformScriptKind() {
#ifdef Q_OS_WIN
    return ScriptKind::WindowsBatch;
#else
    return ScriptKind::PosixShell;
#endif
}

} // namespace run
