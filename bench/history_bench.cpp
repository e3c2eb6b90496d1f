// The results history: storing one part of many characteristics, and the trend query of one
// characteristic over many stored parts, on SQLite files in a temporary folder.
//
//   build/bin/bench_history [--rows=10000] [--parts=100000] [--interleaved] [--keep=FILE]
//                           [--benchmark_repetitions=7]
//
// The trend file is filled once with --parts parts of ten characteristics each (one transaction,
// straight through the documented schema), all of one part program or, with --interleaved, of two
// in turn; then queried through the history API. --keep fills FILE instead (or uses it when it
// exists), for comparing whole processes with the sqlite3 shell afterwards.
#include "history/History.h"
#include "history/HistoryFigures.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

int rowsPerPart = 10000;
int trendParts = 100000;
bool interleaved = false;
QString keptFile;
constexpr int kTrendCharacteristics = 10;

history::Part bigPart(int rows) {
    history::Part p;
    p.programName = QStringLiteral("Gehaeuse");
    p.revision = QStringLiteral("C");
    p.header = {{QStringLiteral("Auftrag"), QStringLiteral("4711")},
                {QStringLiteral("Prüfer"), QStringLiteral("M. Keller")}};
    for (int r = 0; r < rows; ++r) {
        history::StoredRow s;
        s.id = QStringLiteral("DIM%1").arg(r / 3);
        s.axis = QStringLiteral("XYZ").mid(r % 3, 1);
        s.type = QStringLiteral("LOCATION");
        s.nominal = r * 0.5;
        s.upperTol = 0.05;
        s.lowerTol = -0.05;
        s.measured = r * 0.5 + 0.001 * (r % 17);
        s.deviation = 0.001 * (r % 17);
        s.unit = QStringLiteral("MM");
        s.outputMode = QStringLiteral("BEIDE");
        s.hostUniqueId1 = r;
        p.rows.push_back(s);
    }
    return p;
}

