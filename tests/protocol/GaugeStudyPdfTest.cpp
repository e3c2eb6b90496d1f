// The type 1 gauge study report as a user reads it: its text through poppler's pdftotext, in
// German with the shipped texts, and its fonts embedded.
#include "protocol/GaugeStudyPdf.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QString tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(program);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The shipped German texts; the section is taken straight from the file, whether or not the
// language table reads it yet.
settings::LanguageTable germanTexts() {
    settings::LanguageTable t;
    const QString path = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/data/LanguageFiles/German.dll");
    settings::ParseLanguageFile(t, path, settings::CodePage::Windows1252);
    const QStringList lines =
        settings::readTextLines(path, settings::CodePage::Windows1252).value_or(QStringList());
    const qsizetype from = lines.indexOf(QStringLiteral("[Language Strings For GaugeStudy]"));
    if (!t.hasSection(protocol::gaugeStudySection()) && from >= 0)
        t.setSection(protocol::gaugeStudySection(), lines.mid(from));
    return t;
}

} // namespace

TEST(GaugeStudyPdf, FiguresAndVerdictReadBackInGerman) {
    // 25 values with s = 0.000284429 and mean 10.000064 (Python's statistics module); with
    // T = 0.04: Cg = 4.6878, Cgk = 4.6127, t = 1.1251, p = 0.2717 (t distribution, 24 df).
    const int d[] = {3, -2, 5, 0, -4, 1, 2, -1, 6, -3, 0, 2, -5, 4, 1, -2, 3, 0, -1, 2, -3, 1, 4, -2, 0};
    std::vector<double> spread;
    for (int x : d)
        spread.push_back(10.00002 + x * 0.0001);
    struct Case {
        const char* name;
        std::vector<double> values;
        double tolerance;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"capable",
         spread,
         0.04,
         {QStringLiteral("Messmittel fähig"), QStringLiteral("Cg +4,69"), QStringLiteral("Cgk +4,61"),
          QStringLiteral("x̄ +10,00006"), QStringLiteral("p +0,272"), QStringLiteral("4,3 %"),
          QStringLiteral("nicht signifikant")}},
        // T = 0.01: Cg = 1.1719, Cgk = 1.0969.
        {"not capable",
         spread,
         0.01,
         {QStringLiteral("Messmittel nicht fähig"), QStringLiteral("Cg +1,17"), QStringLiteral("Cgk +1,10")}},
        {"no spread",
         std::vector<double>(25, 10.001),
         0.04,
         {QStringLiteral("Fähigkeit nicht bestimmbar: keine Streuung"),
          QStringLiteral("Cg +– +keine Streuung")}},
    };
    const settings::LanguageTable texts = germanTexts();
    QTemporaryDir dir;
    for (const Case& c : cases) {
        protocol::GaugeStudyReport r(texts);
        r.locale = QLocale(QLocale::German, QLocale::Germany);
        r.program = QStringLiteral("Welle");
        r.characteristic = QStringLiteral("D1.D");
        r.operatorName = QStringLiteral("M. Köhler");
        r.created = QDateTime(QDate(2026, 3, 2), QTime(11, 5));
        r.firstUtc = QDateTime(QDate(2026, 3, 2), QTime(8, 0), Qt::UTC);
        r.lastUtc = QDateTime(QDate(2026, 3, 2), QTime(9, 12), Qt::UTC);
        r.values = c.values;
        r.reference = 10.0;
        r.tolerance = c.tolerance;
        r.study = statistics::gaugeStudy(r.values, r.reference, r.tolerance, r.settings);
        const QString file = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".pdf"));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(protocol::renderGaugeStudyPdf(r));
        out.close();

        EXPECT_TRUE(tool(QStringLiteral("pdfinfo"), {file})
                        .contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
            << c.name;
        const QString text =
            tool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
        EXPECT_TRUE(text.contains(QStringLiteral("Messmittelfähigkeit Verfahren 1"))) << c.name;
        EXPECT_TRUE(text.contains(QStringLiteral("M. Köhler"))) << c.name;
        EXPECT_TRUE(text.contains(QStringLiteral("25 Teile, 02.03.2026"))) << c.name;
        EXPECT_FALSE(text.contains(QStringLiteral("nan"), Qt::CaseInsensitive)) << c.name;
        for (const QString& e : c.expected)
            EXPECT_TRUE(text.contains(QRegularExpression(e))) << c.name << ": " << e.toStdString() << "\n"
                                                              << text.toStdString();
        // Every font in the file itself: the report reads the same on any machine.
        const QStringList fonts =
            tool(QStringLiteral("pdffonts"), {file}).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
        EXPECT_FALSE(fonts.isEmpty()) << c.name;
        for (const QString& f : fonts)
            EXPECT_TRUE(
                f.contains(QRegularExpression(QStringLiteral(" yes +(yes|no) +(yes|no) +\\d+ +\\d+$"))))
                << f.toStdString();
    }
}
