#include "history/HistoryChart.h"

#include "common/NumberText.h"

#include "history/HistoryFigures.h"
#include "model/Classification.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace history {

namespace {

// Axis label decimals that tell ten steps across the span apart.
int decimalsFor(double span) {
    if (!(span > 0.0) || !std::isfinite(span))
        return 4;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(span / 10.0))), 0, 6);
}

// The range of the points and lines, with a margin; a flat chart (one part on its nominal, a
// zero band) still gets a visible range. A dispersion chart starts at zero.
void fitRange(Panel& p, bool fromZero) {
    double low = fromZero ? 0.0 : std::numeric_limits<double>::infinity();
    double high = fromZero ? 0.0 : -std::numeric_limits<double>::infinity();
    const auto take = [&](double v) {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    };
    for (const ChartPoint& c : p.points)
        take(c.value);
    for (const Level& l : p.levels)
        take(l.value);
    if (!(low <= high))
        low = high = 0.0;
    const double span = high - low;
    const double margin = span > 0.0 ? span * 0.08 : std::max(std::fabs(high) * 0.01, 0.001);
    p.low = fromZero && low >= 0.0 ? 0.0 : low - margin;
    p.high = high + margin;
    p.decimals = decimalsFor(p.high - p.low);
}

void addLevel(Panel& p, LevelKind kind, const std::optional<double>& v) {
    if (v && std::isfinite(*v))
        p.levels.push_back({kind, *v});
}

void addToleranceLevels(Panel& p, const ChartLines& lines, bool warnings) {
    addLevel(p, LevelKind::UpperLimit, lines.upper);
    if (warnings) {
        addLevel(p, LevelKind::UpperWarning, lines.warnUpper);
        addLevel(p, LevelKind::Nominal, lines.nominal);
        addLevel(p, LevelKind::LowerWarning, lines.warnLower);
    }
    addLevel(p, LevelKind::LowerLimit, lines.lower);
}

void addControlLevels(Panel& p, const statistics::ChartLine& line, bool lowerAtZero) {
    p.levels.push_back({LevelKind::UpperControl, line.ucl});
    p.levels.push_back({LevelKind::Centre, line.centre});
    // A range or s chart of small subgroups has no lower limit: its constant is 0.
    if (!lowerAtZero || line.lcl > 0.0)
        p.levels.push_back({LevelKind::LowerControl, line.lcl});
}

std::vector<Tick> niceTicks(double low, double high, int maxTicks, double minStep) {
    std::vector<Tick> ticks;
    if (!(high > low))
        return ticks;
    const double step = common::number::niceStep(high - low, maxTicks, minStep);
    for (double at = std::ceil(low / step) * step; at <= high; at += step)
        ticks.push_back({at, QString::number(at, 'f', 0)});
    // A step wider than a short axis: its middle part at least.
    if (ticks.empty()) {
        const double middle = std::round((low + high) / 2.0);
        ticks.push_back({middle, QString::number(middle, 'f', 0)});
    }
    return ticks;
}

} // namespace

std::vector<Tick> partTicks(double low, double high, int maxTicks) {
    // A part number is narrower than a time: more of them fit, with a gap of three characters.
    const auto digits = QString::number(std::llround(std::max(std::fabs(low), std::fabs(high)))).size();
    return niceTicks(low, high, static_cast<int>(std::max<qsizetype>(2, maxTicks * 15 / (digits + 3))), 1.0);
}

