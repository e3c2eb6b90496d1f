// Filling 5,000 characteristics into the example form with its shipped layout (31 rows a page,
// so 162 pages with their header data, date and time) and saving, in this process, against
// python3-openpyxl doing the same fill of the same rows on the same form
// (report_fill_openpyxl.py beside this file, timed by itself).
//
//   build/bin/bench_report_fill --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "excel/FormReport.h"

#include "OpenpyxlMain.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString kForm = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/Pruefbericht.xlsx");
const QString kLayout = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/Pruefbericht.cfg");
constexpr int kRows = 5000;

// The characteristics both sides fill.
QString rowId(int i) {
    return QStringLiteral("LOC%1").arg(i);
}
double measured(int i) {
    return 10.0 + (i % 100) / 1000.0;
}
double outOfTolerance(int i) {
    return i % 17 == 0 ? 0.01 : 0.0;
}
const QString kComment = QString::fromUtf8("Prüfmerkmal");

// The same rows as report_fill_openpyxl.py reads them.
bool writeRowsFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QString text = QString::fromUtf8("header\tAuftrag\t4711\nheader\tPrüfer\tM. Keller\n"
                                     "date\t2026-12-06\ntime\t14:05:09\n");
    for (int i = 0; i < kRows; ++i)
        text += QStringLiteral("row\t%1.X\tX_LOCATION\t10\t0.1\t-0.1\t0\t%2\t%3\t%4\t%5\n")
                    .arg(rowId(i))
                    .arg(outOfTolerance(i), 0, 'g', 17)
                    .arg(measured(i), 0, 'g', 17)
                    .arg(QStringLiteral("%1%2").arg(100000 + i).arg(4711), kComment);
    return f.write(text.toUtf8()) > 0;
}

void BM_FillReport(benchmark::State& state) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + QStringLiteral("/user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       dir.path() + QStringLiteral("/system"));
    settings::SettingsStore store;
    excel::LoadReportConfiguration(kLayout, store, 2);
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    table.reset(kRows);
    comments.reset(kRows);
    QStringList entries;
    for (int i = 0; i < kRows; ++i) {
        model::MerkmalRow& r = table.append();
        r.ID = rowId(i);
        r.Achse = QStringLiteral("X");
        r.Typ = QStringLiteral("X_LOCATION");
        r.Nennwert = 10;
        r.OTol = 0.1;
        r.UTol = -0.1;
        r.Messwert = measured(i);
        r.ATol = outOfTolerance(i);
        r.Ausgabe = QStringLiteral("BEIDE");
        r.UniqueId1 = 100000 + i;
        r.UniqueId2 = 4711;
        r.KommentarIndex = i + 1;
        comments.block(i + 1).Zeile[1] = kComment;
        entries << r.ID + QStringLiteral(".X");
    }
    const QString form = dir.filePath(QStringLiteral("form.xlsx"));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(form);
        QFile::copy(kForm, form);
        QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner);
        state.ResumeTiming();
        excel::ReportRun run{store,
                             texts,
                             {},
                             table,
                             comments,
                             entries,
                             model::Selection(kRows, true),
                             model::HeaderRows{{QStringLiteral(" Auftrag"), QStringLiteral("4711")},
                                              {QString::fromUtf8(" Prüfer"), QStringLiteral("M. Keller")}},
                             false,
                             {},
                             {},
                             {},
                             QDate(2026, 12, 6),
                             QTime(14, 5, 9),
                    {}};
        QString path = form;
        if (!excel::FillExcelReport(run, path, false).saved)
            state.SkipWithError("the report was not saved");
    }
}
BENCHMARK(BM_FillReport)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString rows = dir.filePath(QStringLiteral("rows.tsv"));
    if (!writeRowsFile(rows))
        return 1;
    return runAgainstOpenpyxl(argc, argv,
                              {QStringLiteral(DOZIDUVOV_SOURCE_DIR "/bench/report_fill_openpyxl.py"), kForm,
                               kLayout, rows, QStringLiteral("--repeat"), QStringLiteral("5")},
                              "same fill");
}
