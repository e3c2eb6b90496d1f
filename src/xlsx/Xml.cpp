#include "xlsx/Xml.h"

#include "common/NumberText.h"

#include "xlsx/Spreadsheet.h"
#include "xlsx/ZipPackage.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace excel::xlsx {

const std::initializer_list<const char*> kWorksheetOrder = {"sheetPr",
                                                            "dimension",
                                                            "sheetViews",
                                                            "sheetFormatPr",
                                                            "cols",
                                                            "sheetData",
                                                            "sheetCalcPr",
                                                            "sheetProtection",
                                                            "protectedRanges",
                                                            "scenarios",
                                                            "autoFilter",
                                                            "sortState",
                                                            "dataConsolidate",
                                                            "customSheetViews",
                                                            "mergeCells",
                                                            "phoneticPr",
                                                            "conditionalFormatting",
                                                            "dataValidations",
                                                            "hyperlinks",
                                                            "printOptions",
                                                            "pageMargins",
                                                            "pageSetup",
                                                            "headerFooter",
                                                            "rowBreaks",
                                                            "colBreaks",
                                                            "customProperties",
                                                            "cellWatches",
                                                            "ignoredErrors",
                                                            "smartTags",
                                                            "drawing",
                                                            "legacyDrawing",
                                                            "legacyDrawingHF",
                                                            "drawingHF",
                                                            "picture",
                                                            "oleObjects",
                                                            "controls",
                                                            "webPublishItems",
                                                            "tableParts",
                                                            "extLst"};

const std::initializer_list<const char*> kStyleSheetOrder = {
    "numFmts",    "fonts", "fills",       "borders", "cellStyleXfs", "cellXfs",
    "cellStyles", "dxfs",  "tableStyles", "colors",  "extLst"};

const std::initializer_list<const char*> kFontOrder = {"b",       "i",      "strike", "condense",  "extend",
                                                       "outline", "shadow", "u",      "vertAlign", "sz",
                                                       "color",   "name",   "family", "charset",   "scheme"};

namespace {

bool startsWithPrefix(const char* name, const std::string& prefix) {
    return std::strncmp(name, prefix.c_str(), prefix.size()) == 0 && name[prefix.size()] == ':';
}

// The engine finds SpreadsheetML and package elements by their plain names. A part written with a
// prefix for its namespace (<x:worksheet xmlns:x="...">, <ns0:Types> as Python tools write them) is
// turned into the same document with the namespace as the default: its elements lose the prefix
// wherever that keeps their namespace.
void adoptMainPrefix(pugi::xml_document& doc) {
    pugi::xml_node root = doc.document_element();
    const char* colon = std::strchr(root.name(), ':');
    if (!colon)
        return;
    const std::string prefix(root.name(), static_cast<std::size_t>(colon - root.name()));
    const std::string declaration = "xmlns:" + prefix;
    const std::string ns = root.attribute(declaration.c_str()).value();
    if (ns != kMainNs && ns != kStrictNs && ns != kContentTypesNs && ns != kPkgRelNs)
        return;
    pugi::xml_attribute rootDefault = root.attribute("xmlns");
    if (rootDefault && ns != rootDefault.value())
        return; // plain elements there are of another namespace: they would change it
    // What holds within an element: the prefix still names the namespace; the default namespace as
    // the part declares it is that one, or none.
    struct Scope {
        bool prefixIsMain = true;
        bool defaultIsMain = true;
        bool defaultNone = true;
    };
    struct Walker : pugi::xml_tree_walker {
        std::string prefix, declaration, ns;
        std::vector<Scope> scopes; // [d] holds within the elements at depth d - 1, [0] in the root
        std::vector<pugi::xml_node> rename;
        bool unsafe = false;
        bool for_each(pugi::xml_node& n) override {
            if (n.type() != pugi::node_element)
                return true;
            const auto d = static_cast<std::size_t>(depth());
            scopes.resize(d + 2);
            Scope s = scopes[d];
            if (pugi::xml_attribute a = n.attribute(declaration.c_str()))
                s.prefixIsMain = ns == a.value();
            if (pugi::xml_attribute a = n.attribute("xmlns")) {
                s.defaultIsMain = ns == a.value();
                s.defaultNone = false;
            }
            scopes[d + 1] = s;
            if (startsWithPrefix(n.name(), prefix)) {
                if (s.prefixIsMain && s.defaultIsMain)
                    rename.push_back(n);
            } else if (!std::strchr(n.name(), ':') && s.defaultNone) {
                unsafe = true; // of no namespace: the new default would claim it
            }
            return true;
        }
    } walker;
    walker.prefix = prefix;
    walker.declaration = declaration;
    walker.ns = ns;
    walker.scopes.push_back({true, true, !rootDefault});
    root.traverse(walker);
    if (walker.unsafe)
        return;
    walker.rename.push_back(root);
    for (pugi::xml_node n : walker.rename) {
        const std::string local = n.name() + prefix.size() + 1; // a copy: set_name may reuse the buffer
        n.set_name(local.c_str());
    }
    if (!rootDefault)
        root.prepend_attribute("xmlns").set_value(ns.c_str());
}

} // namespace

