#include "common/FileBytes.h"
#include "settings/ExclusiveFile.h"
#include "settings/LocaleText.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <vector>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace settings;

TEST(LocaleText, NumbersInGermanAndEnglish) {
    struct Case {
        double value;
        const char* german;
        const char* english;
    };
    const Case cases[] = {
        {10.5, "10,5", "10.5"},
        {-0.05, "-0,05", "-0.05"},
        {0.0, "0", "0"},
        {-0.0, "0", "0"},
        {0.1 + 0.2, "0,3", "0.3"},                   // binary noise beyond 15 digits is dropped
        {1234567.891, "1234567,891", "1234567.891"}, // no thousands separator
        {1.23456789012345678, "1,23456789012346", "1.23456789012346"},
        {0.00001, "0,00001", "0.00001"},
        {123456789012345.0, "123456789012345", "123456789012345"},
        {0.000001, "1E-06", "1E-06"},
        {-0.0000015, "-1,5E-06", "-1.5E-06"},
        {1e15, "1E+15", "1E+15"},
        {1.7976931348623157e308, "1,79769313486232E+308", "1.79769313486232E+308"},
        {-1.7976931348623157e308, "-1,79769313486232E+308", "-1.79769313486232E+308"},
        {10.09, "10,09", "10.09"},
    };
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    for (const Case& c : cases) {
        EXPECT_EQ(numberText(c.value, de), QString::fromLatin1(c.german)) << c.german;
        EXPECT_EQ(numberText(c.value, en), QString::fromLatin1(c.english)) << c.english;
    }
}

TEST(LocaleText, BooleansAndDates) {
    struct Case {
        QLocale::Language language;
        const char* yes;
        const char* no;
    };
    const Case cases[] = {
        {QLocale::German, "Wahr", "Falsch"},      {QLocale::English, "True", "False"},
        {QLocale::French, "Vrai", "Faux"},        {QLocale::Italian, "Vero", "Falso"},
        {QLocale::Spanish, "Verdadero", "Falso"}, {QLocale::Portuguese, "Verdadeiro", "Falso"},
        {QLocale::Czech, "Pravda", "Nepravda"},   {QLocale::Hungarian, "Igaz", "Hamis"},
        {QLocale::Japanese, "True", "False"}};
    for (const Case& c : cases) {
        EXPECT_EQ(boolText(true, QLocale(c.language)), QString::fromLatin1(c.yes));
        EXPECT_EQ(boolText(false, QLocale(c.language)), QString::fromLatin1(c.no));
    }
    const QDate d(2026, 12, 6);
    EXPECT_EQ(shortDateText(d, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("06.12.2026"));
    EXPECT_EQ(shortDateText(d, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("12/6/2026"));
}

TEST(TextCodec, AnsiCodePages) {
    EXPECT_EQ(encodeAnsi(QString::fromUtf8("Toleranzüberschreitung"), CodePage::Windows1252),
              QByteArray("Toleranz\xfc"
                         "berschreitung"));
    EXPECT_EQ(encodeAnsi(QString::fromUtf8("č"), CodePage::Windows1250), QByteArray("\xe8"));
    // Characters the code page lacks become "?", as on Windows.
    EXPECT_EQ(encodeAnsi(QString::fromUtf8("a€č→b"), CodePage::Windows1252), QByteArray("a\x80??b"));
    EXPECT_EQ(decodeAnsi(QByteArray("\xe8"), CodePage::Windows1250), QString::fromUtf8("č"));
    EXPECT_EQ(decodeAnsi(QByteArray("\xe8"), CodePage::Windows1252), QString::fromUtf8("è"));
    EXPECT_EQ(codePageForLocale(QLocale(QLocale::Czech)), CodePage::Windows1250);
    EXPECT_EQ(codePageForLocale(QLocale(QLocale::French)), CodePage::Windows1252);
    EXPECT_EQ(codePageForLanguageName(QStringLiteral("Hungary")), CodePage::Windows1250);
}

TEST(TextCodec, LinesReadAndWrittenWithCrLf) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.cfg"));
    writeTextLines(path, {QStringLiteral("Auftrag"), QString(), QString::fromUtf8("Prüfer")},
                   CodePage::Windows1252);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Auftrag\r\n\r\nPr\xfc"
                                      "fer\r\n"));
    f.close();
    EXPECT_EQ(readTextLines(path, CodePage::Windows1252),
              QStringList({QStringLiteral("Auftrag"), QString(), QString::fromUtf8("Prüfer")}));

    // LF and lone CR end lines too; a last line without an end is still a line.
    QFile g(path);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
    g.write("a\nb\rc\r\nd");
    g.close();
    EXPECT_EQ(readTextLines(path, CodePage::Windows1252), QStringList({"a", "b", "c", "d"}));
    EXPECT_FALSE(readTextLines(dir.filePath(QStringLiteral("none")), CodePage::Windows1252).has_value());
    EXPECT_FALSE(readTextLines(path, CodePage::Windows1252, 3).has_value()); // larger than allowed
}

