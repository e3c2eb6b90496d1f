#include "common/FileBytes.h"
#include "settings/LanguageTable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using settings::CodePage;
using settings::LanguageTable;

namespace {

const QString kMain = QStringLiteral("frm_MainWindow");
const QString kBox = QStringLiteral("MessageBoxen");

QString header(const QString& section) {
    return QStringLiteral("[Language Strings For %1]").arg(section);
}

struct Collector {
    QList<common::Message> shown;
    common::MessageFn fn() {
        return [this](const common::Message& m) {
            shown.append(m);
            return common::MsgResult::Ok;
        };
    }
};

} // namespace

TEST(ParseLanguageFile, SectionRules) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("resource.dll"));
    const QByteArray text = "stray line before any header\r\n"
                            "[Language Strings For frm_MainWindow]\r\n"
                            "Version\r\n"
                            "\r\n"
                            "[Language Strings For frm_MainWindow ]\r\n" // extra blank: an ordinary line
                            "[Language Strings For frm_About]\r\n"
                            "[Language Strings For StatusBar]\r\n"
                            "old\r\n"
                            "[Language Strings For StatusBar]\r\n" // repeated: starts afresh
                            "new\n"
                            "[language strings for MessageBoxen]\r\n"; // wrong case: ordinary line
    writeBytes(path, text);
    LanguageTable t;
    t.setFallback(false); // the table as the file gives it
    ASSERT_TRUE(ParseLanguageFile(t, path, CodePage::Windows1252));

    EXPECT_EQ(t.lineCount(kMain), 4);
    EXPECT_EQ(t.text(kMain, 1), header(kMain));
    EXPECT_EQ(t.text(kMain, 2), QStringLiteral("Version"));
    EXPECT_EQ(t.text(kMain, 3), QString()); // empty lines are entries too
    EXPECT_EQ(t.text(kMain, 4), QStringLiteral("[Language Strings For frm_MainWindow ]"));
    EXPECT_EQ(t.lineCount(QStringLiteral("frm_About")), 1); // two headers in a row
    EXPECT_EQ(t.lineCount(QStringLiteral("StatusBar")), 3);
    EXPECT_EQ(t.text(QStringLiteral("StatusBar"), 2), QStringLiteral("new"));
    EXPECT_EQ(t.text(QStringLiteral("StatusBar"), 3), QStringLiteral("[language strings for MessageBoxen]"));
    EXPECT_FALSE(t.hasSection(kBox));
    // Beyond the end of a section, and of unknown sections: empty, never a crash.
    EXPECT_EQ(t.text(kMain, 99), QString());
    EXPECT_EQ(t.text(kMain, 0), QString());
    EXPECT_EQ(t.text(QStringLiteral("nope"), 2), QString());
}

TEST(ParseLanguageFile, ReplacesOnlyTheSectionsTheFileHasAndDecodesItsCodePage) {
    QTemporaryDir dir;
    LanguageTable t;
    t.setSection(kBox, {header(kBox), QStringLiteral("kept")});
    const QString path = dir.filePath(QStringLiteral("resource.dll"));
    // "Tschechisch" in Czech, in Windows-1250: \xe8 is c with caron there, e with grave in 1252.
    writeBytes(path, "[Language Strings For frm_MainWindow]\r\n\xc8"
                     "e\x9atina\r\n");
    ASSERT_TRUE(ParseLanguageFile(t, path, CodePage::Windows1250));
    EXPECT_EQ(t.text(kMain, 2), QString::fromUtf8("Čeština"));
    EXPECT_EQ(t.text(kBox, 2), QStringLiteral("kept"));

    // A UTF-8 file with a byte order mark reads as UTF-8 whatever the language.
    writeBytes(path, "\xEF\xBB\xBF[Language Strings For frm_MainWindow]\r\nPr\xC3\xBC"
                     "fer\r\n");
    ASSERT_TRUE(ParseLanguageFile(t, path, CodePage::Windows1250));
    EXPECT_EQ(t.text(kMain, 2), QString::fromUtf8("Prüfer"));

    EXPECT_FALSE(ParseLanguageFile(t, dir.filePath(QStringLiteral("missing.dll")), CodePage::Windows1252));
    EXPECT_EQ(t.text(kMain, 2), QString::fromUtf8("Prüfer"));
}

