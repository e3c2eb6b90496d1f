#include "xlsx/Styles.h"

#include "xlsx/Xml.h"

#include <sstream>

namespace excel::xlsx {

namespace {

QString argb(const Colour& c) {
    return QStringLiteral("FF%1").arg(c.rgb, 6, 16, QLatin1Char('0')).toUpper();
}

void setCount(pugi::xml_node list) {
    int n = 0;
    for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            ++n;
    setAttr(list, "count", n);
}

int childCount(pugi::xml_node list, const char* item) {
    int n = 0;
    for (pugi::xml_node c = list.child(item); c; c = c.next_sibling(item))
        ++n;
    return n;
}

// Element children of a font or border in the schema's order after a change.
void setFlag(pugi::xml_node font, const char* name, bool on) {
    if (!on) {
        font.remove_child(name);
        return;
    }
    childInOrder(font, name, kFontOrder);
}

QString serializeNode(const pugi::xml_node& n) {
    std::ostringstream os;
    n.print(os, "", pugi::format_raw);
    return QString::fromStdString(os.str());
}

const char* hName(HAlign h) {
    switch (h) {
    case HAlign::Left:
        return "left";
    case HAlign::Center:
        return "center";
    case HAlign::Right:
        return "right";
    default:
        return nullptr;
    }
}

const char* vName(VAlign v) {
    switch (v) {
    case VAlign::Top:
        return "top";
    case VAlign::Center:
        return "center";
    default:
        return "bottom";
    }
}

struct BuiltinFormat {
    int id;
    const char* code;
};
const BuiltinFormat kBuiltins[] = {{0, "General"},   {1, "0"},     {2, "0.00"},     {3, "#,##0"},
                                   {4, "#,##0.00"},  {9, "0%"},    {10, "0.00%"},   {11, "0.00E+00"},
                                   {14, "mm-dd-yy"}, {20, "h:mm"}, {21, "h:mm:ss"}, {22, "m/d/yy h:mm"},
                                   {49, "@"}};

} // namespace

std::unique_ptr<pugi::xml_document> Styles::minimalDocument() {
    auto doc = std::make_unique<pugi::xml_document>();
    doc->load_string(
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
        "borderId=\"0\"/></cellStyleXfs>"
        "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
        "xfId=\"0\"/></cellXfs>"
        "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
        "</styleSheet>");
    return doc;
}

Styles::Styles(std::unique_ptr<pugi::xml_document> doc) : m_doc(doc ? std::move(doc) : minimalDocument()) {
    // A style sheet without the lists every cell format refers to gets the defaults.
    pugi::xml_node root = m_doc->document_element();
    if (!root) {
        m_doc = minimalDocument();
        m_modified = true;
        return;
    }
    if (childCount(list("fonts"), "font") == 0) {
        list("fonts").append_copy(minimalDocument()->document_element().child("fonts").child("font"));
        m_modified = true;
    }
    if (childCount(list("fills"), "fill") == 0) {
        for (pugi::xml_node f : minimalDocument()->document_element().child("fills").children("fill"))
            list("fills").append_copy(f);
        m_modified = true;
    }
    if (childCount(list("borders"), "border") == 0) {
        list("borders").append_copy(minimalDocument()->document_element().child("borders").child("border"));
        m_modified = true;
    }
    // Cell formats name their cell style by xfId: a style sheet some libraries write without
    // any would leave the formats added here pointing at nothing.
    if (childCount(list("cellStyleXfs"), "xf") == 0) {
        list("cellStyleXfs")
            .append_copy(minimalDocument()->document_element().child("cellStyleXfs").child("xf"));
        if (childCount(list("cellStyles"), "cellStyle") == 0)
            list("cellStyles")
                .append_copy(minimalDocument()->document_element().child("cellStyles").child("cellStyle"));
        m_modified = true;
    }
    if (childCount(list("cellXfs"), "xf") == 0) {
        list("cellXfs").append_copy(minimalDocument()->document_element().child("cellXfs").child("xf"));
        m_modified = true;
    }
    for (const char* l : {"fonts", "fills", "borders", "cellXfs"})
        setCount(list(l));
    for (const char* l : {"cellStyleXfs", "cellStyles"}) // counted where they are, never added empty
        if (pugi::xml_node n = root.child(l))
            setCount(n);
}

pugi::xml_node Styles::list(const char* name) {
    return childInOrder(m_doc->document_element(), name, kStyleSheetOrder);
}

pugi::xml_node Styles::itemAt(const char* listName, const char* itemName, int index) {
    int i = 0;
    for (pugi::xml_node c = list(listName).child(itemName); c; c = c.next_sibling(itemName), ++i)
        if (i == index)
            return c;
    return list(listName).child(itemName);
}

QString Styles::key(const pugi::xml_node& n) {
    return serializeNode(n);
}

int Styles::reuseOrAppend(const char* listName, const char* itemName, pugi::xml_node candidate) {
    const QString k = key(candidate);
    int i = 0;
    pugi::xml_node l = list(listName);
    for (pugi::xml_node c = l.child(itemName); c; c = c.next_sibling(itemName), ++i)
        if (c != candidate && key(c) == k) {
            l.remove_child(candidate);
            return i;
        }
    m_modified = true;
    setCount(l);
    return childCount(l, itemName) - 1;
}

int Styles::fontFor(int fontId, const CellFormat& f) {
    pugi::xml_node font = list("fonts").append_copy(itemAt("fonts", "font", fontId));
    if (f.bold)
        setFlag(font, "b", *f.bold);
    if (f.singleUnderline) {
        font.remove_child("u");
        if (*f.singleUnderline)
            childInOrder(font, "u", kFontOrder); // no val: single
    }
    if (f.fontSize) {
        pugi::xml_node sz = childInOrder(font, "sz", kFontOrder);
        setNumberAttr(sz, "val", *f.fontSize);
    }
    if (f.fontColour) {
        font.remove_child("color");
        if (*f.fontColour)
            setAttr(childInOrder(font, "color", kFontOrder), "rgb", argb(**f.fontColour));
    }
    if (f.fontName) {
        setAttr(childInOrder(font, "name", kFontOrder), "val", *f.fontName);
        // A theme font scheme would override the name.
        font.remove_child("scheme");
    }
    return reuseOrAppend("fonts", "font", font);
}

int Styles::fillFor(const CellFormat& f) {
    pugi::xml_node fill = list("fills").append_child("fill");
    pugi::xml_node pattern = fill.append_child("patternFill");
    if (*f.fill) {
        setAttr(pattern, "patternType", QStringLiteral("solid"));
        setAttr(pattern.append_child("fgColor"), "rgb", argb(**f.fill));
        setAttr(pattern.append_child("bgColor"), "indexed", 64);
    } else {
        setAttr(pattern, "patternType", QStringLiteral("none"));
    }
    return reuseOrAppend("fills", "fill", fill);
}

int Styles::borderFor(int borderId, const CellFormat& f) {
    pugi::xml_node border = list("borders").append_copy(itemAt("borders", "border", borderId));
    for (const char* edge : {"left", "right", "top", "bottom", "diagonal"}) {
        border.remove_child(edge);
    }
    border.remove_attribute("diagonalUp");
    border.remove_attribute("diagonalDown");
    // Edges first, in the schema's order, before anything the border already had after them.
    pugi::xml_node before = border.first_child();
    for (const char* edge : {"left", "right", "top", "bottom", "diagonal"}) {
        pugi::xml_node e = before ? border.insert_child_before(edge, before) : border.append_child(edge);
        if (*f.thinBorders && std::string(edge) != "diagonal") {
            setAttr(e, "style", QStringLiteral("thin"));
            setAttr(e.append_child("color"), "auto", 1);
        }
    }
    return reuseOrAppend("borders", "border", border);
}

int Styles::numFmtFor(const QString& code) {
    for (const BuiltinFormat& b : kBuiltins)
        if (code == QLatin1String(b.code))
            return b.id;
    pugi::xml_node numFmts = list("numFmts");
    int maxId = 163;
    for (pugi::xml_node n : numFmts.children("numFmt")) {
        if (attr(n, "formatCode") == code)
            return n.attribute("numFmtId").as_int();
        maxId = std::max(maxId, n.attribute("numFmtId").as_int());
    }
    pugi::xml_node n = numFmts.append_child("numFmt");
    setAttr(n, "numFmtId", maxId + 1);
    setAttr(n, "formatCode", code);
    setCount(numFmts);
    m_modified = true;
    return maxId + 1;
}

int Styles::xfCount() const {
    return childCount(m_doc->document_element().child("cellXfs"), "xf");
}

int Styles::numFmtId(int xf) const {
    int i = 0;
    for (pugi::xml_node c : m_doc->document_element().child("cellXfs").children("xf")) {
        if (i++ == xf)
            return c.attribute("numFmtId").as_int();
    }
    return 0;
}

bool Styles::isGeneral(int xf) const {
    const int id = numFmtId(xf);
    // A file's own definition counts before the built-in meaning of its number.
    for (pugi::xml_node n : m_doc->document_element().child("numFmts").children("numFmt"))
        if (n.attribute("numFmtId").as_int() == id)
            return QString::fromUtf8(n.attribute("formatCode").value())
                       .compare(QLatin1String("General"), Qt::CaseInsensitive) == 0;
    return id == 0;
}

int Styles::withNumFmtId(int xf, int id) {
    CellFormat f;
    const QString key = QStringLiteral("#numFmtId=%1").arg(id);
    const auto cached = m_derived.find({xf, key});
    if (cached != m_derived.end())
        return cached->second;
    pugi::xml_node x = list("cellXfs").append_copy(itemAt("cellXfs", "xf", xf < xfCount() ? xf : 0));
    setAttr(x, "numFmtId", id);
    setAttr(x, "applyNumberFormat", 1);
    const int result = reuseOrAppend("cellXfs", "xf", x);
    m_derived[{xf, key}] = result;
    return result;
}

QString Styles::key(const CellFormat& f) {
    // The change's own text: the same change of the same style gives one result.
    auto opt = [](const auto& o, auto&& text) { return o ? text(*o) : QStringLiteral("-"); };
    auto num = [](auto v) { return QString::number(v); };
    auto colour = [](const std::optional<Colour>& c) {
        return c ? QString::number(c->rgb) : QStringLiteral("auto");
    };
    return opt(f.fontName, [](const QString& s) { return s; }) + QLatin1Char('|') + opt(f.fontSize, num) +
           QLatin1Char('|') + opt(f.bold, num) + QLatin1Char('|') + opt(f.singleUnderline, num) +
           QLatin1Char('|') + opt(f.fontColour, colour) + QLatin1Char('|') + opt(f.fill, colour) +
           QLatin1Char('|') + opt(f.horizontal, [](HAlign h) { return QString::number(int(h)); }) +
           QLatin1Char('|') + opt(f.vertical, [](VAlign v) { return QString::number(int(v)); }) +
           QLatin1Char('|') + opt(f.wrapText, num) + QLatin1Char('|') + opt(f.shrinkToFit, num) +
           QLatin1Char('|') + opt(f.indent, num) + QLatin1Char('|') + opt(f.rotation, num) +
           QLatin1Char('|') + opt(f.thinBorders, num) + QLatin1Char('|') +
           opt(f.numberFormat, [](const QString& s) { return s; });
}

int Styles::derive(int xf, const CellFormat& f) {
    return derive(xf, f, key(f));
}

int Styles::derive(int xf, const CellFormat& f, const QString& changeKey) {
    if (xf < 0 || xf >= xfCount())
        xf = 0;
    const auto cached = m_derived.find({xf, changeKey});
    if (cached != m_derived.end())
        return cached->second;

    pugi::xml_node x = list("cellXfs").append_copy(itemAt("cellXfs", "xf", xf));
    if (f.fontName || f.fontSize || f.bold || f.singleUnderline || f.fontColour) {
        setAttr(x, "fontId", fontFor(x.attribute("fontId").as_int(), f));
        setAttr(x, "applyFont", 1);
    }
    if (f.fill) {
        setAttr(x, "fillId", fillFor(f));
        setAttr(x, "applyFill", 1);
    }
    if (f.thinBorders) {
        setAttr(x, "borderId", borderFor(x.attribute("borderId").as_int(), f));
        setAttr(x, "applyBorder", 1);
    }
    if (f.numberFormat) {
        setAttr(x, "numFmtId", numFmtFor(*f.numberFormat));
        setAttr(x, "applyNumberFormat", 1);
    }
    if (f.horizontal || f.vertical || f.wrapText || f.shrinkToFit || f.indent || f.rotation) {
        pugi::xml_node a = x.child("alignment");
        if (!a)
            a = x.first_child() ? x.insert_child_before("alignment", x.first_child())
                                : x.append_child("alignment");
        if (f.horizontal) {
            a.remove_attribute("horizontal");
            if (const char* h = hName(*f.horizontal))
                a.append_attribute("horizontal").set_value(h);
        }
        if (f.vertical) {
            a.remove_attribute("vertical");
            if (*f.vertical != VAlign::Bottom)
                a.append_attribute("vertical").set_value(vName(*f.vertical));
        }
        auto flag = [&](const char* name, const std::optional<bool>& v) {
            if (!v)
                return;
            a.remove_attribute(name);
            if (*v)
                a.append_attribute(name).set_value(1);
        };
        flag("wrapText", f.wrapText);
        flag("shrinkToFit", f.shrinkToFit);
        auto number = [&](const char* name, const std::optional<int>& v) {
            if (!v)
                return;
            a.remove_attribute(name);
            if (*v != 0)
                a.append_attribute(name).set_value(*v);
        };
        number("indent", f.indent);
        number("textRotation", f.rotation);
        setAttr(x, "applyAlignment", 1);
    }
    const int result = reuseOrAppend("cellXfs", "xf", x);
    m_derived[{xf, changeKey}] = result;
    return result;
}

} // namespace excel::xlsx
