#pragma once

#include <QHash>
#include <QString>

#include <pugixml.hpp>

#include <memory>
#include <unordered_map>
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
    struct Hash {
        std::size_t operator()(const QString& s) const noexcept { return qHash(s); }
    };
    std::unordered_map<QString, int, Hash> m_index; // one lookup finds or adds a text
    bool m_modified = false;
};

} // namespace excel::xlsx
