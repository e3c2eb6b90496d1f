#include "excel/OnlineProtocol.h"

#include "common/NumberText.h"
#include "host/PartProgramReader.h"

#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace excel {

namespace {
const char* const kHeadings[8] = {"Merkmalstyp und Element", "Nennwert",        "Messwert",      "Abweichung",
                                  "'obere Toleranz",         "untere Toleranz", "Bonustoleranz",
                                  "Toleranzüberschreitung (ATol)"};
}

OnlineProtocol::OnlineProtocol() : m_book(newWorkbook(QStringLiteral("Tabelle1"))) {
    m_sheet = m_book->sheet(QStringLiteral("Tabelle1"));
    Row heading;
    for (int c = 0; c < 8; ++c) {
        // The leading apostrophe makes the spreadsheet program show the text as it is.
        QString h = QString::fromUtf8(kHeadings[c]);
        if (h.startsWith(QLatin1Char('\'')))
            h = h.mid(1);
        heading.cells << h;
        m_sheet->setText(1, c + 1, h);
    }
    m_rows.push_back(heading);

    CellFormat columns; // B to H
    columns.horizontal = HAlign::Center;
    columns.vertical = VAlign::Bottom;
    columns.wrapText = false;
    columns.rotation = 0;
    columns.indent = 0;
    columns.shrinkToFit = false;
    m_sheet->formatColumns(2, 8, columns);
    m_sheet->setColumnWidth(2, 8, 20);
    CellFormat all; // every cell: thin grid lines, Arial 9, automatic colour, no underline
    all.thinBorders = true;
    all.fontName = QStringLiteral("Arial");
    all.fontSize = 9;
    all.singleUnderline = false;
    all.fontColour = std::optional<Colour>();
    m_sheet->formatColumns(1, 8, all);
    CellFormat head;
    head.fill = std::optional<Colour>(paletteColour(33));
    head.bold = true;
    m_sheet->format({1, 1, 1, 8}, head);
    m_sheet->freezeFirstRow();
}

QString OnlineProtocol::title(const QString& typ, const QString& f1, const QString& f2, const QString& f3) {
    const bool t1 = !f1.trimmed().isEmpty();
    const bool t2 = !f2.trimmed().isEmpty();
    const bool t3 = !f3.trimmed().isEmpty();
    if (t1 && t2 && t3)
        return typ + QStringLiteral(" von ") + f1 + QStringLiteral("--") + f2 + QStringLiteral("--") + f3;
    if (t1 && t2)
        return typ + QStringLiteral(" von ") + f1 + QStringLiteral("--") + f2;
    if (t1 && !t2 && !t3)
        return typ + QStringLiteral(" von ") + f1;
    // A characteristic of no element (KEYIN) is still named by its type.
    return typ;
}

void OnlineProtocol::setPath(const QString& path) {
    m_lock.reset();
    m_path.clear();
    if (path.isEmpty())
        return;
    const QFileInfo fi(path);
    const QString ext = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
    const QString base = path.left(path.size() - ext.size());
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? path : base + QStringLiteral("__%1").arg(n) + ext;
        if (QFileInfo::exists(candidate))
            continue;
        FormLockResult why;
        auto lock = FormLock::acquire(candidate, 0, why);
        // Another protocol may have taken the name between the look and the lock.
        if (lock && !QFileInfo::exists(candidate)) {
            m_lock = std::move(lock);
            m_path = candidate;
            return;
        }
    }
    m_saveError = QStringLiteral("No free name for %1").arg(path);
}

double OnlineProtocol::threeDecimals(double v) {
    // The value as "####0.000" shows it: halves away from zero on the decimal value (0.5005 is
    // 0.501, though its binary neighbour lies below).
    const double r = common::number::roundDecimal(v, 3);
    return r == 0.0 ? 0.0 : r;
}

void OnlineProtocol::labelRow(const QString& text) {
    m_sheet->setText(m_onlineRow, 1, text);
    m_sheet->merge({m_onlineRow, 1, m_onlineRow, 8});
    CellFormat label;
    label.horizontal = HAlign::Center;
    label.fill = std::optional<Colour>(paletteColour(15));
    label.bold = true;
    m_sheet->format({m_onlineRow, 1, m_onlineRow, 8}, label);
    m_rows.push_back(Row{true, {text}});
}

void OnlineProtocol::handle(host::HostCommand& c, bool markTest) {
    try {
        if (!c.IsDimension() || (markTest && !c.Marked())) {
            m_sheet->autoFitColumn(1);
            return;
        }
        auto d = c.Dimension();
        const int type = c.Type();
        const bool start = type == 1000 || type == 1200;
        const bool axis = d->IsLocationAxis() || d->IsTruePositionAxis();
        const QString typ = host::TypName(type);
        ++m_onlineRow;
        CellFormat bold;
        bold.bold = true;
        if (start) {
            m_feature[0] = d->Feature1();
            m_feature[1] = d->Feature2();
            m_feature[2] = d->Feature3();
            labelRow(c.IdText());
        } else {
            if (!axis) {
                m_feature[0] = d->Feature1();
                m_feature[1] = d->Feature2();
                m_feature[2] = d->Feature3();
                labelRow(c.IdText());
                ++m_onlineRow;
            }
            Row row;
            row.cells << title(typ, m_feature[0], m_feature[1], m_feature[2]);
            if (!row.cells.first().isEmpty())
                m_sheet->setText(m_onlineRow, 1, row.cells.first());
            m_sheet->format(Range::cell(m_onlineRow, 1), bold);
            const double minus = type == 1209 ? 0.0 : threeDecimals(d->MinusTol());
            const double values[7] = {threeDecimals(d->Nominal()),   threeDecimals(d->Measured()),
                                      threeDecimals(d->Deviation()), threeDecimals(d->PlusTol()),
                                      minus == 0.0 ? 0.0 : -minus,   threeDecimals(d->Bonus()),
                                      threeDecimals(d->OutTol())};
            for (int i = 0; i < 7; ++i) {
                m_sheet->setNumber(m_onlineRow, i + 2, values[i]);
                row.cells << QLocale::system().toString(values[i], 'f', 4); // as "#,##0.0000" shows it
            }
            m_rows.push_back(row);
        }
    } catch (const host::HostError&) {
        // A row may stay incomplete when the host fails in the middle of it.
    }
    m_sheet->autoFitColumn(1);
    CellFormat number;
    number.numberFormat = QStringLiteral("#,##0.0000");
    m_sheet->formatColumns(2, 8, number);
    save();
}

void OnlineProtocol::save() {
    if (m_path.isEmpty())
        return;
    try {
        m_book->saveAs(m_path);
        m_saveError.clear();
    } catch (const SpreadsheetError& e) {
        m_saveError = e.text();
    }
}

std::vector<HostPlacement> hostPlacement(int w, int h) {
    return {{13, h * 2.0 / 3.0}, {11, static_cast<double>(w)}, {12, 1.0}, {10, 1.0}};
}

} // namespace excel
