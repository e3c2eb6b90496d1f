#pragma once

#include "common/FileBytes.h"
#include "common/LocaleCheck.h"
#include "common/SimProcess.h"
#include "common/TempSettings.h"
#include "settings/SettingsStore.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <memory>

// How a doziduvov process ended.
struct ProcessRun {
    int exitCode = -1;
    bool crashed = false; // ended by a signal
    bool ended = false;   // within the test's limit
    qint64 elapsedMs = 0;
    QString stderrText;
};

// doziduvov as a real process with its own temporary folder, program folder and settings, in a
// German locale (or the one a test sets in its constructor) and without a display. Result files (ID, measured
// value and comment, separated by ";") go to outDir, named by part name and a counter.
class ConverterRun : public ::testing::Test {
protected:
    void SetUp() override {
        // A missing locale would run the program in "C" and hide every fault of a decimal comma.
        ASSERT_TRUE(localeInstalled(locale.toLatin1().constData()))
            << locale.toStdString() << " is not installed (scripts/setup generates it)";
        programDir = sim.dir() + QStringLiteral("/program");
        outDir = sim.dir() + QStringLiteral("/results");
        QDir().mkpath(programDir + QStringLiteral("/LanguageFiles"));
        QDir().mkpath(outDir);
        const QDir lang(QStringLiteral(DOZIDUVOV_BIN_DIR "/LanguageFiles"));
        for (const QString& f : lang.entryList({QStringLiteral("*.dll")}, QDir::Files))
            QFile::copy(lang.filePath(f), programDir + QStringLiteral("/LanguageFiles/") + f);
        settings::writeTextLines(programDir + QStringLiteral("/HeaderData.cfg"),
                                 {QStringLiteral("Auftrag"), QString::fromUtf8("Prüfer")},
                                 settings::CodePage::Windows1252);

        const QString ascii = QStringLiteral("ASCIISettings");
        const QString files = QStringLiteral("FileSettings");
        for (int c = 0; c < 22; ++c)
            store.Write(ascii, QStringLiteral("Label1_%1").arg(c), QString());
        store.Write(ascii, QStringLiteral("Label1_0"), QStringLiteral("1"));
        store.Write(ascii, QStringLiteral("Label1_5"), QStringLiteral("2"));
        store.Write(ascii, QStringLiteral("Label1_21"), QStringLiteral("3"));
        store.Write(ascii, QStringLiteral("ASCII"), QStringLiteral(";"));
        store.Write(ascii, QStringLiteral("CSV"), QStringLiteral("-1"));
        store.Write(files, QStringLiteral("DIR"), outDir);
        store.Write(files, QStringLiteral("FileName1"), QStringLiteral("0"));
        for (const char* k : {"FileName2", "FileName3", "FileName4", "FileName5"})
            store.Write(files, QString::fromLatin1(k), QStringLiteral("0"));
        store.Write(files, QStringLiteral("SEPERATOR"), QStringLiteral("5"));
        store.Write(files, QStringLiteral("FileCounter"), QStringLiteral("1"));
    }

    ProcessRun doziduvov(const QStringList& args, const QList<QPair<QString, QString>>& extraEnv = {}) {
        return run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), args, extraEnv);
    }

    // The environment every process of the test runs in.
    QProcessEnvironment environment(const QList<QPair<QString, QString>>& extraEnv = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), sim.dir());
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsDirs.userDir);
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), settingsDirs.systemDir);
        env.insert(QStringLiteral("XDG_DATA_HOME"), settingsDirs.dataDir);
        env.insert(QStringLiteral("DOZIDUVOV_PROGRAM_DIR"), programDir);
        env.insert(QStringLiteral("LANG"), locale);
        env.insert(QStringLiteral("LC_ALL"), locale);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // Failing runs would notify the desktop of whoever runs the tests.
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        for (const auto& [name, value] : extraEnv)
            env.insert(name, value);
        return env;
    }

    // Starts doziduvov without waiting for it (runs side by side).
    std::unique_ptr<QProcess> start(const QStringList& args) const {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), args);
        return p;
    }

    ProcessRun run(const QString& program, const QStringList& args,
                   const QList<QPair<QString, QString>>& extraEnv = {}, int limitMs = 60000) {
        QProcess p;
        p.setProcessEnvironment(environment(extraEnv));
        QElapsedTimer clock;
        clock.start();
        p.start(program, args);
        ProcessRun r;
        r.ended = p.waitForFinished(limitMs);
        r.elapsedMs = clock.elapsed();
        if (!r.ended) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "doziduvov did not end within " << limitMs << " ms";
            return r;
        }
        r.exitCode = p.exitCode();
        r.crashed = p.exitStatus() == QProcess::CrashExit;
        r.stderrText = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QByteArray result(const QString& name) { return readBytes(outDir + QLatin1Char('/') + name); }

    QString locale = QStringLiteral("de_DE.UTF-8");
    TempSettings settingsDirs;
    settings::SettingsStore store;
    SimProcess sim;
    QString programDir;
    QString outDir;
};
