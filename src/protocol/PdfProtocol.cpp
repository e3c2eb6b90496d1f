#include "protocol/PdfProtocol.h"
#include "protocol/PdfStyle.h"

#include "settings/LocaleText.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace protocol {

double BarScale::x(double value) const {
    if (upper > lower) {
        const double t = margin + (value - lower) / (upper - lower) * (width - 2 * margin);
        return std::clamp(t, 0.0, width);
    }
    // A zero-width band is a line in the middle; any other value lies beyond it.
    const double mid = width / 2;
    if (value == lower)
        return mid;
    return value > lower ? width : 0.0;
}

namespace {

using namespace pdf;

// Page geometry in millimetres.
constexpr double kPageW = 210.0;
constexpr double kPageH = 297.0;
constexpr double kMargin = 12.0;
constexpr double kRowH = 5.0;
constexpr double kHeadH = 6.0;
constexpr double kTableBottom = kPageH - kMargin - 9.0;
constexpr double kSignatureH = 24.0;
constexpr int kResolution = 300;

// Column widths; the last is the deviation bar.
constexpr double kCols[] = {26, 11, 18, 17, 17, 18, 19, 17, 43};
constexpr int kColCount = static_cast<int>(sizeof kCols / sizeof kCols[0]);

const QColor kWarnZone(255, 232, 140);
const QColor kOutZone(255, 225, 225);

QColor stateColour(RowState s) {
    switch (s) {
    case RowState::Warning:
        return kAmber;
    case RowState::OutOfTolerance:
        return kRed;
    default:
        return kGreen;
    }
}

class Renderer {
public:
    Renderer(const PdfContent& c, QPainter& p) : m_c(c), m_p(p), m_number(c.locale) {}

    void run();

private:
    double u(double mm) const { return mm * kResolution / 25.4; }
    QRectF box(double x, double y, double w, double h) const { return QRectF(u(x), u(y), u(w), u(h)); }
    QString text(int line) const { return m_c.texts.text(protocolSection(), line); }
    void textAt(double x, double y, double w, double h, const QString& t, int flags) {
        m_p.drawText(box(x, y, w, h), flags | Qt::TextSingleLine, t);
    }

