#include "xlsx/XlsxWorksheet.h"

#include "common/NumberText.h"

#include "xlsx/Formula.h"
#include "xlsx/XlsxWorkbook.h"
#include "xlsx/Xml.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace excel::xlsx {

namespace {

// Where the start tag at "from" ends ('>'), or -1: a '>' inside a quoted value does not end it.
qsizetype startTagEnd(const QByteArray& xml, qsizetype from, qsizetype to) {
    char quote = 0;
    for (qsizetype i = from; i < to; ++i) {
        const char ch = xml.at(i);
        if (quote)
            quote = ch == quote ? 0 : quote;
        else if (ch == '"' || ch == '\'')
            quote = ch;
        else if (ch == '>')
            return i;
    }
    return -1;
}

} // namespace

XlsxWorksheet::XlsxWorksheet(XlsxWorkbook& book, QString part, std::unique_ptr<pugi::xml_document> doc,
                             bool inPackage)
    : m_book(book), m_part(std::move(part)), m_doc(std::move(doc)), m_modified(!inPackage) {
    hold();
}

namespace {

QString misplacedCell(const QString& ref, bool named, int rowNumber, int lastCol) {
    if (!named)
        return QStringLiteral("\"%1\" in row %2 names no cell").arg(ref).arg(rowNumber);
    int row = 0, col = 0;
    parseCellName(ref, row, col);
    if (row != rowNumber)
        return QStringLiteral("cell %1 stands in row %2").arg(ref).arg(rowNumber);
    return QStringLiteral("cell %1 comes after cell %2").arg(ref, cellName(rowNumber, lastCol));
}

} // namespace

void XlsxWorksheet::load() {
    if (!m_doc)
        m_doc = parsePart(m_book.package(), m_part);
    m_root = m_doc->document_element();
    if (std::string(m_root.name()) != "worksheet")
        throw SpreadsheetError(QStringLiteral("The part %1 is not a worksheet.").arg(m_part));
    m_sheetData = childInOrder(m_root, "sheetData", kWorksheetOrder);
    m_rows.clear();
    m_lastRow = 0;
    m_lastRowNode = {};
    m_lastCellRow = {};
    m_lastCellColumn = 0;
    m_minRow = m_maxRow = m_minColumn = m_maxColumn = 0;
    m_lastFresh = m_fresh.end();
    m_columnStylesKnown = false;
    // A damaged sheet is refused, never repaired by guessing: a copy would carry the damage on,
    // or put cells where nobody meant them.
    auto damaged = [this](const QString& what) {
        return SpreadsheetError(
            QStringLiteral("The sheet %1 of the workbook is damaged: %2.").arg(m_part, what));
    };
    auto checkAttributes = [&](const pugi::xml_node& n) {
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
                if (std::strcmp(a.name(), b.name()) == 0)
                    throw damaged(QStringLiteral("an element %1 has the attribute %2 twice")
                                      .arg(qstr(n.name()), qstr(a.name())));
    };
    int lastRow = 0;
    for (pugi::xml_node r = m_sheetData.child("row"); r; r = r.next_sibling("row")) {
        checkAttributes(r);
        int rowNumber = lastRow + 1; // a row without a number follows the one before
        if (const pugi::xml_attribute n = r.attribute("r")) {
            rowNumber = n.as_int();
            if (rowNumber < 1 || rowNumber > 1048576)
                throw damaged(QStringLiteral("row number \"%1\" is no row of a sheet").arg(qstr(n.value())));
            if (rowNumber <= lastRow)
                throw damaged(QStringLiteral("row %1 comes after row %2").arg(rowNumber).arg(lastRow));
        } else {
            setAttr(r, "r", rowNumber);
        }
        lastRow = rowNumber;
        m_rows[rowNumber] = r;
        int lastCol = 0;
        for (pugi::xml_node c = r.child("c"); c; c = c.next_sibling("c")) {
            checkAttributes(c);
            int row = rowNumber;
            int col = lastCol + 1; // a cell without a reference follows the one before
            if (const pugi::xml_attribute ref = c.attribute("r")) {
                const bool named = parseCellRef(ref.value(), row, col) || // the usual form, fast
                                   parseCellName(qstr(ref.value()), row, col);
                if (!named || row != rowNumber || col <= lastCol)
                    throw damaged(misplacedCell(qstr(ref.value()), named, rowNumber, lastCol));
            } else {
                setAttr(c, "r", cellName(rowNumber, col));
            }
            lastCol = col;
            noteCell(rowNumber, col);
        }
    }
}

