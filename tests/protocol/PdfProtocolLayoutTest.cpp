// The PDF protocol as a customer reads it: each row's unit and designation, the part's verdict and
// a footer that names the program file without the folder it lies in, checked in poppler's text.
#include "protocol/PdfProtocol.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <deque>

namespace {

struct Row {
    const char* id;
    const char* type;
    const char* unit;
    const char* shown; // the unit as the line shows it
    double nominal, upper, lower, measured;
    std::string comment;
};

struct Case {
    const char* name;
    const char* language; // a shipped file, or nothing for the built-in English
    const char* programFile;
    std::vector<Row> rows;
    int copies; // the rows repeated: designations carried across page breaks
    const char* verdict;
    const char* folder; // what the protocol never shows
    const char* pageOne;
};

const std::string kLong = "Lagersitz " + std::string(160, 'x') + " ENDE";

const std::vector<Case> kCases = {
    {"GermanInTolerance",
     "German",
     "C:\\Programme\\QS\\Welle.PRG",
     {{"D1", "DIAMETER", "MM", "mm", 25, 0.02, -0.02, 25.004, "Lagersitz vorne"},
      {"W1", "ANGLE", "GRAD", "°", 30, 0.5, -0.5, 30.1, ""},
      {"EB1", "FLATNESS", "MM", "mm", 0, 0.05, 0, 0.01, "Ebenheit Dichtfläche"}},
     1,
     "Teil in Toleranz",
     "Programme",
     "Seite 1 von 1"},
    {"EnglishOutOfToleranceLongDesignation",
     nullptr,
     "/home/qs/programs/Flansch.PRG",
     {{"BORE", "DIAMETER", "ZOLL", "inch", 1, 0.001, -0.001, 1.004, kLong},
      {"OK", "DISTANCE", "MM", "mm", 5, 0.1, -0.1, 5, ""}},
     1,
     "Part out of tolerance",
     "programs",
     "Page 1 of 1"},
    {"GermanUnmeasuredOverPages",
     "German",
     "/qs/Getriebe.PRG",
     {{"L", "DISTANCE", "MM", "mm", 10, 0.1, -0.1, 10.05, "Länge"},
      {"N", "DISTANCE", "MM", "mm", 10, 0.1, -0.1, std::nan(""), "ohne Wert"}},
     40,
     "Teil nicht vollständig gemessen",
     "/qs",
     "Seite 1 von 3"},
};

// The protocol of the case's rows, as the program draws it.
QByteArray protocolOf(const Case& c) {
    settings::LanguageTable texts;
    if (c.language) {
        const QString lang = QString::fromLatin1(c.language);
        ParseLanguageFile(texts,
                          QStringLiteral(DOZIDUVOV_SOURCE_DIR "/data/LanguageFiles/") + lang +
                              QStringLiteral(".dll"),
                          settings::codePageForLanguageName(lang));
    } else {
        texts.setSection(protocol::protocolSection(), {QStringLiteral("[h]")});
    }
    std::deque<model::MerkmalRow> rows;
    std::vector<protocol::ChosenRow> chosen;
    for (int copy = 0; copy < c.copies; ++copy)
        for (const Row& spec : c.rows) {
            model::MerkmalRow& r = rows.emplace_back();
            r.ID = QString::fromLatin1(spec.id) + (c.copies > 1 ? QString::number(copy) : QString());
            r.Achse = QStringLiteral("M");
            r.Typ = QString::fromLatin1(spec.type);
            r.Einheit = QString::fromLatin1(spec.unit);
            r.Nennwert = spec.nominal;
            r.OTol = spec.upper;
            r.UTol = spec.lower;
            r.Messwert = spec.measured + (c.copies > 1000 ? (copy % 2000) * 1e-5 : 0.0);
            r.Abweichung = spec.measured - spec.nominal;
            const double hi = spec.nominal + spec.upper, lo = spec.nominal + spec.lower;
            r.ATol = spec.measured > hi ? spec.measured - hi : spec.measured < lo ? spec.measured - lo : 0.0;
            chosen.push_back({&r, QString::fromStdString(spec.comment)});
        }
    const model::HeaderRows header{{QStringLiteral("Auftrag"), QStringLiteral("4711")}};
    const protocol::PdfContent content{
        {QString::fromUtf8(c.programFile), QStringLiteral("Welle"), QStringLiteral("B"), {}},
        chosen,
        header,
        QDateTime(QDate(2026, 12, 7), QTime(10, 19, 33)),
        QLocale(QLocale::German, QLocale::Germany),
        90.0,
        texts};
    return protocol::renderPdfProtocol(content);
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class PdfProtocolLayout : public ::testing::TestWithParam<Case> {};

TEST_P(PdfProtocolLayout, ShowsUnitsDesignationsVerdictAndFooter) {
    const Case& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.pdf"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(protocolOf(c));
    f.close();
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString all = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList pages = all.split(QLatin1Char('\f'), Qt::SkipEmptyParts);

    EXPECT_TRUE(pages.value(0).contains(QString::fromUtf8(c.verdict))) << all.toStdString();
    EXPECT_TRUE(pages.value(0).contains(QString::fromUtf8(c.pageOne))) << all.toStdString();
    const QString file =
        QString::fromUtf8(c.programFile).section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    for (const QString& page : pages) {
        const QString footer = page.trimmed().section(QLatin1Char('\n'), -1);
        EXPECT_TRUE(footer.contains(file)) << footer.toStdString();
        EXPECT_FALSE(page.contains(QString::fromUtf8(c.folder))) << page.toStdString();
    }
    // Every row once, with its unit right after the axis, and its designation below it.
    for (int copy = 0; copy < c.copies; ++copy)
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const Row& r = c.rows[i];
            const QString id = QString::fromLatin1(r.id) + (c.copies > 1 ? QString::number(copy) : QString());
            const QRegularExpression line(QStringLiteral("(^|\\n) *%1 +M +%2 +\\S[^\\n]*\\n([^\\n]*)")
                                              .arg(QRegularExpression::escape(id),
                                                   QRegularExpression::escape(QString::fromUtf8(r.shown))));
            const auto m = line.match(all);
            ASSERT_TRUE(m.hasMatch()) << id.toStdString() << "\n" << all.toStdString();
            EXPECT_EQ(all.count(line), 1) << id.toStdString();
            const QString below = m.captured(2).trimmed();
            if (r.comment == kLong) {
                EXPECT_TRUE(below.startsWith(QStringLiteral("Lagersitz xxx")) &&
                            below.endsWith(QChar(0x2026)))
                    << below.toStdString();
            } else if (!r.comment.empty()) {
                EXPECT_EQ(below, QString::fromStdString(r.comment));
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Cases, PdfProtocolLayout, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Not a check: the drawing time of a large protocol, for a profiler or `time`.
TEST(PdfProtocolLayout, DISABLED_TenThousandRows) {
    const Case c{"Large",
                 "German",
                 "/qs/Large.PRG",
                 {{"R", "DISTANCE", "MM", "mm", 12.5, 0.05, -0.05, 12.51, ""}},
                 10000,
                 "",
                 "",
                 ""};
    EXPECT_GT(protocolOf(c).size(), 100000);
}

} // namespace
