// Whole-program runs: korvex-sim and doziduvov as real processes, with their own temporary
// folder, program folder and settings, in a German locale and without a display.
#include "common/ConverterRun.h"
#include "common/FileBytes.h"
#include "excel/WorkbookReader.h"
#include "run/BatchFile.h"
#include "settings/SettingsStore.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTime>

namespace {

const QString kExamples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/");
const QString kExpected = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/e2e/expected/");

class Unattended : public ConverterRun {
protected:
    // With DOZIDUVOV_UPDATE_REFERENCES set, the written file becomes the reference (review it!).
    QByteArray expected(const QString& name, const QString& written) {
        if (!qEnvironmentVariableIsEmpty("DOZIDUVOV_UPDATE_REFERENCES")) {
            QFile::remove(kExpected + name);
            QFile::copy(outDir + QLatin1Char('/') + written, kExpected + name);
        }
        return expected(name);
    }
    QByteArray expected(const QString& name) {
        QFile f(kExpected + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing reference " + name.toUtf8());
    }
};

} // namespace

TEST_F(Unattended, AllReportedRowsToAnAsciiFileAndTheCounterGoesOn) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    // The libraries' own messages go to the program's log, not into a batch file's output; the
    // PDF protocol's fonts and platform have plenty to say.
    store.Write(QStringLiteral("FileSettings"), QStringLiteral("PDF"), QStringLiteral("1"));
    ProcessRun r = doziduvov({QStringLiteral("/a")},
                             {{QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true")}});
    store.Write(QStringLiteral("FileSettings"), QStringLiteral("PDF"), QStringLiteral("0"));
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_EQ(r.stderrText, QString());
    EXPECT_GT(QFileInfo(settingsDirs.dataDir + QStringLiteral("/doziduvov/doziduvov.log")).size(), 0);
    EXPECT_EQ(result(QStringLiteral("Welle-0001.csv")),
              expected(QStringLiteral("Welle_a.csv"), QStringLiteral("Welle-0001.csv")));

    r = doziduvov({QStringLiteral("/A")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_EQ(result(QStringLiteral("Welle-0002.csv")), expected(QStringLiteral("Welle_a.csv")));
}

TEST_F(Unattended, MarkedRowsOfflineAndOnline) {
    ASSERT_TRUE(
        sim.start({QStringLiteral("--execute-on-subscribe"), kExamples + QStringLiteral("Welle.PRG")}));
    ProcessRun r = doziduvov({QStringLiteral("/m")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_EQ(result(QStringLiteral("Welle-0001.csv")),
              expected(QStringLiteral("Welle_m.csv"), QStringLiteral("Welle-0001.csv")));

    // Online: the host executes the program, the end of execution writes the same rows.
    r = doziduvov({QStringLiteral("/o")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_EQ(result(QStringLiteral("Welle-0002.csv")), expected(QStringLiteral("Welle_m.csv")));
}

// The same part in the locales our users run: every number the same, to the last of its five
// decimals, in the result file, the AQDEF file, the PDF protocol and the form; only the texts
// for people take the locale's decimal separator.
class AcrossLocales : public Unattended, public ::testing::WithParamInterface<const char*> {
protected:
    AcrossLocales() { locale = QString::fromLatin1(GetParam()); }
    bool comma() const { return locale.startsWith(QLatin1String("de")); }
    // A reference written with decimal commas, as this locale writes it.
    QByteArray inThisLocale(QByteArray text) const {
        if (!comma())
            text = QString::fromLatin1(text)
                       .replace(QRegularExpression(QStringLiteral("(\\d),(\\d)")), QStringLiteral("\\1.\\2"))
                       .toLatin1();
        return text;
    }
};

INSTANTIATE_TEST_SUITE_P(Locales, AcrossLocales, ::testing::Values("de_DE.UTF-8", "en_US.UTF-8", "C.UTF-8"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST_P(AcrossLocales, ResultFileAqdefFilePdfProtocolAndFormHoldTheSameNumbers) {
    const QString files = QStringLiteral("FileSettings");
    store.Write(files, QStringLiteral("AQDEF"), QStringLiteral("1"));
    store.Write(files, QStringLiteral("PDF"), QStringLiteral("1"));
    store.Write(files, QStringLiteral("AQDEF_K0006"), QStringLiteral("Auftrag"));
    store.Write(files, QStringLiteral("AQDEF_K0008"), QString::fromUtf8("Prüfer"));
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    // A desktop's platform in the environment: the protocol is drawn without any screen.
    const ProcessRun r =
        doziduvov({QStringLiteral("/a")}, {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")}});
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    // LOC1.D measured 25.0123456: 25,01235 and its deviation 0,01235.
    const QByteArray csv = result(QStringLiteral("Welle-0001.csv"));
    EXPECT_TRUE(csv.contains(comma() ? "LOC1;D;25,01235;" : "LOC1;D;25.01235;")) << csv.toStdString();
    EXPECT_EQ(csv,
              inThisLocale(comma() ? expected(QStringLiteral("Welle_a.csv"), QStringLiteral("Welle-0001.csv"))
                                   : expected(QStringLiteral("Welle_a.csv"))));
    // The operator's name is no operator number: left out of K0008, and the log says so.
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("\"M. Keller\""))) << r.stderrText.toStdString();

    // The AQDEF file is for machines: a decimal point in every locale. The moment of the run is
    // the one thing that differs between runs.
    QString dfq = QString::fromLatin1(result(QStringLiteral("Welle-0001.dfq")));
    static const QRegularExpression stamp(QStringLiteral("(K0004/\\d+) (\\S+)"));
    for (auto it = stamp.globalMatch(dfq); it.hasNext();) {
        const auto m = it.next();
        const QDateTime at = QDateTime::fromString(m.captured(2), QStringLiteral("dd.MM.yyyy/HH:mm:ss"));
        EXPECT_TRUE(at >= before && at <= after) << m.captured(0).toStdString();
    }
    dfq.replace(stamp, QStringLiteral("\\1 <run>"));
    const QByteArray masked = dfq.toLatin1();
    if (comma() && !qEnvironmentVariableIsEmpty("DOZIDUVOV_UPDATE_REFERENCES")) {
        QFile f(kExpected + QStringLiteral("Welle_a.dfq"));
        if (f.open(QIODevice::WriteOnly))
            f.write(masked);
    }
    EXPECT_EQ(masked, expected(QStringLiteral("Welle_a.dfq")));
    EXPECT_TRUE(masked.contains("K0001/3 25.01235\r\n"));

    const QString pdf = outDir + QStringLiteral("/Welle-0001.pdf");
    EXPECT_TRUE(result(QStringLiteral("Welle-0001.pdf")).startsWith("%PDF-"));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* s :
         {"Messprotokoll", "Z-77", "M. Keller", "LOC2", "25,01235", "0,06123", "Seite 1 von 1"})
        EXPECT_TRUE(page.contains(QString::fromLatin1(inThisLocale(s)))) << s;

    // The form holds the numbers themselves, whatever the locale.
    const QString form = sim.dir() + QStringLiteral("/Pruefbericht.xlsx");
    QFile::copy(kExamples + QStringLiteral("forms/Pruefbericht.xlsx"), form);
    QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner);
    store.Write(files, QStringLiteral("PDF"), QStringLiteral("0"));
    const ProcessRun f =
        doziduvov({QStringLiteral("/a"), form, kExamples + QStringLiteral("forms/Pruefbericht.cfg"),
                   QStringLiteral("/ALL")});
    EXPECT_EQ(f.exitCode, 0) << f.stderrText.toStdString();
    const QJsonObject s1 = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "H12").value("value").toDouble(), 25.01235);
    EXPECT_EQ(cellOf(s1, "H14").value("value").toDouble(), 0.06123);
}

TEST_F(Unattended, InchProgramWithCorrectionChoice) {
    store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("Label1_10"), QStringLiteral("4"));
    store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("Label1_7"), QStringLiteral("5"));
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Flansch_inch.PRG")}));
    const ProcessRun r = doziduvov({QStringLiteral("/a"), QString(), QString(), QStringLiteral("/OOT")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_EQ(result(QStringLiteral("Flansch-0001.csv")),
              expected(QStringLiteral("Flansch_oot.csv"), QStringLiteral("Flansch-0001.csv")));
}

TEST_F(Unattended, FailuresEndTheRunWithStatusOne) {
    // No host: the connect message, and the run ends instead of waiting.
    ProcessRun r = doziduvov({QStringLiteral("/a")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("Korvex wurde nicht gefunden.")))
        << r.stderrText.toStdString();
    r = doziduvov({QStringLiteral("/o")});
    EXPECT_EQ(r.exitCode, 1);

    // No run mode and no display: the usage and status 2, as for an unknown option.
    r = doziduvov({QStringLiteral("Teil.xlsx")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("Usage:"))) << r.stderrText.toStdString();

    // Nothing chosen (no such choice): nothing written, status 1.
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    r = doziduvov({QStringLiteral("/a"), QString(), QString(), QStringLiteral("OTT"), QString(),
                   QStringLiteral("sixth")});
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("ignored: sixth"))) << r.stderrText.toStdString();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QDir(outDir).isEmpty());
}

TEST_F(Unattended, FullCorrectionAndBothReportsIntoForms) {
    const QString form = sim.dir() + QStringLiteral("/Pruefbericht.xlsx");
    const QString second = sim.dir() + QStringLiteral("/Korrektur.xlsx");
    for (const QString& f : {form, second}) {
        QFile::copy(kExamples + QStringLiteral("forms/Pruefbericht.xlsx"), f);
        QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner);
    }
    const QString layout = kExamples + QStringLiteral("forms/Pruefbericht"); // ".cfg" is appended
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));

    ProcessRun r = doziduvov({QStringLiteral("/a"), form, layout, QStringLiteral("/ALL")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    QJsonObject s1 = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "B10").value("value").toString(), QStringLiteral("LOC1.X"));
    EXPECT_EQ(cellOf(s1, "H10").value("value").toDouble(), 0.01235);
    EXPECT_EQ(cellOf(s1, "H5").value("value"), QJsonValue(4711));
    EXPECT_EQ(cellOf(s1, "G13").value("value").toString(), QStringLiteral("Lagersitz rechts"));
    EXPECT_EQ(cellOf(s1, "H14").value("colour").toString(),
              QStringLiteral("FF0000")); // LOC2.Y out of tolerance

    // Printed by LibreOffice: the page one sheet wide, neither the hidden template nor the ids.
    QProcess print;
    print.start(QStringLiteral("soffice"),
                {QStringLiteral("-env:UserInstallation=file://") + sim.dir() + QStringLiteral("/lo"),
                 QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                 QStringLiteral("--outdir"), sim.dir() + QStringLiteral("/printed"), form});
    ASSERT_TRUE(print.waitForFinished(180000));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {sim.dir() + QStringLiteral("/printed/Pruefbericht.pdf")});
    ASSERT_TRUE(info.waitForFinished(30000));
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput())
                    .contains(QRegularExpression(QStringLiteral("Pages: +1\\n"))))
        << print.readAllStandardError().toStdString();

    // The next part continues in the next measurement column.
    r = doziduvov({QStringLiteral("/a"), form, layout, QStringLiteral("/ALL")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    s1 = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "I10").value("value").toDouble(), 0.01235);

    // Both reports: the full one continues the form, the correction report is a dated copy of
    // the second form with only the rows to correct measured.
    r = doziduvov({QStringLiteral("/a"), form, layout, QStringLiteral("/ALO"), second});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    s1 = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "J10").value("value").toDouble(), 0.01235);
    const QStringList copies = QDir(sim.dir()).entryList({QStringLiteral("Korrektur__*.xlsx")});
    ASSERT_EQ(copies.size(), 1);
    const QJsonObject k1 =
        sheetOf(readWithOpenpyxl(sim.dir() + QLatin1Char('/') + copies.first()), QStringLiteral("Seite1"));
    // Rows not to correct take no place but keep their running numbers.
    EXPECT_EQ(cellOf(k1, "B10").value("value").toString(), QStringLiteral("LOC1.Y")); // critical
    EXPECT_EQ(cellOf(k1, "H10").value("value").toDouble(), -0.04712);
    EXPECT_EQ(cellOf(k1, "A10").value("value"), QJsonValue(2));
    EXPECT_EQ(cellOf(k1, "B11").value("value").toString(), QStringLiteral("LOC2.Y")); // out of tolerance
    EXPECT_EQ(cellOf(k1, "A11").value("value"), QJsonValue(5));

    // A layout file that cannot be loaded: message 9 and status 1.
    r = doziduvov(
        {QStringLiteral("/a"), form, sim.dir() + QStringLiteral("/none.cfg"), QStringLiteral("/ALL")});
    EXPECT_EQ(r.exitCode, 1);

    // A layout made for other header data: both lists named. Another number of names would shift
    // the values: refused, the form untouched. The same number spelt otherwise: filled by
    // position, with a warning.
    QFile original(layout + QStringLiteral(".cfg"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray cfg = original.readAll();
    auto layoutFile = [&](const char* name, const QByteArray& content) {
        const QString path = sim.dir() + QLatin1Char('/') + QString::fromLatin1(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    };
    const QByteArray before = readBytes(form);
    r = doziduvov(
        {QStringLiteral("/a"), form, layoutFile("Drei.cfg", cfg + "Maschine\r\n"), QStringLiteral("/ALL")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("\u201CMaschine\u201D"))) << r.stderrText.toStdString();
    EXPECT_EQ(readBytes(form), before);
    r = doziduvov({QStringLiteral("/a"), form,
                   layoutFile("Pruefer.cfg", QByteArray(cfg).replace("Pr\xfc"
                                                                     "fer",
                                                                     "Pruefer")),
                   QStringLiteral("/ALL")});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("\u201CPruefer\u201D"))) << r.stderrText.toStdString();
    s1 = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "K6").value("value").toString(), QStringLiteral("M. Keller"));
}

