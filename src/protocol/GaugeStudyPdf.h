#pragma once

#include "settings/LanguageTable.h"
#include "statistics/GaugeStudy.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace protocol {

// The language file's section with the gauge study's texts, and its lines.
inline QString gaugeStudySection() {
    return QStringLiteral("GaugeStudy");
}
namespace gaugeline {
enum : int {
    Title = 2,
    PartProgram,
    Characteristic,
    Date,
    Station,
    Operator,
    Parts,
    PartsSpan,
    Reference,
    Tolerance,
    ShareK,
    FactorL,
    MinimumIndex,
    ChartTitle,
    BandLegend,
    Mean,
    FigureHead,
    ValueHead,
    NoteHead,
    Count,
    StdDev,
    Bias,
    TValue,
    PValue,
    Cg,
    Cgk,
    Repeatability,
    BiasShare,
    Result,
    Capable,
    NotCapable,
    NotDetermined,
    BiasSignificant,
    BiasNotSignificant,
    BiasNotTested,
    SignDate,
    Signature,
    ReasonNoValues,
    ReasonFewValues,
    ReasonNoReference,
    ReasonTolerance,
    ReasonSettings,
    ReasonNoSpread,
    ReasonNotFinite,
    NoParts,
    EmptyRange,
    NoMatch,
    NoValues,
    WithoutValue,
    ChooseParts,
    LastParts,
    RangeFrom,
    RangeTo,
    ByHeader,
    Settings,
    Figures,
    SavePdf,
    Close,
    PdfFilter,
    Written,
    WriteFailed,
    NoHeader,
    DefaultTip,
    PartAxis,
    ChosenBy,
};
}

// A type 1 gauge study as the report shows it: where the values come from, the study's settings
// and figures.
struct GaugeStudyReport {
    explicit GaugeStudyReport(const settings::LanguageTable& t) : texts(t) {}

    const settings::LanguageTable& texts;
    QLocale locale;
    QString program;        // the part program
    QString characteristic; // "ID.Achse"
    QString station;        // optional
    QString operatorName;   // optional
    QDateTime created;      // local time
    QString chosenBy;       // optional, e.g. "Teil = Referenz 1"
    QDateTime firstUtc;     // the oldest and newest chosen part
    QDateTime lastUtc;
    int withoutValue = 0; // chosen parts left out for want of a value
    std::vector<double> values;
    double reference = 0.0; // NaN when unknown
    double tolerance = 0.0;
    statistics::GaugeSettings settings;
    statistics::GaugeStudy study;
};

// One line of the figures table, as the report and the window show it: an undefined figure has
// a dash for its value and the reason as its note.
struct GaugeFigureLine {
    QString name;
    QString symbol;
    QString value;
    QString note;
};
std::vector<GaugeFigureLine> gaugeFigureLines(const GaugeStudyReport& report);

// The two verdicts in words; empty optionals while a figure they need is undefined.
struct GaugeVerdict {
    QString capability;
    std::optional<bool> capable;
    QString bias;
    std::optional<bool> biasSignificant;
};
GaugeVerdict gaugeVerdict(const GaugeStudyReport& report);

// The statistics' reason for an undefined figure in the user's language.
QString gaugeReasonText(const std::string& reason, const settings::LanguageTable& texts);

// Fixed decimals in the locale, without a group separator and without "-0".
QString fixedText(double value, int decimals, const QLocale& locale);

// One A4 page: the head, the chosen parts and settings, the chart of the values around the
// reference, the figures, the verdicts and a signature field. Text needs fonts: a QGuiApplication
// must exist.
QByteArray renderGaugeStudyPdf(const GaugeStudyReport& report);

} // namespace protocol