void BM_StorePart(benchmark::State& state) {
    QTemporaryDir dir;
    auto db = history::HistoryDatabase::openSqlite(dir.filePath(QStringLiteral("h.sqlite")));
    history::Part part = bigPart(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        part.uuid = history::makeUuid();
        db->storePart(part);
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

// The whole store of an unattended run: settings read, database opened and checked, one part.
void BM_OpenAndStorePart(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("h.sqlite"));
    history::HistoryDatabase::openSqlite(file);
    history::Part part = bigPart(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        part.uuid = history::makeUuid();
        history::HistoryDatabase::openSqlite(file)->storePart(part);
    }
}

// What a run pays: the part written to the outbox as one file; storing it comes later.
void BM_QueuePart(benchmark::State& state) {
    QTemporaryDir dir;
    const history::OutboxFolder box(dir.filePath(QStringLiteral("outbox")));
    history::Part part = bigPart(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        part.uuid = history::makeUuid();
        box.add(part);
    }
}

struct TrendFile {
    QTemporaryDir dir;
    QString file;
    TrendFile() {
        file = keptFile.isEmpty() ? dir.filePath(QStringLiteral("trend.sqlite")) : keptFile;
        if (QFile::exists(file))
            return;
        history::HistoryDatabase::openSqlite(file); // the schema
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
            db.setDatabaseName(file);
            db.open();
            QSqlQuery(db).exec(QStringLiteral("BEGIN"));
            QSqlQuery part(db), header(db), row(db), catalogue(db);
            // Keys 1-10 for the first program's characteristics, 11-20 for the second's.
            catalogue.prepare(QStringLiteral(
                "INSERT INTO characteristic (characteristic_key, program_name, characteristic_id, axis) "
                "VALUES (?, ?, ?, 'X')"));
            for (int c = 1; c <= 2 * kTrendCharacteristics; ++c) {
                catalogue.addBindValue(c);
                catalogue.addBindValue(c <= kTrendCharacteristics ? QStringLiteral("Welle")
                                                                  : QStringLiteral("Nabe"));
                catalogue.addBindValue(QStringLiteral("LOC%1").arg((c - 1) % kTrendCharacteristics + 1));
                catalogue.exec();
            }
            part.prepare(QStringLiteral(
                "INSERT INTO part (part_id, part_uuid, program_name, program_revision, drawing_number, "
                "host_file_name, measured_at, station, user_name, row_count) VALUES (?, ?, ?, 'A', 'Z-1', "
                "'x.PRG', ?, 'st', 'qs', ?)"));
            header.prepare(QStringLiteral("INSERT INTO header_value VALUES (?, ?, ?, ?)"));
            row.prepare(QStringLiteral("INSERT INTO measurement VALUES (?, ?, ?, 'X', 'LOCATION', 10, 0.05, "
                                       "-0.05, ?, 0, 0, 0, 0, 'MM', "
                                       "'BEIDE', 0, 0, 0, 0, ?)"));
            const QDateTime t0(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
            for (int p = 1; p <= trendParts; ++p) {
                // All parts of one program, or two programs interleaved (the query picks its own).
                const QString program =
                    p % 2 || !interleaved ? QStringLiteral("Welle") : QStringLiteral("Nabe");
                part.addBindValue(p);
                part.addBindValue(history::makeUuid());
                part.addBindValue(program);
                part.addBindValue(t0.addSecs(60LL * p).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")));
                part.addBindValue(kTrendCharacteristics);
                part.exec();
                for (int h = 1; h <= 2; ++h) {
                    header.addBindValue(p);
                    header.addBindValue(h);
                    header.addBindValue(h == 1 ? QStringLiteral("Auftrag") : QStringLiteral("Prüfer"));
                    header.addBindValue(QString::number(p));
                    header.exec();
                }
                for (int c = 1; c <= kTrendCharacteristics; ++c) {
                    row.addBindValue(p);
                    row.addBindValue(c);
                    row.addBindValue(QStringLiteral("LOC%1").arg(c));
                    row.addBindValue(10.0 + (p % 100) * 0.0001);
                    row.addBindValue(program == QLatin1String("Welle") ? c : kTrendCharacteristics + c);
                    row.exec();
                }
            }
            QSqlQuery(db).exec(QStringLiteral("COMMIT"));
            QSqlQuery(db).exec(QStringLiteral("ANALYZE"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    }
};

TrendFile& trendFile() {
    static TrendFile f;
    return f;
}

// All parts of one program (half of the file), with or without their header data; or the last N.
void BM_TrendQuery(benchmark::State& state) {
    auto db = history::HistoryDatabase::openSqlite(trendFile().file);
    history::SeriesFilter filter;
    filter.withHeader = state.range(0) != 0;
    if (state.range(1) > 0)
        filter.lastN = static_cast<int>(state.range(1));
    // The parts of the last N minutes (one part a minute).
    if (state.range(2) > 0)
        filter.since = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC)
                           .addSecs(60LL * (trendParts - state.range(2) + 1));
    std::size_t points = 0;
    for (auto _ : state) {
        const history::Series s =
            db->series(QStringLiteral("Welle"), {QStringLiteral("LOC7"), QStringLiteral("X")}, filter);
        points = s.size();
        benchmark::DoNotOptimize(statistics::capability(history::measuredValues(s), history::limitsOf(s)));
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["parts_in_file"] = trendParts;
}

// What the history window reads to show a characteristic: the database opened, the programs,
// the characteristics of one, the last 50 parts of one characteristic (drawing not included).
void BM_WindowOpening(benchmark::State& state) {
    const QString file = trendFile().file;
    std::size_t points = 0;
    for (auto _ : state) {
        auto db = history::HistoryDatabase::openSqlite(file);
        const QStringList programs = db->programs();
        const auto keys = db->characteristics(programs.value(programs.indexOf(QStringLiteral("Welle"))));
        history::SeriesFilter filter;
        filter.withHeader = false;
        filter.lastN = 50;
        points = db->series(QStringLiteral("Welle"), keys.at(6), filter).size();
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["parts_in_file"] = trendParts;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows=", 7) == 0)
            rowsPerPart = std::atoi(argv[i] + 7);
        else if (std::strcmp(argv[i], "--interleaved") == 0)
            interleaved = true;
        else if (std::strncmp(argv[i], "--keep=", 7) == 0)
            keptFile = QString::fromLocal8Bit(argv[i] + 7);
        else if (std::strncmp(argv[i], "--parts=", 8) == 0)
            trendParts = std::atoi(argv[i] + 8);
        else
            rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::RegisterBenchmark("BM_StorePart", BM_StorePart)
        ->Arg(rowsPerPart)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OpenAndStorePart", BM_OpenAndStorePart)
        ->Arg(rowsPerPart)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_QueuePart", BM_QueuePart)
        ->Arg(rowsPerPart)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_TrendQuery", BM_TrendQuery)
        ->ArgNames({"header", "last", "since"})
        ->Args({1, 0, 0})
        ->Args({0, 0, 0})
        ->Args({1, 1000, 0})
        ->Args({1, 0, 1000})
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_WindowOpening", BM_WindowOpening)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
