#include "excel/xlsx/XlsxWorkbook.h"

#include "excel/xlsx/NumberText.h"
#include "excel/xlsx/Xml.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <charconv>
#include <cmath>
#include <cstring>
#include <future>
#include <set>

namespace excel::xlsx {

namespace {

const QString kRelTypeBase =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
const QString kCtBase = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.");
const QString kContentTypesPart = QStringLiteral("[Content_Types].xml");

QString relType(const QString& name) {
    return kRelTypeBase + name;
}

// VML is written with whatever namespace prefixes its writer liked; match the local names.
bool isLocal(const pugi::xml_node& n, const char* local) {
    const char* name = n.name();
    const char* colon = std::strchr(name, ':');
    return std::strcmp(colon ? colon + 1 : name, local) == 0;
}

// A relationship id attribute, whatever prefix its writer bound the relationships namespace to.
QString relIdOf(const pugi::xml_node& n) {
    for (pugi::xml_attribute a : n.attributes()) {
        const char* colon = std::strchr(a.name(), ':');
        if (colon && std::strcmp(colon + 1, "id") == 0)
            return qstr(a.value());
    }
    return {};
}

pugi::xml_node localChild(const pugi::xml_node& n, const char* local) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && isLocal(c, local))
            return c;
    return {};
}

QString lastSegment(const QString& type) {
    return type.mid(type.lastIndexOf(QLatin1Char('/')) + 1);
}

std::unique_ptr<pugi::xml_document> parsePart(const ZipPackage& pkg, const QString& part) {
    return parseXml(pkg.read(part), part);
}

