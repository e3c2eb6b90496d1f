#include "excel/xlsx/Formula.h"
#include "excel/xlsx/XlsxWorkbook.h"
#include "excel/xlsx/Xml.h"

#include <QRegularExpression>
#include <QUuid>

namespace excel::xlsx {

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
    } else if (type == spreadsheetType(QStringLiteral("table"))) {
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
    setContentType(part, spreadsheetType(QStringLiteral("worksheet")));

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

} // namespace excel::xlsx
