#include "protocol/GaugeStudyPdf.h"
#include "protocol/PdfProtocol.h"
#include "protocol/PdfStyle.h"

#include "common/NumberText.h"

#include "settings/LocaleText.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <map>

namespace protocol {

namespace {

using namespace pdf;

using statistics::Figure;

QString text(const settings::LanguageTable& t, int line) {
    return t.text(gaugeStudySection(), line);
}

double rounded(double v, int decimals) {
    const double f = std::pow(10.0, decimals);
    return std::nearbyint(v * f) / f;
}

QString dash() {
    return QStringLiteral("\u2013");
}

// Two decimals, more where two would show the minimum for an index that misses it (1.3296 is
// not 1.33); the verdict and the figure never contradict each other.
QString indexText(double v, double minimum, const QLocale& locale) {
    int d = 2;
    while (d < 6 && (rounded(v, d) >= minimum) != (v >= minimum))
        ++d;
    return fixedText(v, d, locale);
}

QString pText(double p, const QLocale& locale) {
    if (p < 0.0005)
        return QStringLiteral("< ") + fixedText(0.001, 3, locale);
    return fixedText(p, 3, locale);
}

QString shortTime(const QDateTime& utc, const QLocale& locale) {
    if (!utc.isValid())
        return dash();
    const QDateTime local = utc.toLocalTime();
    return settings::shortDateText(local.date(), locale) + QLatin1Char(' ') +
           local.time().toString(QStringLiteral("HH:mm"));
}

} // namespace

QString fixedText(double value, int decimals, const QLocale& locale) {
    if (!std::isfinite(value))
        return dash();
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    double r = rounded(value, decimals);
    if (r == 0.0)
        r = 0.0; // no "-0,00"
    return l.toString(r, 'f', decimals);
}

QString gaugeReasonText(const std::string& reason, const settings::LanguageTable& texts) {
    static const std::map<std::string, int> lines = {
        {"no values", gaugeline::ReasonNoValues},
        {"fewer than two values", gaugeline::ReasonFewValues},
        {"no reference value", gaugeline::ReasonNoReference},
        {"tolerance not positive", gaugeline::ReasonTolerance},
        {"invalid study settings", gaugeline::ReasonSettings},
        {"no spread", gaugeline::ReasonNoSpread},
        {"not a finite number", gaugeline::ReasonNotFinite},
    };
    const auto it = lines.find(reason);
    const QString translated = it == lines.end() ? QString() : text(texts, it->second);
    return translated.isEmpty() ? QString::fromStdString(reason) : translated;
}

std::vector<GaugeFigureLine> gaugeFigureLines(const GaugeStudyReport& r) {
    const statistics::GaugeStudy& g = r.study;
    const QLocale& loc = r.locale;
    std::vector<GaugeFigureLine> lines;
    auto add = [&](int name, const char* symbol, const Figure& f, const auto& format) {
        GaugeFigureLine l{text(r.texts, name), QString::fromUtf8(symbol), dash(), {}};
        if (f.value)
            l.value = format(*f.value);
        else
            l.note = gaugeReasonText(f.reason, r.texts);
        lines.push_back(l);
    };
    const auto value = [&](double v) { return fixedText(v, 5, loc); };
    const auto index = [&](double v) { return indexText(v, r.settings.minimumIndex, loc); };
    const auto percent = [&](double v) { return fixedText(v, 1, loc) + QStringLiteral(" %"); };

    GaugeFigureLine count{text(r.texts, gaugeline::Count), QStringLiteral("n"), QString::number(g.n), {}};
    if (r.withoutValue > 0)
        count.note = text(r.texts, gaugeline::WithoutValue).arg(r.withoutValue);
    lines.push_back(count);
    add(gaugeline::Mean, "x\u0304", g.mean, value);
    add(gaugeline::StdDev, "s", g.s, value);
    add(gaugeline::Bias, "Bi", g.bias, value);
    add(gaugeline::TValue, "t", g.t, [&](double v) { return fixedText(v, 2, loc); });
    add(gaugeline::PValue, "p", g.pValue, [&](double v) { return pText(v, loc); });
    add(gaugeline::Cg, "Cg", g.cg, index);
    add(gaugeline::Cgk, "Cgk", g.cgk, index);
    add(gaugeline::Repeatability, "L\u00b7s / T", g.percentRepeatability, percent);
    add(gaugeline::BiasShare, "|Bi| / T", g.percentBias, percent);
    lines.push_back({text(r.texts, gaugeline::MinimumIndex),
                     QStringLiteral("Cg, Cgk \u2265"),
                     fixedText(r.settings.minimumIndex, 2, loc),
                     {}});
    return lines;
}

GaugeVerdict gaugeVerdict(const GaugeStudyReport& r) {
    const statistics::GaugeStudy& g = r.study;
    GaugeVerdict v;
    v.capable = g.capable;
    const QString minimum = fixedText(r.settings.minimumIndex, 2, r.locale);
    if (g.capable)
        v.capability = text(r.texts, *g.capable ? gaugeline::Capable : gaugeline::NotCapable).arg(minimum);
    else
        v.capability = text(r.texts, gaugeline::NotDetermined)
                           .arg(gaugeReasonText(g.cg ? g.cgk.reason : g.cg.reason, r.texts));
    v.biasSignificant = g.biasSignificant;
    if (g.biasSignificant) {
        const QString p = QStringLiteral("p ") +
                          (*g.pValue.value < 0.0005 ? QString() : QStringLiteral("= ")) +
                          pText(*g.pValue.value, r.locale);
        const QString alpha = r.locale.toString(r.settings.alpha, 'g', 6);
        v.bias =
            text(r.texts, *g.biasSignificant ? gaugeline::BiasSignificant : gaugeline::BiasNotSignificant)
                .arg(p, alpha);
    } else {
        v.bias = text(r.texts, gaugeline::BiasNotTested)
                     .arg(gaugeReasonText(g.pValue ? std::string("invalid study settings") : g.pValue.reason,
                                          r.texts));
    }
    return v;
}

namespace {

// Page geometry in millimetres, as the measurement protocol has it.
constexpr double kPageW = 210.0;
constexpr double kPageH = 297.0;
constexpr double kMargin = 12.0;
constexpr double kWidth = kPageW - 2 * kMargin;
constexpr double kRowH = 5.0;
constexpr int kResolution = 300;

const QColor kGrey(120, 120, 120);
const QColor kBlue(20, 80, 180);
const QColor kBandFill(232, 245, 236);

class Renderer {
public:
    Renderer(const GaugeStudyReport& r, QPainter& p) : m_r(r), m_p(p) {}
    void run();

private:
    double u(double mm) const { return mm * kResolution / 25.4; }
    QRectF box(double x, double y, double w, double h) const { return QRectF(u(x), u(y), u(w), u(h)); }
    QPointF at(double x, double y) const { return QPointF(u(x), u(y)); }
    QString t(int line) const { return text(m_r.texts, line); }
    void textAt(double x, double y, double w, double h, const QString& s, int flags) {
        m_p.drawText(box(x, y, w, h), flags | Qt::TextSingleLine, elided(s, w));
    }
    QString elided(const QString& s, double widthMm) const {
        const QFontMetricsF m(m_p.font(), m_p.device());
        return m.horizontalAdvance(s) <= u(widthMm) ? s : m.elidedText(s, Qt::ElideRight, u(widthMm));
    }
    QString value(double v) const { return fixedText(v, 5, m_r.locale); }
    bool hasBand() const {
        return std::isfinite(m_r.reference) && std::isfinite(m_r.tolerance) && m_r.tolerance > 0.0 &&
               m_r.settings.percentOfTolerance > 0.0;
    }
    double halfBand() const { return m_r.settings.percentOfTolerance / 200.0 * m_r.tolerance; }