// Shifts the relative references of a formula by a row and column offset, as copying a formula
// from one cell to another does. Texts in quotes and quoted sheet names are left alone.
QString shiftFormula(const QString& f, int dRow, int dCol) {
    static const QRegularExpression ref(
        QStringLiteral("(\\$?)([A-Z]{1,3})(\\$?)([0-9]{1,7})(?![0-9A-Za-z_(])"));
    QString out;
    qsizetype i = 0;
    while (i < f.size()) {
        const QChar c = f[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = f.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? f.size() : end + 1;
            out += f.mid(i, stop - i);
            i = stop;
            continue;
        }
        const bool boundary = i == 0 || !(f[i - 1].isLetterOrNumber() || f[i - 1] == QLatin1Char('_') ||
                                          f[i - 1] == QLatin1Char('.'));
        if (boundary) {
            const QRegularExpressionMatch m = ref.match(f, i, QRegularExpression::NormalMatch,
                                                        QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch()) {
                int col = columnNumber(m.captured(2));
                int row = m.captured(4).toInt();
                if (m.captured(1).isEmpty())
                    col += dCol;
                if (m.captured(3).isEmpty())
                    row += dRow;
                if (col >= 1 && row >= 1) {
                    out += m.captured(1) + columnLetters(col) + m.captured(3) + QString::number(row);
                    i += m.capturedLength();
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

QString quotedSheet(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + n + QLatin1Char('\'');
}

// A defined name's formula with references to one sheet turned into references to another.
QString retargetSheet(const QString& formula, const QString& from, const QString& to) {
    QString quotedFrom = from;
    quotedFrom.replace(QLatin1Char('\''), QStringLiteral("''"));
    const QRegularExpression re(
        QStringLiteral("(^|[^A-Za-z0-9_.'])('%1'|%2)!")
            .arg(QRegularExpression::escape(quotedFrom), QRegularExpression::escape(from)),
        QRegularExpression::CaseInsensitiveOption);
    QString out = formula;
    out.replace(re, QStringLiteral("\\1") + quotedSheet(to) + QLatin1Char('!'));
    return out;
}

const char* kEmptySheet =
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
    "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
    "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
    "footer=\"0.3\"/></worksheet>";

} // namespace

// ---------------------------------------------------------------- Rels

void Rels::load(const ZipPackage& pkg, const QString& sourcePart) {
    m_source = sourcePart;
    m_rels.clear();
    const QString part = relsPartOf(sourcePart);
    if (!pkg.contains(part))
        return;
    auto doc = parsePart(pkg, part);
    for (pugi::xml_node r : doc->document_element().children("Relationship")) {
        Rel rel;
        rel.id = attr(r, "Id");
        rel.fullType = attr(r, "Type");
        rel.type = lastSegment(rel.fullType);
        rel.target = attr(r, "Target");
        rel.external = attr(r, "TargetMode") == QLatin1String("External");
        m_rels.push_back(rel);
    }
}

QByteArray Rels::serialize() const {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Relationships");
    root.append_attribute("xmlns").set_value(kPkgRelNs);
    for (const Rel& r : m_rels) {
        pugi::xml_node n = root.append_child("Relationship");
        setAttr(n, "Id", r.id);
        setAttr(n, "Type", r.fullType);
        setAttr(n, "Target", r.target);
        if (r.external)
            setAttr(n, "TargetMode", QStringLiteral("External"));
    }
    return serializeXml(doc);
}

const Rels::Rel* Rels::byId(const QString& id) const {
    for (const Rel& r : m_rels)
        if (r.id == id)
            return &r;
    return nullptr;
}

const Rels::Rel* Rels::firstOfType(const QString& type) const {
    for (const Rel& r : m_rels)
        if (r.type == type)
            return &r;
    return nullptr;
}

QString Rels::add(const QString& fullType, const QString& target) {
    int n = 1;
    while (byId(QStringLiteral("rId%1").arg(n)))
        ++n;
    Rel r;
    r.id = QStringLiteral("rId%1").arg(n);
    r.fullType = fullType;
    r.type = lastSegment(fullType);
    r.target = target;
    m_rels.push_back(r);
    m_modified = true;
    return r.id;
}

void Rels::remove(const QString& id) {
    m_rels.erase(std::remove_if(m_rels.begin(), m_rels.end(), [&](const Rel& r) { return r.id == id; }),
                 m_rels.end());
    m_modified = true;
}

// ---------------------------------------------------------------- Worksheet

XlsxWorksheet::XlsxWorksheet(XlsxWorkbook& book, QString part, std::unique_ptr<pugi::xml_document> doc)
    : m_book(book), m_part(std::move(part)), m_doc(std::move(doc)) {
    m_root = m_doc->document_element();
    if (std::string(m_root.name()) != "worksheet")
        throw SpreadsheetError(QStringLiteral("The part %1 is not a worksheet.").arg(m_part));
    m_sheetData = childInOrder(m_root, "sheetData", kWorksheetOrder);
    int lastRow = 0;
    for (pugi::xml_node r = m_sheetData.child("row"); r; r = r.next_sibling("row")) {
        int rowNumber = r.attribute("r").as_int();
        if (rowNumber <= lastRow) { // rows without a number follow the one before
            rowNumber = lastRow + 1;
            setAttr(r, "r", rowNumber);
        }
        lastRow = rowNumber;
        m_rows[rowNumber] = r;
        int lastCol = 0;
        for (pugi::xml_node c = r.child("c"); c; c = c.next_sibling("c")) {
            int row = 0;
            int col = 0;
            if (!parseCellName(attr(c, "r"), row, col) || col <= lastCol) {
                col = lastCol + 1;
                setAttr(c, "r", cellName(rowNumber, col));
            }
            lastCol = col;
            noteCell(rowNumber, col);
        }
    }
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
    pugi::xml_node before;
    if (r == m_lastCellRow && column > m_lastCellColumn && !r.last_child().next_sibling()) {
        // Writing left to right along a row appends without looking at the cells.
        if (!create)
            return {};
        pugi::xml_node c = r.append_child("c");
        char ref[24];
        ref[writeCellRef(ref, row, column)] = '\0';
        c.append_attribute("r").set_value(ref);
        if (const int s = defaultStyle(row, column))
            setAttr(c, "s", s);
        m_lastCellColumn = column;
        noteCell(row, column);
        return c;
    }
    // Cells are kept in column order; writing left to right appends.
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
        it = m_fresh.try_emplace(row).first;
        it->second.reserve(16);
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
        return shortestNumberText(std::strtod(c.value, nullptr));
    return {};
}

QString XlsxWorksheet::cellText(int row, int column) {
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
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? shortestNumberText(d) : v;
    }
    return v; // errors and formula strings as they stand
}

void XlsxWorksheet::setText(int row, int column, const QString& text) {
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
    if (!std::isfinite(value))
        throw SpreadsheetError(
            QStringLiteral("%1 cannot hold a value that is not a number.").arg(cellName(row, column)));
    CellRef c = at(row, column, true);
    char buf[33];
    buf[writeNumber(buf, value)] = '\0';
    setNumberText(c, buf);
    touch();
}

void XlsxWorksheet::setDate(int row, int column, const QDate& date) {
    const QDate epoch = m_book.date1904() ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    setNumber(row, column, static_cast<double>(epoch.daysTo(date)));
    CellRef c = at(row, column, true);
    const int s = styleOf(c);
    if (m_book.styles().numFmtId(s) == 0)
        setStyleOf(c, m_book.styles().withNumFmtId(s, 14));
}

void XlsxWorksheet::setTime(int row, int column, const QTime& time) {
    setNumber(row, column, time.msecsSinceStartOfDay() / 86400000.0);
    CellRef c = at(row, column, true);
    const int s = styleOf(c);
    if (m_book.styles().numFmtId(s) == 0)
        setStyleOf(c, m_book.styles().withNumFmtId(s, 21));
}

void XlsxWorksheet::format(const Range& range, const CellFormat& f) {
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
    const double defaultWidth =
        m_root.child("sheetFormatPr").attribute("defaultColWidth").as_double(9.140625);
    for (Span& g : gaps) {
        g.node = cols.append_child("col");
        setAttr(g.node, "min", g.min);
        setAttr(g.node, "max", g.max);
        g.node.append_attribute("width").set_value(defaultWidth);
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
    for (pugi::xml_node c : columnNodes(firstColumn, lastColumn)) {
        c.remove_attribute("width");
        c.append_attribute("width").set_value(width);
        setAttr(c, "customWidth", 1);
    }
}

void XlsxWorksheet::autoFitColumn(int column) {
    int longest = 0;
    for (const auto& [rowNumber, r] : m_rows)
        longest = std::max(longest, static_cast<int>(cellText(rowNumber, column).size()));
    for (const auto& [rowNumber, cells] : m_fresh)
        longest = std::max(longest, static_cast<int>(cellText(rowNumber, column).size()));
    // Character widths of the default font, with room for the cell's margins.
    setColumnWidth(column, column, std::clamp(longest * 1.15 + 2.0, 4.0, 255.0));
}

void XlsxWorksheet::freezeFirstRow() {
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

void XlsxWorksheet::clearComment(int row, int column) {
    const QString ref = cellName(row, column);
    Rels& r = rels();
    ZipPackage& pkg = m_book.package();
    bool commentsLeft = false;

    if (const Rels::Rel* rel = r.firstOfType(QStringLiteral("comments"))) {
        const QString part = r.targetPart(*rel);
        const QString relId = rel->id;
        auto doc = parsePart(pkg, part);
        pugi::xml_node list = doc->document_element().child("commentList");
        for (pugi::xml_node c = list.child("comment"); c;) {
            pugi::xml_node next = c.next_sibling("comment");
            if (attr(c, "ref").compare(ref, Qt::CaseInsensitive) == 0)
                list.remove_child(c);
            c = next;
        }
        commentsLeft = static_cast<bool>(list.child("comment"));
        if (commentsLeft) {
            pkg.write(part, serializeXml(*doc));
        } else {
            m_book.removePartWithType(part);
            r.remove(relId);
        }
    }

    // The note's shape in the legacy drawing.
    if (pugi::xml_node legacy = m_root.child("legacyDrawing")) {
        const QString relId = relIdOf(legacy);
        if (const Rels::Rel* rel = r.byId(relId)) {
            const QString part = r.targetPart(*rel);
            try {
                auto vml = parseXml(pkg.read(part), part);
                pugi::xml_node root = vml->document_element();
                bool notesLeft = false;
                bool shapesLeft = false;
                for (pugi::xml_node s = root.first_child(); s;) {
                    pugi::xml_node next = s.next_sibling();
                    if (s.type() == pugi::node_element && isLocal(s, "shape")) {
                        pugi::xml_node data = localChild(s, "ClientData");
                        const bool note = attr(data, "ObjectType") == QLatin1String("Note");
                        if (note && localChild(data, "Row").text().as_int() == row - 1 &&
                            localChild(data, "Column").text().as_int() == column - 1) {
                            root.remove_child(s);
                        } else {
                            shapesLeft = true;
                            notesLeft = notesLeft || note;
                        }
                    }
                    s = next;
                }
                if (!notesLeft && !commentsLeft && !shapesLeft) {
                    m_book.removePartWithType(part);
                    r.remove(relId);
                    m_root.remove_child(legacy);
                } else {
                    pkg.write(part, serializeXml(*vml));
                }
            } catch (const SpreadsheetError&) {
                // A drawing we cannot read stays as it is.
            }
        }
    }

    // Threaded comments and their replies share the cell's reference.
    if (const Rels::Rel* rel = r.firstOfType(QStringLiteral("threadedComment"))) {
        const QString part = r.targetPart(*rel);
        const QString relId = rel->id;
        auto doc = parsePart(pkg, part);
        pugi::xml_node root = doc->document_element();
        for (pugi::xml_node c = root.child("threadedComment"); c;) {
            pugi::xml_node next = c.next_sibling("threadedComment");
            if (attr(c, "ref").compare(ref, Qt::CaseInsensitive) == 0)
                root.remove_child(c);
            c = next;
        }
        if (root.child("threadedComment")) {
            pkg.write(part, serializeXml(*doc));
        } else {
            m_book.removePartWithType(part);
            r.remove(relId);
        }
    }
    m_modified = true;
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
    out.append(xml.constData(), open + 1);
    auto next = m_fresh.begin();
    qsizetype at = open + 1;
    while (true) {
        const qsizetype row = xml.indexOf("<row ", at);
        if (row < 0 || row >= end)
            break;
        const qsizetype r = xml.indexOf(" r=\"", row);
        const int number = std::atoi(xml.constData() + r + 4);
        auto upto = m_fresh.lower_bound(number);
        out += freshRowsXml(next, upto);
        next = upto;
        const qsizetype close = xml.indexOf("</row>", row);
        const qsizetype selfClose = xml.indexOf("/>", row);
        const qsizetype tagEnd = xml.indexOf('>', row);
        const qsizetype stop = (selfClose >= 0 && selfClose + 1 == tagEnd) ? tagEnd + 1 : close + 6;
        out.append(xml.constData() + row, stop - row);
        at = stop;
    }
    out += freshRowsXml(next, m_fresh.end());
    out.append(xml.constData() + end, xml.size() - end);
    return out;
}

// ---------------------------------------------------------------- Workbook

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::open(const QString& path) {
    std::unique_ptr<XlsxWorkbook> b(new XlsxWorkbook());
    b->m_pkg = std::make_unique<ZipPackage>();
    b->m_pkg->open(path);
    b->m_path = path;
    b->load();
    return b;
}

XlsxWorkbook::~XlsxWorkbook() = default;

void XlsxWorkbook::load() {
    const QString name = QDir::toNativeSeparators(m_path);
    if (!m_pkg->contains(kContentTypesPart) || !m_pkg->contains(QStringLiteral("_rels/.rels")))
        throw SpreadsheetError(QStringLiteral("%1 is not an Excel workbook (.xlsx).").arg(name));
    m_contentTypes = parsePart(*m_pkg, kContentTypesPart);
    Rels root;
    root.load(*m_pkg, QString());
    const Rels::Rel* office = root.firstOfType(QStringLiteral("officeDocument"));
    if (!office)
        throw SpreadsheetError(QStringLiteral("%1 is not an Excel workbook (.xlsx).").arg(name));
    if (office->fullType.startsWith(QLatin1String("http://purl.oclc.org/ooxml/")))
        throw SpreadsheetError(
            QStringLiteral("%1 is saved as Strict Open XML. Save the form as an Excel workbook "
                           "(.xlsx) in its ordinary format.")
                .arg(name));
    m_workbookPart = root.targetPart(*office);
    m_workbook = parsePart(*m_pkg, m_workbookPart);
    pugi::xml_node wb = m_workbook->document_element();
    if (std::string(wb.attribute("xmlns").value()) == kStrictNs)
        throw SpreadsheetError(
            QStringLiteral("%1 is saved as Strict Open XML. Save the form as an Excel workbook "
                           "(.xlsx) in its ordinary format.")
                .arg(name));
    if (std::string(wb.name()) != "workbook")
        throw SpreadsheetError(QStringLiteral("%1 is not an Excel workbook (.xlsx).").arg(name));
    m_workbookRels.load(*m_pkg, m_workbookPart);
    const QString d1904 = attr(wb.child("workbookPr"), "date1904");
    m_date1904 = d1904 == QLatin1String("1") || d1904 == QLatin1String("true");

    for (pugi::xml_node s : wb.child("sheets").children("sheet")) {
        const Rels::Rel* rel = m_workbookRels.byId(relIdOf(s));
        if (!rel)
            throw SpreadsheetError(
                QStringLiteral("%1 is damaged: the sheet %2 has no part.").arg(name, attr(s, "name")));
        SheetEntry e;
        e.name = attr(s, "name");
        e.part = rel->type == QLatin1String("worksheet") ? m_workbookRels.targetPart(*rel) : QString();
        e.node = s;
        if (!e.part.isEmpty() && !m_pkg->contains(e.part))
            throw SpreadsheetError(
                QStringLiteral("%1 is damaged: the part of sheet %2 is missing.").arg(name, e.name));
        m_sheets.push_back(std::move(e));
    }
    if (m_sheets.empty())
        throw SpreadsheetError(QStringLiteral("%1 holds no sheet.").arg(name));
    if (const Rels::Rel* r = m_workbookRels.firstOfType(QStringLiteral("sharedStrings")))
        m_sstPart = m_workbookRels.targetPart(*r);
    if (const Rels::Rel* r = m_workbookRels.firstOfType(QStringLiteral("styles")))
        m_stylesPart = m_workbookRels.targetPart(*r);
}

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::create(const QString& sheetName) {
    std::unique_ptr<XlsxWorkbook> b(new XlsxWorkbook());
    b->m_pkg = std::make_unique<ZipPackage>();
    ZipPackage& p = *b->m_pkg;
    p.write(kContentTypesPart,
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" "
            "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
            "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
            "<Override PartName=\"/xl/styles.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
            "</Types>");
    p.write(QStringLiteral("_rels/.rels"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
            "Target=\"xl/workbook.xml\"/></Relationships>");
    p.write(QStringLiteral("xl/workbook.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<bookViews><workbookView/></bookViews>"
            "<sheets><sheet name=\"Sheet\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    p.write(QStringLiteral("xl/_rels/workbook.xml.rels"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
            "Target=\"worksheets/sheet1.xml\"/>"
            "<Relationship Id=\"rId2\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
            "Target=\"styles.xml\"/></Relationships>");
    p.write(QStringLiteral("xl/worksheets/sheet1.xml"), QByteArray(kEmptySheet));
    p.write(QStringLiteral("xl/styles.xml"), serializeXml(*Styles::minimalDocument()));
    b->load();
    b->m_sheets[0].name = sheetName;
    setAttr(b->m_sheets[0].node, "name", sheetName);
    b->m_structureChanged = true;
    return b;
}

QStringList XlsxWorkbook::sheetNames() const {
    QStringList n;
    for (const SheetEntry& e : m_sheets)
        n << e.name;
    return n;
}

int XlsxWorkbook::indexOf(const QString& name) const {
    for (std::size_t i = 0; i < m_sheets.size(); ++i)
        if (m_sheets[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

XlsxWorkbook::SheetEntry* XlsxWorkbook::entry(const QString& name) {
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_sheets[static_cast<std::size_t>(i)];
}

QString XlsxWorkbook::sheetNameOfPart(const QString& part) const {
    for (const SheetEntry& e : m_sheets)
        if (e.part == part)
            return e.name;
    return {};
}

XlsxWorksheet* XlsxWorkbook::worksheet(SheetEntry& e) {
    if (e.part.isEmpty())
        return nullptr; // a chart sheet has no cells
    if (!e.sheet)
        e.sheet = std::make_unique<XlsxWorksheet>(*this, e.part, parsePart(*m_pkg, e.part));
    return e.sheet.get();
}

Worksheet* XlsxWorkbook::sheet(const QString& name) {
    SheetEntry* e = entry(name);
    return e ? worksheet(*e) : nullptr;
}

// Shared strings and styles are read when first needed; a workbook without the part gets a new
// one, related to the workbook and typed.
template <typename Part>
Part& XlsxWorkbook::partOrNew(std::unique_ptr<Part>& loaded, QString& part, const QString& kind) {
    if (!loaded) {
        if (!part.isEmpty() && m_pkg->contains(part)) {
            loaded = std::make_unique<Part>(parsePart(*m_pkg, part));
        } else {
            part = partFolder(m_workbookPart) + QLatin1Char('/') + kind + QStringLiteral(".xml");
            loaded = std::make_unique<Part>(nullptr);
            m_workbookRels.add(relType(kind), relativeTarget(m_workbookPart, part));
            setContentType(part, kCtBase + kind + QStringLiteral("+xml"));
        }
    }
    return *loaded;
}

SharedStrings& XlsxWorkbook::sharedStrings() {
    return partOrNew(m_sst, m_sstPart, QStringLiteral("sharedStrings"));
}

Styles& XlsxWorkbook::styles() {
    return partOrNew(m_styles, m_stylesPart, QStringLiteral("styles"));
}

void XlsxWorkbook::setContentType(const QString& part, const QString& type) {
    pugi::xml_node types = m_contentTypes->document_element();
    const QString name = QLatin1Char('/') + part;
    for (pugi::xml_node o : types.children("Override"))
        if (attr(o, "PartName").compare(name, Qt::CaseInsensitive) == 0) {
            setAttr(o, "ContentType", type);
            return;
        }
    pugi::xml_node o = types.append_child("Override");
    setAttr(o, "PartName", name);
    setAttr(o, "ContentType", type);
}

QString XlsxWorkbook::contentTypeOf(const QString& part) const {
    pugi::xml_node types = m_contentTypes->document_element();
    const QString name = QLatin1Char('/') + part;
    for (pugi::xml_node o : types.children("Override"))
        if (attr(o, "PartName").compare(name, Qt::CaseInsensitive) == 0)
            return attr(o, "ContentType");
    const QString ext = QFileInfo(part).suffix();
    for (pugi::xml_node d : types.children("Default"))
        if (attr(d, "Extension").compare(ext, Qt::CaseInsensitive) == 0)
            return attr(d, "ContentType");
    return {};
}

void XlsxWorkbook::removePartWithType(const QString& part) {
    m_pkg->remove(part);
    m_pkg->remove(relsPartOf(part));
    pugi::xml_node types = m_contentTypes->document_element();
    const QString name = QLatin1Char('/') + part;
    for (pugi::xml_node o : types.children("Override"))
        if (attr(o, "PartName").compare(name, Qt::CaseInsensitive) == 0) {
            types.remove_child(o);
            break;
        }
}

void XlsxWorkbook::checkNewName(const QString& name, const QString& except) const {
    if (!isValidSheetName(name))
        throw SpreadsheetError(
            QStringLiteral("\"%1\" cannot be a sheet name: 1 to 31 characters, none of / \\ ? * : [ ].")
                .arg(name));
    const int i = indexOf(name);
    if (i >= 0 && m_sheets[static_cast<std::size_t>(i)].name.compare(except, Qt::CaseInsensitive) != 0)
        throw SpreadsheetError(QStringLiteral("The workbook already has a sheet named \"%1\".").arg(name));
}

QString XlsxWorkbook::freePartName(const QString& like) const {
    static const QRegularExpression re(QStringLiteral("^(.*?)(\\d*)(\\.[^./]+)$"));
    const QRegularExpressionMatch m = re.match(like);
    const QString base = m.hasMatch() ? m.captured(1) : like;
    const QString ext = m.hasMatch() ? m.captured(3) : QString();
    for (int n = 1;; ++n) {
        const QString candidate = base + QString::number(n) + ext;
        if (!m_pkg->contains(candidate))
            return candidate;
    }
}

void XlsxWorkbook::insertSheetNode(const QString& name, const QString& relId, int index, SheetEntry e) {
    pugi::xml_node sheets = m_workbook->document_element().child("sheets");
    int maxId = 0;
    for (pugi::xml_node s : sheets.children("sheet"))
        maxId = std::max(maxId, s.attribute("sheetId").as_int());
    pugi::xml_node node =
        index >= static_cast<int>(m_sheets.size())
            ? sheets.append_child("sheet")
            : sheets.insert_child_before("sheet", m_sheets[static_cast<std::size_t>(index)].node);
    // The prefix is declared on the element itself: not every writer declares it on the root.
    node.append_attribute("xmlns:r").set_value(kRelNs);
    setAttr(node, "name", name);
    setAttr(node, "sheetId", maxId + 1);
    node.append_attribute("r:id").set_value(relId.toUtf8().constData());
    e.name = name;
    e.node = node;
    m_sheets.insert(m_sheets.begin() + index, std::move(e));
    m_structureChanged = true;
}

void XlsxWorkbook::shiftLocalSheetIds(int from) {
    pugi::xml_node wb = m_workbook->document_element();
    for (pugi::xml_node n : wb.child("definedNames").children("definedName"))
        if (n.attribute("localSheetId") && n.attribute("localSheetId").as_int() >= from)
            n.attribute("localSheetId").set_value(n.attribute("localSheetId").as_int() + 1);
    for (pugi::xml_node v : wb.child("bookViews").children("workbookView"))
        for (const char* a : {"activeTab", "firstSheet"})
            if (v.attribute(a) && v.attribute(a).as_int() >= from)
                v.attribute(a).set_value(v.attribute(a).as_int() + 1);
}

Worksheet* XlsxWorkbook::addSheet(const QString& name) {
    checkNewName(name);
    const QString part = freePartName(partFolder(m_workbookPart) + QStringLiteral("/worksheets/sheet1.xml"));
    m_pkg->write(part, QByteArray(kEmptySheet));
    setContentType(part, kCtBase + QStringLiteral("worksheet+xml"));
    const QString relId =
        m_workbookRels.add(relType(QStringLiteral("worksheet")), relativeTarget(m_workbookPart, part));
    SheetEntry e;
    e.part = part;
    insertSheetNode(name, relId, static_cast<int>(m_sheets.size()), std::move(e));
    return worksheet(m_sheets.back());
}

QString XlsxWorkbook::copyPartTree(const QString& part, std::map<QString, QString>& copied) {
    const auto done = copied.find(part);
    if (done != copied.end())
        return done->second;
    const QString type = contentTypeOf(part);
    // Pictures are shared by the copies; everything else belongs to its sheet.
    if (type.startsWith(QLatin1String("image/")))
        return part;
    const QString copy = freePartName(part);
    copied[part] = copy;
    QByteArray data = m_pkg->read(part);

    if (type.endsWith(QLatin1String("vmlDrawing")) || part.endsWith(QLatin1String(".vml"))) {
        // Shape ids must be unique in the workbook: a block of its own for the copy's shapes.
        int maxBlock = 0;
        for (const QString& p : m_pkg->parts())
            if (p.endsWith(QLatin1String(".vml"), Qt::CaseInsensitive)) {
                static const QRegularExpression idmap(QStringLiteral("<\\w+:idmap[^>]*data=\"([0-9, ]+)\""));
                QRegularExpressionMatchIterator it = idmap.globalMatch(QString::fromUtf8(m_pkg->read(p)));
                while (it.hasNext())
                    for (const QString& n : it.next().captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
                        maxBlock = std::max(maxBlock, n.trimmed().toInt());
            }
        const int block = maxBlock + 1;
        QString text = QString::fromUtf8(data);
        static const QRegularExpression idmapData(QStringLiteral("(<\\w+:idmap[^>]*data=\")[0-9, ]+(\")"));
        text.replace(idmapData, QStringLiteral("\\1%1\\2").arg(block));
        static const QRegularExpression shapeId(QStringLiteral("_x0000_s(\\d+)"));
        QString out;
        qsizetype last = 0;
        QRegularExpressionMatchIterator it = shapeId.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            out += text.mid(last, m.capturedStart() - last);
            out += QStringLiteral("_x0000_s%1").arg(block * 1024 + m.captured(1).toInt() % 1024);
            last = m.capturedEnd();
        }
        out += text.mid(last);
        data = out.toUtf8();
    } else if (type == kCtBase + QStringLiteral("table+xml")) {
        // Table ids and names are unique in the workbook.
        int maxId = 0;
        QStringList names;
        for (const QString& p : m_pkg->parts())
            if (contentTypeOf(p) == type) {
                auto t = parsePart(*m_pkg, p);
                maxId = std::max(maxId, t->document_element().attribute("id").as_int());
                names << attr(t->document_element(), "name") << attr(t->document_element(), "displayName");
            }
        auto t = parseXml(data, part);
        pugi::xml_node table = t->document_element();
        setAttr(table, "id", maxId + 1);
        const QString base = attr(table, "displayName");
        QString fresh;
        for (int n = 2;; ++n) {
            fresh = base + QLatin1Char('_') + QString::number(n);
            if (!names.contains(fresh, Qt::CaseInsensitive))
                break;
        }
        setAttr(table, "name", fresh);
        setAttr(table, "displayName", fresh);
        data = serializeXml(*t);
    } else if (type.contains(QLatin1String("threadedcomments"), Qt::CaseInsensitive)) {
        static const QRegularExpression guid(QStringLiteral("\\{[0-9A-Fa-f-]{36}\\}"));
        QString text = QString::fromUtf8(data);
        std::map<QString, QString> fresh;
        QString out;
        qsizetype last = 0;
        QRegularExpressionMatchIterator it = guid.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            QString& g = fresh[m.captured(0).toUpper()];
            if (g.isEmpty())
                g = QUuid::createUuid().toString().toUpper();
            out += text.mid(last, m.capturedStart() - last) + g;
            last = m.capturedEnd();
        }
        out += text.mid(last);
        data = out.toUtf8();
    }

    m_pkg->write(copy, data);
    if (!type.isEmpty() && contentTypeOf(copy) != type)
        setContentType(copy, type);
    Rels rels;
    rels.load(*m_pkg, part);
    if (!rels.empty()) {
        Rels out;
        out.load(*m_pkg, copy); // empty: the copy has no relationships yet
        for (const Rels::Rel& r : rels.all()) {
            Rels::Rel n = r;
            if (!r.external) {
                // The persons list of threaded comments belongs to the workbook, not the sheet.
                const QString target = rels.targetPart(r);
                if (m_pkg->contains(target) && r.type != QLatin1String("person"))
                    n.target = relativeTarget(copy, copyPartTree(target, copied));
            }
            out.append(n);
        }
        m_pkg->write(relsPartOf(copy), out.serialize());
    }
    return copy;
}

Worksheet* XlsxWorkbook::copySheetAfter(const QString& source, const QString& after, const QString& newName) {
    SheetEntry* src = entry(source);
    if (!src || src->part.isEmpty())
        throw SpreadsheetError(QStringLiteral("The workbook has no worksheet \"%1\".").arg(source));
    const int afterIndex = indexOf(after);
    if (afterIndex < 0)
        throw SpreadsheetError(QStringLiteral("The workbook has no sheet \"%1\".").arg(after));
    checkNewName(newName);
    int srcIndex = indexOf(source);
    const QString srcName = src->name;

    // The source as it is now, with what was written to it and not yet saved.
    XlsxWorksheet* srcSheet = worksheet(*src);
    const QByteArray xml = srcSheet->serialize();
    const QString part = freePartName(src->part);
    std::map<QString, QString> copied;
    copied[src->part] = part;
    auto doc = parseXml(xml, part);
    for (pugi::xml_node v : doc->document_element().child("sheetViews").children("sheetView"))
        v.remove_attribute("tabSelected");
    m_pkg->write(part, serializeXml(*doc));
    setContentType(part, kCtBase + QStringLiteral("worksheet+xml"));

    Rels& srcRels = srcSheet->rels();
    if (!srcRels.empty()) {
        Rels out;
        out.load(*m_pkg, part);
        for (const Rels::Rel& r : srcRels.all()) {
            Rels::Rel n = r;
            const QString target = srcRels.targetPart(r);
            if (!r.external && m_pkg->contains(target))
                n.target = relativeTarget(part, copyPartTree(target, copied));
            out.append(n);
        }
        m_pkg->write(relsPartOf(part), out.serialize());
    }

    const int insertIndex = afterIndex + 1;
    shiftLocalSheetIds(insertIndex);
    if (srcIndex >= insertIndex)
        ++srcIndex;
    const QString relId =
        m_workbookRels.add(relType(QStringLiteral("worksheet")), relativeTarget(m_workbookPart, part));
    SheetEntry e;
    e.part = part;
    e.sheet = std::make_unique<XlsxWorksheet>(*this, part, std::move(doc));
    insertSheetNode(newName, relId, insertIndex, std::move(e));
    // A hidden template gives visible pages: the new sheet element carries no state.

    // The copy's own print area and print titles.
    pugi::xml_node names = m_workbook->document_element().child("definedNames");
    std::vector<pugi::xml_node> local;
    for (pugi::xml_node n : names.children("definedName"))
        if (n.attribute("localSheetId") && n.attribute("localSheetId").as_int() == srcIndex)
            local.push_back(n);
    for (pugi::xml_node n : local) {
        pugi::xml_node c = names.insert_copy_after(n, n);
        setAttr(c, "localSheetId", insertIndex);
        c.text().set(retargetSheet(qstr(n.text().get()), srcName, newName).toUtf8().constData());
    }
    return m_sheets[static_cast<std::size_t>(insertIndex)].sheet.get();
}

void XlsxWorkbook::renameSheet(const QString& oldName, const QString& newName) {
    SheetEntry* e = entry(oldName);
    if (!e)
        throw SpreadsheetError(QStringLiteral("The workbook has no sheet \"%1\".").arg(oldName));
    checkNewName(newName, oldName);
    for (pugi::xml_node n : m_workbook->document_element().child("definedNames").children("definedName"))
        n.text().set(retargetSheet(qstr(n.text().get()), e->name, newName).toUtf8().constData());
    e->name = newName;
    setAttr(e->node, "name", newName);
    m_structureChanged = true;
}

void XlsxWorkbook::updateAppXml() {
    // The document properties list the sheet names; rather than a stale list, none.
    const QString app = QStringLiteral("docProps/app.xml");
    if (!m_pkg->contains(app))
        return;
    auto doc = parsePart(*m_pkg, app);
    pugi::xml_node props = doc->document_element();
    props.remove_child("HeadingPairs");
    props.remove_child("TitlesOfParts");
    m_pkg->write(app, serializeXml(*doc));
}

void XlsxWorkbook::write(const QString& path) {
    // Sheets are independent documents: they are turned into text side by side.
    std::vector<std::pair<QString, std::future<QByteArray>>> sheets;
    for (SheetEntry& e : m_sheets)
        if (e.sheet) {
            if (e.sheet->modified()) {
                XlsxWorksheet* ws = e.sheet.get();
                sheets.emplace_back(e.part, std::async(std::launch::async, [ws] { return ws->serialize(); }));
            }
            if (e.sheet->rels().modified())
                m_pkg->write(relsPartOf(e.part), e.sheet->rels().serialize());
        }
    // The shared strings meanwhile; each written part starts compressing at once.
    if (m_sst && m_sst->modified())
        m_pkg->write(m_sstPart, m_sst->serialize());
    for (auto& [part, text] : sheets)
        m_pkg->write(part, text.get());
    if (m_cellsWritten) {
        // The calculation chain names cells we may have changed; the spreadsheet program rebuilds it.
        if (const Rels::Rel* r = m_workbookRels.firstOfType(QStringLiteral("calcChain"))) {
            removePartWithType(m_workbookRels.targetPart(*r));
            m_workbookRels.remove(QString(r->id));
        }
    }
    if (m_styles && m_styles->modified())
        m_pkg->write(m_stylesPart, serializeXml(m_styles->document()));
    if (m_structureChanged)
        updateAppXml();
    m_pkg->write(m_workbookPart, serializeXml(*m_workbook));
    m_pkg->write(relsPartOf(m_workbookPart), m_workbookRels.serialize());
    m_pkg->write(kContentTypesPart, serializeXml(*m_contentTypes));
    m_pkg->save(path, beforeRename);
}

void XlsxWorkbook::save() {
    if (m_path.isEmpty())
        throw SpreadsheetError(QStringLiteral("The workbook has no file yet."));
    write(m_path);
}

void XlsxWorkbook::saveAs(const QString& path) {
    write(path);
    m_path = path;
}

} // namespace excel::xlsx

namespace excel {

Colour paletteColour(int colourIndex) {
    switch (colourIndex) {
    case 3:
        return {0xFF0000};
    case 15:
        return {0xC0C0C0};
    case 33:
        return {0x00CCFF};
    case 1:
        return {0x000000};
    case 2:
        return {0xFFFFFF};
    default:
        return {0x000000};
    }
}

bool isValidSheetName(const QString& name) {
    if (name.isEmpty() || name.size() > 31 || name.startsWith(QLatin1Char('\'')) ||
        name.endsWith(QLatin1Char('\'')))
        return false;
    for (const QChar c : name)
        if (QStringLiteral("/\\?*:[]").contains(c))
            return false;
    return true;
}

std::unique_ptr<Workbook> openWorkbook(const QString& path) {
    return xlsx::XlsxWorkbook::open(path);
}

std::unique_ptr<Workbook> newWorkbook(const QString& sheetName) {
    return xlsx::XlsxWorkbook::create(sheetName);
}

} // namespace excel
