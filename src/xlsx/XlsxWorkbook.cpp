#include "xlsx/XlsxWorkbook.h"

#include "xlsx/Formula.h"
#include "xlsx/Xml.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <future>

namespace excel::xlsx {

namespace {

const char* kEmptySheet =
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
    "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
    "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
    "footer=\"0.3\"/></worksheet>";

} // namespace

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
    if (!m_pkg->contains(ContentTypes::kPart) || !m_pkg->contains(QStringLiteral("_rels/.rels")))
        throw SpreadsheetError(QStringLiteral("%1 is not an Excel workbook (.xlsx).").arg(name));
    m_types.load(*m_pkg);
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
    // A pre-release format (the Excel 2007 beta's namespace, say) names its parts' contents
    // otherwise: written as if it were ours, no reader would understand it.
    if (std::string(wb.attribute("xmlns").value()) != kMainNs)
        throw SpreadsheetError(
            QStringLiteral("%1 is saved in a format this program does not fill (%2). Save the form as an "
                           "Excel workbook (.xlsx).")
                .arg(name, qstr(wb.attribute("xmlns").value())));
    m_workbookRels.load(*m_pkg, m_workbookPart);
    const QString d1904 = attr(wb.child("workbookPr"), "date1904");
    m_date1904 = d1904 == QLatin1String("1") || d1904 == QLatin1String("true");

