#include "xlsx/SheetCopy.h"

#include "xlsx/ContentTypes.h"
#include "xlsx/Formula.h"
#include "xlsx/XlsxWorkbook.h"
#include "xlsx/Xml.h"

#include <QRegularExpression>
#include <QUuid>

#include <functional>
#include <string_view>

namespace excel::xlsx {

namespace {

// The highest block of shape ids a legacy drawing claims. A block beyond any real workbook's is a
// damaged number and not counted: the ids of the blocks after it would overflow.
int highestBlock(const QString& vml) {
    static const QRegularExpression idmap(QStringLiteral("<\\w+:idmap[^>]*data=\"([0-9, ]+)\""));
    constexpr int kMostBlocks = 1 << 20;
    int highest = 0;
    QRegularExpressionMatchIterator it = idmap.globalMatch(vml);
    while (it.hasNext())
        for (const QString& n : it.next().captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (const int block = n.trimmed().toInt(); block < kMostBlocks)
                highest = std::max(highest, block);
    return highest;
}

// The text with each match replaced by what `with` makes of it.
QString replaceEach(const QString& text, const QRegularExpression& re,
                    const std::function<QString(const QRegularExpressionMatch&)>& with) {
    QString out;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(last, m.capturedStart() - last) + with(m);
        last = m.capturedEnd();
    }
    return out + text.mid(last);
}

// A control's or embedded object's twin in the drawing carries the legacy shape's number: the
// copy's twins carry the copied shapes' numbers.
QByteArray renumberDrawingShapes(const QByteArray& data, const QString& part,
                                 const std::map<int, int>& shapes) {
    auto d = parseXml(data, part);
    for (const pugi::xpath_node& c : d->select_nodes(".//*[local-name()='cNvPr']"))
        for (const pugi::xpath_node& e : c.node().select_nodes(".//*[local-name()='compatExt']")) {
            const QString spid = attr(e.node(), "spid");
            const auto fresh = shapes.find(spid.mid(8).toInt());
            if (!spid.startsWith(QLatin1String("_x0000_s")) || fresh == shapes.end())
                continue;
            setAttr(e.node(), "spid", QStringLiteral("_x0000_s%1").arg(fresh->second));
            setAttr(c.node(), "id", fresh->second);
        }
    return serializeXml(*d);
}

// What binds a table to an XML map, removed.
void unbindXmlMap(pugi::xml_node table) {
    table.remove_attribute("tableType");
    table.remove_attribute("connectionId");
    for (pugi::xml_node c : table.child("tableColumns").children("tableColumn")) {
        c.remove_child("xmlColumnPr");
        c.remove_attribute("uniqueName");
        c.remove_attribute("queryTableFieldId");
    }
}

// The copy's threads and replies get ids of their own, noted in `threads`; their persons are the
// workbook's.
QByteArray renewThreadIds(const QByteArray& data, const QString& part, std::map<QString, QString>& threads) {
    auto d = parseXml(data, part);
    const auto freshId = [&threads](const QString& id) {
        QString& g = threads[id.trimmed().toUpper()];
        if (g.isEmpty())
            g = QUuid::createUuid().toString().toUpper();
        return g;
    };
    for (const pugi::xpath_node& c : d->select_nodes(".//*[local-name()='threadedComment']")) {
        setAttr(c.node(), "id", freshId(attr(c.node(), "id")));
        if (c.node().attribute("parentId"))
            setAttr(c.node(), "parentId", freshId(attr(c.node(), "parentId")));
    }
    for (const pugi::xpath_node& m : d->select_nodes(".//*[local-name()='mention']"))
        if (m.node().attribute("mentionId"))
            setAttr(m.node(), "mentionId", QUuid::createUuid().toString().toUpper());
    return serializeXml(*d);
}

// A legacy comment standing in for a thread names it as its author "tc={id}": the copy's names
// the copied thread.
QByteArray renameThreadAuthors(const QByteArray& data, const QString& part,
                               const std::map<QString, QString>& threads) {
    auto d = parseXml(data, part);
    for (pugi::xml_node a : d->document_element().child("authors").children("author")) {
        const QString author = qstr(a.text().get());
        const auto fresh = threads.find(author.mid(3).trimmed().toUpper());
        if (author.startsWith(QLatin1String("tc=")) && fresh != threads.end())
            a.text().set((QStringLiteral("tc=") + fresh->second).toUtf8().constData());
    }
    return serializeXml(*d);
}

} // namespace

void CopyIds::scanDrawings(const ZipPackage& pkg) {
    m_blocks.emplace();
    for (const QString& p : pkg.parts())
        if (p.endsWith(QLatin1String(".vml"), Qt::CaseInsensitive))
            noteDrawing(p, highestBlock(QString::fromUtf8(pkg.read(p))));
}

int CopyIds::newShapeBlock(const ZipPackage& pkg) {
    if (!m_blocks)
        scanDrawings(pkg);
    return m_maxBlock + 1;
}

void CopyIds::noteDrawing(const QString& part, int block) {
    if (!m_blocks)
        return; // counted when the drawings are first scanned
    m_blocks->insert(part, block);
    m_maxBlock = std::max(m_maxBlock, block);
}

void CopyIds::scanTables(const ZipPackage& pkg, const ContentTypes& types) {
    m_tables.emplace();
    const QString type = spreadsheetType(QStringLiteral("table"));
    for (const QString& p : pkg.parts())
        if (types.of(p) == type) {
            auto t = parsePart(pkg, p);
            const pugi::xml_node table = t->document_element();
            noteTable(p, table.attribute("id").as_int(), attr(table, "name"), attr(table, "displayName"));
        }
}

int CopyIds::newTableId(const ZipPackage& pkg, const ContentTypes& types) {
    if (!m_tables)
        scanTables(pkg, types);
    return m_maxTableId + 1;
}

QString NameSet::fresh(const QString& base) {
    int& n = m_lowestSuffix[base.toCaseFolded()];
    for (n = std::max(n, 2);; ++n) {
        const QString name = base + QLatin1Char('_') + QString::number(n);
        if (!m_used.contains(name.toCaseFolded()))
            return name;
    }
}

QString CopyIds::newTableName(const ZipPackage& pkg, const ContentTypes& types, const QString& base) {
    if (!m_tables)
        scanTables(pkg, types);
    return m_tableNames.fresh(base);
}

QString CopyIds::newPivotTableName(const ZipPackage& pkg, const ContentTypes& types, const QString& base) {
    if (!m_pivotTableNames) {
        m_pivotTableNames.emplace();
        const QString type = spreadsheetType(QStringLiteral("pivotTable"));
        for (const QString& p : pkg.parts())
            if (types.of(p) == type)
                m_pivotTableNames->add(attr(parsePart(pkg, p)->document_element(), "name"));
    }
    const QString name = m_pivotTableNames->fresh(base);
    m_pivotTableNames->add(name);
    return name;
}

void CopyIds::noteTable(const QString& part, int id, const QString& name, const QString& displayName) {
    if (!m_tables)
        return;
    m_tables->insert(part, Table{id, {name, displayName}});
    m_maxTableId = std::max(m_maxTableId, id);
    for (const QString& n : {name, displayName})
        m_tableNames.add(n);
}

void CopyIds::forget(const QString& part) {
    if (m_blocks && m_blocks->remove(part)) {
        m_maxBlock = 0;
        for (const int block : std::as_const(*m_blocks))
            m_maxBlock = std::max(m_maxBlock, block);
    }
    if (m_tables && m_tables->contains(part))
        m_tables.reset(); // tables are never removed by a run: read them again when next needed
}

QByteArray XlsxWorkbook::copyLegacyDrawing(const QString& copy, const QByteArray& data, CopyRun& run) {
    // Shape ids must be unique in the workbook: each block of the original's shapes gets a free
    // block of its own, and the copy's controls and drawing learn the new numbers from `run`.
    QString text = QString::fromUtf8(data);
    static const QRegularExpression idmapData(QStringLiteral("(<\\w+:idmap[^>]*data=\")([0-9, ]+)(\")"));
    std::map<int, int> blocks; // the original's block -> the copy's
    const int first = m_copyIds.newShapeBlock(*m_pkg);
    text = replaceEach(text, idmapData, [&](const QRegularExpressionMatch& m) {
        QStringList out;
        for (const QString& n : m.captured(2).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto [it, added] =
                blocks.try_emplace(n.trimmed().toInt(), first + static_cast<int>(blocks.size()));
            if (added)
                out << QString::number(it->second);
        }
        return m.captured(1) + out.join(QLatin1Char(',')) + m.captured(3);
    });
    static const QRegularExpression shapeId(QStringLiteral("_x0000_s(\\d+)"));
    const QString out = replaceEach(text, shapeId, [&](const QRegularExpressionMatch& m) {
        const int n = m.captured(1).toInt();
        const auto block = blocks.find(n / 1024);
        const int fresh = (block != blocks.end() ? block->second : first) * 1024 + n % 1024;
        run.shapes[n] = fresh;
        return QStringLiteral("_x0000_s%1").arg(fresh);
    });
    if (copy.endsWith(QLatin1String(".vml"), Qt::CaseInsensitive))
        m_copyIds.noteDrawing(copy, highestBlock(out));
    return out.toUtf8();
}

QString XlsxWorkbook::copyPartTree(const QString& part, CopyRun& run) {
    // Relationships may spell a part's name in another case: it is copied once all the same.
    const auto done = run.parts.find(partKey(part));
    if (done != run.parts.end())
        return done->second;
    const QString type = m_types.of(part);
    // Pictures are shared by the copies; everything else belongs to its sheet.
    if (type.startsWith(QLatin1String("image/")))
        return part;
    const QString copy = m_pkg->freeName(part);
    run.parts[partKey(part)] = copy;
    const QByteArray data = copyPartData(part, copy, type, run);
    m_pkg->write(copy, data);
    if (!type.isEmpty() && m_types.of(copy) != type)
        m_types.set(copy, type);
    Rels rels;
    rels.load(*m_pkg, part);
    copyRels(rels, copy, run);
    return copy;
}

QByteArray XlsxWorkbook::copyPartData(const QString& part, const QString& copy, const QString& type,
                                      CopyRun& run) {
    const QByteArray data = m_pkg->read(part);
    if (type.endsWith(QLatin1String("vmlDrawing")) || part.endsWith(QLatin1String(".vml")))
        return copyLegacyDrawing(copy, data, run);
    if (type == QLatin1String("application/vnd.openxmlformats-officedocument.drawing+xml") &&
        !run.shapes.empty())
        return renumberDrawingShapes(data, part, run.shapes);
    if (type == spreadsheetType(QStringLiteral("table")))
        return copyTable(part, copy, data, run);
    if (type == spreadsheetType(QStringLiteral("pivotTable")))
        return copyPivotTable(part, data);
    if (type.contains(QLatin1String("threadedcomments"), Qt::CaseInsensitive))
        return renewThreadIds(data, part, run.threads);
    if (type == spreadsheetType(QStringLiteral("comments")) && !run.threads.empty())
        return renameThreadAuthors(data, part, run.threads);
    return data;
}

QByteArray XlsxWorkbook::copyTable(const QString& part, const QString& copy, const QByteArray& data,
                                   CopyRun& run) {
    // Table ids and names are unique in the workbook.
    auto t = parseXml(data, part);
    pugi::xml_node table = t->document_element();
    const int id = m_copyIds.newTableId(*m_pkg, m_types);
    const QString fresh = m_copyIds.newTableName(*m_pkg, m_types, attr(table, "displayName"));
    setAttr(table, "id", id);
    setAttr(table, "name", fresh);
    setAttr(table, "displayName", fresh);
    m_copyIds.noteTable(copy, id, fresh, fresh);
    // An element of an XML map is bound to one place only: the copy becomes a plain table.
    if (attr(table, "tableType") == QLatin1String("xml")) {
        unbindXmlMap(table);
        run.unbound.insert(copy);
    }
    return serializeXml(*t);
}

QByteArray XlsxWorkbook::copyPivotTable(const QString& part, const QByteArray& data) {
    auto t = parseXml(data, part);
    pugi::xml_node pivot = t->document_element();
    setAttr(pivot, "name", m_copyIds.newPivotTableName(*m_pkg, m_types, attr(pivot, "name")));
    return serializeXml(*t);
}

void XlsxWorkbook::copyRels(const Rels& rels, const QString& copy, CopyRun& run) {
    if (rels.empty())
        return;
    // Legacy drawings and threads first: the drawing that mirrors the shapes and the legacy
    // comments that stand in for the threads need their new ids.
    for (const Rels::Rel& r : rels.all())
        if (!r.external &&
            (r.type == QLatin1String("vmlDrawing") || r.type == QLatin1String("threadedComment")) &&
            m_pkg->contains(rels.targetPart(r)))
            copyPartTree(rels.targetPart(r), run);
    Rels out;
    out.load(*m_pkg, copy); // empty: the copy has no relationships yet
    for (const Rels::Rel& r : rels.all()) {
        // Cells bound to an XML map, and the query of a table that lost its binding, stay with
        // the original.
        if (r.type == QLatin1String("tableSingleCells") ||
            (r.type == QLatin1String("queryTable") && run.unbound.count(copy)))
            continue;
        Rels::Rel n = r;
        // The persons of threaded comments and the caches of pivot tables belong to the workbook,
        // which lists each cache: the copies share them, as the spreadsheet program's copies do.
        const QString target = rels.targetPart(r);
        const bool shared =
            r.type == QLatin1String("person") || r.type == QLatin1String("pivotCacheDefinition");
        if (!r.external && m_pkg->contains(target))
            n.target = relativeTarget(copy, shared ? target : copyPartTree(target, run));
        out.append(n);
    }
    m_pkg->write(relsPartOf(copy), out.serialize());
}

Worksheet* XlsxWorkbook::copySheetAfter(const QString& source, const QString& after, const QString& newName) {
    SheetEntry* src = entry(source);
    if (!src || src->part.isEmpty())
        throw SpreadsheetError(QStringLiteral("The workbook has no worksheet \"%1\".").arg(source));
    const int afterIndex = indexOf(after);
    if (afterIndex < 0)
        throw SpreadsheetError(QStringLiteral("The workbook has no sheet \"%1\".").arg(after));
    checkNewName(newName);
    int srcIndex = indexOf(src);
    const QString srcName = src->name;

    // The source as it is now, with what was written to it and not yet saved.
    XlsxWorksheet* srcSheet = worksheet(*src);
    const QByteArray xml = srcSheet->currentXml();
    const QString part = m_pkg->freeName(src->part);
    CopyRun run;
    run.parts[partKey(src->part)] = part;
    auto doc = parseXml(xml, part);
    for (pugi::xml_node v : doc->document_element().child("sheetViews").children("sheetView"))
        v.remove_attribute("tabSelected");
    // The code name names the sheet's module in the macro project, which has none for the copy; an
    // invented name could clash with a module we cannot see, and without one the spreadsheet program
    // gives the sheet a free name and a module of its own.
    doc->document_element().child("sheetPr").remove_attribute("codeName");
    // The copy is held as a tree only: the package gets its text when it is parked or saved.
    m_pkg->write(part, QByteArray());
    m_types.set(part, spreadsheetType(QStringLiteral("worksheet")));
    copyRels(srcSheet->rels(), part, run);
    // Controls and embedded objects name their shapes in the copy's own legacy drawing. They lie
    // after the cells, some wrapped in alternate content: the cells are not searched.
    static const pugi::xpath_query controls(".//*[local-name()='control' or local-name()='oleObject']");
    for (pugi::xml_node top = doc->document_element().first_child(); top && !run.shapes.empty();
         top = top.next_sibling())
        for (const pugi::xpath_node& c : std::string_view(top.name()) == "sheetData"
                                             ? pugi::xpath_node_set()
                                             : top.select_nodes(controls))
            if (const auto fresh = run.shapes.find(c.node().attribute("shapeId").as_int());
                fresh != run.shapes.end())
                setAttr(c.node(), "shapeId", fresh->second);

    const int insertIndex = afterIndex + 1;
    shiftLocalSheetIds(insertIndex);
    if (srcIndex >= insertIndex)
        ++srcIndex;
    const QString relId =
        m_workbookRels.add(relType(QStringLiteral("worksheet")), relativeTarget(m_workbookPart, part));
    SheetEntry& e = insertSheet(newName, relId, insertIndex, part);
    e.sheet = std::make_unique<XlsxWorksheet>(*this, part, std::move(doc), false);
    // A hidden template gives visible pages: the new sheet element carries no state.

    // The copy's own print area and print titles.
    const auto local = m_localNames.find(srcIndex);
    if (local != m_localNames.end()) {
        pugi::xml_node names = m_workbook->document_element().child("definedNames");
        std::vector<pugi::xml_node>& copies = m_localNames[insertIndex];
        for (pugi::xml_node n : std::vector<pugi::xml_node>(local->second)) {
            pugi::xml_node c = names.insert_copy_after(n, n);
            setAttr(c, "localSheetId", insertIndex);
            c.text().set(retargetSheet(qstr(n.text().get()), srcName, newName).toUtf8().constData());
            copies.push_back(c);
        }
    }
    return e.sheet.get();
}

} // namespace excel::xlsx
