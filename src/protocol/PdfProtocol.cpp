#include "protocol/PdfProtocol.h"
#include "protocol/PdfStyle.h"

#include "excel/ReportLayout.h"
#include "settings/LocaleText.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRawFont>

#include <algorithm>
#include <array>
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
// A row with a designation carries it as a second, smaller line.
constexpr double kNamedRowH = 8.0;
constexpr double kHeadH = 6.0;
constexpr double kTableBottom = kPageH - kMargin - 9.0;
constexpr double kSignatureH = 24.0;
// Positions are whole dots: the page's drawing commands then carry no fractions, which makes the
// large protocols' files smaller and quicker to compress. At this resolution nobody sees the step.
constexpr int kResolution = 1200;
// Rows that end exactly on the table's bottom still fit.
constexpr double kFitSlack = 1e-6;

// Column widths; the first holds the GD&T symbol, the last is the deviation bar.
enum Col { ColSymbol, ColId, ColAxis, ColUnit, ColNominal = 4, ColOutOfTol = 9, ColBar };
constexpr double kCols[] = {5, 23, 10, 10, 17, 16, 16, 17, 18, 17, 37};
constexpr int kColCount = static_cast<int>(sizeof kCols / sizeof kCols[0]);

const QColor kWarnZone(255, 232, 140);
const QColor kOutZone(255, 225, 225);
const QColor kDesignation(80, 80, 80);

// The unit as people write it.
QString unitText(const QString& einheit) {
    const QString u = einheit.trimmed();
    if (u == QLatin1String("MM"))
        return QStringLiteral("mm");
    if (u == QLatin1String("ZOLL"))
        return QStringLiteral("inch");
    if (u == QLatin1String("GRAD"))
        return QStringLiteral("\u00b0");
    return u;
}

// A GD&T symbol as strokes in the square b. Drawn, not set in a font: few fonts have all of them
// (none of those a Linux desktop installs has the position or symmetry sign), and a protocol
// must show them the same on every machine.
QPainterPath gdtSymbol(QChar symbol, const QRectF& b) {
    QPainterPath p;
    const double s = b.width();
    auto at = [&](double x, double y) { return QPointF(b.left() + x * s, b.top() + y * s); };
    auto line = [&](double x1, double y1, double x2, double y2) {
        p.moveTo(at(x1, y1));
        p.lineTo(at(x2, y2));
    };
    auto circle = [&](double r) { p.addEllipse(at(0.5, 0.5), r * s, r * s); };
    switch (symbol.unicode()) {
    case 0x2300: // diameter
        circle(0.3);
        line(0.15, 0.85, 0.85, 0.15);
        break;
    case 0x2316: // position
        circle(0.28);
        line(0.05, 0.5, 0.95, 0.5);
        line(0.5, 0.05, 0.5, 0.95);
        break;
    case 0x23E5: // flatness
        p.moveTo(at(0.3, 0.3));
        p.lineTo(at(0.95, 0.3));
        p.lineTo(at(0.7, 0.7));
        p.lineTo(at(0.05, 0.7));
        p.closeSubpath();
        break;
    case 0x25CB: // roundness
        circle(0.36);
        break;
    case 0x23E4: // straightness
        line(0.05, 0.5, 0.95, 0.5);
        break;
    case 0x2313: // profile of a surface
        p.moveTo(at(0.1, 0.65));
        p.arcTo(QRectF(at(0.1, 0.25), at(0.9, 1.05)), 180, -180);
        p.closeSubpath();
        break;
    case 0x2225: // parallelism
        line(0.3, 0.85, 0.55, 0.15);
        line(0.5, 0.85, 0.75, 0.15);
        break;
    case 0x27C2: // perpendicularity
        line(0.5, 0.15, 0.5, 0.85);
        line(0.1, 0.85, 0.9, 0.85);
        break;
    case 0x2220: // angularity
        line(0.9, 0.85, 0.1, 0.85);
        line(0.1, 0.85, 0.85, 0.2);
        break;
    case 0x232F: // symmetry
        line(0.05, 0.5, 0.95, 0.5);
        line(0.25, 0.3, 0.75, 0.3);
        line(0.25, 0.7, 0.75, 0.7);
        break;
    case 0x25CE: // concentricity, coaxiality
        circle(0.38);
        circle(0.2);
        break;
    case 0x2197: // runout
        line(0.15, 0.85, 0.85, 0.15);
        line(0.85, 0.15, 0.5, 0.2);
        line(0.85, 0.15, 0.8, 0.5);
        break;
    default:
        break;
    }
    return p;
}

