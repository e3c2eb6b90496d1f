#include "protocol/QifOutput.h"

#include "excel/ReportLayout.h"
#include "model/Classification.h"

#include <QHash>

#include <pugixml.hpp>

#include <charconv>
#include <cmath>

namespace protocol {

namespace {

// How a kind of characteristic is written: which elements its definition, nominal and
// measurement hold besides the common ones.
enum class Family { Linear, LinearCoordinate, Angular, AngularCoordinate, Geometric };

struct Kind {
    const char* name = "UserDefinedLinear"; // "<name>CharacteristicDefinition", ...
    Family family = Family::Linear;
    const char* mode = nullptr;     // the nominal's Direction or AnalysisMode
    const char* material = nullptr; // geometric: MaterialCondition
    const char* zone = nullptr;     // geometric: the ZoneShape's element
    bool userDefined = false;       // says in WhatToMeasure what it is
};

constexpr Kind kUserLinear{"UserDefinedLinear", Family::Linear, nullptr, nullptr, nullptr, true};
constexpr Kind kUserAngular{"UserDefinedAngular", Family::Angular, nullptr, nullptr, nullptr, true};

// Angles are degrees in either unit system; the host's unit text says so for most of them, but
// an inch group's angle axis says ZOLL and a polar angle says the group's length unit.
bool isAngle(const model::MerkmalRow& r) {
    static const QStringList angleTypes = {QStringLiteral("A_LOCATION"), QStringLiteral("PA_LOCATION"),
                                           QStringLiteral("TRUE_PA_LOCATION"), QStringLiteral("2D_ANGLE"),
                                           QStringLiteral("3D_ANGLE")};
    return r.Einheit == QLatin1String("GRAD") || angleTypes.contains(r.Typ);
}

bool isInch(const model::MerkmalRow& r) {
    return r.Einheit == QLatin1String("ZOLL");
}

// A tolerance band to write: a zero-width one is no band, the row is only measured.
bool hasBand(const model::MerkmalRow& r) {
    return std::isfinite(r.OTol) && std::isfinite(r.UTol) && r.OTol - r.UTol != 0.0;
}

Kind kindOf(const model::MerkmalRow& r) {
    const QString& t = r.Typ;
    if (isAngle(r)) {
        if (t == QLatin1String("A_LOCATION"))
            return {"Angle", Family::Angular};
        if (t == QLatin1String("2D_ANGLE"))
            return {"AngleBetween", Family::Angular, "TWODIMENSIONAL"};
        if (t == QLatin1String("3D_ANGLE"))
            return {"AngleBetween", Family::Angular, "THREEDIMENSIONAL"};
        if (t == QLatin1String("PA_LOCATION") || t == QLatin1String("TRUE_PA_LOCATION"))
            return {"AngularCoordinate", Family::AngularCoordinate, "ANGULAR"};
        return kUserAngular;
    }
    // A form or position tolerance is a zone width: without one it is a measured value only.
    if (model::isOneSided(r)) {
        static const QHash<QString, Kind> geometric = [] {
            const Kind orientation{"", Family::Geometric, nullptr, "NONE", "PlanarZone"};
            auto as = [](Kind k, const char* name) {
                k.name = name;
                return k;
            };
            return QHash<QString, Kind>{
                {QStringLiteral("FLATNESS"), {"Flatness", Family::Geometric}},
                {QStringLiteral("FLATNESS_LOCATION"), {"Flatness", Family::Geometric}},
                {QStringLiteral("ROUNDNESS"), {"Circularity", Family::Geometric}},
                {QStringLiteral("ROUNDNESS_LOCATION"), {"Circularity", Family::Geometric}},
                {QStringLiteral("STRAIGHTNESS"),
                 {"Straightness", Family::Geometric, nullptr, nullptr, "NonDiametricalZone"}},
                {QStringLiteral("STRAIGHTNESS_LOCATION"),
                 {"Straightness", Family::Geometric, nullptr, nullptr, "NonDiametricalZone"}},
                {QStringLiteral("PERPENDICULARITY"), as(orientation, "Perpendicularity")},
                {QStringLiteral("PARALLELISM"), as(orientation, "Parallelism")},
                {QStringLiteral("ANGULARITY"), as(orientation, "Angularity")},
                {QStringLiteral("RUNOUT"), {"CircularRunout", Family::Geometric}},
                {QStringLiteral("CONCENTRICITY"),
                 {"Concentricity", Family::Geometric, nullptr, nullptr, "DiametricalZone"}},
                {QStringLiteral("COAXIALITY"),
                 {"Coaxiality", Family::Geometric, nullptr, nullptr, "DiametricalZone"}},
                {QStringLiteral("SYMMETRY"), {"Symmetry", Family::Geometric}},
                {QStringLiteral("TRUE_DIAM_LOCATION"),
                 {"Position", Family::Geometric, nullptr, "NONE", "DiametricalZone"}},
            };
        }();
        return hasBand(r) ? geometric.value(t, kUserLinear) : kUserLinear;
    }
    static const QHash<QString, Kind> linear = {
        {QStringLiteral("X_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "XAXIS"}},
        {QStringLiteral("Y_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "YAXIS"}},
        {QStringLiteral("Z_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "ZAXIS"}},
        {QStringLiteral("PR_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "RADIAL"}},
        {QStringLiteral("TRUE_X_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "XAXIS"}},
        {QStringLiteral("TRUE_Y_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "YAXIS"}},
        {QStringLiteral("TRUE_Z_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "ZAXIS"}},
        {QStringLiteral("TRUE_PR_LOCATION"), {"LinearCoordinate", Family::LinearCoordinate, "RADIAL"}},
        {QStringLiteral("D_LOCATION"), {"Diameter", Family::Linear}},
        {QStringLiteral("TRUE_DD_LOCATION"), {"Diameter", Family::Linear}},
        {QStringLiteral("TRUE_DF_LOCATION"), {"Diameter", Family::Linear}},
        {QStringLiteral("R_LOCATION"), {"Radius", Family::Linear}},
        {QStringLiteral("L_LOCATION"), {"Length", Family::Linear}},
        {QStringLiteral("TRUE_LD_LOCATION"), {"Length", Family::Linear}},
        {QStringLiteral("TRUE_LF_LOCATION"), {"Length", Family::Linear}},
        {QStringLiteral("TRUE_WD_LOCATION"), {"Width", Family::Linear}},
        {QStringLiteral("TRUE_WF_LOCATION"), {"Width", Family::Linear}},
        {QStringLiteral("2D_DISTANCE"), {"DistanceBetween", Family::Linear, "TWODIMENSIONAL"}},
        {QStringLiteral("3D_DISTANCE"), {"DistanceBetween", Family::Linear, "THREEDIMENSIONAL"}},
    };
    return linear.value(t, kUserLinear);
}

// XML 1.0 holds no control characters and no lone surrogates: a comment or header value with
// one would make the whole file unreadable. They become blanks (U+FFFD for a lone surrogate).
std::string xmlText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (c.isSurrogate()) {
            out += QChar::ReplacementCharacter;
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() == 0xfffe ||
                   c.unicode() == 0xffff || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            out += QLatin1Char(' ');
        } else {
            out += c;
        }
    }
    return out.trimmed().toStdString();
}

struct Writer : pugi::xml_writer {
    QByteArray bytes;
    void write(const void* data, std::size_t size) override {
        bytes.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
    }
};

// Builds the document; ids count up from 1 in the order the elements are made.
class Builder {
public:
    explicit Builder(const QifContent& c) : m_c(c) {
        int linear = 0, inch = 0;
        for (const ChosenRow& chosen : c.rows) {
            if (isAngle(*chosen.row))
                continue;
            ++linear;
            inch += isInch(*chosen.row);
        }
        // The unit most rows share is the file's; rows in the other one say theirs.
        m_inchFile = linear > 0 && inch * 2 > linear;
        m_mixed = inch > 0 && inch < linear;
    }

    QByteArray build() {
        auto decl = m_doc.append_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
        pugi::xml_node root = m_doc.append_child("QIFDocument");
        root.append_attribute("xmlns") = "http://qifstandards.org/xsd/qif3";
        root.append_attribute("versionQIF") = "3.0.0";
        pugi::xml_attribute idMax = root.append_attribute("idMax");
        const QUuid uuid = m_c.documentId.isNull() ? QUuid::createUuid() : m_c.documentId;
        text(root, "QPId", uuid.toString(QUuid::WithoutBraces).toStdString());

        const unsigned standard = newId();
        pugi::xml_node standards = root.append_child("StandardsDefinitions");
        standards.append_attribute("n") = 1;
        pugi::xml_node s = standards.append_child("Standard");
        s.append_attribute("id") = standard;
        text(s.append_child("Organization"), "StandardsOrganizationEnum", "ISO");
        text(s, "Designator", "1101");

        units(root.append_child("FileUnits"));
        product(root);
        std::vector<unsigned> items;
        if (!m_c.rows.empty())
            items = characteristics(root, standard);
        results(root.append_child("Results"), items);
        idMax = m_id;

        Writer w;
        m_doc.save(w, "  ", pugi::format_indent, pugi::encoding_utf8);
        return w.bytes;
    }

private:
    unsigned newId() { return ++m_id; }

    static pugi::xml_node text(pugi::xml_node parent, const char* name, const std::string& value) {
        pugi::xml_node n = parent.append_child(name);
        n.text().set(value.c_str());
        return n;
    }

    // A length in the file's unit, or in the row's when that differs.
    void length(pugi::xml_node parent, const char* name, double value, const model::MerkmalRow& r) {
        pugi::xml_node n = text(parent, name, qifDecimal(value));
        if (!isAngle(r) && isInch(r) != m_inchFile)
            n.append_attribute("linearUnit") = isInch(r) ? "inch" : "mm";
    }
    // A value in the row's quantity: lengths or degrees.
    void value(pugi::xml_node parent, const char* name, double v, const model::MerkmalRow& r) {
        if (isAngle(r))
            text(parent, name, qifDecimal(v));
        else
            length(parent, name, v, r);
    }

    static void unit(pugi::xml_node parent, const char* kind, const char* si, const char* name,
                     const char* factor) {
        pugi::xml_node u = parent.append_child(kind);
        text(u, "SIUnitName", si);
        text(u, "UnitName", name);
        text(u.append_child("UnitConversion"), "Factor", factor);
    }
    static void linearUnit(pugi::xml_node parent, bool inch) {
        if (inch)
            unit(parent, "LinearUnit", "meter", "inch", "0.0254");
        else
            unit(parent, "LinearUnit", "meter", "mm", "0.001");
    }

    void units(pugi::xml_node fileUnits) {
        pugi::xml_node primary = fileUnits.append_child("PrimaryUnits");
        unit(primary, "AngularUnit", "radian", "degree", "0.017453292519943295");
        linearUnit(primary, m_inchFile);
        if (m_mixed) {
            pugi::xml_node other = fileUnits.append_child("OtherUnits");
            other.append_attribute("n") = 1;
            linearUnit(other, !m_inchFile);
        }
    }

    void product(pugi::xml_node root) {
        const std::string name = xmlText(m_c.program.partName);
        const std::string drawing = xmlText(m_c.program.drawingNumber);
        const std::string revision = xmlText(m_c.program.revision);
        if (name.empty() && drawing.empty() && revision.empty())
            return;
        pugi::xml_node product = root.append_child("Product");
        pugi::xml_node set = product.append_child("PartSet");
        set.append_attribute("n") = 1;
        pugi::xml_node part = set.append_child("Part");
        const unsigned id = newId();
        part.append_attribute("id") = id;
        if (!name.empty())
            text(part.append_child("Header"), "Name", name);
        if (!drawing.empty())
            text(part, "ModelNumber", drawing);
        if (!revision.empty())
            text(part, "Version", revision);
        text(product.append_child("RootPart"), "Id", std::to_string(id));
    }

    void tolerance(pugi::xml_node def, const Kind& k, const model::MerkmalRow& r) {
        if (k.family == Family::Geometric) {
            // The zone width is the upper limit; its nominal is zero but for odd programs.
            const double nominal = std::isfinite(r.Nennwert) ? r.Nennwert : 0.0;
            length(def, "ToleranceValue", nominal + r.OTol, r);
            if (k.material)
                text(def, "MaterialCondition", k.material);
            if (k.zone)
                def.append_child("ZoneShape").append_child(k.zone);
            return;
        }
        if (!hasBand(r)) {
            text(def, "NonTolerance", "MEASURED");
            return;
        }
        // Offsets from the nominal, as the host gives them; a form or position tolerance has no
        // lower limit.
        pugi::xml_node tol = def.append_child("Tolerance");
        value(tol, "MaxValue", r.OTol, r);
        if (!model::isOneSided(r))
            value(tol, "MinValue", r.UTol, r);
        text(tol, "DefinedAsLimit", "false");
    }

    std::vector<unsigned> characteristics(pugi::xml_node root, unsigned standard) {
        pugi::xml_node chars = root.append_child("Characteristics");
        text(chars, "FormalStandardId", std::to_string(standard));
        pugi::xml_node defs = chars.append_child("CharacteristicDefinitions");
        pugi::xml_node noms = chars.append_child("CharacteristicNominals");
        pugi::xml_node itemList = chars.append_child("CharacteristicItems");
        const unsigned n = static_cast<unsigned>(m_c.rows.size());
        for (pugi::xml_node list : {defs, noms, itemList})
            list.append_attribute("n") = n;

        std::vector<unsigned> items;
        for (const ChosenRow& chosen : m_c.rows) {
            const model::MerkmalRow& r = *chosen.row;
            const Kind k = kindOf(r);
            const std::string kind = k.name;
            const std::string name = xmlText(model::listEntryText(r));
            // The name people read carries the GD&T symbol; the designator stays as other files know it.
            const QString symbol = excel::SymbolText(r.Typ, true);
            const std::string label = symbol.isEmpty() || name.empty() ? name : xmlText(symbol) + ' ' + name;

            pugi::xml_node def = defs.append_child((kind + "CharacteristicDefinition").c_str());
            const unsigned defId = newId();
            def.append_attribute("id") = defId;
            tolerance(def, k, r);
            if (k.userDefined)
                text(def, "WhatToMeasure", xmlText(r.Typ));

            pugi::xml_node nom = noms.append_child((kind + "CharacteristicNominal").c_str());
            const unsigned nomId = newId();
            nom.append_attribute("id") = nomId;
            text(nom, "CharacteristicDefinitionId", std::to_string(defId));
            if (!name.empty())
                text(nom, "Name", label);
            if (k.family != Family::Geometric && std::isfinite(r.Nennwert))
                value(nom, "TargetValue", r.Nennwert, r);
            if (k.mode)
                text(nom,
                     k.family == Family::Linear || k.family == Family::Angular ? "AnalysisMode" : "Direction",
                     k.mode);

            pugi::xml_node item = itemList.append_child((kind + "CharacteristicItem").c_str());
            const unsigned itemId = newId();
            item.append_attribute("id") = itemId;
            if (const std::string d = xmlText(chosen.comment); !d.empty())
                text(item, "Description", d);
            if (!name.empty()) {
                text(item, "Name", label);
                text(item.append_child("CharacteristicDesignator"), "Designator", name);
            }
            text(item, "CharacteristicNominalId", std::to_string(nomId));
            items.push_back(itemId);
        }
        return items;
    }

    // Out of tolerance is what the host says; a value it could not give is no pass.
    static const char* statusOf(const model::MerkmalRow& r) {
        if (model::isOutOfTolerance(r))
            return "FAIL";
        return std::isfinite(r.Messwert) ? "PASS" : "INDETERMINATE";
    }

    void results(pugi::xml_node results, const std::vector<unsigned>& items) {
        pugi::xml_node set = results.append_child("MeasurementResultsSet");
        set.append_attribute("n") = 1;
        pugi::xml_node mr = set.append_child("MeasurementResults");
        mr.append_attribute("id") = newId();
        traceability(mr);

        bool failed = false, open = false;
        if (!items.empty()) {
            pugi::xml_node list =
                mr.append_child("MeasuredCharacteristics").append_child("CharacteristicMeasurements");
            list.append_attribute("n") = static_cast<unsigned>(items.size());
            for (std::size_t i = 0; i < items.size(); ++i) {
                const model::MerkmalRow& r = *m_c.rows[i].row;
                const Kind k = kindOf(r);
                pugi::xml_node m =
                    list.append_child((std::string(k.name) + "CharacteristicMeasurement").c_str());
                m.append_attribute("id") = newId();
                // QIF has no deviation of its own for these kinds; the host's is kept beside.
                if (std::isfinite(r.Abweichung)) {
                    pugi::xml_node attrs = m.append_child("Attributes");
                    attrs.append_attribute("n") = 1;
                    pugi::xml_node a = attrs.append_child("AttributeD1");
                    a.append_attribute("name") = "Deviation";
                    a.append_attribute("value") = qifDecimal(r.Abweichung).c_str();
                }
                const char* status = statusOf(r);
                failed = failed || std::string_view(status) == "FAIL";
                open = open || std::string_view(status) == "INDETERMINATE";
                text(m.append_child("Status"), "CharacteristicStatusEnum", status);
                text(m, "CharacteristicItemId", std::to_string(items[i]));
                if (k.family == Family::LinearCoordinate || k.family == Family::AngularCoordinate)
                    text(m.append_child("TypeOfCoordinates"), "CoordinateEnum",
                         k.family == Family::LinearCoordinate && k.mode != std::string_view("RADIAL")
                             ? "CARTESIAN_3D"
                             : "POLAR_2D");
                if (std::isfinite(r.Messwert))
                    value(m, "Value", r.Messwert, r);
                if (k.name == std::string_view("Position") && r.Bonus != 0.0 && std::isfinite(r.Bonus))
                    length(m, "Bonus", r.Bonus, r);
            }
        }
        const char* overall = items.empty() ? "NOT_MEASURED" : failed ? "FAIL" : open ? "UNKNOWN" : "PASS";
        text(mr.append_child("InspectionStatus"), "InspectionStatusEnum", overall);
    }

    // When and what was measured: the moment, the part program and the header data.
    void traceability(pugi::xml_node mr) {
        std::vector<std::pair<std::string, std::string>> pairs;
        if (const std::string program = xmlText(m_c.program.fileName); !program.empty())
            pairs.emplace_back("PartProgram", program);
        for (const model::HeaderRow& h : m_c.header)
            if (const std::string name = xmlText(h.name); !name.empty())
                pairs.emplace_back(name, xmlText(h.value));
        if (!m_c.measuredAt.isValid() && pairs.empty())
            return;
        pugi::xml_node t = mr.append_child("InspectionTraceability");
        if (m_c.measuredAt.isValid()) {
            // With the offset, so that the moment is the same wherever the file is read.
            const QDateTime at = m_c.measuredAt.toOffsetFromUtc(m_c.measuredAt.offsetFromUtc());
            text(t, "InspectionStart", at.toString(Qt::ISODate).toStdString());
        }
        if (pairs.empty())
            return;
        pugi::xml_node attrs = t.append_child("Attributes");
        attrs.append_attribute("n") = static_cast<unsigned>(pairs.size());
        for (const auto& [name, v] : pairs) {
            pugi::xml_node a = attrs.append_child("AttributeStr");
            a.append_attribute("name") = name.c_str();
            a.append_attribute("value") = v.c_str();
        }
    }

    const QifContent& m_c;
    pugi::xml_document m_doc;
    unsigned m_id = 0;
    bool m_inchFile = false;
    bool m_mixed = false;
};

} // namespace

std::string qifDecimal(double value) {
    if (value == 0.0)
        return "0"; // also -0
    // The longest fixed text of a double (the smallest subnormal) has some 330 characters.
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

QByteArray qifResults(const QifContent& content) {
    return Builder(content).build();
}

} // namespace protocol
