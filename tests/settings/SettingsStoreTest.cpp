#include "settings/SettingsStore.h"
#include "common/TempSettings.h"
#include "settings/OutputFileSettings.h"
#include "settings/SettingsMessages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#ifndef _WIN32
#include <unistd.h>
#endif

using settings::SettingsStore;

namespace {
const QString kProg = QStringLiteral("ProgSettings");
}

TEST(SettingsStore, MissingValueReturnsDefaultAndStoresIt) {
    TempSettings tmp;
    SettingsStore store;
    EXPECT_EQ(store.Read(kProg, QStringLiteral("HEADER"), QStringLiteral("1")), QStringLiteral("1"));
    EXPECT_EQ(tmp.rawValue(QSettings::SystemScope, QStringLiteral("Settings/ProgSettings/HEADER")).toString(),
              QStringLiteral("1"));
    // A later reader with another default finds the first caller's value.
    EXPECT_EQ(store.Read(kProg, QStringLiteral("HEADER"), QStringLiteral("0")), QStringLiteral("1"));
}

TEST(SettingsStore, EmptyValueIsReturnedAsEmptyWithoutWriteBack) {
    TempSettings tmp;
    SettingsStore store;
    store.Write(kProg, QStringLiteral("TolProzent"), QString());
    EXPECT_EQ(store.Read(kProg, QStringLiteral("TolProzent"), QStringLiteral("90")), QString());
    EXPECT_EQ(
        tmp.rawValue(QSettings::SystemScope, QStringLiteral("Settings/ProgSettings/TolProzent")).toString(),
        QString());
}

TEST(SettingsStore, RootSwitchSelectsCurrentUserOnlyForTrue) {
    struct Case {
        const char* stored; // nullptr: missing
        bool currentUser;
    };
    const Case cases[] = {{nullptr, false}, {"true", true},   {"True", true},  {"TRUE", true},
                          {"1", false},     {"False", false}, {" TRUE", false}};
    for (const Case& c : cases) {
        TempSettings tmp;
        SettingsStore store;
        if (c.stored)
            store.WritePath(SettingsStore::RootSwitchPath, QString::fromLatin1(c.stored));
        store.selectRoot();
        EXPECT_EQ(store.usesCurrentUser(), c.currentUser) << (c.stored ? c.stored : "(missing)");
        // The switch always lives in the user scope; a missing one is created as "False".
        EXPECT_EQ(tmp.rawValue(QSettings::UserScope, QStringLiteral("Settings/CurrentUser")).toString(),
                  QString::fromLatin1(c.stored ? c.stored : "False"));
    }
}

TEST(SettingsStore, RootsAreSeparateStores) {
    TempSettings tmp;
    SettingsStore machine;
    machine.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), QStringLiteral("/srv/machine"));
    SettingsStore user;
    user.setSettingsRoot(SettingsStore::CurrentUserRoot);
    // The user scope must not fall back to the machine file.
    EXPECT_EQ(user.Read(QStringLiteral("FileSettings"), QStringLiteral("DIR"), QStringLiteral("/home/me")),
              QStringLiteral("/home/me"));
    EXPECT_EQ(machine.Read(QStringLiteral("FileSettings"), QStringLiteral("DIR"), QString()),
              QStringLiteral("/srv/machine"));
    // An empty section is no key level: the output settings read the switch this way.
    EXPECT_EQ(user.Read(QString(), QStringLiteral("CurrentUser"), QStringLiteral("FALSE")),
              QStringLiteral("FALSE"));
    EXPECT_EQ(tmp.rawValue(QSettings::UserScope, QStringLiteral("Settings/CurrentUser")).toString(),
              QStringLiteral("FALSE"));
}

TEST(SettingsStore, ValuesKeepTheirTextExactly) {
    TempSettings tmp;
    SettingsStore store;
    for (const QString& v :
         {QStringLiteral("a,b;c"), QStringLiteral("  blanks  "), QStringLiteral("Prüfer \"X\""),
          QStringLiteral("C:\\Forms\\Teil 1.xlsx"), QStringLiteral("-1")}) {
        store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("ASCII"), v);
        EXPECT_EQ(store.Read(QStringLiteral("ASCIISettings"), QStringLiteral("ASCII"), QString()), v);
    }
}

TEST(SettingsStore, ValueWrittenByAnotherProcessIsSeenAtTheNextRead) {
#ifdef _WIN32
    GTEST_SKIP() << "the other process writes the Linux settings file";
#endif
    TempSettings tmp;
    SettingsStore store;
    store.Write(kProg, QStringLiteral("TOP"), QStringLiteral("100"));
    EXPECT_EQ(store.Read(kProg, QStringLiteral("TOP"), QStringLiteral("1")), QStringLiteral("100"));
    QThread::msleep(20); // a new modification time, as a later write by another process has
    QFile f(tmp.systemFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Settings]\nProgSettings\\TOP=2400\n");
    f.close();
    EXPECT_EQ(store.Read(kProg, QStringLiteral("TOP"), QStringLiteral("1")), QStringLiteral("2400"));
}

