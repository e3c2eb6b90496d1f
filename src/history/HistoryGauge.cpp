#include "history/HistoryGauge.h"

#include "model/Classification.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace history {

namespace {

bool hasHeaderValue(const SeriesPoint& p, const QString& name, const QString& value) {
    return std::any_of(p.header.begin(), p.header.end(), [&](const auto& nv) {
        return nv.first.trimmed() == name && nv.second.trimmed() == value;
    });
}

std::optional<double> finiteOrNothing(double v) {
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

} // namespace

std::optional<double> gaugeTolerance(const SeriesPoint& p) {
    if (model::isOneSidedType(p.type))
        return finiteOrNothing(p.nominal + p.upperTol);
    return finiteOrNothing(p.upperTol - p.lowerTol); // lowerTol is stored negative
}

GaugeSelection chooseGaugeParts(const Series& series, const GaugeChoice& choice) {
    GaugeSelection s;
    if (series.empty()) {
        s.problem = GaugeProblem::NoParts;
        return s;
    }
    const int size = static_cast<int>(series.size());
    std::vector<std::size_t> chosen;
    switch (choice.kind) {
    case GaugeChoice::Kind::LastParts: {
        // The count is of values: a part without one does not shorten the study.
        int from = size;
        for (int values = 0; from > 0 && values < choice.lastParts;)
            if (std::isfinite(series[static_cast<std::size_t>(--from)].measured))
                ++values;
        for (int i = from; i < size; ++i)
            chosen.push_back(static_cast<std::size_t>(i));
        break;
    }
    case GaugeChoice::Kind::Range: {
        const int first = std::max(choice.first, 0);
        const int last = std::min(choice.last, size - 1);
        for (int i = first; i <= last; ++i)
            chosen.push_back(static_cast<std::size_t>(i));
        break;
    }
    case GaugeChoice::Kind::HeaderValue: {
        const QString name = choice.headerName.trimmed();
        const QString value = choice.headerValue.trimmed();
        if (!name.isEmpty())
            for (std::size_t i = 0; i < series.size(); ++i)
                if (hasHeaderValue(series[i], name, value))
                    chosen.push_back(i);
        break;
    }
    }
    if (chosen.empty()) {
        s.problem =
            choice.kind == GaugeChoice::Kind::HeaderValue ? GaugeProblem::NoMatch : GaugeProblem::EmptyRange;
        return s;
    }
    for (std::size_t i : chosen) {
        const SeriesPoint& p = series[i];
        if (!std::isfinite(p.measured)) {
            ++s.withoutValue;
            continue;
        }
        s.parts.push_back({i, p.partUuid, p.measuredUtc, p.measured});
        s.values.push_back(p.measured);
    }
    if (s.parts.empty()) {
        s.problem = GaugeProblem::NoValues;
        return s;
    }
    const SeriesPoint& newest = series[s.parts.back().index];
    s.reference = finiteOrNothing(newest.nominal);
    s.tolerance = gaugeTolerance(newest);
    return s;
}

QStringList gaugeHeaderNames(const Series& series) {
    QStringList names;
    for (const SeriesPoint& p : series)
        for (const auto& [name, value] : p.header) {
            const QString n = name.trimmed();
            if (!n.isEmpty() && !names.contains(n))
                names << n;
        }
    return names;
}

QStringList gaugeHeaderValues(const Series& series, const QString& name) {
    const QString wanted = name.trimmed();
    QStringList values;
    for (const SeriesPoint& p : series)
        for (const auto& [n, value] : p.header) {
            const QString v = value.trimmed();
            if (n.trimmed() == wanted && !v.isEmpty() && !values.contains(v))
                values << v;
        }
    return values;
}

GaugeResult gaugeStudyOf(const Series& series, const GaugeInput& input) {
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    GaugeResult r;
    r.selection = chooseGaugeParts(series, input.choice);
    r.reference = input.reference.value_or(r.selection.reference.value_or(none));
    r.tolerance = input.tolerance.value_or(r.selection.tolerance.value_or(none));
    r.study = statistics::gaugeStudy(r.selection.values, r.reference, r.tolerance, input.settings);
    return r;
}

} // namespace history
