#include "XlsxChecker.h"

#include "excel/Spreadsheet.h"
#include "excel/xlsx/Relationships.h"
#include "excel/xlsx/Xml.h"
#include "excel/xlsx/ZipPackage.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <cstring>

using namespace excel::xlsx;

namespace {

struct Checker {
    ZipPackage pkg;
    QStringList faults;
    std::unique_ptr<pugi::xml_document> types;
    QHash<QString, QString> relatedFrom; // part -> the part whose relationship targets it

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
            const bool shared = (QLatin1Char('/') + target).contains(QLatin1String("/media/")) ||
                                attr(r, "Type").endsWith(QLatin1String("/person"));
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
                const QString text = QString::fromUtf8(pkg.read(p));
                static const QRegularExpression re(QStringLiteral("id=\"(_x0000_s\\d+)\""));
                auto it = re.globalMatch(text);
                while (it.hasNext()) {
                    const QString id = it.next().captured(1);
                    if (shapeIds.contains(id))
                        fault(QStringLiteral("shape id %1 twice").arg(id));
                    shapeIds << id;
                }
            }
        }
    }

    void worksheet(const QString& part, int xfs, int strings) {
        auto doc = xml(part);
        pugi::xml_node ws = doc->document_element();
        order(ws, kWorksheetOrder, part);
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