// A font whose glyphs are looked up once per character: the table's cells are placed as glyph
// runs and skip text layout and shaping, which took most of the drawing time.
class GlyphFont {
public:
    GlyphFont(const QFont& f, QPaintDevice* device) : m_raw(QRawFont::fromFont(QFont(f, device))) {
        m_ascent = m_raw.ascent();
        m_descent = m_raw.descent();
    }
    const QRawFont& raw() const { return m_raw; }
    // The baseline of a line set vertically centred in a box from top of height h.
    double baseline(double top, double h) const { return top + (h - m_ascent - m_descent) / 2 + m_ascent; }

    // The text's width, or a negative one when a character needs the full text layout.
    double width(const QString& t) {
        double w = 0;
        for (const QChar c : t) {
            const Glyph* g = glyph(c);
            if (!g)
                return -1;
            w += g->advance;
        }
        return w;
    }
    // Appends the text's glyphs from x on baseline y; false (and nothing added) when it cannot.
    bool append(const QString& t, double x, double y, QList<quint32>& glyphs, QList<QPointF>& at) {
        const qsizetype n = glyphs.size();
        for (const QChar c : t) {
            const Glyph* g = glyph(c);
            if (!g) {
                glyphs.resize(n);
                at.resize(n);
                return false;
            }
            glyphs.append(g->index);
            at.append(QPointF(std::round(x), std::round(y)));
            x += g->advance;
        }
        return true;
    }

private:
    struct Glyph {
        quint32 index = 0;
        double advance = 0;
        signed char state = 0; // 0 unknown, 1 simple, -1 needs layout
    };
    // Latin letters and the signs numbers and units use; anything beyond takes the full layout.
    const Glyph* glyph(QChar c) {
        const char16_t u = c.unicode();
        if (u >= m_table.size())
            return nullptr;
        Glyph& g = m_table[u];
        if (g.state == 0) {
            const QList<quint32> index = m_raw.glyphIndexesForString(QString(c));
            const bool simple = index.size() == 1 && index[0] != 0 && c.isPrint() && !c.isMark();
            g.state = simple ? 1 : -1;
            if (simple) {
                g.index = index[0];
                g.advance = m_raw.advancesForGlyphIndexes(index, QRawFont::UseDesignMetrics).value(0).x();
            }
        }
        return g.state == 1 ? &g : nullptr;
    }
    QRawFont m_raw;
    double m_ascent = 0, m_descent = 0;
    std::array<Glyph, 0x250> m_table{};
};

// What one page's rows draw, gathered by kind and drawn at once: a few long paths and glyph
// runs instead of some fifteen painter calls per row.
struct GlyphBatch {
    GlyphFont* font = nullptr;
    QColor colour;
    QList<quint32> glyphs;
    QList<QPointF> at;
    void draw(QPainter& p) {
        if (glyphs.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(font->raw());
        run.setGlyphIndexes(glyphs);
        run.setPositions(at);
        p.setPen(colour);
        p.drawGlyphRun(QPointF(0, 0), run);
        glyphs.clear();
        at.clear();
    }
};

struct RectBatch {
    QColor colour;
    std::vector<QRectF> rects;
    void draw(QPainter& p) {
        if (rects.empty())
            return;
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRects(rects.data(), static_cast<int>(rects.size()));
        p.setBrush(Qt::NoBrush);
        rects.clear();
    }
};

struct LineBatch {
    QPen pen;
    std::vector<QLineF> lines;
    void draw(QPainter& p) {
        if (lines.empty())
            return;
        p.setPen(pen);
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
        lines.clear();
    }
};

class Renderer {
public:
    Renderer(const PdfContent& c, QPainter& p)
        : m_c(c), m_p(p), m_number(c.locale), m_cellGlyphs(m_cellFont, p.device()),
          m_nameGlyphs(m_nameFont, p.device()) {}

