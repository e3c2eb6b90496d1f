// Writing 30,000 rows with all 22 columns through WriteAsciiResults, against a plain buffered
// write of the same bytes (line by line through a stdio stream).
//
//   build/bin/bench_ascii_write --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include "ascii/AsciiWriter.h"
#include "host/PartProgramReader.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRows = 30000;

struct Fixture {
    QTemporaryDir dir;
    settings::SettingsStore store;
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::HeaderRows header;
    model::Selection selection;
    QString path;

    Fixture() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir.path() + QStringLiteral("/user"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                           dir.path() + QStringLiteral("/system"));
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), dir.path());
        // No host here: the name is the fixed text of an unknown first component.
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("FileName1"), QStringLiteral("9"));
        for (const char* key : {"FileName2", "FileName3", "FileName4", "FileName5"})
            store.Write(QStringLiteral("FileSettings"), QString::fromLatin1(key), QStringLiteral("0"));
        store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("CSV"), QStringLiteral("1"));
        store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("ASCII"), QStringLiteral(";"));
        table.reset(kRows);
        comments.reset(kRows);
        for (int i = 1; i <= kRows; ++i) {
            model::MerkmalRow& r = table.append();
            r.ID = QStringLiteral("LOC%1").arg(i / 3);
            r.Achse = QStringLiteral("XYZ").mid(i % 3, 1);
            r.Typ = QStringLiteral("X_LOCATION");
            r.Nennwert = 10.0 + (i % 100) * 0.25;
            r.OTol = 0.05;
            r.UTol = -0.05;
            // The table holds the host's numbers rounded to five decimals, as the reader stores them.
            r.Messwert = host::R5(r.Nennwert + ((i * 7) % 101 - 50) / 1000.0);
            r.Abweichung = host::R5(r.Messwert - r.Nennwert);
            r.ATol = i % 17 == 0 ? 0.012 : 0.0;
            r.Min = host::R5(r.Messwert - 0.002);
            r.Max = host::R5(r.Messwert + 0.002);
            r.Element1 = QStringLiteral("CIR%1").arg(i / 3);
            r.Einheit = QStringLiteral("MM");
            r.Ausgabe = QStringLiteral("BEIDE");
            r.Markiert = true;
            r.KommentarIndex = i;
            comments.block(i).Zeile[1] = QString::fromUtf8("Prüfmerkmal %1").arg(i);
        }
        selection.assign(kRows, true);
    }

    QString write() {
        ascii::AsciiWriteInput in{store,
                                  texts,
                                  [](const common::Message& m) {
                                      std::fprintf(stderr, "%s\n", qPrintable(m.text));
                                      return common::MsgResult::Ok;
                                  },
                                  table,
                                  comments,
                                  selection,
                                  header,
                                  nullptr,
                                  {},
                                  {},
                                  QLocale::system(),
                                  {}};
        const ascii::AsciiWriteResult r = ascii::WriteAsciiResults(in);
        return r.path;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_WriteAsciiResults(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        // Result files are never replaced: without this each pass would take the next counter.
        state.PauseTiming();
        if (!f.path.isEmpty())
            QFile::remove(f.path);
        state.ResumeTiming();
        f.path = f.write();
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(f.path).size());
}

void BM_PlainBufferedWrite(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.path.isEmpty())
        f.path = f.write();
    QFile in(f.path);
    in.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = in.readAll().split('\n');
    const QByteArray target = QFile::encodeName(f.dir.path() + QStringLiteral("/plain.csv"));
    for (auto _ : state) {
        std::FILE* out = std::fopen(target.constData(), "wb");
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            std::fwrite(lines[i].constData(), 1, static_cast<std::size_t>(lines[i].size()), out);
            std::fputc('\n', out);
        }
        std::fclose(out);
    }
}

BENCHMARK(BM_WriteAsciiResults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainBufferedWrite)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