TEST(SettingsStore, WithoutWriteAccessReadsReturnDefaultsAndWritesThrow) {
#ifdef _WIN32
    GTEST_SKIP() << "a registry key the user may not write needs a second Windows account";
#endif
    TempSettings tmp;
    tmp.makeSystemScopeReadOnly();
    SettingsStore store;
    EXPECT_EQ(
        store.Read(QStringLiteral("LanguageSettings"), QStringLiteral("Language"), QStringLiteral("German")),
        QStringLiteral("German"));
    EXPECT_FALSE(QFile::exists(tmp.systemFile()));
    EXPECT_FALSE(
        store.ReadDirect(QStringLiteral("LanguageSettings"), QStringLiteral("Language")).has_value());

    try {
        store.Write(kProg, QStringLiteral("TOP"), QStringLiteral("5"));
        FAIL() << "a failed write must throw";
    } catch (const settings::SettingsWriteError& e) {
        EXPECT_TRUE(e.onLocalMachine());
        EXPECT_TRUE(e.path().endsWith(QStringLiteral("\\Settings\\ProgSettings\\TOP")));
    }

    // The user's own root still works, which is the way out the message names.
    store.setSettingsRoot(SettingsStore::CurrentUserRoot);
    EXPECT_NO_THROW(store.Write(kProg, QStringLiteral("TOP"), QStringLiteral("5")));
}

TEST(SettingsStore, FailedWriteShowsOneMessageNamingTheWayOut) {
#ifdef _WIN32
    GTEST_SKIP() << "a registry key the user may not write needs a second Windows account";
#endif
    TempSettings tmp;
    tmp.makeSystemScopeReadOnly();
    SettingsStore store;
    settings::LanguageTable texts;
    texts.setSection(QStringLiteral("MessageBoxen"), {QStringLiteral("[h]"),
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      QStringLiteral("NOT SAVED"),
                                                      QStringLiteral("USE CURRENT USER")});
    QList<common::Message> shown;
    auto fn = [&](const common::Message& m) {
        shown.append(m);
        return common::MsgResult::Ok;
    };
    EXPECT_FALSE(
        settings::writeOrReport(store, kProg, QStringLiteral("TOP"), QStringLiteral("5"), texts, fn));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("NOT SAVED")));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("USE CURRENT USER")));
    EXPECT_EQ(shown[0].icon, common::MsgIcon::Error);
}