    void head();
    double info(double y);
    double chart(double y);
    double figures(double y);
    double verdict(double y);
    void signature();
    void foot();

    const GaugeStudyReport& m_r;
    QPainter& m_p;
};

void Renderer::head() {
    m_p.setPen(Qt::black);
    m_p.setFont(font(15, true));
    textAt(kMargin, kMargin, kWidth, 9, t(gaugeline::Title), Qt::AlignLeft | Qt::AlignVCenter);
    m_p.setPen(QPen(Qt::black, u(0.3)));
    m_p.drawLine(at(kMargin, kMargin + 10), at(kPageW - kMargin, kMargin + 10));
}

double Renderer::info(double y) {
    const double half = kWidth / 2;
    const double label = 40.0;
    auto pair = [&](double x, double w, const QString& name, const QString& v) {
        m_p.setPen(Qt::black);
        m_p.setFont(font(9, true));
        textAt(x, y, label, kRowH, name, Qt::AlignLeft | Qt::AlignVCenter);
        m_p.setFont(font(9));
        textAt(x + label, y, w - label - 2, kRowH, v, Qt::AlignLeft | Qt::AlignVCenter);
    };
    // Two columns; station and operator only when given.
    std::vector<std::pair<QString, QString>> grid = {
        {t(gaugeline::PartProgram), m_r.program},
        {t(gaugeline::Date), settings::shortDateText(m_r.created.date(), m_r.locale)},
        {t(gaugeline::Characteristic), m_r.characteristic},
    };
    if (!m_r.station.trimmed().isEmpty())
        grid.emplace_back(t(gaugeline::Station), m_r.station.trimmed());
    if (!m_r.operatorName.trimmed().isEmpty())
        grid.emplace_back(t(gaugeline::Operator), m_r.operatorName.trimmed());
    for (std::size_t i = 0; i < grid.size(); ++i) {
        pair(kMargin + (i % 2) * half, half, grid[i].first, grid[i].second);
        if (i % 2 == 1 || i + 1 == grid.size())
            y += kRowH;
    }
    const int chosen = m_r.study.n;
    QString parts = t(gaugeline::PartsSpan)
                        .arg(chosen)
                        .arg(shortTime(m_r.firstUtc, m_r.locale), shortTime(m_r.lastUtc, m_r.locale));
    if (!m_r.chosenBy.isEmpty())
        parts += QStringLiteral("   ") + t(gaugeline::ChosenBy) + QStringLiteral(": ") + m_r.chosenBy;
    pair(kMargin, kWidth, t(gaugeline::Parts), parts);
    y += kRowH;
    const QLocale& loc = m_r.locale;
    pair(kMargin, half, t(gaugeline::Reference), value(m_r.reference));
    pair(kMargin + half, half, t(gaugeline::Tolerance), value(m_r.tolerance));
    y += kRowH;
    pair(kMargin, half, t(gaugeline::ShareK),
         loc.toString(m_r.settings.percentOfTolerance, 'g', 6) + QStringLiteral(" %"));
    pair(kMargin + half, half, t(gaugeline::FactorL), loc.toString(m_r.settings.spreadFactor, 'g', 6));
    return y + kRowH;
}

double Renderer::chart(double y) {
    m_p.setPen(Qt::black);
    m_p.setFont(font(10, true));
    textAt(kMargin, y, kWidth, 6, t(gaugeline::ChartTitle), Qt::AlignLeft | Qt::AlignVCenter);
    y += 7;
    const double axisW = 20.0; // the value labels left of the plot
    const double left = kMargin + axisW;
    const double width = kWidth - axisW;
    const double height = 68.0;
    const double top = y;

    std::vector<double> v;
    for (double x : m_r.values)
        if (std::isfinite(x))
            v.push_back(x);
    const bool band = hasBand();
    const bool reference = std::isfinite(m_r.reference);
    const std::optional<double> mean = m_r.study.mean.value;

    // The range holds every value and every line drawn.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    auto include = [&](double x) {
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    };
    for (double x : v)
        include(x);
    if (band) {
        include(m_r.reference - halfBand());
        include(m_r.reference + halfBand());
    } else if (reference) {
        include(m_r.reference);
    }
    if (mean)
        include(*mean);
    if (!(lo <= hi)) {
        lo = -1.0;
        hi = 1.0;
    }
    if (hi - lo <= std::max(std::fabs(hi), 1.0) * 1e-9) {
        const double pad = std::max(std::fabs(hi), 1.0) * 1e-4;
        lo -= pad;
        hi += pad;
    }
    const double pad = (hi - lo) * 0.08;
    lo -= pad;
    hi += pad;
    auto yOf = [&](double value) { return top + (hi - value) / (hi - lo) * height; };
    const int n = static_cast<int>(v.size());
    const double inner = 4.0; // room between the frame and the first and last point
    auto xOf = [&](int i) {
        return n <= 1 ? left + width / 2 : left + inner + i * (width - 2 * inner) / (n - 1);
    };