void XlsxWorksheet::hold() {
    if (!m_root)
        load();
    m_book.holding(*this);
}

void XlsxWorksheet::park() {
    if (!m_doc)
        return;
    if (m_modified) {
        m_book.package().write(m_part, serialize());
        m_modified = false;
    }
    m_rows.clear();
    m_fresh.clear(); // the added rows are in the text now
    m_lastFresh = m_fresh.end();
    m_arena.release();
    m_columnStyles.clear();
    m_root = m_sheetData = m_lastRowNode = m_lastCellRow = {};
    m_doc.reset();
}

QByteArray XlsxWorksheet::currentXml() {
    hold();
    return serialize();
}

QString XlsxWorksheet::name() const {
    return m_book.sheetNameOfPart(m_part);
}

void XlsxWorksheet::touch() {
    m_modified = true;
    m_book.cellsWritten();
}

pugi::xml_node XlsxWorksheet::rowNode(int row, bool create) {
    if (row == m_lastRow && m_lastRowNode)
        return m_lastRowNode; // writing goes row by row
    const auto it = m_rows.find(row);
    if (it != m_rows.end()) {
        m_lastRow = row;
        m_lastRowNode = it->second;
        return it->second;
    }
    if (!create)
        return {};
    const auto next = m_rows.upper_bound(row);
    pugi::xml_node r = next == m_rows.end() ? m_sheetData.append_child("row")
                                            : m_sheetData.insert_child_before("row", next->second);
    setAttr(r, "r", row);
    m_rows[row] = r;
    m_lastRow = row;
    m_lastRowNode = r;
    return r;
}

int XlsxWorksheet::defaultStyle(int row, int column) {
    // A new cell looks like its row, or else its column, as the spreadsheet program shows it.
    if (pugi::xml_node r = rowNode(row, false))
        if (r.attribute("customFormat").as_bool() && r.attribute("s"))
            return r.attribute("s").as_int();
    if (!m_columnStylesKnown) {
        m_columnStyles.clear();
        for (pugi::xml_node c : m_root.child("cols").children("col"))
            if (const int s = c.attribute("style").as_int())
                m_columnStyles.push_back({c.attribute("min").as_int(), c.attribute("max").as_int(), s});
        m_columnStylesKnown = true;
    }
    for (const ColumnStyle& c : m_columnStyles)
        if (column >= c.min && column <= c.max)
            return c.style;
    return 0;
}

pugi::xml_node XlsxWorksheet::cell(int row, int column, bool create) {
    if (row < 1 || row > 1048576 || column < 1 || column > 16384) {
        if (!create)
            return {};
        throw SpreadsheetError(QStringLiteral("There is no cell at row %1, column %2.").arg(row).arg(column));
    }
    pugi::xml_node r = rowNode(row, create);
    if (!r)
        return {};
    // Writing left to right along a row appends without looking at the cells.
    const bool appending = r == m_lastCellRow && column > m_lastCellColumn && !r.last_child().next_sibling();
    pugi::xml_node before;
    if (!appending) {
        // Cells are kept in column order; one right of the last cell appends.
        pugi::xml_node last = r.last_child();
        while (last && std::strcmp(last.name(), "c") != 0)
            last = last.previous_sibling();
        int lr = 0;
        int lc = 0;
        if (!(last && parseCellRef(last.attribute("r").value(), lr, lc) && lc < column)) {
            for (pugi::xml_node c = r.child("c"); c; c = c.next_sibling("c")) {
                int cr = 0;
                int cc = 0;
                parseCellRef(c.attribute("r").value(), cr, cc);
                if (cc == column)
                    return c;
                if (cc > column) {
                    before = c;
                    break;
                }
            }
        }
    }
    if (!create)
        return {};
    pugi::xml_node c = before ? r.insert_child_before("c", before) : r.append_child("c");
    char ref[24];
    ref[writeCellRef(ref, row, column)] = '\0';
    c.append_attribute("r").set_value(ref);
    if (const int s = defaultStyle(row, column))
        setAttr(c, "s", s);
    if (!before) {
        m_lastCellRow = r;
        m_lastCellColumn = column;
    }
    noteCell(row, column);
    return c;
}

