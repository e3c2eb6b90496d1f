#include "xlsx/XlsxWorkbook.h"
#include "xlsx/XlsxWorksheet.h"
#include "xlsx/Xml.h"

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

// Takes a cell's entries out of the comments part related with this type; the part and its
// relationship go when no entry is left. Whether entries are left.
bool dropCellEntries(XlsxWorkbook& book, Rels& rels, const QString& type, const char* list, const char* item,
                     const QString& ref) {
    const Rels::Rel* rel = rels.firstOfType(type);
    if (!rel)
        return false;
    const QString part = rels.targetPart(*rel);
    const QString relId = rel->id;
    auto doc = parsePart(book.package(), part);
    pugi::xml_node parent = list ? doc->document_element().child(list) : doc->document_element();
    for (pugi::xml_node c = parent.child(item); c;) {
        pugi::xml_node next = c.next_sibling(item);
        if (attr(c, "ref").compare(ref, Qt::CaseInsensitive) == 0)
            parent.remove_child(c);
        c = next;
    }
    if (parent.child(item)) {
        book.package().write(part, serializeXml(*doc));
        return true;
    }
    book.removePartWithType(part);
    rels.remove(relId);
    return false;
}

} // namespace

void XlsxWorksheet::clearComment(int row, int column) {
    hold();
    const QString ref = cellName(row, column);
    Rels& r = rels();
    ZipPackage& pkg = m_book.package();
    const bool commentsLeft =
        dropCellEntries(m_book, r, QStringLiteral("comments"), "commentList", "comment", ref);

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
    dropCellEntries(m_book, r, QStringLiteral("threadedComment"), nullptr, "threadedComment", ref);
    m_modified = true;
}

} // namespace excel::xlsx
