// Reading a part program through the host socket (examples/Large_10000.PRG unless --program=FILE
// names another): snapshots fetched in batches, asked for ahead or in turns, against one round
// trip per member read; and what one member read costs once its snapshot is here.
//
//   build/bin/bench_host_read --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   bench/make_program.py 14000 /tmp/P14000.PRG && build/bin/bench_host_read --program=/tmp/P14000.PRG
#include "hostlink/HostSocketClient.h"
#include "host/PartProgramReader.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

void readOnce(benchmark::State& state, bool snapshots, int batchesAhead = host::ClientOptions{}.batchesAhead) {
    host::ClientOptions options;
    options.snapshots = snapshots;
    options.batchesAhead = batchesAhead;
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::ReaderContext context;
    model::HeaderRows header;
    settings::SettingsStore store;
    settings::LanguageTable texts;
    for (auto _ : state) {
        host::HostLink link;
        host::ReaderState s{table, comments, context, header, {}, nullptr};
        QString name;
        host::Verbinden(link, name, [&] { return host::connectToHost(options); }, texts, {});
        if (name.isEmpty()) {
            state.SkipWithError("no simulator");
            return;
        }
        host::MerkmaleLesen(link, s, store, texts, {});
        benchmark::DoNotOptimize(table.AnzMerkmale);
    }
    state.counters["rows"] = table.AnzMerkmale;
}

void BM_ReadWithSnapshots(benchmark::State& state) {
    readOnce(state, true);
}
// Each batch asked for only when the one before is used up: the host and this side take turns.
void BM_ReadWithSnapshotsInTurns(benchmark::State& state) {
    readOnce(state, true, 0);
}
void BM_ReadMemberByMember(benchmark::State& state) {
    readOnce(state, false);
}

// The members the reader takes from an axis, read again and again from one held snapshot.
void BM_AxisMembersFromSnapshot(benchmark::State& state) {
    auto app = host::connectToHost();
    auto prog = app ? app->ActivePartProgram() : nullptr;
    if (!prog) {
        state.SkipWithError("no simulator");
        return;
    }
    auto walk = prog->Commands()->Enumerate();
    std::shared_ptr<host::HostCommand> c;
    while ((c = walk->Next()) && !(c->IsDimension() && c->Dimension()->IsLocationAxis()))
        ;
    if (!c) {
        state.SkipWithError("no axis");
        return;
    }
    auto d = c->Dimension();
    for (auto _ : state) {
        benchmark::DoNotOptimize(c->Type());
        benchmark::DoNotOptimize(d->AxisLabel());
        benchmark::DoNotOptimize(d->Deviation());
        benchmark::DoNotOptimize(d->Max());
        benchmark::DoNotOptimize(d->Measured());
        benchmark::DoNotOptimize(d->Min());
        benchmark::DoNotOptimize(d->MinusTol());
        benchmark::DoNotOptimize(d->Nominal());
        benchmark::DoNotOptimize(d->OutTol());
        benchmark::DoNotOptimize(d->PlusTol());
        benchmark::DoNotOptimize(c->Marked());
    }
    state.SetItemsProcessed(state.iterations() * 11);
}

BENCHMARK(BM_ReadWithSnapshots)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadWithSnapshotsInTurns)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadMemberByMember)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AxisMembersFromSnapshot);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("TMPDIR", dir.path().toLocal8Bit());
    qunsetenv("XDG_RUNTIME_DIR"); // the socket in this run's own folder
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + QStringLiteral("/user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       dir.path() + QStringLiteral("/system"));

    QString program = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/Large_10000.PRG");
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg.startsWith("--program=")) {
            program = QString::fromLocal8Bit(arg.mid(10));
            std::copy(argv + i + 1, argv + argc + 1, argv + i); // not one of the benchmark's options
            --argc;
            --i;
        }
    }

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    sim.start(QStringLiteral(DOZIDUVOV_BIN_DIR "/korvex-sim"),
              {program});
    if (!sim.waitForStarted()) {
        std::fprintf(stderr, "cannot start korvex-sim\n");
        return 1;
    }
    for (int i = 0; i < 500 && !host::connectToHost(); ++i)
        QThread::msleep(10);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Asked to quit, so that a profiler running it writes its figures.
    sim.write("quit\n");
    if (!sim.waitForFinished(10000)) {
        sim.kill();
        sim.waitForFinished();
    }
    return 0;
}