void XlsxWorksheet::unshareFormula(pugi::xml_node c) {
    pugi::xml_node f = c.child("f");
    if (!f || attr(f, "t") != QLatin1String("shared") || !f.attribute("ref") || !f.text())
        return;
    // The master of a shared formula goes: every other cell of the group gets its own formula.
    const QString si = attr(f, "si");
    const QString master = qstr(f.text().get());
    int mr = 0;
    int mc = 0;
    parseCellName(attr(c, "r"), mr, mc);
    for (const auto& [rowNumber, r] : m_rows)
        for (pugi::xml_node d : r.children("c")) {
            if (d == c)
                continue;
            pugi::xml_node df = d.child("f");
            if (!df || attr(df, "t") != QLatin1String("shared") || attr(df, "si") != si)
                continue;
            int dr = 0;
            int dc = 0;
            parseCellName(attr(d, "r"), dr, dc);
            df.remove_attribute("t");
            df.remove_attribute("si");
            df.remove_attribute("ref");
            df.text().set(shiftFormula(master, dr - mr, dc - mc).toUtf8().constData());
        }
}

void XlsxWorksheet::clearValue(pugi::xml_node c) {
    if (!c.first_child() && !c.attribute("t"))
        return; // a new cell: nothing to clear
    unshareFormula(c);
    c.remove_child("f");
    c.remove_child("v");
    c.remove_child("is");
    c.remove_attribute("t");
}

void XlsxWorksheet::setStyle(pugi::xml_node c, int style) {
    if (style == 0)
        c.remove_attribute("s");
    else
        setAttr(c, "s", style);
}

void XlsxWorksheet::setValueText(pugi::xml_node c, const char* text) {
    c.append_child("v").text().set(text);
}

void XlsxWorksheet::FreshCell::set(char k, const char* text, std::size_t n) {
    if (n >= sizeof value) // numbers and indexes are far shorter; never cut one silently
        throw SpreadsheetError(
            QStringLiteral("A cell value is too long: %1").arg(QString::fromLatin1(text, n)));
    kind = k;
    length = static_cast<unsigned char>(n);
    std::memcpy(value, text, n);
    value[n] = '\0';
}

XlsxWorksheet::FreshCell* XlsxWorksheet::freshCell(int row, int column, bool create) {
    if (row < 1 || row > 1048576 || column < 1 || column > 16384) {
        if (!create)
            return nullptr;
        throw SpreadsheetError(QStringLiteral("There is no cell at row %1, column %2.").arg(row).arg(column));
    }
    // Rows are written one after the other: the last one is most likely the one asked for.
    auto it = m_lastFresh != m_fresh.end() && m_lastFresh->first == row ? m_lastFresh : m_fresh.find(row);
    if (it == m_fresh.end()) {
        if (!create)
            return nullptr;
        // Room for as many cells as the row before: rows of one table are alike, and what a
        // vector outgrows stays in the arena until the sheet is parked.
        const std::size_t cells =
            m_lastFresh == m_fresh.end() ? 16 : std::max<std::size_t>(m_lastFresh->second.size(), 1);
        it = m_fresh.try_emplace(row).first;
        it->second.reserve(cells);
    }
    m_lastFresh = it;
    std::pmr::vector<FreshCell>& cells = it->second;
    // Left to right along a row, the usual order, appends.
    const auto pos = !cells.empty() && cells.back().column < column
                         ? cells.end()
                         : std::lower_bound(cells.begin(), cells.end(), column,
                                            [](const FreshCell& c, int col) { return c.column < col; });
    if (pos != cells.end() && pos->column == column)
        return &*pos;
    if (!create)
        return nullptr;
    FreshCell c;
    c.column = column;
    c.style = defaultStyle(row, column);
    noteCell(row, column);
    return &*cells.insert(pos, c);
}