    // Between the limits the values should stay.
    if (band)
        m_p.fillRect(QRectF(at(left, yOf(m_r.reference + halfBand())),
                            at(left + width, yOf(m_r.reference - halfBand()))),
                     kBandFill);

    // Grid and value labels.
    const double step = common::number::niceStep(hi - lo, 7);
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    m_p.setFont(font(7));
    for (double g = std::ceil(lo / step) * step; g <= hi; g += step) {
        const double gy = yOf(g);
        m_p.setPen(QPen(QColor(215, 215, 215), u(0.15)));
        m_p.drawLine(at(left, gy), at(left + width, gy));
        m_p.setPen(Qt::black);
        textAt(kMargin, gy - 2, axisW - 1.5, 4, fixedText(g, decimals, m_r.locale),
               Qt::AlignRight | Qt::AlignVCenter);
    }
    // Part numbers along the bottom.
    if (n > 0) {
        const int every = std::max(1, static_cast<int>(common::number::niceStep(std::max(n, 2), 13)));
        for (int i = 1; i <= n; ++i) {
            if (i != 1 && i % every != 0)
                continue;
            const double x = xOf(i - 1);
            m_p.setPen(QPen(Qt::black, u(0.2)));
            m_p.drawLine(at(x, top + height), at(x, top + height + 1));
            textAt(x - 6, top + height + 1, 12, 4, QString::number(i), Qt::AlignHCenter | Qt::AlignTop);
        }
        m_p.setFont(font(7, true));
        textAt(left + width - 30, top + height + 4.5, 30, 4, t(gaugeline::PartAxis),
               Qt::AlignRight | Qt::AlignTop);
    }

