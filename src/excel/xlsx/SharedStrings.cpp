#include "excel/xlsx/SharedStrings.h"

#include "excel/xlsx/Xml.h"

namespace excel::xlsx {

QString SharedStrings::itemText(const pugi::xml_node& item) {
    if (pugi::xml_node t = item.child("t"))
        return qstr(t.text().get());
    QString s;
    for (pugi::xml_node r : item.children("r"))
        s += qstr(r.child("t").text().get());
    return s;
}

SharedStrings::SharedStrings(std::unique_ptr<pugi::xml_document> doc) : m_doc(std::move(doc)) {
    if (!m_doc || !m_doc->document_element()) {
        m_doc = std::make_unique<pugi::xml_document>();
        m_doc->load_string(
            "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"0\" "
            "uniqueCount=\"0\"/>");
    }
    for (pugi::xml_node si : m_doc->document_element().children("si")) {
        const QString t = itemText(si);
        m_index.insert(t, static_cast<int>(m_texts.size())); // the last one wins, any will do
        m_texts.push_back(t);
    }
}

QString SharedStrings::text(int index) const {
    return index >= 0 && index < static_cast<int>(m_texts.size()) ? m_texts[static_cast<std::size_t>(index)]
                                                                  : QString();
}

int SharedStrings::indexOf(const QString& text) {
    const auto it = m_index.constFind(text);
    if (it != m_index.constEnd())
        return *it;
    pugi::xml_node root = m_doc->document_element();
    pugi::xml_node t = root.append_child("si").append_child("t");
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        t.append_attribute("xml:space").set_value("preserve");
    t.text().set(text.toUtf8().constData());
    const int index = static_cast<int>(m_texts.size());
    m_texts.push_back(text);
    m_index.insert(text, index);
    setAttr(root, "uniqueCount", static_cast<long long>(m_texts.size()));
    // The total count only matters to the spreadsheet program as a hint; keep it at least unique.
    if (root.attribute("count").as_llong() < static_cast<long long>(m_texts.size()))
        setAttr(root, "count", static_cast<long long>(m_texts.size()));
    m_modified = true;
    return index;
}

} // namespace excel::xlsx
