#pragma once

#include "xlsx/Spreadsheet.h"

#include <QHash>
#include <QString>

#include <pugixml.hpp>

#include <map>
#include <memory>

namespace excel::xlsx {

// The style sheet: cell formats are derived from existing ones with only the asked change, and
// an identical format is reused instead of added again.
class Styles {
public:
    // Takes an existing style sheet, or makes the smallest valid one when doc is empty.
    explicit Styles(std::unique_ptr<pugi::xml_document> doc);

    int derive(int xf, const CellFormat& change);
    // The same with the change's key worked out once for many cells.
    int derive(int xf, const CellFormat& change, const QString& changeKey);
    static QString key(const CellFormat& change);
    int numFmtId(int xf) const;
    // The format shows values as they are: the built-in General, or a custom format that only
    // says "General" (as some spreadsheet programs write it).
    bool isGeneral(int xf) const;
    int withNumFmtId(int xf, int numFmtId);
    int xfCount() const;
    bool modified() const { return m_modified; }
    const pugi::xml_document& document() const { return *m_doc; }

    static std::unique_ptr<pugi::xml_document> minimalDocument();

private:
    pugi::xml_node list(const char* name);
    pugi::xml_node itemAt(const char* listName, const char* itemName, int index);
    int reuseOrAppend(const char* listName, const char* itemName, pugi::xml_node candidate);
    int fontFor(int fontId, const CellFormat& f);
    int fillFor(const CellFormat& f);
    int borderFor(int borderId, const CellFormat& f);
    int numFmtFor(const QString& code);
    static QString key(const pugi::xml_node& n);

    std::unique_ptr<pugi::xml_document> m_doc;
    bool m_modified = false;
    std::map<std::pair<int, QString>, int> m_derived;
};

} // namespace excel::xlsx
