#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <pugixml.hpp>

#include <memory>

namespace excel::xlsx {

class ZipPackage;

// The content type of a SpreadsheetML part: "worksheet" gives its ...spreadsheetml.worksheet+xml.
QString spreadsheetType(const QString& kind);

// The package's [Content_Types].xml. Overrides are found by part name through an index: a form
// run adds one per page, and looking each up in the list made copying pages quadratic.
class ContentTypes {
public:
    static const QString kPart;

    void load(const ZipPackage& pkg);
    // The part's override, else the default for its extension; "" when there is neither.
    QString of(const QString& part) const;
    void set(const QString& part, const QString& type);
    void remove(const QString& part);
    QByteArray serialize() const;

private:
    static QString key(const QString& partName); // part names are compared ignoring ASCII case

    std::unique_ptr<pugi::xml_document> m_doc;
    QHash<QString, pugi::xml_node> m_overrides; // the first override of each part name
    bool m_repeated = false;                    // a part has two: removing one uncovers the next
};

} // namespace excel::xlsx
