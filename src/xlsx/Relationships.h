#pragma once

#include "xlsx/ZipPackage.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace excel::xlsx {

// The full relationship type for its last segment: "worksheet", "styles", ...
QString relType(const QString& name);

// The relationships of one part.
class Rels {
public:
    struct Rel {
        QString id;
        QString type; // last path segment of the type, "worksheet", "comments", ...
        QString fullType;
        QString target; // as written
        bool external = false;
    };
    void load(const ZipPackage& pkg, const QString& sourcePart);
    QByteArray serialize() const;
    const std::vector<Rel>& all() const { return m_rels; }
    const Rel* byId(const QString& id) const;
    const Rel* firstOfType(const QString& type) const;
    // Adds a relationship under the lowest free id "rId<n>".
    QString add(const QString& fullType, const QString& target);
    void append(const Rel& rel);
    void remove(const QString& id);
    bool modified() const { return m_modified; }
    bool empty() const { return m_rels.empty(); }
    QString targetPart(const Rel& r) const { return resolvePart(m_source, r.target); }

private:
    void index(std::size_t i);

    QString m_source;
    std::vector<Rel> m_rels;
    QHash<QString, std::size_t> m_byId; // the first relationship with each id
    // Every "rId<n>" below this is taken: a workbook with a thousand pages adds ids in O(1).
    int m_lowestFree = 1;
    bool m_modified = false;
};

} // namespace excel::xlsx