XlsxWorksheet::CellRef XlsxWorksheet::at(int row, int column, bool create) {
    CellRef c;
    if (m_rows.count(row))
        c.node = cell(row, column, create);
    else
        c.fresh = freshCell(row, column, create);
    return c;
}

int XlsxWorksheet::styleOf(const CellRef& c) const {
    return c.fresh ? c.fresh->style : c.node.attribute("s").as_int();
}

void XlsxWorksheet::setStyleOf(CellRef& c, int style) {
    if (c.fresh)
        c.fresh->style = style;
    else
        setStyle(c.node, style);
}

QString XlsxWorksheet::freshText(const FreshCell& c) {
    if (c.kind == 's')
        return m_book.sharedStrings().text(std::atoi(c.value));
    if (c.kind == 'n')
        return common::number::shortestText(
            common::number::parse(std::string_view(c.value, c.length)).value_or(0.0));
    return {};
}

QString XlsxWorksheet::cellText(int row, int column) {
    hold();
    const CellRef ref = at(row, column, false);
    if (ref.fresh)
        return freshText(*ref.fresh);
    pugi::xml_node c = ref.node;
    if (!c)
        return {};
    const QString t = attr(c, "t");
    const QString v = qstr(c.child("v").text().get());
    if (t == QLatin1String("s"))
        return m_book.sharedStrings().text(v.toInt());
    if (t == QLatin1String("inlineStr"))
        return SharedStrings::itemText(c.child("is"));
    if (t == QLatin1String("b"))
        return v == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (t.isEmpty() || t == QLatin1String("n")) {
        const auto d = common::number::parse(v);
        return d ? common::number::shortestText(*d) : v;
    }
    return v; // errors and formula strings as they stand
}

bool XlsxWorksheet::isEmpty(int row, int column) {
    hold();
    const CellRef ref = at(row, column, false);
    if (ref.fresh) // the program's own cells hold no formulas
        return freshText(*ref.fresh).isEmpty();
    const pugi::xml_node c = ref.node;
    if (!c || !c.first_child())
        return true;
    // A formula, also a shared one's member, and an array formula's other cells ("str": a
    // formula's text result) hold something even when their result is "".
    if (c.child("f") || std::strcmp(c.attribute("t").value(), "str") == 0)
        return false;
    return cellText(row, column).isEmpty();
}

void XlsxWorksheet::setText(int row, int column, const QString& text) {
    hold();
    CellRef c = at(row, column, true);
    char index[16];
    const std::size_t n = static_cast<std::size_t>(
        std::to_chars(index, index + 15, m_book.sharedStrings().indexOf(text)).ptr - index);
    index[n] = '\0';
    if (c.fresh) {
        c.fresh->set('s', index, n);
    } else {
        clearValue(c.node);
        c.node.append_attribute("t").set_value("s");
        setValueText(c.node, index);
    }
    touch();
}

void XlsxWorksheet::setNumberText(CellRef& c, const char* text) {
    if (c.fresh) {
        c.fresh->set('n', text, std::strlen(text));
    } else {
        clearValue(c.node);
        setValueText(c.node, text);
    }
}

void XlsxWorksheet::setNumber(int row, int column, double value) {
    hold();
    if (!std::isfinite(value))
        throw SpreadsheetError(
            QStringLiteral("%1 cannot hold a value that is not a number.").arg(cellName(row, column)));
    CellRef c = at(row, column, true);
    char buf[33];
    buf[common::number::writeCellNumber(buf, value)] = '\0';
    setNumberText(c, buf);
    touch();
}

void XlsxWorksheet::setDate(int row, int column, const QDate& date) {
    hold();
    const QDate epoch = m_book.date1904() ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    setNumber(row, column, static_cast<double>(epoch.daysTo(date)));
    CellRef c = at(row, column, true);
    const int s = styleOf(c);
    if (m_book.styles().isGeneral(s))
        setStyleOf(c, m_book.styles().withNumFmtId(s, 14));
}

