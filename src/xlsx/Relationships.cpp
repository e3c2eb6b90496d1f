#include "xlsx/Relationships.h"

#include "xlsx/Xml.h"

#include <algorithm>

namespace excel::xlsx {

namespace {

const QString kRelTypeBase =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");

QString lastSegment(const QString& type) {
    return type.mid(type.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

QString relType(const QString& name) {
    return kRelTypeBase + name;
}

void Rels::load(const ZipPackage& pkg, const QString& sourcePart) {
    m_source = sourcePart;
    m_rels.clear();
    m_byId.clear();
    m_lowestFree = 1;
    const QString part = relsPartOf(sourcePart);
    if (!pkg.contains(part))
        return;
    auto doc = parsePart(pkg, part);
    for (pugi::xml_node r : doc->document_element().children("Relationship")) {
        Rel rel;
        rel.id = attr(r, "Id");
        rel.fullType = attr(r, "Type");
        rel.type = lastSegment(rel.fullType);
        rel.target = attr(r, "Target");
        rel.external = attr(r, "TargetMode") == QLatin1String("External");
        m_rels.push_back(rel);
        index(m_rels.size() - 1);
    }
}

QByteArray Rels::serialize() const {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Relationships");
    root.append_attribute("xmlns").set_value(kPkgRelNs);
    for (const Rel& r : m_rels) {
        pugi::xml_node n = root.append_child("Relationship");
        setAttr(n, "Id", r.id);
        setAttr(n, "Type", r.fullType);
        setAttr(n, "Target", r.target);
        if (r.external)
            setAttr(n, "TargetMode", QStringLiteral("External"));
    }
    return serializeXml(doc);
}

const Rels::Rel* Rels::byId(const QString& id) const {
    const auto it = m_byId.constFind(id);
    return it == m_byId.constEnd() ? nullptr : &m_rels[*it];
}

const Rels::Rel* Rels::firstOfType(const QString& type) const {
    for (const Rel& r : m_rels)
        if (r.type == type)
            return &r;
    return nullptr;
}

void Rels::index(std::size_t i) {
    if (!m_byId.contains(m_rels[i].id)) // a repeated id finds the first, as readers do
        m_byId.insert(m_rels[i].id, i);
}

QString Rels::add(const QString& fullType, const QString& target) {
    QString id;
    do
        id = QStringLiteral("rId%1").arg(m_lowestFree++);
    while (m_byId.contains(id));
    Rel r;
    r.id = id;
    r.fullType = fullType;
    r.type = lastSegment(fullType);
    r.target = target;
    append(r);
    return id;
}

void Rels::append(const Rel& rel) {
    m_rels.push_back(rel);
    index(m_rels.size() - 1);
    m_modified = true;
}

void Rels::remove(const QString& id) {
    m_rels.erase(std::remove_if(m_rels.begin(), m_rels.end(), [&](const Rel& r) { return r.id == id; }),
                 m_rels.end());
    m_byId.clear();
    for (std::size_t i = 0; i < m_rels.size(); ++i)
        index(i);
    // The id is free again: the next add may take it.
    bool number = false;
    const int n = id.mid(3).toInt(&number);
    if (number && id == QStringLiteral("rId%1").arg(n))
        m_lowestFree = std::min(m_lowestFree, n);
    m_modified = true;
}

} // namespace excel::xlsx