TEST_F(Unattended, TheWrittenShellScriptRunsTheReport) {
    const QString form = sim.dir() + QStringLiteral("/Welle Form.xlsx");
    QFile::copy(kExamples + QStringLiteral("forms/Pruefbericht.xlsx"), form);
    QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner);
    run::BatchChoice c;
    c.mode = 0;
    c.choice = 0;
    c.workbook1 = form;
    c.configuration = kExamples + QStringLiteral("forms/Pruefbericht.cfg");
    c.program = QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov");
    const run::BatchFile script = run::makeBatchFile(c, run::ScriptKind::PosixShell);
    run::writeBatchFile(script, run::ScriptKind::PosixShell);
    EXPECT_EQ(script.path, sim.dir() + QStringLiteral("/Welle Form.sh"));
    EXPECT_TRUE(QFileInfo(script.path).isExecutable());

    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const ProcessRun r = run(script.path, {});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    const QJsonObject s1 = sheetOf(readWithOpenpyxl(form), QStringLiteral("Seite1"));
    EXPECT_EQ(cellOf(s1, "B10").value("value").toString(), QStringLiteral("LOC1.X"));
    EXPECT_EQ(cellOf(s1, "H10").value("value").toDouble(), 0.01235);
}

TEST_F(Unattended, NoDisplayRunsWithoutAnyPlatformWhateverTheEnvironmentAsks) {
    // A desktop's QT_QPA_PLATFORM inherited by cron or a service, with no display or a display
    // nobody serves: the run must neither abort nor load a platform plugin.
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const QString trace = sim.dir() + QStringLiteral("/openat.txt");
    const QList<QList<QPair<QString, QString>>> environments = {
        {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")}},
        {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")},
         {QStringLiteral("DISPLAY"), QStringLiteral(":987")}},
        {{QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-987")}},
    };
    int counter = 1;
    for (const auto& extra : environments) {
        const ProcessRun r = run(QStringLiteral("strace"),
                                 {QStringLiteral("-f"), QStringLiteral("-e"), QStringLiteral("trace=openat"),
                                  QStringLiteral("-o"), trace, QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"),
                                  QStringLiteral("/a")},
                                 extra);
        EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
        EXPECT_FALSE(
            result(QStringLiteral("Welle-%1.csv").arg(counter++, 4, 10, QLatin1Char('0'))).isEmpty());
        QFile f(trace);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray opened = f.readAll();
        EXPECT_FALSE(opened.contains("/platforms/")) << "a platform plugin was loaded";
        EXPECT_FALSE(opened.contains("libqxcb")) << "the xcb platform was loaded";
    }
}

TEST_F(Unattended, RunsAtTheSameMomentNeverShareAResultFile) {
    // Two runs that share the folder and the counter both find the same free name.
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    constexpr int kPairs = 20;
    int successes = 0;
    int renamed = 0; // runs that lost their planned name to the other one
    for (int pair = 0; pair < kPairs; ++pair) {
        QProcess runs[2];
        for (QProcess& p : runs) {
            p.setProcessEnvironment(environment());
            p.setProgram(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"));
            p.setArguments({QStringLiteral("/a")});
        }
        for (QProcess& p : runs)
            p.start();
        for (QProcess& p : runs) {
            ASSERT_TRUE(p.waitForFinished(60000));
            const QString errors = QString::fromUtf8(p.readAllStandardError());
            if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
                ++successes;
            else
                ADD_FAILURE() << errors.toStdString();
            // A run that took another name says which, and that file is there.
            static const QRegularExpression report(QStringLiteral("Die Ergebnisdatei wurde als (\\S+) "));
            if (const QRegularExpressionMatch m = report.match(errors); m.hasMatch()) {
                ++renamed;
                EXPECT_TRUE(QFileInfo::exists(m.captured(1))) << errors.toStdString();
            }
        }
    }
    RecordProperty("renamed", renamed);
    EXPECT_EQ(successes, 2 * kPairs);
    const QStringList files = QDir(outDir).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), successes) << files.join(QLatin1Char(' ')).toStdString();
    for (const QString& f : files)
        EXPECT_EQ(result(f), expected(QStringLiteral("Welle_a.csv"))) << f.toStdString();
}

TEST_F(Unattended, TwoRunsInOneSecondWithoutCounterKeepBothFiles) {
    // Part name, date and time: two runs within one second plan the same name.
    const QString files = QStringLiteral("FileSettings");
    store.Write(files, QStringLiteral("FileCounter"), QStringLiteral("0"));
    store.Write(files, QStringLiteral("FileName4"), QStringLiteral("1"));
    store.Write(files, QStringLiteral("FileName5"), QStringLiteral("1"));
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));

    bool sameSecond = false;
    for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
        QDir out(outDir);
        for (const QString& f : out.entryList(QDir::Files | QDir::Hidden))
            out.remove(f);
        // Start just after a second begins, so that both runs usually fall into it.
        QThread::msleep(static_cast<unsigned long>(1000 - QTime::currentTime().msec()));
        const ProcessRun a = doziduvov({QStringLiteral("/a")});
        const ProcessRun m = doziduvov({QStringLiteral("/m")});
        ASSERT_EQ(a.exitCode, 0) << a.stderrText.toStdString();
        ASSERT_EQ(m.exitCode, 0) << m.stderrText.toStdString();
        const QStringList written = out.entryList(QDir::Files | QDir::Hidden);
        ASSERT_EQ(written.size(), 2) << written.join(QLatin1Char(' ')).toStdString();

        // The same second: the second run takes the planned name with the first counter.
        const QString planned = written[0].endsWith(QStringLiteral("-0001.csv")) ? written[1] : written[0];
        const QString counted = planned.chopped(4) + QStringLiteral("-0001.csv");
        if (!written.contains(counted))
            continue;
        sameSecond = true;
        EXPECT_EQ(result(planned), expected(QStringLiteral("Welle_a.csv")));
        EXPECT_EQ(result(counted), expected(QStringLiteral("Welle_m.csv")));
        EXPECT_TRUE(m.stderrText.contains(
            QStringLiteral("Die Ergebnisdatei wurde als %1 geschrieben").arg(out.filePath(counted))))
            << m.stderrText.toStdString();
        EXPECT_TRUE(m.stderrText.contains(out.filePath(planned)));
    }
    EXPECT_TRUE(sameSecond) << "no two runs fell into one second";
}