std::unique_ptr<pugi::xml_document> parseXml(const QByteArray& data, const QString& part) {
    auto doc = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result r = doc->load_buffer(data.constData(), static_cast<std::size_t>(data.size()),
                                                      pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!r)
        throw SpreadsheetError(QStringLiteral("The part %1 of the workbook is not valid XML: %2")
                                   .arg(part, QString::fromUtf8(r.description())));
    adoptMainPrefix(*doc);
    return doc;
}

QString relIdOf(const pugi::xml_node& n) {
    for (pugi::xml_attribute a : n.attributes()) {
        const char* colon = std::strchr(a.name(), ':');
        if (!colon || std::strcmp(colon + 1, "id") != 0)
            continue;
        // Only the relationships namespace's id: other namespaces have ids of their own.
        const std::string declaration = "xmlns:" + std::string(a.name(), colon);
        for (pugi::xml_node e = n; e; e = e.parent())
            if (pugi::xml_attribute d = e.attribute(declaration.c_str())) {
                if (std::strcmp(d.value(), kRelNs) == 0 || std::strcmp(d.value(), kStrictRelNs) == 0)
                    return qstr(a.value());
                break;
            }
    }
    return {};
}

std::unique_ptr<pugi::xml_document> parsePart(const ZipPackage& pkg, const QString& part) {
    return parseXml(pkg.read(part), part);
}

namespace {
struct ByteWriter : pugi::xml_writer {
    QByteArray& out;
    explicit ByteWriter(QByteArray& o) : out(o) {}
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
    }
};
} // namespace

QByteArray serializeXml(const pugi::xml_document& doc) {
    QByteArray out("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n");
    ByteWriter w(out);
    doc.save(w, "", pugi::format_raw | pugi::format_no_declaration);
    return out;
}

void setAttr(pugi::xml_node n, const char* name, const QString& value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a)
        a = n.append_attribute(name);
    a.set_value(value.toUtf8().constData());
}

void setNumberAttr(pugi::xml_node n, const char* name, double value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a)
        a = n.append_attribute(name);
    a.set_value(common::number::shortest(value).c_str());
}

double numberAttr(const pugi::xml_node& n, const char* name, double fallback) {
    return common::number::parse(std::string_view(n.attribute(name).value())).value_or(fallback);
}

void setAttr(pugi::xml_node n, const char* name, long long value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a)
        a = n.append_attribute(name);
    a.set_value(value);
}

pugi::xml_node childInOrder(pugi::xml_node parent, const char* name,
                            std::initializer_list<const char*> order) {
    if (pugi::xml_node existing = parent.child(name))
        return existing;
    int rank = -1;
    int i = 0;
    for (const char* o : order) {
        if (std::strcmp(o, name) == 0)
            rank = i;
        ++i;
    }
    // Before the first child that comes later in the order.
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        int crank = -1;
        int j = 0;
        for (const char* o : order) {
            if (std::strcmp(o, c.name()) == 0)
                crank = j;
            ++j;
        }
        if (crank > rank)
            return parent.insert_child_before(name, c);
    }
    return parent.append_child(name);
}

QString columnLetters(int column) {
    QString s;
    while (column > 0) {
        const int m = (column - 1) % 26;
        s.prepend(QChar(u'A' + m));
        column = (column - 1) / 26;
    }
    return s;
}

int columnNumber(const QString& letters) {
    int n = 0;
    for (const QChar c : letters) {
        if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
            return 0;
        n = n * 26 + (c.unicode() - u'A' + 1);
        if (n > 16384)
            return 0;
    }
    return n;
}

QString cellName(int row, int column) {
    return columnLetters(column) + QString::number(row);
}

bool parseCellName(const QString& name, int& row, int& column) {
    qsizetype i = 0;
    while (i < name.size() && name[i].isLetter())
        ++i;
    column = columnNumber(name.left(i).toUpper());
    bool ok = false;
    row = name.mid(i).toInt(&ok);
    return ok && column > 0 && row > 0 && row <= 1048576;
}

bool parseCellRef(const char* ref, int& row, int& column) {
    column = 0;
    row = 0;
    const char* p = ref;
    while (*p >= 'A' && *p <= 'Z') {
        column = column * 26 + (*p - 'A' + 1);
        if (column > 16384)
            return false;
        ++p;
    }
    if (p == ref)
        return false;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') {
        row = row * 10 + (*p - '0');
        if (row > 1048576)
            return false;
        ++p;
    }
    return p != digits && *p == '\0' && row > 0;
}

int writeCellRef(char* buffer, int row, int column) {
    char letters[4];
    int n = 0;
    while (column > 0 && n < 4) {
        letters[n++] = static_cast<char>('A' + (column - 1) % 26);
        column = (column - 1) / 26;
    }
    int len = 0;
    while (n > 0)
        buffer[len++] = letters[--n];
    return static_cast<int>(std::to_chars(buffer + len, buffer + len + 12, row).ptr - buffer);
}

} // namespace excel::xlsx

namespace excel {

QString cellName(int row, int column) {
    return xlsx::cellName(row, column);
}

} // namespace excel