std::vector<Tick> timeTicks(double lowMsecs, double highMsecs, int maxTicks) {
    if (!(highMsecs > lowMsecs) || !std::isfinite(lowMsecs) || !std::isfinite(highMsecs))
        return {};
    maxTicks = std::max(maxTicks, 1);
    const double spanSecs = (highMsecs - lowMsecs) / 1000.0;
    const QDateTime low =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::ceil(lowMsecs))).toLocalTime();
    // Steps in seconds up to two weeks, counted from the local midnight before the first part;
    // then in months from the first of a month (of a year).
    static constexpr std::array<qint64, 21> kSeconds = {1,     2,     5,     10,    15,     30,     60,
                                                        120,   300,   600,   900,   1800,   3600,   7200,
                                                        10800, 21600, 43200, 86400, 172800, 604800, 1209600};
    static constexpr std::array<int, 11> kMonths = {1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200};
    const auto formatOf = [&](std::size_t candidate) {
        if (candidate < kSeconds.size()) {
            const qint64 step = kSeconds[candidate];
            return step < 60      ? QStringLiteral("dd.MM. HH:mm:ss")
                   : step < 86400 ? QStringLiteral("dd.MM. HH:mm")
                                  : QStringLiteral("dd.MM.yy");
        }
        return kMonths[candidate - kSeconds.size()] < 12 ? QStringLiteral("MM.yyyy") : QStringLiteral("yyyy");
    };
    // maxTicks counts labels of "dd.MM. HH:mm" with a gap of about three characters; shorter
    // labels fit more often.
    const auto fitting = [&](std::size_t candidate) {
        return std::max<qsizetype>(1, maxTicks * 15 / (formatOf(candidate).size() + 3));
    };
    const auto ticksOf = [&](std::size_t candidate) {
        std::vector<Tick> ticks;
        const auto put = [&](const QDateTime& t, const QString& format) {
            const double at = static_cast<double>(t.toMSecsSinceEpoch());
            if (at >= lowMsecs && at <= highMsecs)
                ticks.push_back({at, t.toString(format)});
        };
        if (candidate < kSeconds.size()) {
            const qint64 step = kSeconds[candidate];
            const QString format = formatOf(candidate);
            const QDateTime midnight = low.date().startOfDay();
            const qint64 first = (midnight.secsTo(low) + step - 1) / step;
            for (qint64 k = first; k <= first + static_cast<qint64>(spanSecs) / step + 1; ++k)
                put(midnight.addSecs(k * step), format);
            return ticks;
        }
        const int months = kMonths[candidate - kSeconds.size()];
        const QString format = formatOf(candidate);
        QDate start(low.date().year(), months < 12 ? low.date().month() : 1, 1);
        start = months >= 12 ? start.addYears(-(start.year() % (months / 12)))
                             : start.addMonths(-((start.month() - 1) % months));
        for (int k = 0; k <= static_cast<int>(spanSecs / (months * 28.0 * 86400.0)) + 1; ++k)
            put(start.addMonths(k * months).startOfDay(), format);
        return ticks;
    };
    // The finest step that gives few enough labels; where that leaves none on a short axis, every
    // so many of the step before.
    std::vector<Tick> finer;
    for (std::size_t c = 0; c < kSeconds.size() + kMonths.size(); ++c) {
        const double length = c < kSeconds.size() ? static_cast<double>(kSeconds[c])
                                                  : kMonths[c - kSeconds.size()] * 28.0 * 86400.0;
        const auto fit = static_cast<std::size_t>(fitting(c));
        if (spanSecs / length > 4.0 * static_cast<double>(fit) + 4.0)
            continue;
        std::vector<Tick> ticks = ticksOf(c);
        if (ticks.size() > fit) {
            finer = std::move(ticks);
            continue;
        }
        if (!ticks.empty() || finer.empty())
            return ticks;
        const std::size_t stride = (finer.size() + fit - 1) / fit;
        for (std::size_t i = 0; i < finer.size(); i += stride)
            ticks.push_back(finer[i]);
        return ticks;
    }
    return {};
}

