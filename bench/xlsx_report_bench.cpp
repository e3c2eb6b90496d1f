// Filling a form: open it, copy "Master" twice, write 5,000 characteristic rows of 12 cells
// (every seventh measured value red and underlined), save. The same work by python3-openpyxl
// (xlsx_report_openpyxl.py beside this file) is timed by the script itself and reported too.
//
//   build/bin/bench_xlsx_report --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "xlsx/Spreadsheet.h"

#include "OpenpyxlMain.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kForm = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/tests/excel/fixtures/form_openpyxl.xlsx");

void BM_FillFormWithOurEngine(benchmark::State& state) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.xlsx"));
    excel::CellFormat red;
    red.singleUnderline = true;
    red.fontColour = std::optional<excel::Colour>(excel::paletteColour(3));
    for (auto _ : state) {
        auto book = excel::openWorkbook(kForm);
        excel::Worksheet* pages[2] = {book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Master"),
                                                           QStringLiteral("Seite1")),
                                      book->copySheetAfter(QStringLiteral("Master"), QStringLiteral("Seite1"),
                                                           QStringLiteral("Seite2"))};
        for (int i = 0; i < 5000; ++i) {
            excel::Worksheet* page = pages[i / 2500];
            const int row = 10 + i % 2500;
            page->setNumber(row, 1, i + 1);
            page->setText(row, 2, QStringLiteral("LOC%1.X").arg(i));
            for (int col = 3; col <= 12; ++col) {
                page->setNumber(row, col, 10.0 + (i * 7 + col) % 100 / 1000.0);
                if (col == 7 && i % 7 == 0)
                    page->format(excel::Range::cell(row, col), red);
            }
        }
        book->saveAs(out);
    }
}
BENCHMARK(BM_FillFormWithOurEngine)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runAgainstOpenpyxl(
        argc, argv,
        {QStringLiteral(DOZIDUVOV_SOURCE_DIR "/bench/xlsx_report_openpyxl.py"), kForm, QStringLiteral("5")},
        "same work");
}