    // The short date with a four-digit year, as the result files write it, and the time.
    QString stamp() const {
        return settings::shortDateText(m_c.measuredAt.date(), m_c.locale) + QLatin1Char(' ') +
               m_c.measuredAt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    double infoHeight() const;
    void pageHead(int page);
    void pageFoot(int page, int pages);
    double firstPageInfo();
    double tableHead(double y);
    void row(double y, const ChosenRow& r, bool stripe);
    void bar(double x, double y, double w, const model::MerkmalRow& r);
    void signature(double y);
    QString elided(const QString& t, double widthMm) const;

    const PdfContent& m_c;
    QPainter& m_p;
    settings::NumberFormat m_number;
    QFont m_cellFont = font(7.5);
    QFont m_headFont = font(6.8, true);
    std::unique_ptr<QFontMetricsF> m_cellMetrics;
};

QString Renderer::elided(const QString& t, double widthMm) const {
    if (m_cellMetrics->horizontalAdvance(t) <= u(widthMm))
        return t;
    return m_cellMetrics->elidedText(t, Qt::ElideRight, u(widthMm));
}

double Renderer::infoHeight() const {
    int named = 0;
    for (const model::HeaderRow& h : m_c.header)
        if (!h.name.trimmed().isEmpty())
            ++named;
    // As firstPageInfo() lays it out: two program lines, the header data's heading (6) and its
    // lines, the summary line.
    const double headerData = named > 0 ? 6.0 + (named + 1) / 2 * 5.0 : 0.0;
    return 2 * 5.0 + headerData + 2.0 + 8.0;
}

void Renderer::pageHead(int page) {
    m_p.setFont(font(page == 1 ? 15 : 10, true));
    const double h = page == 1 ? 9.0 : 6.0;
    textAt(kMargin, kMargin, kPageW - 2 * kMargin, h, text(line::Title), Qt::AlignLeft | Qt::AlignVCenter);
    if (page > 1) {
        m_p.setFont(font(8));
        const QString what = m_c.program.partName.isEmpty() ? m_c.program.fileName : m_c.program.partName;
        textAt(kMargin, kMargin, kPageW - 2 * kMargin, h, what, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_p.setPen(QPen(Qt::black, u(0.3)));
    m_p.drawLine(QPointF(u(kMargin), u(kMargin + h + 1)), QPointF(u(kPageW - kMargin), u(kMargin + h + 1)));
}

void Renderer::pageFoot(int page, int pages) {
    const double y = kPageH - kMargin - 5.0;
    m_p.setPen(QPen(Qt::black, u(0.2)));
    m_p.drawLine(QPointF(u(kMargin), u(y - 1)), QPointF(u(kPageW - kMargin), u(y - 1)));
    m_p.setFont(font(7.5));
    const double w = kPageW - 2 * kMargin;
    textAt(kMargin, y, w, 5, m_c.program.fileName, Qt::AlignLeft | Qt::AlignVCenter);
    textAt(kMargin, y, w, 5, text(line::PageOf).arg(page).arg(pages), Qt::AlignHCenter | Qt::AlignVCenter);
    textAt(kMargin, y, w, 5, stamp(), Qt::AlignRight | Qt::AlignVCenter);
}

double Renderer::firstPageInfo() {
    double y = kMargin + 12.0;
    const double half = (kPageW - 2 * kMargin) / 2;
    const double label = 40.0;
    auto pair = [&](double x, const QString& name, const QString& value) {
        m_p.setFont(font(9, true));
        textAt(x, y, label, 5, name, Qt::AlignLeft | Qt::AlignVCenter);
        m_p.setFont(font(9));
        textAt(x + label, y, half - label - 2, 5, value, Qt::AlignLeft | Qt::AlignVCenter);
    };
    const QString program =
        m_c.program.partName.isEmpty()
            ? m_c.program.fileName
            : m_c.program.partName + QStringLiteral("  (") +
                  m_c.program.fileName.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1) +
                  QLatin1Char(')');
    pair(kMargin, text(line::PartProgram), program);
    pair(kMargin + half, text(line::DateTime), stamp());
    y += 5;
    pair(kMargin, text(line::DrawingNumber), m_c.program.drawingNumber);
    pair(kMargin + half, text(line::Revision), m_c.program.revision);
    y += 5;

    std::vector<const model::HeaderRow*> named;
    for (const model::HeaderRow& h : m_c.header)
        if (!h.name.trimmed().isEmpty())
            named.push_back(&h);
    if (!named.empty()) {
        m_p.setFont(font(9, true));
        textAt(kMargin, y + 1, half, 5, text(line::HeaderData), Qt::AlignLeft | Qt::AlignVCenter);
        y += 6;
        for (std::size_t i = 0; i < named.size(); ++i) {
            pair(kMargin + (i % 2) * half, named[i]->name.trimmed(), named[i]->value.trimmed());
            if (i % 2 == 1 || i + 1 == named.size())
                y += 5;
        }
    }

    // The three lamps' counts for the rows in this protocol.
    int counts[3] = {0, 0, 0};
    for (const ChosenRow& r : m_c.rows)
        ++counts[static_cast<int>(rowState(*r.row))];
    y += 2;
    const QString summary = text(line::Summary).arg(counts[0]).arg(counts[1]).arg(counts[2]);
    m_p.setPen(Qt::NoPen);
    const QColor lamps[3] = {kGreen, kAmber, kRed};
    for (int i = 0; i < 3; ++i) {
        m_p.setBrush(lamps[i]);
        m_p.drawEllipse(box(kMargin + i * 3.6, y + 1.5, 2.6, 2.6));
    }
    m_p.setBrush(Qt::NoBrush);
    m_p.setPen(Qt::black);
    m_p.setFont(font(9, true));
    textAt(kMargin + 12, y, kPageW - 2 * kMargin - 12, 5.6, summary, Qt::AlignLeft | Qt::AlignVCenter);
    return y + 8.0;
}

double Renderer::tableHead(double y) {
    m_p.fillRect(box(kMargin, y, kPageW - 2 * kMargin, kHeadH), kHeadFill);
    m_p.setFont(m_headFont);
    m_p.setPen(Qt::black);
    const int titles[kColCount] = {line::Id,        line::Axis,     line::Nominal,
                                   line::UpperTol,  line::LowerTol, line::Measured,
                                   line::Deviation, line::OutOfTol, line::Bar};
    const QFontMetricsF metrics(m_headFont, m_p.device());
    double x = kMargin;
    for (int c = 0; c < kColCount; ++c) {
        const int align = c < 2 || c == kColCount - 1 ? Qt::AlignLeft : Qt::AlignRight;
        const QString title = text(titles[c]);
        // A longer word of another language gets a smaller font rather than running into the next.
        const double room = u(kCols[c] - 2);
        const double wide = metrics.horizontalAdvance(title);
        if (wide > room) {
            QFont smaller = m_headFont;
            smaller.setPointSizeF(std::max(5.0, m_headFont.pointSizeF() * room / wide));
            m_p.setFont(smaller);
        }
        textAt(x + 1, y, kCols[c] - 2, kHeadH, title, align | Qt::AlignVCenter);
        m_p.setFont(m_headFont);
        x += kCols[c];
    }
    m_p.setFont(m_cellFont);
    return y + kHeadH;
}

void Renderer::row(double y, const ChosenRow& chosen, bool stripe) {
    const model::MerkmalRow& r = *chosen.row;
    if (stripe)
        m_p.fillRect(box(kMargin, y, kPageW - 2 * kMargin, kRowH), kStripe);
    m_p.setPen(Qt::black);
    double x = kMargin;
    textAt(x + 1, y, kCols[0] - 2, kRowH, elided(r.ID, kCols[0] - 2), Qt::AlignLeft | Qt::AlignVCenter);
    x += kCols[0];
    textAt(x + 1, y, kCols[1] - 2, kRowH, elided(r.Achse, kCols[1] - 2), Qt::AlignLeft | Qt::AlignVCenter);
    x += kCols[1];
    const double values[] = {r.Nennwert, r.OTol, r.UTol, r.Messwert, r.Abweichung, r.ATol};
    for (int c = 2; c < 8; ++c) {
        if (c == 7 && r.ATol != 0.0)
            m_p.setPen(kRed);
        // Values carry five decimals; a difference computed from them shows no binary noise.
        const double v = values[c - 2];
        const QString t =
            std::isfinite(v) ? m_number.text(std::nearbyint(v * 1e5) / 1e5) : QStringLiteral("-");
        const double room = u(kCols[c] - 2);
        const double wide = m_cellMetrics->horizontalAdvance(t);
        if (wide > room) {
            // A long number gets a smaller font rather than losing digits or covering its neighbour.
            QFont smaller = m_cellFont;
            smaller.setPointSizeF(std::max(4.0, m_cellFont.pointSizeF() * room / wide));
            m_p.setFont(smaller);
        }
        textAt(x + 1, y, kCols[c] - 2, kRowH, t, Qt::AlignRight | Qt::AlignVCenter);
        if (wide > room)
            m_p.setFont(m_cellFont);
        x += kCols[c];
    }
    bar(x + 1, y, kCols[kColCount - 1] - 2, r);
}

void Renderer::bar(double x0, double y, double w, const model::MerkmalRow& r) {
    BarScale s{r.Nennwert + r.UTol, r.Nennwert + r.OTol, w, w * 0.18};
    const double top = y + 1.0;
    const double h = kRowH - 2.0;
    m_p.setPen(Qt::NoPen);
    // Beyond the band on both sides: out of tolerance.
    const double lo = s.x(s.lower), hi = s.x(s.upper);
    // Below a one-sided tolerance's zero lies nothing a part can measure.
    if (!model::isOneSided(r))
        m_p.fillRect(box(x0, top, lo, h), kOutZone);
    m_p.fillRect(box(x0 + hi, top, w - hi, h), kOutZone);
    // The warning zones at the band's edges, as the classification draws the limit.
    const double band = s.upper - s.lower;
    if (band > 0 && model::hasWarningLimit(r)) {
        const double outer = (100.0 - m_c.warningPercent) / 100.0 * band;
        if (model::isOneSided(r)) {
            const double from = s.x(s.upper - outer);
            m_p.fillRect(box(x0 + from, top, hi - from, h), kWarnZone);
        } else {
            const double a = s.x(s.lower + outer / 2), b = s.x(s.upper - outer / 2);
            m_p.fillRect(box(x0 + lo, top, a - lo, h), kWarnZone);
            m_p.fillRect(box(x0 + b, top, hi - b, h), kWarnZone);
        }
    }
    // The band's limits and the nominal value.
    m_p.setPen(QPen(Qt::darkGray, u(0.2)));
    m_p.drawLine(QPointF(u(x0 + lo), u(top)), QPointF(u(x0 + lo), u(top + h)));
    m_p.drawLine(QPointF(u(x0 + hi), u(top)), QPointF(u(x0 + hi), u(top + h)));
    const double nominal = s.x(r.Nennwert);
    m_p.setPen(QPen(Qt::black, u(0.25)));
    m_p.drawLine(QPointF(u(x0 + nominal), u(top - 0.3)), QPointF(u(x0 + nominal), u(top + h + 0.3)));
    if (!std::isfinite(r.Messwert) || !std::isfinite(r.Nennwert))
        return;
    // The deviation: from the nominal value to the measured one.
    double measured = s.x(r.Messwert);
    // A band of no width has no scale: the bar only says to which side the value lies.
    if (band <= 0 && r.Messwert != r.Nennwert)
        measured = nominal + (r.Messwert > r.Nennwert ? 1 : -1) * w * 0.12;
    const double left = std::min(nominal, measured), right = std::max(nominal, measured);
    const double barH = h * 0.55;
    m_p.setPen(Qt::NoPen);
    m_p.fillRect(box(x0 + left, top + (h - barH) / 2, std::max(right - left, 0.6), barH),
                 stateColour(rowState(r)));
}

void Renderer::signature(double y) {
    y += 8.0;
    const double w = (kPageW - 2 * kMargin - 10) / 2;
    m_p.setPen(QPen(Qt::black, u(0.3)));
    m_p.drawLine(QPointF(u(kMargin), u(y + 8)), QPointF(u(kMargin + w), u(y + 8)));
    m_p.drawLine(QPointF(u(kMargin + w + 10), u(y + 8)), QPointF(u(kPageW - kMargin), u(y + 8)));
    m_p.setFont(font(8));
    textAt(kMargin, y + 9, w, 4, text(line::Date), Qt::AlignLeft | Qt::AlignTop);
    textAt(kMargin + w + 10, y + 9, w, 4, text(line::Signature), Qt::AlignLeft | Qt::AlignTop);
}

void Renderer::run() {
    m_p.setFont(m_cellFont);
    m_cellMetrics = std::make_unique<QFontMetricsF>(m_cellFont, m_p.device());

    // The pages are counted first: every footer names the last page.
    const double firstTop = kMargin + 12.0 + infoHeight();
    const double otherTop = kMargin + 9.0;
    const int firstRows = std::max(1, static_cast<int>((kTableBottom - firstTop - kHeadH) / kRowH));
    const int otherRows = static_cast<int>((kTableBottom - otherTop - kHeadH) / kRowH);
    const int n = static_cast<int>(m_c.rows.size());
    int pages = 1;
    int rowsOnLast = std::min(n, firstRows);
    double lastTop = firstTop;
    for (int left = n - firstRows; left > 0; left -= otherRows) {
        ++pages;
        rowsOnLast = std::min(left, otherRows);
        lastTop = otherTop;
    }
    const bool signatureOwnPage = lastTop + kHeadH + rowsOnLast * kRowH + kSignatureH > kTableBottom;
    if (signatureOwnPage)
        ++pages;

    auto* writer = static_cast<QPdfWriter*>(m_p.device());
    int page = 1;
    pageHead(page);
    double y = tableHead(firstPageInfo());
    int onPage = 0;
    int capacity = firstRows;
    for (int i = 0; i < n; ++i) {
        if (onPage == capacity) {
            pageFoot(page, pages);
            writer->newPage();
            ++page;
            pageHead(page);
            y = tableHead(otherTop);
            onPage = 0;
            capacity = otherRows;
        }
        row(y, m_c.rows[static_cast<std::size_t>(i)], onPage % 2 == 1);
        y += kRowH;
        ++onPage;
    }
    if (signatureOwnPage) {
        pageFoot(page, pages);
        writer->newPage();
        ++page;
        pageHead(page);
        y = otherTop;
    }
    signature(y);
    pageFoot(page, pages);
}

} // namespace

QByteArray renderA4Pdf(const QString& title, int resolution, const std::function<void(QPainter&)>& draw) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(resolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Korvex - Zirirezu Doziduvov"));
        QPainter painter(&writer);
        if (!painter.isActive())
            return {};
        draw(painter);
        painter.end();
    }
    return bytes;
}

QByteArray renderPdfProtocol(const PdfContent& content) {
    return renderA4Pdf(content.texts.text(protocolSection(), line::Title) + QStringLiteral(" ") +
                           content.program.partName,
                       kResolution, [&content](QPainter& painter) { Renderer(content, painter).run(); });
}

} // namespace protocol
