#include "XlsxChecker.h"

#include "xlsx/Spreadsheet.h"
#include "xlsx/Relationships.h"
#include "xlsx/Xml.h"
#include "xlsx/ZipPackage.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <cstring>

using namespace excel::xlsx;

namespace {

// The elements of a document with this local name, whatever prefix their writer chose.
pugi::xpath_node_set elementsNamed(const pugi::xml_node& root, const char* local) {
    return root.select_nodes(pugi::xpath_query((".//*[local-name()='" + std::string(local) + "']").c_str()));
}

QString upper(const QString& guid) {
    return guid.trimmed().toUpper();
}

struct Checker {
    ZipPackage pkg;
    QStringList faults;
    std::unique_ptr<pugi::xml_document> types;
    QHash<QString, QString> relatedFrom; // part -> the part whose relationship targets it
    QSet<QString> persons;               // ids of the persons of threaded comments
    QSet<QString> threadIds;
    QStringList sheetCodeNames;

    void fault(const QString& f) { faults << f; }

    std::unique_ptr<pugi::xml_document> xml(const QString& part) {
        try {
            return parseXml(pkg.read(part), part);
        } catch (const excel::SpreadsheetError& e) {
            fault(e.text());
            return std::make_unique<pugi::xml_document>();
        }
    }

    QString contentType(const QString& part) {
        for (pugi::xml_node o : types->document_element().children("Override"))
            if (attr(o, "PartName").compare(QLatin1Char('/') + part, Qt::CaseInsensitive) == 0)
                return attr(o, "ContentType");
        for (pugi::xml_node d : types->document_element().children("Default"))
            if (attr(d, "Extension").compare(QFileInfo(part).suffix(), Qt::CaseInsensitive) == 0)
                return attr(d, "ContentType");
        return {};
    }