    auto level = [&](double value, const QPen& pen) {
        m_p.setPen(pen);
        m_p.drawLine(at(left, yOf(value)), at(left + width, yOf(value)));
    };
    QPen bandPen(kRed, u(0.35), Qt::DashLine);
    QPen referencePen(Qt::black, u(0.4));
    QPen meanPen(kBlue, u(0.3), Qt::DotLine);
    if (band) {
        level(m_r.reference + halfBand(), bandPen);
        level(m_r.reference - halfBand(), bandPen);
    }
    if (reference)
        level(m_r.reference, referencePen);
    if (mean)
        level(*mean, meanPen);

    // The values in the order they were measured; those beyond the limits in red.
    if (n > 1) {
        QPainterPath path(at(xOf(0), yOf(v[0])));
        for (int i = 1; i < n; ++i)
            path.lineTo(at(xOf(i), yOf(v[static_cast<std::size_t>(i)])));
        m_p.setPen(QPen(kGrey, u(0.2)));
        m_p.setBrush(Qt::NoBrush);
        m_p.drawPath(path);
    }
    const double dot = std::clamp(120.0 / std::max(n, 1), 0.5, 1.4);
    m_p.setPen(Qt::NoPen);
    for (int i = 0; i < n; ++i) {
        const double x = v[static_cast<std::size_t>(i)];
        const bool out = band && std::fabs(x - m_r.reference) > halfBand();
        m_p.setBrush(out ? kRed : kBlue);
        m_p.drawEllipse(at(xOf(i), yOf(x)), u(dot / 2), u(dot / 2));
    }
    m_p.setBrush(Qt::NoBrush);
    m_p.setPen(QPen(Qt::black, u(0.25)));
    m_p.drawRect(box(left, top, width, height));

    // The legend, one entry per line drawn.
    y = top + height + 9;
    double x = left;
    m_p.setFont(font(7.5));
    auto entry = [&](const QPen& pen, const QString& s) {
        m_p.setPen(pen);
        m_p.drawLine(at(x, y + 2), at(x + 7, y + 2));
        m_p.setPen(Qt::black);
        const QFontMetricsF m(m_p.font(), m_p.device());
        const double w = m.horizontalAdvance(s) * 25.4 / kResolution;
        textAt(x + 8.5, y, w + 1, 4, s, Qt::AlignLeft | Qt::AlignVCenter);
        x += 8.5 + w + 6;
    };
    if (reference)
        entry(referencePen, t(gaugeline::Reference) + QStringLiteral(" ") + value(m_r.reference));
    if (band)
        entry(bandPen,
              t(gaugeline::BandLegend).arg(m_r.locale.toString(m_r.settings.percentOfTolerance / 2, 'g', 6)) +
                  QStringLiteral(" (") + value(m_r.reference - halfBand()) + QStringLiteral(" / ") +
                  value(m_r.reference + halfBand()) + QLatin1Char(')'));
    if (mean)
        entry(meanPen, t(gaugeline::Mean) + QStringLiteral(" ") + value(*mean));
    return y + 6;
}

double Renderer::figures(double y) {
    const double cols[] = {74, 24, 30, kWidth - 74 - 24 - 30};
    auto cells = [&](const GaugeFigureLine& l, double rowH) {
        double x = kMargin;
        const QString texts[] = {l.name, l.symbol, l.value, l.note};
        for (int c = 0; c < 4; ++c) {
            const int align = c == 2 ? Qt::AlignRight : Qt::AlignLeft;
            textAt(x + 1.5, y, cols[c] - 3, rowH, texts[c], align | Qt::AlignVCenter);
            x += cols[c];
        }
    };
    m_p.fillRect(box(kMargin, y, kWidth, 6), kHeadFill);
    m_p.setPen(Qt::black);
    m_p.setFont(font(8, true));
    cells({t(gaugeline::FigureHead), {}, t(gaugeline::ValueHead), t(gaugeline::NoteHead)}, 6);
    y += 6;
    const std::vector<GaugeFigureLine> lines = gaugeFigureLines(m_r);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i % 2 == 1)
            m_p.fillRect(box(kMargin, y, kWidth, kRowH), kStripe);
        const bool index = lines[i].symbol == QLatin1String("Cg") || lines[i].symbol == QLatin1String("Cgk");
        m_p.setFont(font(8.5, index));
        m_p.setPen(Qt::black);
        cells(lines[i], kRowH);
        y += kRowH;
    }
    m_p.setPen(QPen(Qt::black, u(0.2)));
    m_p.drawLine(at(kMargin, y), at(kPageW - kMargin, y));
    return y + 5;
}

