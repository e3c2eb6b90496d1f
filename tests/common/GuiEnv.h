#pragma once

#include "common/SimProcess.h"
#include "common/TempSettings.h"
#include "gui/MainWindow.h"
#include "hostlink/HostSocketClient.h"
#include "run/AppState.h"
#include "run/Conversion.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <deque>
#include <memory>

// A program folder with the language files, empty settings, a simulator and a main window whose
// message boxes are recorded and answered by the test.
class GuiEnv {
public:
    GuiEnv() {
        Q_INIT_RESOURCE(icons);
        const QString lang = m_programDir.path() + QStringLiteral("/LanguageFiles");
        QDir().mkpath(lang);
        const QDir src(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/data/LanguageFiles"));
        for (const QString& f : src.entryList({QStringLiteral("*.dll")}, QDir::Files))
            QFile::copy(src.filePath(f), lang + QLatin1Char('/') + f);
        qputenv("DOZIDUVOV_PROGRAM_DIR", m_programDir.path().toLocal8Bit());
        // The window's first start makes the documents folder: never in the real home.
        m_realHome = qgetenv("HOME");
        m_realConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toLocal8Bit());
        state.findHost = [] { return host::connectToHost(); };
        state.message = [this](const common::Message& m) {
            shown.append(m);
            if (!answers.empty()) {
                const common::MsgResult r = answers.front();
                answers.pop_front();
                return r;
            }
            return m.defaultButton;
        };
    }
    ~GuiEnv() {
        window.reset();
        qunsetenv("DOZIDUVOV_PROGRAM_DIR");
        qputenv("HOME", m_realHome);
        m_realConfig.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", m_realConfig);
    }

    QString programDir() const { return m_programDir.path(); }
    QString home() const { return m_home.path(); }

    gui::MainWindow& open() {
        window = std::make_unique<gui::MainWindow>(state, conversion);
        window->Form_Load();
        return *window;
    }

    void trigger(const QString& actionName) {
        auto* a = window->findChild<QAction*>(actionName);
        ASSERT_NE(a, nullptr) << actionName.toStdString();
        a->trigger();
    }

    TempSettings settings;
    SimProcess sim;
    run::AppState state;
    run::Conversion conversion{state};
    QList<common::Message> shown;
    std::deque<common::MsgResult> answers;
    std::unique_ptr<gui::MainWindow> window;

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_home;
    QByteArray m_realHome, m_realConfig;
};
