#include "history/HistoryFigures.h"

#include "settings/TextCodec.h"

#include <QLocale>

#include <cmath>
#include <map>

namespace history {

std::vector<std::size_t> measuredPoints(const Series& series) {
    std::vector<std::size_t> points;
    points.reserve(series.size());
    for (std::size_t i = 0; i < series.size(); ++i)
        if (std::isfinite(series[i].measured))
            points.push_back(i);
    return points;
}

std::vector<double> measuredValues(const Series& series) {
    std::vector<double> values;
    values.reserve(series.size());
    for (const SeriesPoint& p : series)
        if (std::isfinite(p.measured))
            values.push_back(p.measured);
    return values;
}

Limits limitsOf(const Series& series) {
    if (series.empty())
        return {};
    const SeriesPoint& newest = series.back();
    return limitsOf(newest.type, newest.nominal, newest.upperTol, newest.lowerTol);
}

statistics::ControlChart controlChartOf(const std::vector<double>& values, int subgroupSize,
                                        statistics::Within within) {
    using statistics::ChartKind;
    const ChartKind kind = subgroupSize <= 1                      ? ChartKind::IndividualsMovingRange
                           : within == statistics::Within::StdDev ? ChartKind::MeanStdDev
                                                                  : ChartKind::MeanRange;
    return statistics::controlChart(values, kind, subgroupSize);
}

QString withinMethodName(int subgroupSize, statistics::Within within) {
    if (subgroupSize <= 1)
        return QStringLiteral("moving range");
    return within == statistics::Within::Range ? QStringLiteral("range")
                                               : QStringLiteral("standard deviation");
}

namespace {

QByteArray number(const std::optional<double>& v) {
    return v ? QByteArray::number(*v, 'f', QLocale::FloatingPointShortest) : QByteArray();
}

// The reasons of the figures left empty, each reason once with the figures it holds for:
// "Pp, Cp: no lower limit; normality: needs eight values".
class Notes {
public:
    void add(const char* name, const statistics::Figure& f) {
        if (!f.value && !f.reason.empty())
            add(name, f.reason);
    }
    void add(const char* name, const std::string& reason) {
        auto [it, fresh] = m_names.try_emplace(reason);
        if (fresh)
            m_order.push_back(reason);
        if (!it->second.isEmpty())
            it->second += ", ";
        it->second += name;
    }
    QString text() const {
        QStringList parts;
        for (const std::string& reason : m_order)
            parts << QString::fromUtf8(m_names.at(reason) + ": ") + QString::fromStdString(reason);
        return parts.join(QStringLiteral("; "));
    }

private:
    std::map<std::string, QByteArray> m_names;
    std::vector<std::string> m_order;
};

} // namespace

QByteArray capabilityCsvTitle() {
    return "program,characteristic,n,subgroup_size,subgroups,mean,s_overall,s_within,within_method,"
           "Pp,Ppk,Ppu,Ppl,Cp,Cpk,Cpu,Cpl,Pp_lower95,Pp_upper95,Ppk_lower95,Ppk_upper95,Cp_lower95,"
           "Cp_upper95,Cpk_lower95,Cpk_upper95,anderson_darling_a2,anderson_darling_p,normal,"
           "percentile_Pp,percentile_Ppk,notes\r\n";
}

QByteArray capabilityCsvLine(const QString& program, const CharacteristicKey& key, int subgroupSize,
                             statistics::Within within, const statistics::Capability& c) {
    const auto field = [](const QString& s) { return settings::csvField(s, u",").toUtf8(); };
    QByteArrayList f{field(program), field(key.text()), QByteArray::number(c.n),
                     QByteArray::number(subgroupSize), QByteArray::number(c.subgroups)};
    for (const statistics::Figure* x : {&c.mean, &c.sOverall, &c.sWithin})
        f << number(x->value);
    f << withinMethodName(subgroupSize, within).toUtf8();
    const std::pair<const char*, const statistics::Figure*> indices[] = {
        {"Pp", &c.pp}, {"Ppk", &c.ppk}, {"Ppu", &c.ppu}, {"Ppl", &c.ppl},
        {"Cp", &c.cp}, {"Cpk", &c.cpk}, {"Cpu", &c.cpu}, {"Cpl", &c.cpl}};
    Notes notes;
    for (const auto& [name, x] : indices) {
        f << number(x->value);
        notes.add(name, *x);
    }
    for (const statistics::Figure* x : {&c.pp, &c.ppk, &c.cp, &c.cpk})
        f << number(x->lower95) << number(x->upper95);
    f << number(c.normality.a2Adjusted.value) << number(c.normality.pValue.value)
      << (c.normality.normal ? QByteArray(*c.normality.normal ? "yes" : "no") : QByteArray());
    if (!c.normality.normal && !c.normality.reason.empty())
        notes.add("normality", c.normality.reason);
    f << number(c.percentile.pp.value) << number(c.percentile.ppk.value);
    notes.add("percentile Pp", c.percentile.pp);
    notes.add("percentile Ppk", c.percentile.ppk);
    if (c.skipped > 0)
        notes.add("values", std::to_string(c.skipped) + " not finite, left out");
    if (c.dropped > 0)
        notes.add("values", std::to_string(c.dropped) + " of an incomplete last subgroup left out");
    f << field(notes.text());
    return f.join(',') + "\r\n";
}

QByteArray controlLimitsCsvTitle() {
    return "program,characteristic,chart,centre_line,lower_control_limit,upper_control_limit,sigma,point,"
           "part,time_utc,value,note\r\n";
}

QByteArray controlLimitsCsvLines(const QString& program, const CharacteristicKey& key, const Series& series,
                                 int subgroupSize, statistics::Within within) {
    const auto field = [](const QString& s) { return settings::csvField(s, u",").toUtf8(); };
    const std::vector<std::size_t> points = measuredPoints(series);
    const statistics::ControlChart c = controlChartOf(measuredValues(series), subgroupSize, within);
    const QByteArray lead = field(program) + ',' + field(key.text()) + ',';
    const bool individuals = subgroupSize <= 1;
    const QByteArray location = individuals ? "I" : "Xbar";
    const QByteArray dispersion = individuals ? "MR" : within == statistics::Within::StdDev ? "s" : "R";
    if (!c.valid)
        return lead + location + ",,,,,,,,," + field(QString::fromStdString(c.reason)) + "\r\n";
    const auto limits = [&](const QByteArray& chart, const statistics::ChartLine& l) {
        return lead + chart + ',' + number(l.centre) + ',' + number(l.lcl) + ',' + number(l.ucl) + ',' +
               number(c.sigma) + ',';
    };
    QByteArray out =
        limits(location, c.location) + ",,,,\r\n" + limits(dispersion, c.dispersion) + ",,,,\r\n";
    for (const statistics::RuleViolation& v : c.violations) {
        // A subgroup is named by its newest part.
        const std::size_t value =
            static_cast<std::size_t>(v.index + 1) * std::size_t(std::max(subgroupSize, 1)) - 1;
        const SeriesPoint& p = series[points.at(value)];
        out += limits(location, c.location) + QByteArray::number(v.index + 1) + ',' + field(p.partUuid) +
               ',' + p.measuredUtc.toUTC().toString(Qt::ISODateWithMs).toUtf8() + ',' +
               number(c.location.points.at(std::size_t(v.index))) + ',' +
               field(QString::fromStdString(v.text)) + "\r\n";
    }
    return out;
}

} // namespace history
