#pragma once

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// Points both settings scopes at a fresh temporary folder, so tests never touch the real
// hives. QSettings keeps its paths process-wide, so each test re-points them.
class TempSettings {
public:
    TempSettings() {
        userDir = m_dir.path() + QStringLiteral("/user");
        systemDir = m_dir.path() + QStringLiteral("/system");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, userDir);
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, systemDir);
#ifdef _WIN32
        // The registry has no folder to point elsewhere: the tests' Wine prefix is theirs alone,
        // and each test starts on empty keys.
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope})
            native(scope)->clear();
#endif
        // The results history lives in the data folder: never the real one either.
        dataDir = m_dir.path() + QStringLiteral("/data");
        qputenv("XDG_DATA_HOME", dataDir.toLocal8Bit());
    }

    // A system scope that cannot be written, not even by root: its folder would lie below a file.
    void makeSystemScopeReadOnly() {
        QFile blocker(m_dir.path() + QStringLiteral("/blocker"));
        blocker.open(QIODevice::WriteOnly);
        blocker.close();
        systemDir = blocker.fileName() + QStringLiteral("/system");
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, systemDir);
    }

    QString userFile() const { return userDir + QStringLiteral("/NORTAVE/Korvex_Zirirezu_DOZIDUVOV.conf"); }
    QString systemFile() const {
        return systemDir + QStringLiteral("/NORTAVE/Korvex_Zirirezu_DOZIDUVOV.conf");
    }

    // What another process would see in the file (the registry) right now.
    QVariant rawValue(QSettings::Scope scope, const QString& key) const {
#ifdef _WIN32
        return native(scope)->value(key);
#else
        QSettings s(scope == QSettings::UserScope ? userFile() : systemFile(), QSettings::IniFormat);
        return s.value(key);
#endif
    }

    static std::unique_ptr<QSettings> native(QSettings::Scope scope) {
        return std::make_unique<QSettings>(QSettings::NativeFormat, scope, QStringLiteral("NORTAVE"),
                                           QStringLiteral("Korvex_Zirirezu_DOZIDUVOV"));
    }

    QString path() const { return m_dir.path(); }
    QString userDir;
    QString systemDir;
    QString dataDir;

private:
    QTemporaryDir m_dir;
};
