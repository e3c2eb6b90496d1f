// Filling 5,000 characteristics into the example form (characteristics in rows 10 to 1676, so
// three pages with their header data, date and time) and saving, against python3-openpyxl doing
// the same fill on the same form (report_fill_openpyxl.py beside this file, timed by itself).
//
//   build/bin/bench_report_fill --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "excel/mdl_ExcelFormular.h"

#include "OpenpyxlMain.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString kForm = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/Pruefbericht.xlsx");
const QString kLayout = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/forms/Pruefbericht.cfg");
constexpr int kRows = 5000;

void BM_FillReport(benchmark::State& state) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + QStringLiteral("/user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       dir.path() + QStringLiteral("/system"));
    settings::SettingsStore store;
    excel::LoadReportConfiguration(kLayout, store, 2);
    store.Write(QStringLiteral("ExcelReportSettings"), QStringLiteral("FormEndRow"), QStringLiteral("1676"));
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    table.reset(kRows);
    comments.reset(kRows);
    QStringList entries;
    for (int i = 0; i < kRows; ++i) {
        model::MerkmalRow& r = table.append();
        r.ID = QStringLiteral("LOC%1").arg(i);
        r.Achse = QStringLiteral("X");
        r.Typ = QStringLiteral("X_LOCATION");
        r.Nennwert = 10;
        r.OTol = 0.1;
        r.UTol = -0.1;
        r.Messwert = 10.0 + (i % 100) / 1000.0;
        r.ATol = i % 17 == 0 ? 0.01 : 0.0;
        r.Ausgabe = QStringLiteral("BEIDE");
        r.UniqueId1 = 100000 + i;
        r.UniqueId2 = 4711;
        r.KommentarIndex = i + 1;
        comments.block(i + 1).Zeile[1] = QString::fromUtf8("Prüfmerkmal");
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
                             QTime(14, 5, 9)};
        QString path = form;
        if (!excel::FillExcelReport(run, path, false).saved)
            state.SkipWithError("the report was not saved");
    }
}
BENCHMARK(BM_FillReport)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runAgainstOpenpyxl(argc, argv,
                              QStringLiteral(DOZIDUVOV_SOURCE_DIR "/bench/report_fill_openpyxl.py"), kForm,
                              "same fill");
}
