#include "gui/DesktopOpen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace gui {

bool openWithDesktop(const QUrl& url, QObject* owner, std::function<void()> failed) {
#ifndef Q_OS_WIN
    // Qt starts the desktop's opener detached and counts that as success; the opener says by its
    // exit status whether it found a program for the file.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        // Without a parent: a viewer the opener still waits for stays open when we end.
        auto* process = new QProcess;
        process->setProgram(opener);
        process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::finished, owner,
                         [failed](int code, QProcess::ExitStatus status) {
                             if (status != QProcess::NormalExit || code != 0)
                                 failed();
                         });
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                process->deleteLater();
        });
        QObject::connect(process, &QProcess::errorOccurred, owner, [failed](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                failed();
        });
        process->start();
        return true;
    }
#endif
    return QDesktopServices::openUrl(url);
}

} // namespace gui