    void run();

private:
    static double u(double mm) { return std::round(mm * kResolution / 25.4); }
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
    // The part program's file without its folder: a protocol leaves the premises.
    QString programFile() const {
        return m_c.program.fileName.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    }
    static QString designation(const ChosenRow& r) { return r.comment.simplified(); }
    static double rowHeight(const ChosenRow& r) { return designation(r).isEmpty() ? kRowH : kNamedRowH; }
    double infoHeight() const;
    void pageHead(int page);
    void pageFoot(int page, int pages);
    double firstPageInfo();
    double tableHead(double y);
    void row(double y, const ChosenRow& r, bool stripe);
    void cell(double x, double y, double w, double h, const QString& t, bool right, GlyphBatch& batch,
              double minPoints);
    void bar(double x, double y, double w, const model::MerkmalRow& r);
    void drawBatches();
    void signature(double y);

    const PdfContent& m_c;
    QPainter& m_p;
    settings::NumberFormat m_number;
    QFont m_cellFont = font(7.5);
    QFont m_nameFont = font(6.0);
    QFont m_headFont = font(6.8, true);
    QFont m_footFont = font(7.5);
    GlyphFont m_cellGlyphs;
    GlyphFont m_nameGlyphs;
    GlyphBatch m_black{&m_cellGlyphs, Qt::black, {}, {}};
    GlyphBatch m_red{&m_cellGlyphs, kRed, {}, {}};
    GlyphBatch m_names{&m_nameGlyphs, kDesignation, {}, {}};
    RectBatch m_stripes{kStripe, {}};
    RectBatch m_outZones{kOutZone, {}};
    RectBatch m_warnZones{kWarnZone, {}};
    RectBatch m_bars[3] = {{kGreen, {}}, {kAmber, {}}, {kRed, {}}};
    LineBatch m_limits{QPen(Qt::darkGray, u(0.2)), {}};
    LineBatch m_nominals{QPen(Qt::black, u(0.25)), {}};
    QPainterPath m_symbols;
    // Cells the glyph runs cannot take, drawn by the text layout.
    struct LaidOut {
        QRectF box;
        QFont font;
        QColor colour;
        QString text;
        int align;
    };
    std::vector<LaidOut> m_laidOut;
};

double Renderer::infoHeight() const {
    int named = 0;
    for (const model::HeaderRow& h : m_c.header)
        if (!h.name.trimmed().isEmpty())
            ++named;
    // As firstPageInfo() lays it out: two program lines, the header data's heading (6) and its
    // lines, the verdict box.
    const double headerData = named > 0 ? 6.0 + (named + 1) / 2 * 5.0 : 0.0;
    return 2 * 5.0 + headerData + 2.0 + 8.0;
}

void Renderer::pageHead(int page) {
    m_p.setPen(Qt::black);
    m_p.setFont(font(page == 1 ? 15 : 10, true));
    const double h = page == 1 ? 9.0 : 6.0;
    textAt(kMargin, kMargin, kPageW - 2 * kMargin, h, text(line::Title), Qt::AlignLeft | Qt::AlignVCenter);
    if (page > 1) {
        m_p.setFont(font(8));
        const QString what = m_c.program.partName.isEmpty() ? programFile() : m_c.program.partName;
        textAt(kMargin, kMargin, kPageW - 2 * kMargin, h, what, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_p.setPen(QPen(Qt::black, u(0.3)));
    m_p.drawLine(QPointF(u(kMargin), u(kMargin + h + 1)), QPointF(u(kPageW - kMargin), u(kMargin + h + 1)));
}

void Renderer::pageFoot(int page, int pages) {
    const double y = kPageH - kMargin - 5.0;
    m_p.setPen(QPen(Qt::black, u(0.2)));
    m_p.drawLine(QPointF(u(kMargin), u(y - 1)), QPointF(u(kPageW - kMargin), u(y - 1)));
    m_p.setFont(m_footFont);
    const double w = kPageW - 2 * kMargin;
    // The file name keeps to the left third: a long one is shortened, never run into the page number.
    const QFontMetricsF metrics(m_footFont, m_p.device());
    const QString file = metrics.elidedText(programFile(), Qt::ElideMiddle, u(w / 3 - 2));
    textAt(kMargin, y, w / 3 - 2, 5, file, Qt::AlignLeft | Qt::AlignVCenter);
    textAt(kMargin, y, w, 5, text(line::PageOf).arg(page).arg(pages), Qt::AlignHCenter | Qt::AlignVCenter);
    textAt(kMargin, y, w, 5, stamp(), Qt::AlignRight | Qt::AlignVCenter);
}

double Renderer::firstPageInfo() {
    double y = kMargin + 12.0;
    const double half = (kPageW - 2 * kMargin) / 2;
    const double label = 40.0;
    const QFont bold = font(9, true), plain = font(9);
    auto pair = [&](double x, const QString& name, const QString& value) {
        m_p.setFont(bold);
        textAt(x, y, label, 5, name, Qt::AlignLeft | Qt::AlignVCenter);
        m_p.setFont(plain);
        textAt(x + label, y, half - label - 2, 5, value, Qt::AlignLeft | Qt::AlignVCenter);
    };
    const QString program = m_c.program.partName.isEmpty() ? programFile()
                                                           : m_c.program.partName + QStringLiteral("  (") +
                                                                 programFile() + QLatin1Char(')');
    m_p.setPen(Qt::black);
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
        m_p.setFont(bold);
        textAt(kMargin, y + 1, half, 5, text(line::HeaderData), Qt::AlignLeft | Qt::AlignVCenter);
        y += 6;
        for (std::size_t i = 0; i < named.size(); ++i) {
            pair(kMargin + (i % 2) * half, named[i]->name.trimmed(), named[i]->value.trimmed());
            if (i % 2 == 1 || i + 1 == named.size())
                y += 5;
        }
    }

    // The verdict for the whole part beside the three lamps' counts of the rows in this protocol.
    // A characteristic without a measured value leaves the part unjudged, never "in tolerance".
    int counts[3] = {0, 0, 0};
    bool unmeasured = false;
    for (const ChosenRow& r : m_c.rows) {
        ++counts[static_cast<int>(rowState(*r.row))];
        unmeasured = unmeasured || !std::isfinite(r.row->Messwert);
    }
    const bool out = counts[2] > 0;
    const QColor colour = out ? kRed : unmeasured ? kAmber : kGreen;
    const QString verdict = text(out ? line::PartOut : unmeasured ? line::PartIncomplete : line::PartWithin);
    y += 2;
    const double boxH = 7.0, w = kPageW - 2 * kMargin;
    // The verdict's box fits its text up to half the width; a longer text gets a smaller font.
    QFont verdictFont = font(10, true);
    const double dotsPerMm = kResolution / 25.4;
    const double verdictWide =
        QFontMetricsF(verdictFont, m_p.device()).horizontalAdvance(verdict) / dotsPerMm;
    const double verdictW = std::min(w / 2, std::max(55.0, verdictWide + 8.0));
    if (verdictWide > verdictW - 4)
        verdictFont.setPointSizeF(10.0 * (verdictW - 4) / verdictWide);
    m_p.setPen(QPen(colour, u(0.4)));
    m_p.setBrush(Qt::NoBrush);
    m_p.drawRect(box(kMargin, y, w, boxH));
    m_p.fillRect(box(kMargin, y, verdictW, boxH), colour);
    m_p.setPen(Qt::white);
    m_p.setFont(verdictFont);
    textAt(kMargin + 1, y, verdictW - 2, boxH, verdict, Qt::AlignCenter);

    const QString summary = text(line::Summary).arg(counts[0]).arg(counts[1]).arg(counts[2]);
    const double x = kMargin + verdictW + 3;
    m_p.setPen(Qt::NoPen);
    const QColor lamps[3] = {kGreen, kAmber, kRed};
    for (int i = 0; i < 3; ++i) {
        m_p.setBrush(lamps[i]);
        m_p.drawEllipse(box(x + i * 3.6, y + (boxH - 2.6) / 2, 2.6, 2.6));
    }
    m_p.setBrush(Qt::NoBrush);
    m_p.setPen(Qt::black);
    // The counts are never shortened: a long language's line gets a smaller font.
    QFont countsFont = font(8.5, true);
    const double room = kMargin + w - x - 13;
    const double wide = QFontMetricsF(countsFont, m_p.device()).horizontalAdvance(summary);
    if (wide > u(room))
        countsFont.setPointSizeF(countsFont.pointSizeF() * u(room) / wide * 0.98);
    m_p.setFont(countsFont);
    textAt(x + 12, y, room, boxH, summary, Qt::AlignLeft | Qt::AlignVCenter);
    return y + 8.0;
}

double Renderer::tableHead(double y) {
    m_p.fillRect(box(kMargin, y, kPageW - 2 * kMargin, kHeadH), kHeadFill);
    m_p.setFont(m_headFont);
    m_p.setPen(Qt::black);
    const int titles[kColCount] = {0,              line::Id,       line::Axis,     line::Unit,     line::Nominal,
                                   line::UpperTol, line::LowerTol, line::Measured, line::Deviation,
                                   line::OutOfTol, line::Bar};
    const QFontMetricsF metrics(m_headFont, m_p.device());
    double x = kMargin;
    for (int c = 0; c < kColCount; ++c) {
        const int align = c <= ColUnit || c == ColBar ? Qt::AlignLeft : Qt::AlignRight;
        // The ID's column also heads the designation below each ID.
        if (c == ColSymbol) {
            x += kCols[c];
            continue;
        }
        const QString title =
            c == ColId ? text(line::Id) + QStringLiteral(" / ") + text(line::Designation) : text(titles[c]);
        // A longer title takes two lines at a smaller size, a single long word a smaller font; it
        // is shortened only when even that does not fit.
        const double room = u(kCols[c] - 2);
        QString shown = title;
        int lines = 1;
        double wide = metrics.horizontalAdvance(title);
        if (wide > room) {
            const qsizetype mid = title.size() / 2;
            const qsizetype before = title.lastIndexOf(QLatin1Char(' '), mid),
                            after = title.indexOf(QLatin1Char(' '), mid);
            const qsizetype cut = before < 0                    ? after
                                  : after < 0                   ? before
                                  : mid - before <= after - mid ? before
                                                                : after;
            if (cut > 0) {
                shown = title.left(cut).trimmed() + QLatin1Char('\n') + title.mid(cut + 1).trimmed();
                lines = 2;
                wide = std::max(metrics.horizontalAdvance(shown.section(QLatin1Char('\n'), 0, 0)),
                                metrics.horizontalAdvance(shown.section(QLatin1Char('\n'), 1)));
            }
            const double points = std::min(lines == 2 ? 5.8 : 6.8, 6.8 * room / wide * 0.96);
            QFont smaller = m_headFont;
            smaller.setPointSizeF(std::max(4.5, points));
            m_p.setFont(smaller);
            if (points < 4.5)
                shown = QFontMetricsF(smaller, m_p.device()).elidedText(title, Qt::ElideRight, room);
        }
        if (lines == 2) {
            m_p.drawText(box(x + 1, y, kCols[c] - 2, kHeadH), align | Qt::AlignVCenter, shown);
            m_p.setFont(m_headFont);
            x += kCols[c];
            continue;
        }
        textAt(x + 1, y, kCols[c] - 2, kHeadH, shown, align | Qt::AlignVCenter);
        m_p.setFont(m_headFont);
        x += kCols[c];
    }
    return y + kHeadH;
}

void Renderer::cell(double x, double y, double w, double h, const QString& t, bool right, GlyphBatch& batch,
                    double minPoints) {
    GlyphFont& g = *batch.font;
    const double room = u(w);
    const double wide = g.width(t);
    if (wide >= 0 && wide <= room) {
        g.append(t, right ? u(x + w) - wide : u(x), g.baseline(u(y), u(h)), batch.glyphs, batch.at);
        return;
    }
    // Rare: characters beyond the glyph table, or too long for the column.
    const QFont& base = &batch == &m_names ? m_nameFont : m_cellFont;
    QFont f = base;
    QString shown = t;
    const double full = QFontMetricsF(base, m_p.device()).horizontalAdvance(t);
    if (full > room) {
        if (minPoints > 0) {
            // A long number gets a smaller font rather than losing digits or covering its neighbour.
            f.setPointSizeF(std::max(minPoints, base.pointSizeF() * room / full));
        } else {
            shown = QFontMetricsF(base, m_p.device()).elidedText(t, Qt::ElideRight, room);
        }
    }
    // Drawn with the batches, above the row's stripe.
    m_laidOut.push_back({box(x, y, w, h), f, batch.colour, shown, right ? Qt::AlignRight : Qt::AlignLeft});
}

void Renderer::row(double y, const ChosenRow& chosen, bool stripe) {
    const model::MerkmalRow& r = *chosen.row;
    const QString name = designation(chosen);
    if (stripe)
        m_stripes.rects.push_back(box(kMargin, y, kPageW - 2 * kMargin, name.isEmpty() ? kRowH : kNamedRowH));
    double x = kMargin;
    const QString symbol = excel::SymbolText(r.Typ, true);
    if (!symbol.isEmpty()) {
        const double side = 3.2;
        m_symbols.addPath(gdtSymbol(symbol.front(), box(x + 1.0, y + (kRowH - side) / 2, side, side)));
    }
    x += kCols[ColSymbol];
    cell(x + 1, y, kCols[ColId] - 2, kRowH, r.ID, false, m_black, 0);
    x += kCols[ColId];
    cell(x + 1, y, kCols[ColAxis] - 2, kRowH, r.Achse, false, m_black, 0);
    x += kCols[ColAxis];
    cell(x + 1, y, kCols[ColUnit] - 2, kRowH, unitText(r.Einheit), false, m_black, 0);
    x += kCols[ColUnit];
    const double values[] = {r.Nennwert, r.OTol, r.UTol, r.Messwert, r.Abweichung, r.ATol};
    for (int c = ColNominal; c <= ColOutOfTol; ++c) {
        // Values carry five decimals; a difference computed from them shows no binary noise.
        const double v = values[c - ColNominal];
        const QString t =
            std::isfinite(v) ? m_number.text(std::nearbyint(v * 1e5) / 1e5) : QStringLiteral("-");
        GlyphBatch& batch = c == ColOutOfTol && r.ATol != 0.0 ? m_red : m_black;
        cell(x + 1, y, kCols[c] - 2, kRowH, t, true, batch, 4.0);
        x += kCols[c];
    }
    if (!name.isEmpty())
        cell(kMargin + kCols[ColSymbol] + 1, y + kRowH - 0.6, x - kMargin - kCols[ColSymbol] - 2, kNamedRowH - kRowH, name, false, m_names, 0);
    bar(x + 1, y, kCols[ColBar] - 2, r);
}

void Renderer::bar(double x0, double y, double w, const model::MerkmalRow& r) {
    BarScale s{r.Nennwert + r.UTol, r.Nennwert + r.OTol, w, w * 0.18};
    const double top = y + 1.0;
    const double h = kRowH - 2.0;
    // Beyond the band on both sides: out of tolerance.
    const double lo = s.x(s.lower), hi = s.x(s.upper);
    // Below a one-sided tolerance's zero lies nothing a part can measure.
    if (!model::isOneSided(r))
        m_outZones.rects.push_back(box(x0, top, lo, h));
    m_outZones.rects.push_back(box(x0 + hi, top, w - hi, h));
    // The warning zones at the band's edges, as the classification draws the limit.
    const double band = s.upper - s.lower;
    if (band > 0 && model::hasWarningLimit(r)) {
        const double outer = (100.0 - m_c.warningPercent) / 100.0 * band;
        if (model::isOneSided(r)) {
            const double from = s.x(s.upper - outer);
            m_warnZones.rects.push_back(box(x0 + from, top, hi - from, h));
        } else {
            const double a = s.x(s.lower + outer / 2), b = s.x(s.upper - outer / 2);
            m_warnZones.rects.push_back(box(x0 + lo, top, a - lo, h));
            m_warnZones.rects.push_back(box(x0 + b, top, hi - b, h));
        }
    }
    // The band's limits and the nominal value.
    m_limits.lines.emplace_back(QPointF(u(x0 + lo), u(top)), QPointF(u(x0 + lo), u(top + h)));
    m_limits.lines.emplace_back(QPointF(u(x0 + hi), u(top)), QPointF(u(x0 + hi), u(top + h)));
    const double nominal = s.x(r.Nennwert);
    m_nominals.lines.emplace_back(QPointF(u(x0 + nominal), u(top - 0.3)),
                                  QPointF(u(x0 + nominal), u(top + h + 0.3)));
    if (!std::isfinite(r.Messwert) || !std::isfinite(r.Nennwert))
        return;
    // The deviation: from the nominal value to the measured one.
    double measured = s.x(r.Messwert);
    // A band of no width has no scale: the bar only says to which side the value lies.
    if (band <= 0 && r.Messwert != r.Nennwert)
        measured = nominal + (r.Messwert > r.Nennwert ? 1 : -1) * w * 0.12;
    const double left = std::min(nominal, measured), right = std::max(nominal, measured);
    const double barH = h * 0.55;
    m_bars[static_cast<int>(rowState(r))].rects.push_back(
        box(x0 + left, top + (h - barH) / 2, std::max(right - left, 0.6), barH));
}

void Renderer::drawBatches() {
    // Back to front, as a row would draw them one by one.
    m_stripes.draw(m_p);
    m_outZones.draw(m_p);
    m_warnZones.draw(m_p);
    m_limits.draw(m_p);
    m_nominals.draw(m_p);
    for (RectBatch& b : m_bars)
        b.draw(m_p);
    if (!m_symbols.isEmpty()) {
        m_p.setPen(QPen(Qt::black, u(0.22), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        m_p.setBrush(Qt::NoBrush);
        m_p.drawPath(m_symbols);
        m_symbols = QPainterPath();
    }
    m_black.draw(m_p);
    m_red.draw(m_p);
    m_names.draw(m_p);
    for (const LaidOut& t : m_laidOut) {
        m_p.setFont(t.font);
        m_p.setPen(t.colour);
        m_p.drawText(t.box, t.align | Qt::AlignVCenter | Qt::TextSingleLine, t.text);
    }
    m_laidOut.clear();
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
    // The pages are planned first: every footer names the last page. A page takes rows while
    // they fit above the table's bottom, at least one.
    const double firstTop = kMargin + 12.0 + infoHeight();
    const double otherTop = kMargin + 9.0;
    const std::size_t n = m_c.rows.size();
    std::vector<std::size_t> pageStarts{0};
    double y = firstTop + kHeadH;
    for (std::size_t i = 0; i < n; ++i) {
        const double h = rowHeight(m_c.rows[i]);
        if (y + h > kTableBottom + kFitSlack && i > pageStarts.back()) {
            pageStarts.push_back(i);
            y = otherTop + kHeadH;
        }
        y += h;
    }
    const bool signatureOwnPage = y + kSignatureH > kTableBottom + kFitSlack;
    const int pages = static_cast<int>(pageStarts.size()) + (signatureOwnPage ? 1 : 0);

    auto* writer = static_cast<QPdfWriter*>(m_p.device());
    int page = 1;
    pageHead(page);
    y = tableHead(firstPageInfo());
    for (std::size_t i = 0, onPage = 0; i < n; ++i, ++onPage) {
        if (page < static_cast<int>(pageStarts.size()) && i == pageStarts[static_cast<std::size_t>(page)]) {
            drawBatches();
            pageFoot(page, pages);
            writer->newPage();
            ++page;
            pageHead(page);
            y = tableHead(otherTop);
            onPage = 0;
        }
        row(y, m_c.rows[i], onPage % 2 == 1);
        y += rowHeight(m_c.rows[i]);
    }
    drawBatches();
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