double Renderer::verdict(double y) {
    const GaugeVerdict v = gaugeVerdict(m_r);
    m_p.setPen(Qt::black);
    m_p.setFont(font(10, true));
    textAt(kMargin, y, kWidth, 6, t(gaugeline::Result), Qt::AlignLeft | Qt::AlignVCenter);
    y += 7;
    auto line = [&](const QString& s, const QColor& colour, double points) {
        m_p.setPen(Qt::NoPen);
        m_p.setBrush(colour);
        m_p.drawEllipse(box(kMargin + 0.5, y + 1.8, 3.4, 3.4));
        m_p.setBrush(Qt::NoBrush);
        m_p.setPen(colour);
        // A long sentence of another language gets a smaller font rather than losing its end.
        QFont f = font(points, true);
        const double wide = QFontMetricsF(f, m_p.device()).horizontalAdvance(s);
        if (wide > u(kWidth - 6))
            f.setPointSizeF(std::max(7.0, points * u(kWidth - 6) / wide));
        m_p.setFont(f);
        textAt(kMargin + 6, y, kWidth - 6, 7, s, Qt::AlignLeft | Qt::AlignVCenter);
        y += 8;
    };
    line(v.capability, !v.capable ? kGrey : *v.capable ? kGreen : kRed, 12);
    line(v.bias, !v.biasSignificant ? kGrey : *v.biasSignificant ? kAmber : kGreen, 9.5);
    return y;
}

void Renderer::signature() {
    const double y = kPageH - kMargin - 5.0 - 20.0;
    const double w = (kWidth - 10) / 2;
    m_p.setPen(QPen(Qt::black, u(0.3)));
    m_p.drawLine(at(kMargin, y + 8), at(kMargin + w, y + 8));
    m_p.drawLine(at(kMargin + w + 10, y + 8), at(kPageW - kMargin, y + 8));
    m_p.setFont(font(8));
    textAt(kMargin, y + 9, w, 4, t(gaugeline::SignDate), Qt::AlignLeft | Qt::AlignTop);
    textAt(kMargin + w + 10, y + 9, w, 4, t(gaugeline::Signature), Qt::AlignLeft | Qt::AlignTop);
}

void Renderer::foot() {
    const double y = kPageH - kMargin - 5.0;
    m_p.setPen(QPen(Qt::black, u(0.2)));
    m_p.drawLine(at(kMargin, y - 1), at(kPageW - kMargin, y - 1));
    m_p.setFont(font(7.5));
    m_p.setPen(Qt::black);
    textAt(kMargin, y, kWidth * 0.7, 5, m_r.program + QStringLiteral("  ") + m_r.characteristic,
           Qt::AlignLeft | Qt::AlignVCenter);
    const QString stamp = settings::shortDateText(m_r.created.date(), m_r.locale) + QLatin1Char(' ') +
                          m_r.created.time().toString(QStringLiteral("HH:mm:ss"));
    textAt(kMargin + kWidth * 0.7, y, kWidth * 0.3, 5, stamp, Qt::AlignRight | Qt::AlignVCenter);
}

void Renderer::run() {
    head();
    double y = info(kMargin + 13);
    y = chart(y + 3);
    y = figures(y);
    verdict(y);
    signature();
    foot();
}

} // namespace

QByteArray renderGaugeStudyPdf(const GaugeStudyReport& report) {
    return renderA4Pdf(text(report.texts, gaugeline::Title) + QStringLiteral(" ") + report.characteristic,
                       kResolution, [&report](QPainter& painter) { Renderer(report, painter).run(); });
}

} // namespace protocol