ChartData chartData(const Series& series, const ChartOptions& options) {
    ChartData d;
    d.kind = options.kind;
    Limits limits;
    if (!series.empty()) {
        const SeriesPoint& newest = series.back();
        d.lines.nominal = newest.nominal;
        limits = limitsOf(newest.type, newest.nominal, newest.upperTol, newest.lowerTol);
        d.lines.upper = limits.upper;
        d.lines.lower = limits.lower;
        const model::WarningLimits warn = model::warningLimits(newest.type, newest.nominal, newest.upperTol,
                                                               newest.lowerTol, options.warningPercent);
        d.lines.warnUpper = warn.upper;
        d.lines.warnLower = warn.lower;
    }
    const bool means = options.kind == ChartKind::MeanRange || options.kind == ChartKind::MeanStdDev;
    d.subgroupSize = means ? std::clamp(options.subgroupSize, 2, 25) : 1;
    d.within = options.kind == ChartKind::MeanStdDev ? statistics::Within::StdDev : statistics::Within::Range;
    const std::vector<std::size_t> indices = measuredPoints(series);
    const std::vector<double> values = measuredValues(series);
    d.capability = statistics::capability(values, limits, d.subgroupSize, d.within);

    const auto xOf = [&](std::size_t value) {
        const std::size_t i = indices[value];
        return options.axis == AxisKind::Time ? static_cast<double>(series[i].measuredUtc.toMSecsSinceEpoch())
                                              : static_cast<double>(i + 1);
    };
    // A point for the values first..last (indices into values), drawn at the newest of them.
    const auto point = [&](std::size_t first, std::size_t last, double value) {
        ChartPoint p;
        p.x = xOf(last);
        p.value = value;
        p.part = static_cast<int>(indices[last]) + 1;
        p.first = static_cast<int>(indices[first]);
        p.last = static_cast<int>(indices[last]);
        if (first == last)
            p.classification = series[indices[last]].classification;
        return p;
    };

    switch (options.kind) {
    case ChartKind::Run: {
        Panel p;
        for (std::size_t k = 0; k < values.size(); ++k)
            p.points.push_back(point(k, k, values[k]));
        if (!series.empty())
            addToleranceLevels(p, d.lines, true);
        fitRange(p, false);
        d.panels.push_back(std::move(p));
        break;
    }
    case ChartKind::IndividualsMovingRange:
    case ChartKind::MeanRange:
    case ChartKind::MeanStdDev: {
        const statistics::ControlChart c = controlChartOf(values, d.subgroupSize, d.within);
        if (!c.valid) {
            d.problem = c.reason;
            break;
        }
        const std::size_t m = static_cast<std::size_t>(d.subgroupSize);
        Panel location;
        location.quantity = means ? Quantity::Means : Quantity::Individuals;
        for (std::size_t j = 0; j < c.location.points.size(); ++j)
            location.points.push_back(point(j * m, j * m + m - 1, c.location.points[j]));
        for (const statistics::RuleViolation& v : c.violations)
            location.points.at(static_cast<std::size_t>(v.index)).violations.push_back(v);
        addControlLevels(location, c.location, false);
        // Single parts compare with the tolerance; means do not.
        if (!means)
            addToleranceLevels(location, d.lines, false);
        fitRange(location, false);

        Panel dispersion;
        dispersion.quantity = !means                                 ? Quantity::MovingRanges
                              : options.kind == ChartKind::MeanRange ? Quantity::Ranges
                                                                     : Quantity::StdDevs;
        for (std::size_t j = 0; j < c.dispersion.points.size(); ++j) {
            // A moving range belongs to the later of its two values.
            const std::size_t first = means ? j * m : j;
            const std::size_t last = means ? j * m + m - 1 : j + 1;
            ChartPoint p = point(first, last, c.dispersion.points[j]);
            p.classification = Classification::Ok;
            // The run rules hold for the location chart; a spread beyond its limits is a signal too.
            const double v = c.dispersion.points[j];
            if (v > c.dispersion.ucl || (c.dispersion.lcl > 0.0 && v < c.dispersion.lcl))
                p.violations.push_back(
                    {static_cast<int>(j), 1, "Rule 1: one point beyond the 3σ control limit"});
            dispersion.points.push_back(std::move(p));
        }
        addControlLevels(dispersion, c.dispersion, true);
        fitRange(dispersion, true);
        d.panels.push_back(std::move(location));
        d.panels.push_back(std::move(dispersion));
        break;
    }
    case ChartKind::Histogram: {
        d.histogram = statistics::histogram(values, limits);
        Panel p;
        p.quantity = Quantity::Counts;
        if (!series.empty())
            addToleranceLevels(p, d.lines, false);
        double top = 1.0;
        for (int n : d.histogram.counts)
            top = std::max(top, static_cast<double>(n));
        for (const statistics::CurvePoint& c : d.histogram.curve)
            top = std::max(top, c.y);
        p.low = 0.0;
        p.high = top * 1.1;
        p.decimals = 0;
        // The x range: the bins, the curve and the limits, with a margin so that a limit on an edge
        // shows.
        double low = d.histogram.edges.front();
        double high = d.histogram.edges.back();
        if (!d.histogram.curve.empty()) {
            low = std::min(low, d.histogram.curve.front().x);
            high = std::max(high, d.histogram.curve.back().x);
        }
        for (const Level& l : p.levels) {
            low = std::min(low, l.value);
            high = std::max(high, l.value);
        }
        const double margin = (high - low) * 0.05;
        d.xLow = low - margin;
        d.xHigh = high + margin;
        // A value label ("10,05") is about half as wide as a time label.
        d.xStep = common::number::niceStep(d.xHigh - d.xLow, std::max(options.maxTicks * 15 / 9, 3));
        d.xDecimals = std::clamp(static_cast<int>(std::ceil(-std::log10(d.xStep) - 1e-9)), 0, 6);
        d.panels.push_back(std::move(p));
        return d;
    }
    }

    if (indices.empty()) {
        d.xLow = 0.5;
        d.xHigh = 1.5;
        return d;
    }
    const double first = xOf(0);
    const double last = xOf(indices.size() - 1);
    if (options.axis == AxisKind::Part) {
        d.xLow = first - 0.5;
        d.xHigh = last + 0.5;
        d.ticks = partTicks(d.xLow, d.xHigh, options.maxTicks);
    } else {
        const double margin = last > first ? (last - first) * 0.02 : 60000.0;
        d.xLow = first - margin;
        d.xHigh = last + margin;
        d.ticks = timeTicks(d.xLow, d.xHigh, options.maxTicks);
    }
    return d;
}

