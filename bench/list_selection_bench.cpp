// The main window's list on 16,000 characteristics: each mark button, "select all" and "select
// none" as a click and the repaint after it, on the offscreen platform.
//
//   build/bin/bench_list_selection --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "gui/MainWindow.h"
#include "run/AppState.h"
#include "run/Conversion.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>

namespace {

constexpr int kRows = 16000;

struct Window {
    run::AppState state;
    run::Conversion conversion{state};
    std::unique_ptr<gui::MainWindow> window;

    Window() {
        // Yes to "clear the selection first?", so that every press changes the whole list.
        state.message = [](const common::Message& m) { return m.defaultButton; };
        state.table.reset(kRows);
        for (int i = 1; i <= kRows; ++i) {
            model::MerkmalRow& r = state.table.append();
            r.ID = QStringLiteral("LOC%1").arg(i);
            r.Achse = QStringLiteral("X");
            r.Ausgabe = QStringLiteral("BEIDE");
            // Scattered states give the selection the most ranges.
            r.ATol = i % 2 == 0 ? 0.01 : 0.0;
            r.Kritisch = i % 3 == 0 && r.ATol == 0.0;
            r.Markiert = i % 5 != 0;
        }
        state.entries = model::listEntries(state.table);
        state.selection.assign(static_cast<std::size_t>(kRows), false);
        window = std::make_unique<gui::MainWindow>(state, conversion);
        window->resize(1280, 800);
        window->show();
        window->WerteInListeEintragen();
        QCoreApplication::processEvents();
    }

    void press(const char* name) {
        window->findChild<QPushButton*>(QString::fromLatin1(name))->click();
        QCoreApplication::processEvents(); // the repaint belongs to what the user waits for
    }
};

Window& window() {
    static Window w;
    return w;
}

void BM_Press(benchmark::State& s, const char* button) {
    Window& w = window();
    for (auto _ : s) {
        s.PauseTiming();
        w.press("cmdMarkDelete");
        w.press(button == std::string_view("cmdMarkDelete") ? "cmdMarkAll" : "cmdMarkDelete");
        s.ResumeTiming();
        w.press(button);
    }
}

BENCHMARK_CAPTURE(BM_Press, select_all, "cmdMarkAll")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Press, select_none, "cmdMarkDelete")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Press, out_of_tolerance, "cmdMarkAT")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Press, inside_tolerance, "cmdMarkOK")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Press, critical, "cmdMarkKritisch")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Press, marked_in_host, "cmdMarkMarked")->Unit(benchmark::kMillisecond);

// A rule that adds to an existing selection: the view takes the union of old and new ranges.
void BM_AddToSelection(benchmark::State& s) {
    Window& w = window();
    w.state.message = [](const common::Message&) { return common::MsgResult::No; };
    for (auto _ : s) {
        s.PauseTiming();
        w.press("cmdMarkDelete");
        w.press("cmdMarkAT");
        s.ResumeTiming();
        w.press("cmdMarkKritisch");
    }
    w.state.message = [](const common::Message& m) { return m.defaultButton; };
}
BENCHMARK(BM_AddToSelection)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