TEST(TextCodec, FailedWriteKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("result.csv"));
    writeTextLines(path, {QStringLiteral("old")}, CodePage::Windows1252);
    {
        TextFileWriter w(path, CodePage::Windows1252);
        w.writeLine(QStringLiteral("half"));
        // Destroyed without commit, as when a later line fails.
    }
    EXPECT_EQ(readTextLines(path, CodePage::Windows1252), QStringList({"old"}));
    EXPECT_THROW(
        writeTextLines(dir.filePath(QStringLiteral("no/such/folder/x.txt")), {}, CodePage::Windows1252),
        FileError);
}

namespace {} // namespace

TEST(ExclusiveFile, ANameIsClaimedOnceAndNeverReplaced) {
    for (const Claim how : {Claim::Auto, Claim::CreateThenRename}) {
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("new.tmp"));
        const QString taken = dir.filePath(QStringLiteral("taken.csv"));
        const QString free = dir.filePath(QStringLiteral("free.csv"));
        writeBytes(from, "new");
        writeBytes(taken, "old");
        EXPECT_FALSE(claimName(from, taken, how));
        EXPECT_EQ(readBytes(taken), QByteArray("old"));
        EXPECT_EQ(readBytes(from), QByteArray("new")); // kept for another name
        EXPECT_TRUE(claimName(from, free, how));
        EXPECT_EQ(readBytes(free), QByteArray("new"));
        EXPECT_FALSE(QFile::exists(from));
        EXPECT_THROW((void)claimName(from, dir.filePath(QStringLiteral("no/such/x.csv")), how), FileError);

        // Many writers at one moment: exactly one of them gets the name.
        constexpr int kWriters = 8;
        for (int round = 0; round < 20; ++round) {
            const QString target = dir.filePath(QStringLiteral("race%1.csv").arg(round));
            std::vector<QString> sources;
            for (int w = 0; w < kWriters; ++w) {
                sources.push_back(dir.filePath(QStringLiteral("w%1-%2.tmp").arg(round).arg(w)));
                writeBytes(sources.back(), QByteArray::number(w));
            }
            std::atomic<int> wins{0};
            std::atomic<bool> go{false};
            std::vector<std::thread> threads;
            for (int w = 0; w < kWriters; ++w)
                threads.emplace_back([&, w] {
                    while (!go)
                        std::this_thread::yield();
                    if (claimName(sources[static_cast<std::size_t>(w)], target, how))
                        ++wins;
                });
            go = true;
            for (std::thread& t : threads)
                t.join();
            EXPECT_EQ(wins.load(), 1) << "round " << round;
        }
    }
}

TEST(ExclusiveFile, TemporariesOfKilledRunsAreRemovedThoseOfLivingRunsKept) {
    QTemporaryDir dir;
    const QString host = QSysInfo::machineHostName();
    const QString me = QString::number(QCoreApplication::applicationPid());
    const struct {
        QString name;
        int ageSeconds;
        bool removed;
    } cases[] = {
        {QStringLiteral(".W.csv.a1B2c3.999999@") + host, 0, true},      // its process is gone
        {QStringLiteral(".W.csv.a1B2c3.") + me + '@' + host, 0, false}, // still writing
        {QStringLiteral(".W.csv.a1B2c3.4711@station9"), 60, false},     // another station, maybe busy
        {QStringLiteral(".W.csv.a1B2c3.4711@station9"), 2 * 86400, true},
        {QStringLiteral("W.csv.lhfPcc"), 60, false}, // as earlier versions named them
        {QStringLiteral("W.csv.lhfPcc"), 7200, true},
        {QStringLiteral("W.csv"), 7200, false},
        {QStringLiteral("Notizen.txt.backup"), 7200, false}, // a word, not a random part
    };
    for (const auto& c : cases) {
        const QString at = dir.filePath(c.name);
        writeBytes(at, "part");
        QFile f(at);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-c.ageSeconds),
                                  QFileDevice::FileModificationTime));
        f.close();
        removeLeftTemporaries(dir.path());
        EXPECT_EQ(!QFile::exists(at), c.removed) << c.name.toStdString() << " " << c.ageSeconds;
        QFile::remove(at);
    }
}

#ifndef Q_OS_WIN
TEST(TextFileWriter, KeptFileAppearsWholeWithTheModeOfAnyNewFile) {
    // Not the owner-only mode of a temporary file: others read results as they read any file.
    const mode_t saved = ::umask(0);
    for (const mode_t mask : {mode_t(022), mode_t(002), mode_t(077)}) {
        ::umask(mask);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.csv"));
        TextFileWriter w(path, CodePage::Windows1252, TextFileWriter::Existing::Keep);
        w.writeLine(QStringLiteral("x"));
        EXPECT_FALSE(QFile::exists(path)); // nothing under the name before it is complete
        ASSERT_TRUE(w.commitAs(path));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    }
    ::umask(saved);
}
#endif
