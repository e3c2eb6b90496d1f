#include "xlsx/ContentTypes.h"

#include "xlsx/Xml.h"
#include "xlsx/ZipPackage.h"

#include <QFileInfo>

namespace excel::xlsx {

const QString ContentTypes::kPart = QStringLiteral("[Content_Types].xml");

QString spreadsheetType(const QString& kind) {
    return QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.") + kind +
           QStringLiteral("+xml");
}

QString ContentTypes::key(const QString& partName) {
    return partKey(partName);
}

void ContentTypes::load(const ZipPackage& pkg) {
    m_doc = parsePart(pkg, kPart);
    m_overrides.clear();
    m_repeated = false;
    for (pugi::xml_node o : m_doc->document_element().children("Override")) {
        const QString k = key(attr(o, "PartName"));
        if (m_overrides.contains(k))
            m_repeated = true;
        else
            m_overrides.insert(k, o);
    }
}

QString ContentTypes::of(const QString& part) const {
    const auto it = m_overrides.constFind(key(QLatin1Char('/') + part));
    if (it != m_overrides.constEnd())
        return attr(*it, "ContentType");
    const QString ext = QFileInfo(part).suffix();
    for (pugi::xml_node d : m_doc->document_element().children("Default"))
        if (attr(d, "Extension").compare(ext, Qt::CaseInsensitive) == 0)
            return attr(d, "ContentType");
    return {};
}

void ContentTypes::set(const QString& part, const QString& type) {
    const QString name = QLatin1Char('/') + part;
    const QString k = key(name);
    const auto it = m_overrides.constFind(k);
    if (it != m_overrides.constEnd()) {
        setAttr(*it, "ContentType", type);
        return;
    }
    pugi::xml_node o = m_doc->document_element().append_child("Override");
    setAttr(o, "PartName", name);
    setAttr(o, "ContentType", type);
    m_overrides.insert(k, o);
}

void ContentTypes::remove(const QString& part) {
    const QString k = key(QLatin1Char('/') + part);
    const auto it = m_overrides.find(k);
    if (it == m_overrides.end())
        return;
    pugi::xml_node types = m_doc->document_element();
    types.remove_child(*it);
    m_overrides.erase(it);
    if (!m_repeated)
        return;
    for (pugi::xml_node o : types.children("Override"))
        if (key(attr(o, "PartName")) == k) {
            m_overrides.insert(k, o);
            break;
        }
}

QByteArray ContentTypes::serialize() const {
    return serializeXml(*m_doc);
}

} // namespace excel::xlsx
