#pragma once

// The main of the workbook benchmarks: ours under Google Benchmark, then python3-openpyxl doing
// the same work on the same form, timed inside its script, which prints its median in seconds of
// five repetitions. `script` is the script and its arguments.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>

inline int runAgainstOpenpyxl(int argc, char** argv, const QStringList& script, const char* what) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), script);
    if (py.waitForFinished(600000) && py.exitCode() == 0)
        std::printf("openpyxl, %s, median of 5: %.1f ms\n", what,
                    QString::fromUtf8(py.readAllStandardOutput()).trimmed().toDouble() * 1000.0);
    else
        std::printf("openpyxl could not be run: %s\n", py.readAllStandardError().constData());
    return 0;
}
