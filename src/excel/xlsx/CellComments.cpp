#include "excel/xlsx/XlsxWorkbook.h"
#include "excel/xlsx/XlsxWorksheet.h"
#include "excel/xlsx/Xml.h"

#include <cstring>

namespace excel::xlsx {

namespace {

// VML is written with whatever namespace prefixes its writer liked; match the local names.
bool isLocal(const pugi::xml_node& n, const char* local) {
    const char* name = n.name();
    const char* colon = std::strchr(name, ':');
    return std::strcmp(colon ? colon + 1 : name, local) == 0;
}

pugi::xml_node localChild(const pugi::xml_node& n, const char* local) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && isLocal(c, local))
            return c;
    return {};
}

} // namespace

void XlsxWorksheet::clearComment(int row, int column) {
    hold();
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

} // namespace excel::xlsx