TEST(SettingsStore, FlagsAndNumbers) {
    struct Case {
        const char* text;
        std::optional<bool> flag;
    };
    const Case cases[] = {{"0", false},
                          {"1", true},
                          {"-1", true},
                          {"True", true},
                          {"false", false},
                          {" TRUE ", true},
                          {"2", true},
                          {"0.0", false},
                          {"", std::nullopt},
                          {"ja", std::nullopt},
                          {"#TRUE#", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(settings::parseFlag(QString::fromLatin1(c.text)), c.flag) << c.text;

    EXPECT_EQ(settings::parseNumber(QStringLiteral("87.5")), 87.5);
    EXPECT_EQ(settings::parseNumber(QStringLiteral("abc")), std::nullopt);
    EXPECT_EQ(settings::parseInteger(QStringLiteral("2.5")), 3);
    EXPECT_EQ(settings::parseInteger(QStringLiteral("-1")), -1);
    EXPECT_EQ(settings::parseInteger(QStringLiteral("1e20")), std::nullopt);
}

namespace {

// Machine-wide settings an ordinary user may read but not write, as on an installed station.
// Root writes everywhere, so as root the checks run again in a copy of this program as "nobody".
const char* const kReadOnlyFixture = "DOZIDUVOV_TEST_READONLY_SETTINGS";

void checkReadOnlyMachineSettings(const QString& dir) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir + QStringLiteral("/user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir + QStringLiteral("/system"));
    SettingsStore store;
    store.selectRoot();
    ASSERT_FALSE(store.usesCurrentUser());
    // A key the file lacks takes its default; the refused write of it costs no other key.
    EXPECT_EQ(store.Read(kProg, QStringLiteral("Missing"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(store.Read(kProg, QStringLiteral("TOP"), QStringLiteral("1")), QStringLiteral("4711"));

    // The user's change goes into the user's own store and wins for that key alone: nothing is
    // copied and no switch is set, so every other key keeps following the machine-wide file.
    EXPECT_TRUE(store.changesGoToCurrentUser());
    EXPECT_NO_THROW(store.Write(kProg, QStringLiteral("TOP"), QStringLiteral("5")));
    SettingsStore next;
    next.selectRoot();
    EXPECT_FALSE(next.usesCurrentUser());
    EXPECT_EQ(next.Read(kProg, QStringLiteral("TOP"), QStringLiteral("1")), QStringLiteral("5"));
    EXPECT_EQ(next.Read(QStringLiteral("FileSettings"), QStringLiteral("DIR"), {}), QStringLiteral("/old"));
    QSettings own(dir + QStringLiteral("/user/NORTAVE/Korvex_Zirirezu_DOZIDUVOV.conf"), QSettings::IniFormat);
    EXPECT_EQ(own.value(QStringLiteral("Settings/ProgSettings/TOP")).toString(), QStringLiteral("5"));
    EXPECT_FALSE(own.contains(QStringLiteral("Settings/FileSettings/DIR")));
    EXPECT_FALSE(own.contains(QStringLiteral("Settings/ProgSettings/Missing")));
    EXPECT_NE(own.value(QStringLiteral("Settings/CurrentUser")).toString().toUpper(), QStringLiteral("TRUE"));
}

} // namespace

TEST(SettingsStore, ReadOnlyMachineSettingsStayTheAdministratorsAndTheUsersChangesWinPerKey) {
#ifdef _WIN32
    GTEST_SKIP() << "an administrator's registry hive that the user cannot write needs two Windows accounts";
#else
    if (const QByteArray fixture = qgetenv(kReadOnlyFixture); !fixture.isEmpty()) {
        checkReadOnlyMachineSettings(QString::fromLocal8Bit(fixture));
        return;
    }
    QTemporaryDir tmp;
    const QString dir = tmp.path();
    const QString machineDir = dir + QStringLiteral("/system/NORTAVE");
    ASSERT_TRUE(QDir().mkpath(machineDir));
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/user")));
    {
        QSettings machine(machineDir + QStringLiteral("/Korvex_Zirirezu_DOZIDUVOV.conf"),
                          QSettings::IniFormat);
        machine.setValue(QStringLiteral("Settings/ProgSettings/TOP"), QStringLiteral("4711"));
        machine.setValue(QStringLiteral("Settings/FileSettings/DIR"), QStringLiteral("/old"));
    }
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
    for (const QString& d : {dir, dir + QStringLiteral("/system"), machineDir})
        QFile::setPermissions(d, getuid() == 0 ? open : readOnly);
    QFile::setPermissions(machineDir + QStringLiteral("/Korvex_Zirirezu_DOZIDUVOV.conf"),
                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(dir + QStringLiteral("/user"), QFileDevice::Permissions(0x7777));
    if (getuid() != 0) {
        checkReadOnlyMachineSettings(dir);
        QFile::setPermissions(dir + QStringLiteral("/system"), open);
        QFile::setPermissions(machineDir, open);
        return;
    }
    // A copy of this program, so that "nobody" may run it wherever the build lies.
    const QString self = dir + QStringLiteral("/settings_tests");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/proc/self/exe"), self));
    QFile::setPermissions(self, open);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kReadOnlyFixture), dir);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                 QStringLiteral("--clear-groups"), self,
                 QStringLiteral("--gtest_filter=SettingsStore.ReadOnlyMachineSettings*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
#endif
}

TEST(SettingsStore, AFirstStartFillsOnlyWhatWasNeverStored) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> before; // section/key, value
        QLocale locale;
        const char *dir, *csv, *txt, *separator; // nullptr: still not stored
    };
    const QLocale german(QLocale::German, QLocale::Germany), english(QLocale::English, QLocale::UnitedStates);
    const Case cases[] = {
        {"new user, German", {}, german, "<docs>", "-1", "0", ";"},
        {"new user, English", {}, english, "<docs>", "-1", "0", ","},
        {"folder chosen", {{"FileSettings/DIR", "/qs/"}}, german, "/qs/", "-1", "0", ";"},
        {"part program folder", {{"FileSettings/PartProgFolder", "-1"}}, german, nullptr, "-1", "0", ";"},
        {"TXT chosen", {{"ASCIISettings/TXT", "-1"}}, german, "<docs>", nullptr, "-1", nullptr},
        {"separator kept", {{"ASCIISettings/ASCII", "\t"}}, german, "<docs>", "-1", "0", "\t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempSettings tmp;
        SettingsStore store;
        QTemporaryDir home;
        const QString docs = home.path() + QStringLiteral("/Dokumente");
        for (const auto& [key, value] : c.before)
            store.Write(QString::fromLatin1(key).section(QLatin1Char('/'), 0, 0),
                        QString::fromLatin1(key).section(QLatin1Char('/'), 1), QString::fromLatin1(value));
        settings::storeFirstStartDefaults(store, docs, c.locale);
        auto stored = [&](const char* key) {
            return tmp.rawValue(QSettings::SystemScope, QStringLiteral("Settings/") + QString::fromLatin1(key));
        };
        const QString dir = QString::fromLatin1(c.dir ? c.dir : "").replace(QStringLiteral("<docs>"), docs + "/");
        EXPECT_EQ(stored("FileSettings/DIR").toString(), dir);
        EXPECT_EQ(QDir(docs).exists(), c.dir && QByteArray(c.dir) == "<docs>");
        EXPECT_EQ(stored("ASCIISettings/CSV").toString(), QString::fromLatin1(c.csv ? c.csv : ""));
        EXPECT_EQ(stored("ASCIISettings/TXT").toString(), QString::fromLatin1(c.txt ? c.txt : ""));
        EXPECT_EQ(stored("ASCIISettings/ASCII").toString(), QString::fromLatin1(c.separator ? c.separator : ""));
    }
}