TEST(LoadLanguage, MissingFileKeepsTheTextsAndSaysWhichFile) {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("LanguageFiles"));
    LanguageTable t;
    t.setSection(kMain, {header(kMain), QStringLiteral("Version")});
    Collector c;
    for (const QString& name : {QStringLiteral("Hungary"), QStringLiteral("../German"), QString()}) {
        EXPECT_FALSE(LoadLanguage(t, name, dir.path(), c.fn()));
    }
    ASSERT_EQ(c.shown.size(), 3);
    EXPECT_EQ(c.shown[0].text,
              QStringLiteral("Language file ") +
                  QDir::toNativeSeparators(dir.path() + QStringLiteral("/LanguageFiles/Hungary.dll")) +
                  QStringLiteral(" did not exist."));
    EXPECT_EQ(c.shown[0].icon, common::MsgIcon::Information);
    EXPECT_EQ(c.shown[0].caption, common::applicationTitle());
    EXPECT_EQ(t.text(kMain, 2), QStringLiteral("Version"));
}

TEST(LoadLanguage, CopiesToTheWorkingCopyOrReadsTheFileItself) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("LanguageFiles"));
    QDir().mkpath(folder);
    writeBytes(folder + QStringLiteral("/English.dll"),
               "[Language Strings For frm_MainWindow]\r\nVersion\r\n");
    LanguageTable t;
    Collector c;
    ASSERT_TRUE(LoadLanguage(t, QStringLiteral("English"), dir.path(), c.fn()));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/resource.dll")));
    EXPECT_EQ(t.text(kMain, 2), QStringLiteral("Version"));

    // The working copy cannot be written (a folder stands in its place): the language file is
    // parsed directly and the program goes on without a message.
    QFile::remove(folder + QStringLiteral("/resource.dll"));
    QDir().mkpath(folder + QStringLiteral("/resource.dll/blocked"));
    writeBytes(folder + QStringLiteral("/French.dll"),
               "[Language Strings For frm_MainWindow]\r\nVersion FR\r\n");
    ASSERT_TRUE(LoadLanguage(t, QStringLiteral("French"), dir.path(), c.fn()));
    EXPECT_EQ(t.text(kMain, 2), QStringLiteral("Version FR"));
    EXPECT_TRUE(c.shown.isEmpty());
}