    for (pugi::xml_node s : wb.child("sheets").children("sheet")) {
        auto e = std::make_unique<SheetEntry>();
        e->name = attr(s, "name");
        e->node = s;
        // Old macro sheets are listed without a part: kept in place and in the count of positions,
        // but never opened, found or copied.
        const QString relId = relIdOf(s);
        e->legacy = relId.isEmpty();
        const Rels::Rel* rel = e->legacy ? nullptr : m_workbookRels.byId(relId);
        if (!rel && !e->legacy)
            throw SpreadsheetError(
                QStringLiteral("%1 is damaged: the sheet %2 has no part.").arg(name, attr(s, "name")));
        e->part =
            rel && rel->type == QLatin1String("worksheet") ? m_workbookRels.targetPart(*rel) : QString();
        if (!e->part.isEmpty() && !m_pkg->contains(e->part))
            throw SpreadsheetError(
                QStringLiteral("%1 is damaged: the part of sheet %2 is missing.").arg(name, e->name));
        m_maxSheetId = std::max(m_maxSheetId, s.attribute("sheetId").as_int());
        if (!m_byName.contains(nameKey(e->name)))
            m_byName.insert(nameKey(e->name), e.get());
        if (!e->part.isEmpty())
            m_byPart.insert(partKey(e->part), e.get());
        m_sheets.push_back(std::move(e));
    }
    for (pugi::xml_node n : wb.child("definedNames").children("definedName"))
        if (pugi::xml_attribute id = n.attribute("localSheetId"))
            m_localNames[id.as_int()].push_back(n);
    if (std::none_of(m_sheets.begin(), m_sheets.end(), [](const auto& e) { return !e->legacy; }))
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
    p.write(ContentTypes::kPart,
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
    b->setSheetName(*b->m_sheets[0], sheetName);
    return b;
}

QStringList XlsxWorkbook::sheetNames() const {
    QStringList n;
    for (const auto& e : m_sheets)
        if (!e->legacy)
            n << e->name;
    return n;
}

XlsxWorkbook::SheetEntry* XlsxWorkbook::entry(const QString& name) const {
    SheetEntry* e = m_byName.value(nameKey(name));
    return e && !e->legacy ? e : nullptr;
}

int XlsxWorkbook::indexOf(const SheetEntry* e) const {
    for (std::size_t i = 0; e && i < m_sheets.size(); ++i)
        if (m_sheets[i].get() == e)
            return static_cast<int>(i);
    return -1;
}

void XlsxWorkbook::holding(XlsxWorksheet& sheet) {
    if (!m_held.empty() && m_held.back() == &sheet)
        return; // the usual case: the page being written
    // A run writes its page, the list of ids beside it and copies the template: a few trees cover
    // that, while every tree held costs a few hundred kilobytes.
    constexpr std::size_t kHeld = 8;
    m_held.erase(std::remove(m_held.begin(), m_held.end(), &sheet), m_held.end());
    if (m_held.size() >= kHeld) {
        XlsxWorksheet* oldest = m_held.front();
        m_held.erase(m_held.begin());
        oldest->park();
    }
    m_held.push_back(&sheet);
}

QString XlsxWorkbook::sheetNameOfPart(const QString& part) const {
    const SheetEntry* e = m_byPart.value(partKey(part));
    return e ? e->name : QString();
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
            const QString plain = joinPart(partFolder(m_workbookPart), kind + QStringLiteral(".xml"));
            // A part of that kind that the workbook does not name (an empty one some tools leave)
            // is taken instead of a second one beside it, which readers would confuse with it.
            const bool unnamed = m_pkg->contains(plain) && m_types.of(plain) == spreadsheetType(kind);
            part = !m_pkg->contains(plain) || unnamed ? plain : m_pkg->freeName(plain);
            std::unique_ptr<pugi::xml_document> existing;
            if (unnamed) {
                try {
                    existing = parsePart(*m_pkg, part);
                    const char* root = kind == QLatin1String("styles") ? "styleSheet" : "sst";
                    if (std::strcmp(existing->document_element().name(), root) != 0)
                        existing.reset();
                } catch (const SpreadsheetError&) {
                    // empty or no XML: nothing in it to keep
                }
            }
            loaded = std::make_unique<Part>(std::move(existing));
            m_workbookRels.add(relType(kind), relativeTarget(m_workbookPart, part));
            m_types.set(part, spreadsheetType(kind));
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

void XlsxWorkbook::removePartWithType(const QString& part) {
    m_pkg->remove(part);
    m_pkg->remove(relsPartOf(part));
    m_types.remove(part);
    m_types.remove(relsPartOf(part));
    m_copyIds.forget(part);
}

void XlsxWorkbook::checkNewName(const QString& name, const QString& except) const {
    if (!isValidSheetName(name))
        throw SpreadsheetError(
            QStringLiteral("\"%1\" cannot be a sheet name: 1 to 31 characters, none of / \\ ? * : [ ].")
                .arg(name));
    // An old macro sheet's name is taken too.
    const SheetEntry* e = m_byName.value(nameKey(name));
    if (e && e->name.compare(except, Qt::CaseInsensitive) != 0)
        throw SpreadsheetError(QStringLiteral("The workbook already has a sheet named \"%1\".").arg(name));
}

XlsxWorkbook::SheetEntry& XlsxWorkbook::insertSheet(const QString& name, const QString& relId, int index,
                                                    const QString& part) {
    pugi::xml_node sheets = m_workbook->document_element().child("sheets");
    pugi::xml_node node =
        index >= static_cast<int>(m_sheets.size())
            ? sheets.append_child("sheet")
            : sheets.insert_child_before("sheet", m_sheets[static_cast<std::size_t>(index)]->node);
    // The prefix is declared on the element itself: not every writer declares it on the root.
    node.append_attribute("xmlns:r").set_value(kRelNs);
    setAttr(node, "name", name);
    setAttr(node, "sheetId", ++m_maxSheetId);
    node.append_attribute("r:id").set_value(relId.toUtf8().constData());
    auto e = std::make_unique<SheetEntry>();
    e->name = name;
    e->part = part;
    e->node = node;
    m_byName.insert(nameKey(name), e.get());
    m_byPart.insert(partKey(part), e.get());
    m_structureChanged = true;
    return **m_sheets.insert(m_sheets.begin() + index, std::move(e));
}

void XlsxWorkbook::shiftLocalSheetIds(int from) {
    pugi::xml_node wb = m_workbook->document_element();
    // The names of the sheets from there on move up one place: taken out, renumbered, put back.
    std::vector<decltype(m_localNames)::node_type> moved;
    for (auto it = m_localNames.lower_bound(from); it != m_localNames.end();)
        moved.push_back(m_localNames.extract(it++));
    for (auto& names : moved) {
        ++names.key();
        for (pugi::xml_node n : names.mapped())
            n.attribute("localSheetId").set_value(names.key());
        m_localNames.insert(std::move(names));
    }
    for (pugi::xml_node v : wb.child("bookViews").children("workbookView"))
        for (const char* a : {"activeTab", "firstSheet"})
            if (v.attribute(a) && v.attribute(a).as_int() >= from)
                v.attribute(a).set_value(v.attribute(a).as_int() + 1);
}

Worksheet* XlsxWorkbook::addSheet(const QString& name) {
    checkNewName(name);
    const QString part =
        m_pkg->freeName(joinPart(partFolder(m_workbookPart), QStringLiteral("worksheets/sheet1.xml")));
    m_pkg->write(part, QByteArray(kEmptySheet));
    m_types.set(part, spreadsheetType(QStringLiteral("worksheet")));
    const QString relId =
        m_workbookRels.add(relType(QStringLiteral("worksheet")), relativeTarget(m_workbookPart, part));
    return worksheet(insertSheet(name, relId, static_cast<int>(m_sheets.size()), part));
}

void XlsxWorkbook::hideSheet(const QString& name) {
    SheetEntry* e = entry(name);
    if (!e)
        throw SpreadsheetError(QStringLiteral("The workbook has no sheet \"%1\".").arg(name));
    const auto visible = [](const SheetEntry& s) {
        const QString state = qstr(s.node.attribute("state").value());
        return state.isEmpty() || state == QLatin1String("visible");
    };
    if (std::none_of(m_sheets.begin(), m_sheets.end(),
                     [&](const auto& s) { return s.get() != e && visible(*s); }))
        return;
    setAttr(e->node, "state", QStringLiteral("hidden"));
    // The view must open on a sheet that can be seen.
    const auto index =
        std::find_if(m_sheets.begin(), m_sheets.end(), [&](const auto& s) { return s.get() == e; }) -
        m_sheets.begin();
    const auto firstVisible =
        std::find_if(m_sheets.begin(), m_sheets.end(), [&](const auto& s) { return visible(*s); }) -
        m_sheets.begin();
    for (pugi::xml_node v : m_workbook->document_element().child("bookViews").children("workbookView"))
        for (const char* a : {"activeTab", "firstSheet"})
            if (v.attribute(a) && v.attribute(a).as_int() == index)
                v.attribute(a).set_value(static_cast<int>(firstVisible));
    m_structureChanged = true;
}

void XlsxWorkbook::renameSheet(const QString& oldName, const QString& newName) {
    SheetEntry* e = entry(oldName);
    if (!e)
        throw SpreadsheetError(QStringLiteral("The workbook has no sheet \"%1\".").arg(oldName));
    checkNewName(newName, oldName);
    for (pugi::xml_node n : m_workbook->document_element().child("definedNames").children("definedName"))
        n.text().set(retargetSheet(qstr(n.text().get()), e->name, newName).toUtf8().constData());
    setSheetName(*e, newName);
}

void XlsxWorkbook::setSheetName(SheetEntry& e, const QString& name) {
    const QString old = nameKey(e.name);
    if (m_byName.value(old) == &e) {
        m_byName.remove(old);
        for (const auto& other : m_sheets) // a file may name two sheets alike: the next one is found
            if (other.get() != &e && nameKey(other->name) == old) {
                m_byName.insert(old, other.get());
                break;
            }
    }
    e.name = name;
    if (!m_byName.contains(nameKey(name)))
        m_byName.insert(nameKey(name), &e);
    setAttr(e.node, "name", name);
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
    for (const auto& e : m_sheets)
        if (e->sheet) {
            if (e->sheet->modified()) {
                XlsxWorksheet* ws = e->sheet.get();
                sheets.emplace_back(e->part,
                                    std::async(std::launch::async, [ws] { return ws->serialize(); }));
            }
            if (e->sheet->rels().modified())
                m_pkg->write(relsPartOf(e->part), e->sheet->rels().serialize());
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
    // Forms that type relationships parts one by one leave the ones added here untyped.
    const QString relsType = QStringLiteral("application/vnd.openxmlformats-package.relationships+xml");
    for (const QString& part : m_pkg->parts())
        if (part.endsWith(QLatin1String(".rels"), Qt::CaseInsensitive) && m_types.of(part).isEmpty())
            m_types.set(part, relsType);
    m_pkg->write(ContentTypes::kPart, m_types.serialize());
    m_pkg->save(path, beforeRename, replace);
}

void XlsxWorkbook::save() {
    if (m_path.isEmpty())
        throw SpreadsheetError(QStringLiteral("The workbook has no file yet."));
    write(m_path);
}

void XlsxWorkbook::saveAs(const QString& path) {
    matchTypeToName(path);
    write(path);
    m_path = path;
}

// Spreadsheet programs refuse a file whose name and main part's type disagree, and a .xlsx may hold
// no macros: a macro form saved under that name leaves its VBA project behind.
void XlsxWorkbook::matchTypeToName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xlsx")) {
        dropVbaProject();
        m_types.set(m_workbookPart, spreadsheetType(QStringLiteral("sheet.main")));
    } else if (suffix == QLatin1String("xlsm")) {
        m_types.set(m_workbookPart, QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml"));
    }
}

void XlsxWorkbook::dropVbaProject() {
    while (const Rels::Rel* r = m_workbookRels.firstOfType(QStringLiteral("vbaProject"))) {
        const QString project = m_workbookRels.targetPart(*r);
        // Its signatures go with it.
        Rels signatures;
        signatures.load(*m_pkg, project);
        for (const Rels::Rel& s : signatures.all())
            if (!s.external)
                removePartWithType(signatures.targetPart(s));
        removePartWithType(project);
        m_workbookRels.remove(QString(r->id));
    }
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
