#include "history/History.h"

#include "model/Classification.h"
#include "settings/TextCodec.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace history {

Limits limitsOf(const QString& type, double nominal, double upperTol, double lowerTol) {
    Limits l;
    l.upper = nominal + upperTol;
    if (!model::isOneSidedType(type))
        l.lower = nominal + lowerTol; // lowerTol is stored negative
    return l;
}

Statistics computeStatistics(const std::vector<double>& values, const Limits& limits) {
    Statistics s;
    std::vector<double> v;
    v.reserve(values.size());
    for (double x : values)
        if (std::isfinite(x))
            v.push_back(x);
    s.n = static_cast<int>(v.size());
    if (v.empty())
        return s;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    s.min = *lo;
    s.max = *hi;
    const double n = static_cast<double>(v.size());
    // Two passes: the sum of squares about the mean, not the difference of two large sums.
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / n;
    s.mean = mean;
    if (v.size() < 2)
        return s;
    double ss = 0.0;
    for (double x : v)
        ss += (x - mean) * (x - mean);
    const double sd = std::sqrt(ss / (n - 1.0));
    s.stddev = sd;
    // Equal values spread nothing: no capability can be told from them.
    if (!(sd > 0.0) || *lo == *hi)
        return s;
    const auto finite = [](double x) { return std::isfinite(x) ? std::optional<double>(x) : std::nullopt; };
    if (limits.lower && limits.upper) {
        s.cp = finite((*limits.upper - *limits.lower) / (6.0 * sd));
        s.cpk = finite(std::min(*limits.upper - mean, mean - *limits.lower) / (3.0 * sd));
    } else if (limits.upper) {
        s.cpu = finite((*limits.upper - mean) / (3.0 * sd));
    } else if (limits.lower) {
        s.cpl = finite((mean - *limits.lower) / (3.0 * sd));
    }
    return s;
}

Statistics computeStatistics(const Series& series) {
    std::vector<double> values;
    values.reserve(series.size());
    for (const SeriesPoint& p : series)
        values.push_back(p.measured);
    Limits limits;
    if (!series.empty()) {
        const SeriesPoint& last = series.back();
        limits = limitsOf(last.type, last.nominal, last.upperTol, last.lowerTol);
    }
    return computeStatistics(values, limits);
}

namespace {

QByteArray csvField(const QString& s) {
    return settings::csvField(s, u",").toUtf8();
}

QByteArray number(double v) {
    return QByteArray::number(v, 'f', QLocale::FloatingPointShortest);
}

const char* classificationText(Classification c) {
    switch (c) {
    case Classification::BeyondWarning:
        return "beyond warning limit";
    case Classification::OutOfTolerance:
        return "out of tolerance";
    default:
        return "ok";
    }
}

} // namespace

QByteArray seriesCsv(const QString& program,
                     const std::vector<std::pair<CharacteristicKey, Series>>& series) {
    // Header data names as columns, in the order they first appear.
    QStringList names;
    for (const auto& [key, points] : series)
        for (const SeriesPoint& p : points)
            for (const auto& [name, value] : p.header)
                if (!names.contains(name))
                    names << name;
    QByteArray out =
        "program,characteristic,part,time_utc,measured,nominal,upper_tol,lower_tol,classification";
    for (const QString& n : names)
        out += ',' + csvField(n);
    out += "\r\n";
    const QByteArray programField = csvField(program);
    for (const auto& [key, points] : series) {
        const QByteArray keyField = csvField(key.text());
        for (const SeriesPoint& p : points) {
            out += programField + ',' + keyField + ',' + csvField(p.partUuid) + ',' +
                   p.measuredUtc.toUTC().toString(Qt::ISODateWithMs).toUtf8() + ',' + number(p.measured) +
                   ',' + number(p.nominal) + ',' + number(p.upperTol) + ',' + number(p.lowerTol) + ',' +
                   classificationText(p.classification);
            for (const QString& n : names) {
                QString value;
                for (const auto& [name, v] : p.header)
                    if (name == n) {
                        value = v;
                        break;
                    }
                out += ',' + csvField(value);
            }
            out += "\r\n";
        }
    }
    return out;
}

} // namespace history
