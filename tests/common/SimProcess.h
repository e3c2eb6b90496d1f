#pragma once

#include "hostlink/HostSocketClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// korvex-sim as a real process, in a temporary folder of its own (its socket lives under TMPDIR,
// so tests running side by side never meet). XDG_RUNTIME_DIR would put every test's socket in
// one place, so it is cleared for the simulator and for the clients of the test.
class SimProcess {
public:
    SimProcess() : m_dir(baseTemp() + QStringLiteral("/doziduvov-sim-XXXXXX")) {
        qputenv("TMPDIR", m_dir.path().toLocal8Bit());
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // The temporary folder the test started with (before any simulator changed TMPDIR).
    static QString baseTemp() {
        static const QString base = QDir::tempPath();
        return base;
    }
    ~SimProcess() { stop(); }

    QString dir() const { return m_dir.path(); }

    // Starts the simulator and waits until its socket answers.
    bool start(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), m_dir.path());
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(DOZIDUVOV_BIN_DIR "/korvex-sim"), args);
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            m_process.waitForReadyRead(10);
            if (m_process.readAllStandardError().contains("serving"))
                return true;
            if (m_process.state() != QProcess::Running)
                return false;
        }
        return false;
    }

    void write(const QByteArray& line) {
        m_process.write(line);
        m_process.waitForBytesWritten(1000);
    }

    // Standard output so far, as lines.
    QStringList log() {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Waits for a log line, processing the caller's events meanwhile.
    bool waitForLog(const QString& line, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (log().contains(line))
                return true;
            m_process.waitForReadyRead(10);
            QCoreApplication::processEvents();
        }
        return false;
    }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_out;
};

// Runs the event loop until the condition holds or the time is up.
template <typename Pred> bool spinUntil(Pred pred, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}