void XlsxWorksheet::setTime(int row, int column, const QTime& time) {
    hold();
    setNumber(row, column, time.msecsSinceStartOfDay() / 86400000.0);
    CellRef c = at(row, column, true);
    const int s = styleOf(c);
    if (m_book.styles().isGeneral(s))
        setStyleOf(c, m_book.styles().withNumFmtId(s, 21));
}

void XlsxWorksheet::format(const Range& range, const CellFormat& f) {
    hold();
    const QString key = Styles::key(f);
    for (int r = range.firstRow; r <= range.lastRow; ++r)
        for (int col = range.firstColumn; col <= range.lastColumn; ++col) {
            CellRef c = at(r, col, true);
            setStyleOf(c, m_book.styles().derive(styleOf(c), f, key));
        }
    m_modified = true;
}

std::vector<pugi::xml_node> XlsxWorksheet::columnNodes(int first, int last) {
    m_columnStylesKnown = false;
    pugi::xml_node cols = childInOrder(m_root, "cols", kWorksheetOrder);
    struct Span {
        int min;
        int max;
        pugi::xml_node node;
    };
    std::vector<Span> spans;
    for (pugi::xml_node c : cols.children("col"))
        spans.push_back({c.attribute("min").as_int(), c.attribute("max").as_int(), c});
    auto splitAt = [&](int at) { // a span crossing "at" becomes two spans
        for (Span& s : spans)
            if (s.min < at && at <= s.max) {
                pugi::xml_node copy = cols.insert_copy_after(s.node, s.node);
                setAttr(copy, "min", at);
                setAttr(s.node, "max", at - 1);
                const int oldMax = s.max;
                s.max = at - 1;
                spans.push_back({at, oldMax, copy});
                return;
            }
    };
    splitAt(first);
    splitAt(last + 1);
    // Gaps inside the range get columns of their own with the default width.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.min < b.min; });
    int next = first;
    std::vector<Span> gaps;
    for (const Span& s : spans) {
        if (s.max < first || s.min > last)
            continue;
        if (s.min > next)
            gaps.push_back({next, s.min - 1, {}});
        next = s.max + 1;
    }
    if (next <= last)
        gaps.push_back({next, last, {}});
    const double defaultWidth = numberAttr(m_root.child("sheetFormatPr"), "defaultColWidth", 9.140625);
    for (Span& g : gaps) {
        g.node = cols.append_child("col");
        setAttr(g.node, "min", g.min);
        setAttr(g.node, "max", g.max);
        setNumberAttr(g.node, "width", defaultWidth);
        spans.push_back(g);
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.min < b.min; });
    std::vector<pugi::xml_node> inRange;
    for (const Span& s : spans) {
        cols.append_move(s.node); // keeps the elements sorted
        if (s.min >= first && s.max <= last)
            inRange.push_back(s.node);
    }
    m_modified = true;
    return inRange;
}

void XlsxWorksheet::formatColumns(int firstColumn, int lastColumn, const CellFormat& f) {
    hold();
    for (pugi::xml_node c : columnNodes(firstColumn, lastColumn))
        setAttr(c, "style", m_book.styles().derive(c.attribute("style").as_int(), f));
    for (const auto& [rowNumber, r] : m_rows)
        for (pugi::xml_node c : r.children("c")) {
            int cr = 0;
            int cc = 0;
            parseCellName(attr(c, "r"), cr, cc);
            if (cc >= firstColumn && cc <= lastColumn)
                setStyle(c, m_book.styles().derive(c.attribute("s").as_int(), f));
        }
    for (auto& [rowNumber, cells] : m_fresh)
        for (FreshCell& c : cells)
            if (c.column >= firstColumn && c.column <= lastColumn)
                c.style = m_book.styles().derive(c.style, f);
}

