#include "history/HistoryChart.h"

#include "model/Classification.h"

#include <algorithm>
#include <cmath>

namespace history {

ChartData chartData(const Series& series, double warningPercent) {
    ChartData d;
    d.statistics = computeStatistics(series);
    if (series.empty())
        return d;
    const SeriesPoint& newest = series.back();
    d.lines.nominal = newest.nominal;
    const Limits limits = limitsOf(newest.type, newest.nominal, newest.upperTol, newest.lowerTol);
    d.lines.upper = limits.upper;
    d.lines.lower = limits.lower;
    const model::WarningLimits warn =
        model::warningLimits(newest.type, newest.nominal, newest.upperTol, newest.lowerTol, warningPercent);
    d.lines.warnUpper = warn.upper;
    d.lines.warnLower = warn.lower;

    double low = d.lines.nominal;
    double high = d.lines.nominal;
    auto take = [&](const std::optional<double>& v) {
        if (v && std::isfinite(*v)) {
            low = std::min(low, *v);
            high = std::max(high, *v);
        }
    };
    take(d.lines.upper);
    take(d.lines.lower);
    d.points.reserve(series.size());
    int part = 0;
    for (const SeriesPoint& p : series) {
        d.points.push_back({++part, p.measured, p.classification});
        take(p.measured);
    }
    // A flat chart (one part on its nominal, a zero band) still gets a visible range.
    const double span = high - low;
    const double margin = span > 0.0 ? span * 0.08 : std::max(std::fabs(high) * 0.01, 0.001);
    d.low = low - margin;
    d.high = high + margin;
    return d;
}

QString figureText(const std::optional<double>& value, const QLocale& locale, int decimals) {
    if (!value || !std::isfinite(*value))
        return QStringLiteral("\u2014");
    return locale.toString(*value, 'f', decimals);
}

QStringList figureTexts(const Statistics& s, const QLocale& locale) {
    QStringList texts{locale.toString(s.n)};
    for (const auto& v : {s.mean, s.stddev, s.min, s.max})
        texts << figureText(v, locale, 5);
    for (const auto& v : {s.cp, s.cpk, s.cpu, s.cpl})
        texts << figureText(v, locale, 2);
    return texts;
}

QString pointTooltip(const SeriesPoint& point, const QString& valueLabel, const QLocale& locale) {
    QStringList lines;
    lines << locale.toString(point.measuredUtc.toLocalTime(), QLocale::ShortFormat);
    for (const auto& [name, value] : point.header)
        lines << name.trimmed() + QStringLiteral(": ") + value;
    lines << valueLabel + QStringLiteral(": ") + locale.toString(point.measured, 'f', 5);
    return lines.join(QLatin1Char('\n'));
}

} // namespace history
