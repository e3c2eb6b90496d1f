#pragma once

#include <QHash>
#include <QString>

#include <pugixml.hpp>

#include <memory>
#include <vector>

namespace excel::xlsx {

// The workbook's shared strings: read with their rich-text runs joined, new texts appended and
// reused.
class SharedStrings {
public:
    explicit SharedStrings(std::unique_ptr<pugi::xml_document> doc);

    QString text(int index) const;
    int indexOf(const QString& text); // adds the text when it is new
    bool modified() const { return m_modified; }
    // The part's text: the strings read, then the ones added (kept compact until now).
    QByteArray serialize();

    // The text of an <si> or <is> element: its <t>, or its runs' <t> joined.
    static QString itemText(const pugi::xml_node& item);

private:
    std::unique_ptr<pugi::xml_document> m_doc;
    std::vector<QString> m_texts;
    std::size_t m_inDocument = 0; // m_texts[0 .. m_inDocument) are in m_doc
    // Open addressing over m_texts: a form run adds thousands of texts, and a node per text
    // cost more to allocate and free than everything else the index does.
    struct Slot {
        std::size_t hash = 0;
        int index = -1; // into m_texts; -1 for a free slot
    };
    Slot& slotFor(const QString& text, std::size_t hash);
    void growIndex();
    std::vector<Slot> m_slots;
    bool m_modified = false;
};

} // namespace excel::xlsx