void XlsxWorksheet::merge(const Range& range) {
    hold();
    pugi::xml_node merges = childInOrder(m_root, "mergeCells", kWorksheetOrder);
    const QString ref = cellName(range.firstRow, range.firstColumn) + QLatin1Char(':') +
                        cellName(range.lastRow, range.lastColumn);
    for (pugi::xml_node m : merges.children("mergeCell"))
        if (attr(m, "ref") == ref)
            return;
    setAttr(merges.append_child("mergeCell"), "ref", ref);
    int n = 0;
    for (pugi::xml_node m = merges.child("mergeCell"); m; m = m.next_sibling("mergeCell"))
        ++n;
    setAttr(merges, "count", n);
    m_modified = true;
}

void XlsxWorksheet::setColumnWidth(int firstColumn, int lastColumn, double width) {
    hold();
    for (pugi::xml_node c : columnNodes(firstColumn, lastColumn)) {
        setNumberAttr(c, "width", width);
        setAttr(c, "customWidth", 1);
    }
}

void XlsxWorksheet::autoFitColumn(int column) {
    hold();
    int longest = 0;
    for (const auto& [rowNumber, r] : m_rows)
        longest = std::max(longest, static_cast<int>(cellText(rowNumber, column).size()));
    for (const auto& [rowNumber, cells] : m_fresh)
        longest = std::max(longest, static_cast<int>(cellText(rowNumber, column).size()));
    // Character widths of the default font, with room for the cell's margins.
    setColumnWidth(column, column, std::clamp(longest * 1.15 + 2.0, 4.0, 255.0));
}

void XlsxWorksheet::freezeFirstRow() {
    hold();
    pugi::xml_node views = childInOrder(m_root, "sheetViews", kWorksheetOrder);
    pugi::xml_node view = views.child("sheetView");
    if (!view) {
        view = views.append_child("sheetView");
        setAttr(view, "workbookViewId", 0);
    }
    view.remove_child("pane");
    while (view.child("selection"))
        view.remove_child("selection");
    pugi::xml_node pane =
        view.first_child() ? view.insert_child_before("pane", view.first_child()) : view.append_child("pane");
    setAttr(pane, "ySplit", 1);
    setAttr(pane, "topLeftCell", QStringLiteral("A2"));
    setAttr(pane, "activePane", QStringLiteral("bottomLeft"));
    setAttr(pane, "state", QStringLiteral("frozen"));
    pugi::xml_node sel = view.insert_child_after("selection", pane);
    setAttr(sel, "pane", QStringLiteral("bottomLeft"));
    setAttr(sel, "activeCell", QStringLiteral("A2"));
    setAttr(sel, "sqref", QStringLiteral("A2"));
    m_modified = true;
}

Rels& XlsxWorksheet::rels() {
    if (!m_rels) {
        m_rels = std::make_unique<Rels>();
        m_rels->load(m_book.package(), m_part);
    }
    return *m_rels;
}

void XlsxWorksheet::noteCell(int row, int column) {
    if (!m_minRow || row < m_minRow)
        m_minRow = row;
    m_maxRow = std::max(m_maxRow, row);
    if (!m_minColumn || column < m_minColumn)
        m_minColumn = column;
    m_maxColumn = std::max(m_maxColumn, column);
}

void XlsxWorksheet::updateDimension() {
    pugi::xml_node dim = childInOrder(m_root, "dimension", kWorksheetOrder);
    const QString ref =
        !m_minRow ? QStringLiteral("A1")
        : (m_minRow == m_maxRow && m_minColumn == m_maxColumn)
            ? cellName(m_minRow, m_minColumn)
            : cellName(m_minRow, m_minColumn) + QLatin1Char(':') + cellName(m_maxRow, m_maxColumn);
    setAttr(dim, "ref", ref);
}

