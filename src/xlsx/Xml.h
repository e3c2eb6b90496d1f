#pragma once

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <initializer_list>
#include <memory>

namespace excel::xlsx {

class ZipPackage;

inline constexpr char kMainNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr char kStrictNs[] = "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr char kStrictRelNs[] = "http://purl.oclc.org/ooxml/officeDocument/relationships";
inline constexpr char kPkgRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr char kContentTypesNs[] = "http://schemas.openxmlformats.org/package/2006/content-types";

// Parses a part; throws SpreadsheetError naming the part. pugixml expands no entities beyond
// XML's own, so a file cannot reach outside itself. SpreadsheetML written with a prefix comes back
// with its namespace as the default and its elements under their plain names.
std::unique_ptr<pugi::xml_document> parseXml(const QByteArray& data, const QString& part);
QByteArray serializeXml(const pugi::xml_document& doc);
// A part of the package, parsed.
std::unique_ptr<pugi::xml_document> parsePart(const ZipPackage& pkg, const QString& part);

inline QString qstr(const char* s) {
    return QString::fromUtf8(s);
}
inline QString attr(const pugi::xml_node& n, const char* name) {
    return qstr(n.attribute(name).value());
}
void setAttr(pugi::xml_node n, const char* name, const QString& value);
void setAttr(pugi::xml_node n, const char* name, long long value);
// Decimal numbers in attributes (widths, sizes): always with a decimal point, whatever the locale.
void setNumberAttr(pugi::xml_node n, const char* name, double value);
double numberAttr(const pugi::xml_node& n, const char* name, double fallback);
// A relationship id attribute, whatever prefix its writer bound the relationships namespace to.
QString relIdOf(const pugi::xml_node& n);

// The child with this name, made at its place in the schema's order when missing.
pugi::xml_node childInOrder(pugi::xml_node parent, const char* name,
                            std::initializer_list<const char*> order);

// Element order of a worksheet and of the style sheet, as the schema fixes it.
extern const std::initializer_list<const char*> kWorksheetOrder;
extern const std::initializer_list<const char*> kStyleSheetOrder;
extern const std::initializer_list<const char*> kFontOrder;

// 1-based column number <-> letters; "B12" <-> (12, 2).
QString columnLetters(int column);
int columnNumber(const QString& letters);
QString cellName(int row, int column);
bool parseCellName(const QString& name, int& row, int& column);
// The same on the bytes of an attribute, for the paths that touch every cell.
bool parseCellRef(const char* ref, int& row, int& column);
int writeCellRef(char* buffer, int row, int column); // at least 16 bytes; returns the length

} // namespace excel::xlsx
