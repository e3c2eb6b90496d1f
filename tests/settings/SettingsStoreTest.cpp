#include "settings/SettingsStore.h"
#include "common/TempSettings.h"
#include "settings/SettingsMessages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QThread>

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