QByteArray XlsxWorksheet::freshRowsXml(FreshRows::const_iterator from, FreshRows::const_iterator to) const {
    // Written straight into a buffer sized for the longest row and cell texts, then cut to size.
    constexpr qsizetype kRowText = 32;  // <row r="1048576"></row>
    constexpr qsizetype kCellText = 96; // <c r="XFD1048576" s="..." t="s"><v>32 chars</v></c>
    qsizetype bound = 0;
    for (auto it = from; it != to; ++it)
        bound += kRowText + kCellText * static_cast<qsizetype>(it->second.size());
    QByteArray out(bound, Qt::Uninitialized);
    char* p = out.data();
    const auto put = [&p](const char* text, std::size_t n) {
        std::memcpy(p, text, n);
        p += n;
    };
    const auto literal = [&put](const auto& text) { put(text, sizeof text - 1); };
    const auto number = [&p](int v) { p = std::to_chars(p, p + 12, v).ptr; };
    for (auto it = from; it != to; ++it) {
        if (it->second.empty())
            continue;
        literal("<row r=\"");
        number(it->first);
        literal("\">");
        for (const FreshCell& c : it->second) {
            literal("<c r=\"");
            p += writeCellRef(p, it->first, c.column);
            literal("\"");
            if (c.style) {
                literal(" s=\"");
                number(c.style);
                literal("\"");
            }
            if (c.kind == 's')
                literal(" t=\"s\"");
            if (c.kind) {
                literal("><v>");
                put(c.value, c.length);
                literal("</v></c>");
            } else {
                literal("/>");
            }
        }
        literal("</row>");
    }
    out.truncate(p - out.constData());
    return out;
}

QByteArray XlsxWorksheet::serialize() {
    updateDimension();
    // Empty lists are not allowed where the schema wants at least one item.
    for (const char* list : {"cols", "mergeCells"}) {
        pugi::xml_node n = m_root.child(list);
        if (n && !n.find_child([](pugi::xml_node c) { return c.type() == pugi::node_element; }))
            m_root.remove_child(n);
    }
    QByteArray xml = serializeXml(*m_doc);
    if (m_fresh.empty())
        return xml;
    // The added rows go between the loaded ones in row order.
    qsizetype start = xml.indexOf("<sheetData");
    if (start < 0)
        throw SpreadsheetError(QStringLiteral("The sheet %1 has no cell data.").arg(m_part));
    qsizetype open = xml.indexOf('>', start);
    if (xml.at(open - 1) == '/') { // <sheetData/>
        xml.replace(open - 1, 2,
                    QByteArray(">") + freshRowsXml(m_fresh.begin(), m_fresh.end()) + "</sheetData>");
        return xml;
    }
    const qsizetype end = xml.indexOf("</sheetData>", open);
    QByteArray out;
    out.reserve(xml.size() + static_cast<qsizetype>(m_fresh.size()) * 200);
    auto next = m_fresh.begin();
    qsizetype copied = 0; // the text before this is in out
    // One pass over the loaded rows, each skipped from its own start tag: a row's end must not be
    // searched for through the rest of a sheet of many thousand rows. Added rows that all come
    // after the loaded ones, the usual case, need no pass at all.
    qsizetype at = m_rows.empty() || next->first > m_rows.rbegin()->first ? end : open + 1;
    while (next != m_fresh.end()) {
        const qsizetype row = xml.indexOf("<row ", at);
        if (row < 0 || row >= end)
            break;
        const qsizetype tagEnd = startTagEnd(xml, row, end);
        const qsizetype r = xml.indexOf(" r=\"", row);
        if (tagEnd < 0 || r < 0 || r > tagEnd)
            throw SpreadsheetError(QStringLiteral("The sheet %1 has a row without a number.").arg(m_part));
        const int number = std::atoi(xml.constData() + r + 4);
        if (number > next->first) {
            const auto upto = m_fresh.lower_bound(number);
            out.append(xml.constData() + copied, row - copied);
            out += freshRowsXml(next, upto);
            copied = row;
            next = upto;
        }
        if (xml.at(tagEnd - 1) == '/') {
            at = tagEnd + 1;
        } else {
            const qsizetype close = xml.indexOf("</row>", tagEnd);
            if (close < 0 || close > end)
                throw SpreadsheetError(QStringLiteral("The sheet %1 has a row without its end.").arg(m_part));
            at = close + 6;
        }
    }
    out.append(xml.constData() + copied, end - copied);
    out += freshRowsXml(next, m_fresh.end());
    out.append(xml.constData() + end, xml.size() - end);
    return out;
}

} // namespace excel::xlsx
