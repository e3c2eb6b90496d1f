#include "run/BatchFile.h"

#include "run/RunReport.h"
#include "settings/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace run {

namespace {

const char* const kModes[] = {"/a", "/m", "/o"};
const char* const kChoices[] = {"/ALL", "/OOT", "/ALO"};

// cmd.exe acts on these outside quotes; escaped, a path holds them as plain characters.
QString cmdEscaped(const QString& s) {
    QString out;
    for (const QChar c : s) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%%");
        else if (QStringLiteral("&|<>^").contains(c))
            out += QLatin1Char('^') + c;
        else
            out += c;
    }
    return out;
}

QString shellQuoted(const QString& s) {
    QString q = s;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString withExtension(const QString& path, const QString& ext) {
    const QFileInfo fi(path);
    const QString suffix = fi.suffix();
    return (suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1)) + ext;
}

} // namespace

BatchFile makeBatchFile(const BatchChoice& c, ScriptKind kind) {
    const QString mode = c.mode >= 0 && c.mode <= 2 ? QString::fromLatin1(kModes[c.mode]) : QString();
    const QString choice =
        c.choice >= 0 && c.choice <= 2 ? QString::fromLatin1(kChoices[c.choice]) : QString();
    // Every run appends how it ended to the log beside the form, where someone will look.
    const QString log = withExtension(c.workbook1, QStringLiteral(".log"));
    const QString logVariable = QString::fromLatin1(runLogVariable());
    BatchFile f;
    if (kind == ScriptKind::WindowsBatch) {
        // Only the program path is quoted: the start options split at "/" and trim the rest.
        QString line = QLatin1Char('"') + c.program + QStringLiteral("\" ") + mode + QStringLiteral(" /") +
                       cmdEscaped(c.workbook1) + QStringLiteral(" /") + cmdEscaped(c.configuration) +
                       QLatin1Char(' ') + choice;
        if (c.choice == 2)
            line += QStringLiteral(" /") + cmdEscaped(c.workbook2);
        f.path = withExtension(c.workbook1, QStringLiteral(".bat"));
        // Inside the quotes of set only "%" still acts and is doubled; setlocal keeps the variable
        // out of a calling console.
        QString logPath = log;
        logPath.replace(QLatin1Char('%'), QStringLiteral("%%"));
        const QString setLog = QStringLiteral("set \"") + logVariable + QLatin1Char('=') + logPath +
                               QStringLiteral("\"\r\n");
        f.content = settings::encodeAnsi(QStringLiteral("@echo off\r\nsetlocal\r\n") + setLog + line +
                                             QStringLiteral("\r\n"),
                                         settings::systemCodePage());
        return f;
    }
    // One quoted word per start argument, as the program reads its arguments on POSIX.
    QStringList words{shellQuoted(c.program)};
    if (!mode.isEmpty())
        words << shellQuoted(mode);
    words << shellQuoted(c.workbook1) << shellQuoted(c.configuration);
    if (!choice.isEmpty())
        words << shellQuoted(choice);
    if (c.choice == 2 && !c.workbook2.trimmed().isEmpty())
        words << shellQuoted(c.workbook2);
    f.path = withExtension(c.workbook1, QStringLiteral(".sh"));
    f.content = (QStringLiteral("#!/bin/sh\n") + logVariable + QLatin1Char('=') + shellQuoted(log) +
                 QStringLiteral(" exec ") + words.join(QLatin1Char(' ')) + QLatin1Char('\n'))
                    .toUtf8();
    return f;
}

void writeBatchFile(const BatchFile& f, ScriptKind kind) {
    QSaveFile out(f.path);
    if (!out.open(QIODevice::WriteOnly))
        throw settings::FileError(f.path, out.errorString(), settings::FileError::Stage::Create);
    if (out.write(f.content) != f.content.size() || !out.commit())
        throw settings::FileError(f.path, out.errorString());
    if (kind == ScriptKind::PosixShell)
        QFile::setPermissions(f.path, QFile::permissions(f.path) | QFile::ExeOwner | QFile::ExeGroup |
                                          QFile::ExeOther);
}

} // namespace run