QString figureText(const std::optional<double>& value, const QLocale& locale, int decimals) {
    if (!value || !std::isfinite(*value))
        return QStringLiteral("\u2014");
    return locale.toString(*value, 'f', decimals);
}

std::vector<FigureText> figureTexts(const statistics::Capability& c, const QLocale& locale) {
    const auto figure = [&](const char* name, const statistics::Figure& f, int decimals) {
        return FigureText{name, figureText(f.value, locale, decimals), f.value ? std::string() : f.reason};
    };
    const auto bounds = [&](const char* name, const statistics::Figure& f) {
        if (f.lower95 && f.upper95)
            return FigureText{name,
                              QLatin1Char('[') + figureText(f.lower95, locale, 2) + QStringLiteral("; ") +
                                  figureText(f.upper95, locale, 2) + QLatin1Char(']'),
                              {}};
        return FigureText{name, QStringLiteral("\u2014"), f.reason};
    };
    const statistics::PercentileFigures& pc = c.percentile;
    return {
        {"lblN", locale.toString(c.n), {}},
        figure("lblMean", c.mean, 5),
        figure("lblMin", c.min, 5),
        figure("lblMax", c.max, 5),
        figure("lblSOverall", c.sOverall, 5),
        figure("lblPp", c.pp, 2),
        figure("lblPpk", c.ppk, 2),
        bounds("lblPpkBounds", c.ppk),
        figure("lblSWithin", c.sWithin, 5),
        figure("lblCp", c.cp, 2),
        figure("lblCpk", c.cpk, 2),
        bounds("lblCpkBounds", c.cpk),
        {"lblNormality",
         // Three decimals tell no smaller p apart from zero.
         c.normality.pValue.value && *c.normality.pValue.value < 0.001
             ? QStringLiteral("< ") + locale.toString(0.001, 'f', 3)
             : figureText(c.normality.pValue.value, locale, 3),
         c.normality.normal ? std::string() : c.normality.reason},
        {"lblPercentile",
         figureText(pc.pp.value, locale, 2) + QStringLiteral(" / ") + figureText(pc.ppk.value, locale, 2),
         !pc.ppk.value ? pc.ppk.reason : pc.pp.reason},
    };
}

QString withinEstimateName(int subgroupSize, statistics::Within within) {
    if (subgroupSize <= 1)
        return QStringLiteral("MR\u0304/d\u2082");
    return within == statistics::Within::StdDev ? QStringLiteral("s\u0304/c\u2084")
                                                : QStringLiteral("R\u0304/d\u2082");
}

QString pointTooltip(const SeriesPoint& point, const QString& valueLabel, double value, const QLocale& locale,
                     const QStringList& notes) {
    QStringList lines;
    lines << locale.toString(point.measuredUtc.toLocalTime(), QLocale::ShortFormat);
    for (const auto& [name, text] : point.header)
        lines << name.trimmed() + QStringLiteral(": ") + text;
    lines << valueLabel + QStringLiteral(": ") + locale.toString(value, 'f', 5);
    lines << notes;
    return lines.join(QLatin1Char('\n'));
}

} // namespace history
