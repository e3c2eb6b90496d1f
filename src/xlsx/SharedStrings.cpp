#include "xlsx/SharedStrings.h"

#include "xlsx/Xml.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace excel::xlsx {

namespace {

// Spreadsheet text carries characters XML cannot hold as _xHHHH_; a literal "_xHHHH_" in the
// text is itself written with its underscore escaped, so that it reads back as typed.
bool escapeAt(const QString& text, qsizetype i) {
    if (i + 6 >= text.size() || text[i] != u'_' || text[i + 1] != u'x' || text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (!isxdigit(text[k].toLatin1()))
            return false;
    return true;
}

QString decoded(const QString& text) {
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (escapeAt(text, i)) {
            out += QChar(static_cast<char16_t>(QStringView(text).mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 6;
        } else {
            out += text[i];
        }
    }
    return out;
}

QString encoded(const QString& text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c != u'_' && c.unicode() < 0xFFFE;
    });
    if (plain)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        const bool control = ch < 0x20 && ch != u'\t' && ch != u'\n' && ch != u'\r';
        if (control || ch == 0xFFFE || ch == 0xFFFF || escapeAt(text, i))
            out += QLatin1String("_x") + QString::number(ch, 16).toUpper().rightJustified(4, u'0') + u'_';
        else
            out += text[i];
    }
    return out;
}

void appendEscaped(QByteArray& out, const char* run, const char* end) {
    for (const char* p = run; p != end; ++p) {
        const char* entity = *p == '&' ? "&amp;" : *p == '<' ? "&lt;" : *p == '>' ? "&gt;" : nullptr;
        if (entity) {
            out.append(run, p - run).append(entity);
            run = p + 1;
        }
    }
    out.append(run, end - run);
}

} // namespace

QString SharedStrings::itemText(const pugi::xml_node& item) {
    if (pugi::xml_node t = item.child("t"))
        return decoded(qstr(t.text().get()));
    QString s;
    for (pugi::xml_node r : item.children("r"))
        s += qstr(r.child("t").text().get());
    return decoded(s);
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
        growIndex();
        slotFor(t, qHash(t)) = {qHash(t), static_cast<int>(m_texts.size())}; // the last one wins, any will do
        m_texts.push_back(t);
    }
    m_inDocument = m_texts.size();
}

QString SharedStrings::text(int index) const {
    return index >= 0 && index < static_cast<int>(m_texts.size()) ? m_texts[static_cast<std::size_t>(index)]
                                                                  : QString();
}

SharedStrings::Slot& SharedStrings::slotFor(const QString& text, std::size_t hash) {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& s = m_slots[i];
        if (s.index < 0 || (s.hash == hash && m_texts[static_cast<std::size_t>(s.index)] == text))
            return s;
    }
}

// Keeps the table at most half full, so that probes stay short and a free slot always exists.
void SharedStrings::growIndex() {
    if ((m_texts.size() + 1) * 2 <= m_slots.size())
        return;
    std::vector<Slot> old(std::max<std::size_t>(1024, m_slots.size() * 2));
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& s : old)
        if (s.index >= 0) {
            std::size_t i = s.hash & mask;
            while (m_slots[i].index >= 0)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
}

int SharedStrings::indexOf(const QString& text) {
    growIndex();
    const std::size_t hash = qHash(text);
    Slot& s = slotFor(text, hash);
    if (s.index < 0) {
        s = {hash, static_cast<int>(m_texts.size())};
        m_texts.push_back(text);
        m_modified = true;
    }
    return s.index;
}

QByteArray SharedStrings::serialize() {
    pugi::xml_node root = m_doc->document_element();
    setAttr(root, "uniqueCount", static_cast<long long>(m_texts.size()));
    // The total count only matters to the spreadsheet program as a hint; keep it at least unique.
    if (root.attribute("count").as_llong() < static_cast<long long>(m_texts.size()))
        setAttr(root, "count", static_cast<long long>(m_texts.size()));
    QByteArray xml = serializeXml(*m_doc);
    if (m_inDocument == m_texts.size())
        return xml;
    QByteArray added;
    std::string scratch;
    added.reserve(static_cast<qsizetype>(m_texts.size() - m_inDocument) * 32);
    for (std::size_t i = m_inDocument; i < m_texts.size(); ++i) {
        const QString& text = m_texts[i];
        const bool keepBlanks = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
        added += keepBlanks ? "<si><t xml:space=\"preserve\">" : "<si><t>";
        // Plain ASCII, the usual case, goes straight in; anything else through UTF-8.
        const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x80 && c != u'_';
        });
        if (ascii) {
            scratch.resize(static_cast<std::size_t>(text.size()));
            std::transform(text.begin(), text.end(), scratch.begin(),
                           [](QChar c) { return static_cast<char>(c.unicode()); });
            appendEscaped(added, scratch.data(), scratch.data() + scratch.size());
        } else {
            const QByteArray utf8 = encoded(text).toUtf8();
            appendEscaped(added, utf8.constData(), utf8.constData() + utf8.size());
        }
        added += "</t></si>";
    }
    const qsizetype close = xml.lastIndexOf("</sst>");
    if (close >= 0) {
        xml.insert(close, added);
        return xml;
    }
    // <sst .../> without items: open it.
    const qsizetype selfClose = xml.lastIndexOf("/>");
    xml.replace(selfClose, 2, QByteArray(">") + added + "</sst>");
    return xml;
}

} // namespace excel::xlsx
