#include "excel/xlsx/SheetCopy.h"

#include "excel/xlsx/ContentTypes.h"
#include "excel/xlsx/Formula.h"
#include "excel/xlsx/XlsxWorkbook.h"
#include "excel/xlsx/Xml.h"

#include <QRegularExpression>
#include <QUuid>

#include <functional>

namespace excel::xlsx {

namespace {

// The highest block of shape ids a legacy drawing claims.
int highestBlock(const QString& vml) {
    static const QRegularExpression idmap(QStringLiteral("<\\w+:idmap[^>]*data=\"([0-9, ]+)\""));
    int highest = 0;
    QRegularExpressionMatchIterator it = idmap.globalMatch(vml);
    while (it.hasNext())
        for (const QString& n : it.next().captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            highest = std::max(highest, n.trimmed().toInt());
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

QString CopyIds::newTableName(const ZipPackage& pkg, const ContentTypes& types, const QString& base) {
    if (!m_tables)
        scanTables(pkg, types);
    int& n = m_lowestSuffix[base.toCaseFolded()];
    for (n = std::max(n, 2);; ++n) {
        const QString name = base + QLatin1Char('_') + QString::number(n);
        if (!m_tableNames.contains(name.toCaseFolded()))
            return name;
    }
}

void CopyIds::noteTable(const QString& part, int id, const QString& name, const QString& displayName) {
    if (!m_tables)
        return;
    m_tables->insert(part, Table{id, {name, displayName}});
    m_maxTableId = std::max(m_maxTableId, id);
    for (const QString& n : {name, displayName})
        ++m_tableNames[n.toCaseFolded()];
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

QString XlsxWorkbook::copyPartTree(const QString& part, std::map<QString, QString>& copied) {
    // Relationships may spell a part's name in another case: it is copied once all the same.
    const auto done = copied.find(partKey(part));
    if (done != copied.end())
        return done->second;
    const QString type = m_types.of(part);
    // Pictures are shared by the copies; everything else belongs to its sheet.
    if (type.startsWith(QLatin1String("image/")))
        return part;
    const QString copy = m_pkg->freeName(part);
    copied[partKey(part)] = copy;
    QByteArray data = m_pkg->read(part);

    if (type.endsWith(QLatin1String("vmlDrawing")) || part.endsWith(QLatin1String(".vml"))) {
        // Shape ids must be unique in the workbook: a block of its own for the copy's shapes.
        const int block = m_copyIds.newShapeBlock(*m_pkg);
        QString text = QString::fromUtf8(data);
        static const QRegularExpression idmapData(QStringLiteral("(<\\w+:idmap[^>]*data=\")[0-9, ]+(\")"));
        text.replace(idmapData, QStringLiteral("\\1%1\\2").arg(block));
        static const QRegularExpression shapeId(QStringLiteral("_x0000_s(\\d+)"));
        const QString out = replaceEach(text, shapeId, [block](const QRegularExpressionMatch& m) {
            return QStringLiteral("_x0000_s%1").arg(block * 1024 + m.captured(1).toInt() % 1024);
        });
        if (copy.endsWith(QLatin1String(".vml"), Qt::CaseInsensitive))
            m_copyIds.noteDrawing(copy, highestBlock(out));
        data = out.toUtf8();
    } else if (type == spreadsheetType(QStringLiteral("table"))) {
        // Table ids and names are unique in the workbook.
        auto t = parseXml(data, part);
        pugi::xml_node table = t->document_element();
        const int id = m_copyIds.newTableId(*m_pkg, m_types);
        const QString fresh = m_copyIds.newTableName(*m_pkg, m_types, attr(table, "displayName"));
        setAttr(table, "id", id);
        setAttr(table, "name", fresh);
        setAttr(table, "displayName", fresh);
        m_copyIds.noteTable(copy, id, fresh, fresh);
        data = serializeXml(*t);
    } else if (type.contains(QLatin1String("threadedcomments"), Qt::CaseInsensitive)) {
        static const QRegularExpression guid(QStringLiteral("\\{[0-9A-Fa-f-]{36}\\}"));
        std::map<QString, QString> fresh;
        data = replaceEach(QString::fromUtf8(data), guid, [&fresh](const QRegularExpressionMatch& m) {
                   QString& g = fresh[m.captured(0).toUpper()];
                   if (g.isEmpty())
                       g = QUuid::createUuid().toString().toUpper();
                   return g;
               }).toUtf8();
    }

    m_pkg->write(copy, data);
    if (!type.isEmpty() && m_types.of(copy) != type)
        m_types.set(copy, type);
    Rels rels;
    rels.load(*m_pkg, part);
    copyRels(rels, copy, copied);
    return copy;
}

void XlsxWorkbook::copyRels(const Rels& rels, const QString& copy, std::map<QString, QString>& copied) {
    if (rels.empty())
        return;
    Rels out;
    out.load(*m_pkg, copy); // empty: the copy has no relationships yet
    for (const Rels::Rel& r : rels.all()) {
        Rels::Rel n = r;
        // The persons list of threaded comments belongs to the workbook, not the sheet.
        const QString target = rels.targetPart(r);
        if (!r.external && m_pkg->contains(target) && r.type != QLatin1String("person"))
            n.target = relativeTarget(copy, copyPartTree(target, copied));
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
    std::map<QString, QString> copied;
    copied[partKey(src->part)] = part;
    auto doc = parseXml(xml, part);
    for (pugi::xml_node v : doc->document_element().child("sheetViews").children("sheetView"))
        v.remove_attribute("tabSelected");
    // The copy is held as a tree only: the package gets its text when it is parked or saved.
    m_pkg->write(part, QByteArray());
    m_types.set(part, spreadsheetType(QStringLiteral("worksheet")));
    copyRels(srcSheet->rels(), part, copied);

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