TEST(ShippedLanguageFiles, EveryFileHasEveryCitedLine) {
    // The highest line the program uses in each section.
    const QList<QPair<QString, int>> needed = {
        {QStringLiteral("frm_About"), 5},
        {QStringLiteral("frm_AsciiFileSetup"), 40},
        {QStringLiteral("frm_OutputFileSetup"), 26},
        {QStringLiteral("frm_BatchFileEditor"), 18},
        {QStringLiteral("frm_ReportDesignSetup"), 51},
        {QStringLiteral("frm_WindowPositionSetup"), 10},
        {QStringLiteral("frm_MainWindow"), 82},
        {QStringLiteral("frm_HeaderDataSetup"), 15},
        {QStringLiteral("frm_ExcelOnline"), 7},
        {QStringLiteral("frm_SavePartProgram"), 10},
        {QStringLiteral("frm_SelectOutputFolder"), 6},
        {QStringLiteral("MessageBoxen"), 85},
        {QStringLiteral("StatusBar"), 25},
        {QStringLiteral("Protocols"), 42},
        {QStringLiteral("History"), 77},
        {QStringLiteral("GaugeStudy"), 66},
        {QStringLiteral("RunReport"), 8},
    };
    ASSERT_EQ(needed.size(), settings::languageSectionNames().size());
    const QString folder = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/data/LanguageFiles/");
    for (const char* lang :
         {"German", "English", "French", "Italian", "Portuguese", "Spanish", "Czech", "Hungary"}) {
        const QString name = QString::fromLatin1(lang);
        const QString path = folder + name + QStringLiteral(".dll");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << lang;
        const QByteArray bytes = f.readAll();
        EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << lang << ": must be in the ANSI code page";
        EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n')) << lang << ": every line ends in CR LF";

        LanguageTable t;
        ASSERT_TRUE(ParseLanguageFile(t, path, settings::codePageForLanguageName(name))) << lang;
        for (const auto& [section, lines] : needed) {
            EXPECT_GE(t.lineCount(section), lines) << lang << " " << section.toStdString();
            for (int i = 2; i <= lines; ++i) {
                const QString s = t.text(section, i);
                EXPECT_FALSE(s.trimmed().isEmpty()) << lang << " " << section.toStdString() << " " << i;
                EXPECT_FALSE(s.contains(QChar::ReplacementCharacter)) << lang << " " << section.toStdString();
            }
        }
        EXPECT_EQ(t.text(QStringLiteral("frm_AsciiFileSetup"), 31), QStringLiteral("*.csv")) << lang;
        EXPECT_EQ(t.text(kMain, 3).count(QLatin1Char('&')), 1) << lang;
        // The texts the program fills in: a placeholder lost in translation loses the number.
        const QList<QPair<int, QStringList>> filled = {
            {51, {QStringLiteral("%1")}},
            {54, {QStringLiteral("%1")}},
            {55, {QStringLiteral("%1")}},
            {56, {QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral("%3")}},
            {60, {QStringLiteral("%1"), QStringLiteral("%2")}},
            {61, {QStringLiteral("%1")}},
            {62, {QStringLiteral("%1")}},
            {64, {QStringLiteral("%1")}},
            {84, {QStringLiteral("%1")}},
        };
        for (const auto& [line, marks] : filled)
            for (const QString& mark : marks)
                EXPECT_TRUE(t.text(QStringLiteral("MessageBoxen"), line).contains(mark))
                    << lang << " " << line;
        EXPECT_TRUE(t.text(QStringLiteral("StatusBar"), 15).contains(QStringLiteral("%1"))) << lang;
        // The protocol's counts and page numbers, and the written files' names.
        const QList<QPair<int, QStringList>> protocolFilled = {
            {23, {QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral("%3")}},
            {24, {QStringLiteral("%1"), QStringLiteral("%2")}},
            {27, {QStringLiteral("%1")}},
            {28, {QStringLiteral("%1")}},
            {32, {QStringLiteral("%1")}},
            {34, {QStringLiteral("%1")}},
            {41, {QStringLiteral("%1")}},
        };
        for (const auto& [line, marks] : protocolFilled)
            for (const QString& mark : marks)
                EXPECT_TRUE(t.text(QStringLiteral("Protocols"), line).contains(mark)) << lang << " " << line;
        for (int line : {17, 25})
            EXPECT_TRUE(t.text(QStringLiteral("StatusBar"), line).contains(QStringLiteral("%1")))
                << lang << " " << line;
        for (const QString& mark : {QStringLiteral("%1"), QStringLiteral("%2")})
            EXPECT_TRUE(t.text(QStringLiteral("StatusBar"), 16).contains(mark)) << lang;
        for (const auto& [line, marks] :
             QList<QPair<int, QStringList>>{{3, {QStringLiteral("%1")}},
                                            {4, {QStringLiteral("%1"), QStringLiteral("%2")}},
                                            {5, {QStringLiteral("%1")}}})
            for (const QString& mark : marks)
                EXPECT_TRUE(t.text(QStringLiteral("History"), line).contains(mark)) << lang << " " << line;
    }
}

TEST(LanguageTable, AMissingLineOrFileFallsBackToEnglishNeverToAnEmptyMessage) {
    QTemporaryDir dir;
    LanguageTable t;
    // No file at all: the built-in English texts.
    EXPECT_EQ(t.text(kBox, 41), QStringLiteral("Korvex was not found."));
    // A file that lacks lines: the lines it has, English for the others.
    const QString path = dir.filePath(QStringLiteral("short.dll"));
    writeBytes(path, "[Language Strings For MessageBoxen]\r\nDie Einstellungsdatei\r\n");
    ASSERT_TRUE(ParseLanguageFile(t, path, CodePage::Windows1252));
    EXPECT_EQ(t.text(kBox, 2), QStringLiteral("Die Einstellungsdatei"));
    EXPECT_EQ(t.text(kBox, 41), QStringLiteral("Korvex was not found."));
    EXPECT_EQ(t.text(kBox, 999), QString());

    // Files that are no language file are refused, and the texts stay as they were.
    const QByteArray notLanguageFiles[] = {
        QByteArray(), QByteArray("\x89PNG\r\n\x1a\n garbage"),
        QByteArray("\xff\xfe[\0L\0a\0n\0g\0", 12), // UTF-16
    };
    for (const QByteArray& bytes : notLanguageFiles) {
        writeBytes(path, bytes);
        EXPECT_FALSE(ParseLanguageFile(t, path, CodePage::Windows1252));
        EXPECT_EQ(t.text(kBox, 2), QStringLiteral("Die Einstellungsdatei"));
    }
}
