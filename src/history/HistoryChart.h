#pragma once

#include "history/History.h"
#include "statistics/Capability.h"
#include "statistics/ControlChart.h"
#include "statistics/Histogram.h"

#include <QLocale>
#include <QString>

#include <optional>
#include <string>
#include <vector>

// What the history window draws, worked out without a window: the points and lines of one
// characteristic's run chart, control chart or histogram, the axis ticks and the figures beside it.
namespace history {

enum class ChartKind { Run, IndividualsMovingRange, MeanRange, MeanStdDev, Histogram };
enum class AxisKind { Time, Part };

// The horizontal lines from the newest part's tolerances and today's warning percentage; a
// one-sided characteristic has no lower limits.
struct ChartLines {
    double nominal = 0.0;
    std::optional<double> upper;
    std::optional<double> lower;
    std::optional<double> warnUpper;
    std::optional<double> warnLower;
};

// What a line across a chart stands for; the window names and draws each kind alike.
enum class LevelKind {
    UpperLimit,
    LowerLimit,
    UpperWarning,
    LowerWarning,
    Nominal,
    Centre,
    UpperControl,
    LowerControl
};

struct Level {
    LevelKind kind;
    double value;
};

// What a chart's points are.
enum class Quantity { Values, Individuals, Means, MovingRanges, Ranges, StdDevs, Counts };

struct ChartPoint {
    double x = 0.0; // msecs since the epoch or part number, as the axis is
    double value = 0.0;
    int part = 0;  // 1 for the oldest part shown; a subgroup's newest part
    int first = 0; // the parts the point stands for, as indices into the series
    int last = 0;
    Classification classification = Classification::Ok;
    std::vector<statistics::RuleViolation> violations;
};

struct Tick {
    double at;
    QString label;
};

// One chart: the run chart, a control chart's location or dispersion chart, or the histogram.
struct Panel {
    Quantity quantity = Quantity::Values;
    std::vector<ChartPoint> points;
    std::vector<Level> levels;
    // The value range to show: every point and every line, with a margin.
    double low = 0.0;
    double high = 1.0;
    int decimals = 4; // of the value axis labels
};

struct ChartOptions {
    ChartKind kind = ChartKind::Run;
    AxisKind axis = AxisKind::Time;
    int subgroupSize = 5; // the mean charts' only
    double warningPercent = 90.0;
    int maxTicks = 8; // x axis labels that fit side by side
};

struct ChartData {
    ChartKind kind = ChartKind::Run;
    ChartLines lines;
    // One panel; two for a control chart, location above dispersion. None where a control chart
    // cannot be drawn (problem says why, in English).
    std::vector<Panel> panels;
    std::string problem;
    // The x range and its labelled ticks: time or part number, or for the histogram the values
    // (no ticks given: the axis picks its own).
    double xLow = 0.0;
    double xHigh = 1.0;
    std::vector<Tick> ticks;
    double xStep = 1.0; // the histogram's value ticks: a round step, and the decimals it needs
    int xDecimals = 0;
    statistics::Histogram histogram;
    // Over the values the chart shows: individual values, or the complete subgroups of the
    // mean charts with their within estimate.
    statistics::Capability capability;
    int subgroupSize = 1;
    statistics::Within within = statistics::Within::Range;
};

ChartData chartData(const Series& series, const ChartOptions& options);

// Labelled ticks at round times in local time (every minute, hour, day, month...) or at round
// part numbers over [low, high]; each label distinct and short. maxTicks: how many labels of
// "dd.MM. HH:mm" (or of a part number) fit side by side; shorter date labels fit more often.
std::vector<Tick> timeTicks(double lowMsecs, double highMsecs, int maxTicks);
std::vector<Tick> partTicks(double low, double high, int maxTicks);

// A figure as the window shows it: "—" where it is not defined.
QString figureText(const std::optional<double>& value, const QLocale& locale, int decimals = 4);

// A figure beside the chart: its label's object name, the text and, where there is none, why
// (in English, as the statistics give it).
struct FigureText {
    const char* name;
    QString text;
    std::string reason;
};

// In this order: n, mean, min, max (five decimals); overall s, Pp, Ppk, Ppk's 95 % bounds
// "[a; b]"; within s, Cp, Cpk, Cpk's bounds; the Anderson-Darling p (three decimals, "< 0,001"
// below); the percentile Pp and Ppk "a / b". Indices with two decimals.
std::vector<FigureText> figureTexts(const statistics::Capability& c, const QLocale& locale);

// The within estimate as the figures name it: MR̄/d₂, R̄/d₂ or s̄/c₄.
QString withinEstimateName(int subgroupSize, statistics::Within within);

// The tooltip of a point: local time, the header data and the value, then any notes.
QString pointTooltip(const SeriesPoint& point, const QString& valueLabel, double value, const QLocale& locale,
                     const QStringList& notes = {});

} // namespace history
