#pragma once

#include "history/History.h"
#include "statistics/GaugeStudy.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <vector>

// The type 1 gauge study on stored parts: one reference part measured again and again, found in
// the series of one characteristic either as a run of consecutive parts or by its header data.
namespace history {

struct GaugeChoice {
    enum class Kind { LastParts, Range, HeaderValue };
    Kind kind = Kind::LastParts;
    int lastParts = 25; // LastParts: the newest parts that hold a measured value
    int first = 0;      // Range: indices into the series, both inclusive; clipped to the series
    int last = 0;
    QString headerName;  // HeaderValue: the parts whose header data has this name with this value,
    QString headerValue; // both compared without surrounding blanks
};

// Why a choice holds no value to study.
enum class GaugeProblem {
    None,
    NoParts,    // the series is empty
    EmptyRange, // no part between first and last, or no count
    NoMatch,    // no part has the header value
    NoValues,   // parts were chosen, but none holds a measured number
};

struct GaugePart {
    std::size_t index = 0; // into the series
    QString partUuid;
    QDateTime measuredUtc;
    double measured = 0.0;
};

struct GaugeSelection {
    std::vector<GaugePart> parts; // the chosen parts with a measured number, oldest first
    std::vector<double> values;   // their measured values
    int withoutValue = 0;         // chosen parts whose value is no number, left out
    GaugeProblem problem = GaugeProblem::None;
    // From the newest chosen part: its nominal value and its tolerance (gaugeTolerance).
    std::optional<double> reference;
    std::optional<double> tolerance;

    QDateTime firstUtc() const { return parts.empty() ? QDateTime() : parts.front().measuredUtc; }
    QDateTime lastUtc() const { return parts.empty() ? QDateTime() : parts.back().measuredUtc; }
};

GaugeSelection chooseGaugeParts(const Series& series, const GaugeChoice& choice);

// The tolerance T a gauge study relates the gauge's spread to. Two-sided: U - L. One-sided (form
// and position): the zone runs from the natural lower limit 0 to the upper limit, so T is the upper
// limit, nominal + upper tolerance; with the usual nominal 0 that is the drawing's tolerance value.
// Nothing when the stored tolerances are no numbers.
std::optional<double> gaugeTolerance(const SeriesPoint& point);

// The header data names of a series' parts in the order they first appear, and the values one
// name takes, for choosing the reference part; trimmed, empty ones left out.
QStringList gaugeHeaderNames(const Series& series);
QStringList gaugeHeaderValues(const Series& series, const QString& name);

struct GaugeInput {
    GaugeChoice choice;
    std::optional<double> reference; // nothing: the chosen parts' default
    std::optional<double> tolerance;
    statistics::GaugeSettings settings;
};

struct GaugeResult {
    GaugeSelection selection;
    double reference = 0.0; // as studied; NaN when neither given nor known from the parts
    double tolerance = 0.0;
    statistics::GaugeStudy study;
};

GaugeResult gaugeStudyOf(const Series& series, const GaugeInput& input);

} // namespace history
