#include "Process.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>

namespace app {

namespace {

bool usable(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

} // namespace

QStringList commandArguments(int, char*[]) {
    QStringList arguments;
    int count = 0;
    if (wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            arguments << QString::fromWCharArray(words[i]);
        LocalFree(words);
    }
    return arguments;
}

QStringList startOptionWords(const QStringList&) {
    const QString line = QString::fromWCharArray(GetCommandLineW());
    // The program's path comes first, quoted when it holds blanks.
    qsizetype end = 0;
    if (line.startsWith(QLatin1Char('"')))
        end = line.indexOf(QLatin1Char('"'), 1);
    else
        while (end < line.size() && line[end] != QLatin1Char(' ') && line[end] != QLatin1Char('\t'))
            ++end;
    QString options = end < 0 ? QString() : line.mid(end + 1).trimmed();
    // The program's own options stand before the start options.
    for (const QString& own : {QStringLiteral("-q "), QStringLiteral("--quiet ")})
        if (options.startsWith(own))
            options = options.mid(own.size()).trimmed();
    return {options};
}

void useParentConsole() {
    const bool out = usable(STD_OUTPUT_HANDLE), err = usable(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // Only the streams that go nowhere: a redirection of the batch file stays as it was.
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}

} // namespace app
