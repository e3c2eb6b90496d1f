#include "common/MessageLine.h"

#include <QByteArray>
#include <QList>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace common {

namespace {

// systemd sets JOURNAL_STREAM to "device:inode" of the stream it connected; a child that
// inherited the variable but writes elsewhere (a pipe, a file) must not get the prefixes.
bool stderrIsJournal() {
#ifdef Q_OS_UNIX
    const QList<QByteArray> parts = qgetenv("JOURNAL_STREAM").split(':');
    if (parts.size() != 2)
        return false;
    bool devOk = false;
    bool inoOk = false;
    const qulonglong dev = parts[0].toULongLong(&devOk);
    const qulonglong ino = parts[1].toULongLong(&inoOk);
    struct stat st {};
    return devOk && inoOk && ::fstat(2, &st) == 0 && static_cast<qulonglong>(st.st_dev) == dev &&
           static_cast<qulonglong>(st.st_ino) == ino;
#else
    return false;
#endif
}

} // namespace

const char* messageKind(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Warning:
        return "warning";
    case MsgIcon::Error:
    case MsgIcon::Critical:
        return "error";
    case MsgIcon::Question:
        return "question";
    default:
        return "info";
    }
}

QString singleLine(const QString& text) {
    // Line breaks are white space too: one space each, as any run of blanks.
    return text.simplified();
}

const char* journalPrefix(MsgIcon icon) {
    static const bool journal = stderrIsJournal();
    if (!journal)
        return "";
    switch (icon) {
    case MsgIcon::Error:
    case MsgIcon::Critical:
        return "<3>";
    case MsgIcon::Warning:
        return "<4>";
    default:
        return "";
    }
}

} // namespace common