    void order(const pugi::xml_node& parent, std::initializer_list<const char*> expected,
               const QString& where) {
        int last = -1;
        for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element)
                continue;
            int rank = -1;
            int i = 0;
            for (const char* e : expected) {
                if (std::strcmp(e, c.name()) == 0)
                    rank = i;
                ++i;
            }
            if (rank < 0)
                continue; // elements of other namespaces
            if (rank < last)
                fault(QStringLiteral("%1: <%2> out of order").arg(where, qstr(c.name())));
            last = std::max(last, rank);
        }
    }

    void relsOf(const QString& part) {
        const QString rels = relsPartOf(part);
        if (!pkg.contains(rels))
            return;
        auto doc = xml(rels);
        QSet<QString> ids;
        for (pugi::xml_node r : doc->document_element().children("Relationship")) {
            if (ids.contains(attr(r, "Id")))
                fault(QStringLiteral("%1: relationship id %2 twice").arg(rels, attr(r, "Id")));
            ids << attr(r, "Id");
            if (attr(r, "TargetMode") == QLatin1String("External"))
                continue;
            const QString target = resolvePart(part, attr(r, "Target"));
            if (!pkg.contains(target))
                fault(QStringLiteral("%1: target %2 missing").arg(rels, target));
            // Pictures and the persons list are shared; any other part belongs to one part.
            // A pivot table's cache belongs to the workbook too, and is shared by its pivot tables.
            const bool shared = (QLatin1Char('/') + target).contains(QLatin1String("/media/")) ||
                                attr(r, "Type").endsWith(QLatin1String("/person")) ||
                                attr(r, "Type").endsWith(QLatin1String("/pivotCacheDefinition"));
            const QString owner = relatedFrom.value(target, part);
            if (!shared && owner != part)
                fault(QStringLiteral("%1 belongs to both %2 and %3").arg(target, owner, part));
            relatedFrom.insert(target, part);
        }
    }

    void run(const QString& path) {
        pkg.open(path);
        types = xml(QStringLiteral("[Content_Types].xml"));
        for (pugi::xml_node o : types->document_element().children("Override"))
            if (!pkg.contains(attr(o, "PartName").mid(1)))
                fault(QStringLiteral("content type for missing part %1").arg(attr(o, "PartName")));
        // Part names are equal ignoring case; each segment a name, none "." or "..".
        QSet<QString> partNames;
        static const QRegularExpression badSegment(QStringLiteral("(^|/)(\\.{1,2})?(/|$)"));
        for (const QString& p : pkg.parts()) {
            if (p != QLatin1String("[Content_Types].xml") && contentType(p).isEmpty())
                fault(QStringLiteral("part %1 has no content type").arg(p));
            if (partNames.contains(p.toLower()))
                fault(QStringLiteral("part %1 twice ignoring case").arg(p));
            partNames << p.toLower();
            if (badSegment.match(p).hasMatch())
                fault(QStringLiteral("part name %1 not normalised").arg(p));
            relsOf(p);
        }
        relsOf(QString());

        Rels packageRels;
        packageRels.load(pkg, QString());
        const Rels::Rel* office = packageRels.firstOfType(QStringLiteral("officeDocument"));
        if (!office) {
            fault(QStringLiteral("no workbook part"));
            return;
        }
        const QString workbookPart = packageRels.targetPart(*office);
        Rels workbookRels;
        workbookRels.load(pkg, workbookPart);
        // Spreadsheet programs open a .xlsx only without macros, and a .xlsm only typed as one.
        const QString suffix = QFileInfo(path).suffix().toLower();
        const bool macroTyped = contentType(workbookPart).contains(QLatin1String("macroEnabled"));
        if (suffix == QLatin1String("xlsx") &&
            (macroTyped || workbookRels.firstOfType(QStringLiteral("vbaProject"))))
            fault(QStringLiteral("a .xlsx with a macro workbook part or a VBA project"));
        if (suffix == QLatin1String("xlsm") && !macroTyped)
            fault(QStringLiteral("a .xlsm whose workbook part is not typed as a macro workbook"));
        auto relatedPart = [&](const char* type) {
            const Rels::Rel* r = workbookRels.firstOfType(qstr(type));
            return r ? workbookRels.targetPart(*r) : QString();
        };
        auto wb = xml(workbookPart);
        pugi::xml_node root = wb->document_element();
        QSet<QString> names;
        QSet<int> ids;
        int sheets = 0;
        for (pugi::xml_node s : root.child("sheets").children("sheet")) {
            ++sheets;
            if (names.contains(attr(s, "name").toLower()))
                fault(QStringLiteral("sheet name %1 twice").arg(attr(s, "name")));
            names << attr(s, "name").toLower();
            if (ids.contains(s.attribute("sheetId").as_int()))
                fault(QStringLiteral("sheetId %1 twice").arg(s.attribute("sheetId").as_int()));
            ids << s.attribute("sheetId").as_int();
            if (!excel::isValidSheetName(attr(s, "name")))
                fault(QStringLiteral("invalid sheet name %1").arg(attr(s, "name")));
        }
        for (pugi::xml_node n : root.child("definedNames").children("definedName"))
            if (n.attribute("localSheetId") && n.attribute("localSheetId").as_int() >= sheets)
                fault(QStringLiteral("defined name %1 beyond the sheets").arg(attr(n, "name")));
        for (pugi::xml_node v : root.child("bookViews").children("workbookView"))
            if (v.attribute("activeTab").as_int() >= sheets || v.attribute("firstSheet").as_int() >= sheets)
                fault(QStringLiteral("workbook view beyond the sheets"));

        auto st = xml(relatedPart("styles"));
        pugi::xml_node ss = st->document_element();
        order(ss, kStyleSheetOrder, QStringLiteral("styles"));
        auto count = [&](const char* list, const char* item) {
            int n = 0;
            for (pugi::xml_node c = ss.child(list).child(item); c; c = c.next_sibling(item))
                ++n;
            if (ss.child(list).attribute("count") && ss.child(list).attribute("count").as_int() != n)
                fault(QStringLiteral("styles: %1 count wrong").arg(qstr(list)));
            return n;
        };
        const int fonts = count("fonts", "font"), fills = count("fills", "fill"),
                  borders = count("borders", "border");
        const int xfs = count("cellXfs", "xf");
        QSet<int> numFmts;
        for (pugi::xml_node n : ss.child("numFmts").children("numFmt"))
            numFmts << n.attribute("numFmtId").as_int();
        for (pugi::xml_node x : ss.child("cellXfs").children("xf")) {
            if (x.attribute("fontId").as_int() >= fonts || x.attribute("fillId").as_int() >= fills ||
                x.attribute("borderId").as_int() >= borders)
                fault(QStringLiteral("styles: xf refers beyond its lists"));
            const int nf = x.attribute("numFmtId").as_int();
            if (nf >= 164 && !numFmts.contains(nf))
                fault(QStringLiteral("styles: number format %1 missing").arg(nf));
        }

        int strings = -1;
        const QString sstPart = relatedPart("sharedStrings");
        if (!sstPart.isEmpty() && pkg.contains(sstPart)) {
            auto sst = xml(sstPart);
            strings = 0;
            for (pugi::xml_node si = sst->document_element().child("si"); si; si = si.next_sibling("si"))
                ++strings;
        }

        QSet<int> tableIds;
        QSet<QString> tableNames;
        QSet<QString> shapeIds;
        QHash<int, QString> blockOwner;
        for (const QString& list : relatedOfType(QStringLiteral("xl/workbook.xml"), "person")) {
            auto d = xml(list);
            for (pugi::xml_node person : d->document_element().children("person"))
                persons << upper(attr(person, "id"));
        }
        for (const QString& p : pkg.parts()) {
            const QString type = contentType(p);
            if (type.endsWith(QLatin1String("worksheet+xml")))
                worksheet(p, xfs, strings);
            if (type.endsWith(QLatin1String("table+xml"))) {
                auto t = xml(p);
                const int id = t->document_element().attribute("id").as_int();
                const QString name = attr(t->document_element(), "name").toLower();
                if (tableIds.contains(id) || tableNames.contains(name))
                    fault(QStringLiteral("table id or name twice: %1").arg(name));
                tableIds << id;
                tableNames << name;
            }
            if (p.endsWith(QLatin1String(".vml"))) {
                const QSet<int> blocks = vmlBlocks(p);
                for (const int b : blocks) {
                    if (blockOwner.contains(b))
                        fault(QStringLiteral("shape block %1 claimed by %2 and %3")
                                  .arg(b)
                                  .arg(blockOwner[b], p));
                    blockOwner.insert(b, p);
                }
                for (const int n : vmlShapes(p)) {
                    const QString id = QStringLiteral("_x0000_s%1").arg(n);
                    if (shapeIds.contains(id))
                        fault(QStringLiteral("shape id %1 twice").arg(id));
                    if (!blocks.contains(n / 1024))
                        fault(QStringLiteral("%1: shape id %2 outside its blocks").arg(p, id));
                    shapeIds << id;
                }
            }
        }
        codeNames(*wb);
        pivotCaches(*wb);
        xmlMaps();
    }

    QList<int> vmlShapes(const QString& part) {
        static const QRegularExpression re(
            QStringLiteral("\\bid=\"_x0000_s(\\d+)\"|spid=\"_x0000_s(\\d+)\""));
        QList<int> out;
        auto it = re.globalMatch(QString::fromUtf8(pkg.read(part)));
        while (it.hasNext()) {
            const auto m = it.next();
            out << (m.captured(1) + m.captured(2)).toInt();
        }
        return out;
    }

    QSet<int> vmlBlocks(const QString& part) {
        static const QRegularExpression re(QStringLiteral("<\\w+:idmap[^>]*data=\"([0-9, ]+)\""));
        QSet<int> out;
        auto it = re.globalMatch(QString::fromUtf8(pkg.read(part)));
        while (it.hasNext())
            for (const QString& n : it.next().captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
                out << n.trimmed().toInt();
        return out;
    }

    QStringList relatedOfType(const QString& part, const char* type) {
        Rels rels;
        rels.load(pkg, part);
        QStringList out;
        for (const Rels::Rel& r : rels.all())
            if (r.type == QLatin1String(type) && !r.external && pkg.contains(rels.targetPart(r)))
                out << rels.targetPart(r);
        return out;
    }

    // Controls and embedded objects name a shape of the sheet's own legacy drawing; the drawing's
    // twin of such a shape carries the same number.
    void controls(const QString& part, const pugi::xml_node& ws) {
        QSet<int> own;
        for (const QString& vml : relatedOfType(part, "vmlDrawing"))
            for (const int n : vmlShapes(vml))
                own << n;
        for (const char* kind : {"control", "oleObject"})
            for (const pugi::xpath_node& c : elementsNamed(ws, kind))
                if (!own.contains(c.node().attribute("shapeId").as_int()))
                    fault(QStringLiteral("%1: %2 shapeId %3 names no shape of its own drawing")
                              .arg(part, qstr(kind))
                              .arg(c.node().attribute("shapeId").as_int()));
        for (const QString& drawing : relatedOfType(part, "drawing")) {
            auto d = xml(drawing);
            QSet<int> ids;
            for (const pugi::xpath_node& c : elementsNamed(d->document_element(), "cNvPr")) {
                const int id = c.node().attribute("id").as_int();
                if (ids.contains(id))
                    fault(QStringLiteral("%1: shape id %2 twice").arg(drawing).arg(id));
                ids << id;
                for (const pugi::xpath_node& e : elementsNamed(c.node(), "compatExt")) {
                    const int n = attr(e.node(), "spid").mid(8).toInt();
                    if (n != id || !own.contains(n))
                        fault(QStringLiteral("%1: shape %2 names %3, no shape of its sheet")
                                  .arg(drawing)
                                  .arg(id)
                                  .arg(attr(e.node(), "spid")));
                }
            }
        }
    }

    // Threaded comments name listed persons, replies name a thread of their part, and the legacy
    // comments that stand in for them name the threads of their own sheet.
    void threadedComments(const QString& part) {
        QSet<QString> threads;
        for (const QString& tc : relatedOfType(part, "threadedComment")) {
            auto d = xml(tc);
            QSet<QString> ids;
            for (pugi::xml_node c : d->document_element().children("threadedComment"))
                ids << upper(attr(c, "id"));
            for (pugi::xml_node c : d->document_element().children("threadedComment")) {
                const QString id = upper(attr(c, "id"));
                if (threadIds.contains(id))
                    fault(QStringLiteral("%1: comment id %2 twice").arg(tc, id));
                threadIds << id;
                if (!persons.contains(upper(attr(c, "personId"))))
                    fault(QStringLiteral("%1: person %2 not listed").arg(tc, attr(c, "personId")));
                if (c.attribute("parentId") && !ids.contains(upper(attr(c, "parentId"))))
                    fault(QStringLiteral("%1: reply to %2, no thread of its part")
                              .arg(tc, attr(c, "parentId")));
                if (!c.attribute("parentId"))
                    threads << id;
            }
        }
        for (const QString& comments : relatedOfType(part, "comments")) {
            auto d = xml(comments);
            QStringList authors;
            for (pugi::xml_node a : d->document_element().child("authors").children("author"))
                authors << qstr(a.text().get());
            for (pugi::xml_node c : d->document_element().child("commentList").children("comment")) {
                const QString author = authors.value(c.attribute("authorId").as_int());
                if (author.startsWith(QLatin1String("tc=")) && !threads.contains(upper(author.mid(3))))
                    fault(QStringLiteral("%1: %2 names no thread of its sheet").arg(comments, author));
            }
        }
    }

    void codeNames(const pugi::xml_document& wb) {
        QSet<QString> seen;
        if (const QString book = attr(wb.document_element().child("workbookPr"), "codeName"); !book.isEmpty())
            seen << book.toCaseFolded();
        for (const QString& name : std::as_const(sheetCodeNames)) {
            if (seen.contains(name.toCaseFolded()))
                fault(QStringLiteral("code name %1 twice").arg(name));
            seen << name.toCaseFolded();
        }
    }

    // Every pivot cache a pivot table uses is listed in the workbook under the table's cache id.
    void pivotCaches(const pugi::xml_document& wb) {
        Rels rels;
        rels.load(pkg, QStringLiteral("xl/workbook.xml"));
        QHash<QString, int> listed; // cache part -> cache id
        for (pugi::xml_node c : wb.document_element().child("pivotCaches").children("pivotCache"))
            if (const Rels::Rel* r = rels.byId(relIdOf(c)))
                listed.insert(rels.targetPart(*r), c.attribute("cacheId").as_int());
        for (const QString& p : pkg.parts()) {
            const QString type = contentType(p);
            if (type.endsWith(QLatin1String("pivotCacheDefinition+xml")) && !listed.contains(p))
                fault(QStringLiteral("pivot cache %1 not listed in the workbook").arg(p));
            if (!type.endsWith(QLatin1String("pivotTable+xml")))
                continue;
            auto t = xml(p);
            for (const QString& cache : relatedOfType(p, "pivotCacheDefinition"))
                if (listed.value(cache, -1) != t->document_element().attribute("cacheId").as_int())
                    fault(QStringLiteral("%1: its cache %2 is not listed under its cache id").arg(p, cache));
        }
    }

    // An element of an XML map is bound to one cell or table column only.
    void xmlMaps() {
        QSet<int> maps;
        if (pkg.contains(QStringLiteral("xl/xmlMaps.xml"))) {
            auto m = xml(QStringLiteral("xl/xmlMaps.xml"));
            for (pugi::xml_node map : m->document_element().children("Map"))
                maps << map.attribute("ID").as_int();
        }
        QSet<QString> bound;
        for (const QString& p : pkg.parts()) {
            const QString type = contentType(p);
            const char* kind = type.endsWith(QLatin1String("table+xml"))              ? "xmlColumnPr"
                               : type.endsWith(QLatin1String("tableSingleCells+xml")) ? "xmlPr"
                                                                                      : nullptr;
            if (!kind)
                continue;
            auto d = xml(p);
            for (const pugi::xpath_node& b : elementsNamed(d->document_element(), kind)) {
                const int map = b.node().attribute("mapId").as_int();
                const QString element = QStringLiteral("%1 %2").arg(map).arg(attr(b.node(), "xpath"));
                if (!maps.contains(map))
                    fault(QStringLiteral("%1: XML map %2 missing").arg(p).arg(map));
                if (bound.contains(element))
                    fault(QStringLiteral("%1: XML map element %2 bound twice").arg(p, element));
                bound << element;
            }
        }
    }

    void worksheet(const QString& part, int xfs, int strings) {
        auto doc = xml(part);
        pugi::xml_node ws = doc->document_element();
        order(ws, kWorksheetOrder, part);
        if (const QString code = attr(ws.child("sheetPr"), "codeName"); !code.isEmpty())
            sheetCodeNames << code;
        controls(part, ws);
        threadedComments(part);
        for (const char* list : {"cols", "mergeCells"})
            if (ws.child(list) && !ws.child(list).first_child())
                fault(QStringLiteral("%1: empty <%2>").arg(part, qstr(list)));
        int lastRow = 0;
        for (pugi::xml_node r : ws.child("sheetData").children("row")) {
            const int rn = r.attribute("r").as_int();
            if (rn <= lastRow)
                fault(QStringLiteral("%1: row %2 out of order").arg(part).arg(rn));
            lastRow = rn;
            int lastCol = 0;
            for (pugi::xml_node c : r.children("c")) {
                int row = 0;
                int col = 0;
                if (!parseCellName(attr(c, "r"), row, col) || row != rn || col <= lastCol)
                    fault(QStringLiteral("%1: cell %2 out of order").arg(part, attr(c, "r")));
                lastCol = col;
                if (c.attribute("s").as_int() >= xfs)
                    fault(QStringLiteral("%1: cell %2 style beyond the styles").arg(part, attr(c, "r")));
                if (attr(c, "t") == QLatin1String("s") && c.child("v").text().as_int() >= strings)
                    fault(QStringLiteral("%1: cell %2 string beyond the list").arg(part, attr(c, "r")));
            }
        }
        for (pugi::xml_node c : ws.child("cols").children("col"))
            if (c.attribute("style").as_int() >= xfs)
                fault(QStringLiteral("%1: column style beyond the styles").arg(part));
    }
};

} // namespace

QStringList checkWorkbookStructure(const QString& path) {
    Checker c;
    try {
        c.run(path);
    } catch (const excel::SpreadsheetError& e) {
        c.fault(e.text());
    }
    return c.faults;
}
