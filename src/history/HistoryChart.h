#pragma once

#include "history/History.h"

#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

// What the history window draws, worked out without a window: the points of one characteristic's
// run chart, the lines across it and the figures beside it.
namespace history {

// The horizontal lines of the chart, from the newest part's tolerances and today's warning
// percentage; a one-sided characteristic has no lower limits.
struct ChartLines {
    double nominal = 0.0;
    std::optional<double> upper;
    std::optional<double> lower;
    std::optional<double> warnUpper;
    std::optional<double> warnLower;
};

struct ChartPoint {
    int part = 0; // 1 for the oldest part shown
    double value = 0.0;
    Classification classification = Classification::Ok;
};

struct ChartData {
    std::vector<ChartPoint> points;
    ChartLines lines;
    Statistics statistics;
    // The value range to show: every point and every line, with a margin.
    double low = 0.0;
    double high = 1.0;
};

ChartData chartData(const Series& series, double warningPercent);

// A figure as the window shows it: "—" where it is not defined.
QString figureText(const std::optional<double>& value, const QLocale& locale, int decimals = 4);

// The figures beside the chart as shown, in this order: n, mean, standard deviation, min, max
// (five decimals), Cp, Cpk, Cpu, Cpl (two decimals).
QStringList figureTexts(const Statistics& s, const QLocale& locale);

// The tooltip of a point: local time, the header data and the value.
QString pointTooltip(const SeriesPoint& point, const QString& valueLabel, const QLocale& locale);

} // namespace history
