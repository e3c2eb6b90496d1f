#pragma once

#include "history/History.h"
#include "statistics/Capability.h"
#include "statistics/ControlChart.h"

#include <QByteArray>

#include <vector>

// What a quality engineer reads from a series, as scripts take it: CSV with a decimal point,
// one line per characteristic, an empty field where a figure is not defined and the reason in
// the last column.
namespace history {

// The measured values, oldest first; a value that is no number is left out.
std::vector<double> measuredValues(const Series& series);
// The points of a series that hold a number, oldest first: measuredValues(series)[i] is series[i'th].
std::vector<std::size_t> measuredPoints(const Series& series);
// The tolerance limits of the newest part.
Limits limitsOf(const Series& series);

// The chart for a subgroup size (1: individual parts) and within estimate.
statistics::ControlChart controlChartOf(const std::vector<double>& values, int subgroupSize,
                                        statistics::Within within);

// How the within spread is estimated, as the figures name it.
QString withinMethodName(int subgroupSize, statistics::Within within);

QByteArray capabilityCsvTitle();
QByteArray capabilityCsvLine(const QString& program, const CharacteristicKey& key, int subgroupSize,
                             statistics::Within within, const statistics::Capability& c);

// Two lines per characteristic, the location chart's and the dispersion chart's centre line and
// control limits; then one line per point that breaks a run rule, with its part and the rule.
QByteArray controlLimitsCsvTitle();
QByteArray controlLimitsCsvLines(const QString& program, const CharacteristicKey& key, const Series& series,
                                 int subgroupSize, statistics::Within within);

} // namespace history
