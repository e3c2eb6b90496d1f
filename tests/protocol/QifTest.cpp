// The QIF results document checked against the QIF schemas by xmllint (keys and references
// included) and read back with pugixml: every number exactly, the kinds, units, limits and statuses.
#include "host/PartProgramReader.h"
#include "protocol/QifOutput.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>

#include <pugixml.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <span>

namespace {

const QString kSchema =
    QStringLiteral(DOZIDUVOV_QIF_SCHEMAS "/QIFApplications/QIFDocument.xsd");

// xmllint's verdict; a machine without it fails the test instead of passing it unchecked.
void expectValid(const QByteArray& doc) {
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    ASSERT_FALSE(xmllint.isEmpty()) << "xmllint is missing (Debian: libxml2-utils)";
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("part.qif")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(doc) == doc.size());
    f.close();
    QProcess p;
    p.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("--nonet"), QStringLiteral("--schema"),
                      kSchema, f.fileName()});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString() << doc.toStdString();
}

double number(const char* text) {
    double v = std::numeric_limits<double>::quiet_NaN();
    const char* end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, v);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == end) << text;
    return v;
}

struct Row {
    const char* type;
    const char* unit;
    double nominal, upper, lower, measured;
    const char* comment;
    // what the document must say
    const char* kind;
    bool max, min; // the limits present
    const char* status;
    const char* linearUnit; // on the values: only where the row's unit is not the file's
    const char* description;
};

const double nan = std::numeric_limits<double>::quiet_NaN();

const Row kRows[] = {
    {"X_LOCATION", "MM", 10.000123456789012, 0.1, -0.1, 10.05, "", "LinearCoordinate", true, true, "PASS", "",
     ""},
    {"D_LOCATION", "MM", 25.4, 0.021, -0.013, 25.400000000000002, "", "Diameter", true, true, "PASS", "", ""},
    {"2D_ANGLE", "GRAD", 45.5, 0.25, -0.25, 45.123456789012344, "", "AngleBetween", true, true, "FAIL", "",
     ""},
    // an inch group's angle axis still says ZOLL: degrees all the same
    {"A_LOCATION", "ZOLL", 30, 0.5, -0.5, 30.1, "", "Angle", true, true, "PASS", "", ""},
    {"FLATNESS", "MM", 0, 0.05, 0, 0.012345678901234, "", "Flatness", true, false, "PASS", "", ""},
    {"TRUE_DIAM_LOCATION", "MM", 0, 0.1, 0, 0.2345, "", "Position", true, false, "FAIL", "", ""},
    {"Y_LOCATION", "MM", -3.5, 0, 0, -3.5000001, "", "LinearCoordinate", false, false, "PASS", "", ""},
    {"ROUNDNESS", "MM", 0, 0, 0, 0.003, "", "UserDefinedLinear", false, false, "PASS", "", ""},
    {"L_LOCATION", "MM", 80, 0.1, -0.1, 79.8, "", "Length", true, true, "FAIL", "", ""},
    {"Z_LOCATION", "ZOLL", 1.25, 0.002, -0.002, 1.2509999999999999, "", "LinearCoordinate", true, true,
     "PASS", "inch", ""},
    {"KEYIN", "MM", 1, 0.5, -0.5, nan, "\x01 Ø Bohrung <A & B> \"größer\"\t\xe2\x80\x93 Maß ",
     "UserDefinedLinear", true, true, "INDETERMINATE", "", "Ø Bohrung <A & B> \"größer\" – Maß"},
};

struct Doc {
    model::MerkmalTable table;
    model::HeaderRows header{{QStringLiteral(" Auftrag"), QStringLiteral("<4711 & 12>")},
                             {QStringLiteral(" Prüfer"), QStringLiteral("M. Köhler")}};
    std::vector<protocol::ChosenRow> rows;
    QByteArray bytes;
    pugi::xml_document xml;

    explicit Doc(std::span<const Row> list) {
        table.reset(static_cast<int>(list.size()));
        for (const Row& c : list) {
            model::MerkmalRow& r = table.append();
            r.ID = QStringLiteral("M%1").arg(table.AnzMerkmale);
            r.Achse = QStringLiteral("X");
            r.Typ = QString::fromLatin1(c.type);
            r.Einheit = QString::fromLatin1(c.unit);
            r.Nennwert = c.nominal;
            r.OTol = c.upper;
            r.UTol = c.lower;
            r.Messwert = c.measured;
            r.Abweichung = c.measured - c.nominal;
            r.ATol = std::string_view(c.status) == "FAIL" ? 0.1 : 0.0; // the host's word, not ours
            rows.push_back({&r, QString::fromUtf8(c.comment)});
        }
        bytes = protocol::qifResults({{QStringLiteral("/qs/Welle.PRG"), QStringLiteral("Welle & Co"),
                                       QStringLiteral("B"), QStringLiteral("Z-77")},
                                      rows,
                                      header,
                                      QDateTime(QDate(2026, 12, 7), QTime(10, 19, 33), QTimeZone(3600)),
                                      {}});
        EXPECT_TRUE(xml.load_buffer(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    pugi::xml_node at(const char* path) const { return xml.select_node(path).node(); }
    pugi::xml_node byId(const char* id) const {
        return xml.select_node(("//*[@id='" + std::string(id) + "']").c_str()).node();
    }
};

TEST(Qif, EveryKindOfRowValidatesAndReadsBackExactly) {
    const Doc d(kRows);
    expectValid(d.bytes);
    const pugi::xml_node root = d.at("/QIFDocument");
    EXPECT_STREQ(root.attribute("versionQIF").value(), "3.0.0");
    unsigned highest = 0;
    for (const pugi::xpath_node& n : d.xml.select_nodes("//@id"))
        highest = std::max(highest, n.attribute().as_uint());
    EXPECT_EQ(root.attribute("idMax").as_uint(), highest);
    EXPECT_FALSE(QUuid::fromString(QString::fromUtf8(root.child_value("QPId"))).isNull());
    EXPECT_STREQ(d.at("//PrimaryUnits/LinearUnit").child_value("UnitName"), "mm");
    EXPECT_STREQ(d.at("//PrimaryUnits/AngularUnit").child_value("UnitName"), "degree");
    EXPECT_STREQ(d.at("//OtherUnits/LinearUnit").child_value("UnitName"), "inch");
    EXPECT_STREQ(d.at("//Part/Header").child_value("Name"), "Welle & Co");
    EXPECT_STREQ(d.at("//Part").child_value("ModelNumber"), "Z-77");
    EXPECT_STREQ(d.at("//InspectionTraceability").child_value("InspectionStart"),
                 "2026-12-07T10:19:33+01:00");
    EXPECT_STREQ(d.at("//AttributeStr[@name='Auftrag']").attribute("value").value(), "<4711 & 12>");
    EXPECT_STREQ(d.at("//AttributeStr[@name='Prüfer']").attribute("value").value(), "M. Köhler");
    EXPECT_STREQ(d.at("//MeasurementResults/InspectionStatus").child_value("InspectionStatusEnum"), "FAIL");

    const pugi::xpath_node_set measurements = d.xml.select_nodes("//CharacteristicMeasurements/*");
    ASSERT_EQ(measurements.size(), std::size(kRows));
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const Row& c = kRows[i];
        SCOPED_TRACE(std::string(c.type) + " " + c.unit);
        const pugi::xml_node m = measurements[i].node();
        const pugi::xml_node item = d.byId(m.child_value("CharacteristicItemId"));
        const pugi::xml_node nominal = d.byId(item.child_value("CharacteristicNominalId"));
        const pugi::xml_node def = d.byId(nominal.child_value("CharacteristicDefinitionId"));
        EXPECT_EQ(std::string(def.name()), std::string(c.kind) + "CharacteristicDefinition");
        const std::string designator = "M" + std::to_string(i + 1) + ".X";
        EXPECT_EQ(item.child("CharacteristicDesignator").child_value("Designator"), designator);
        // GD&T types carry their symbol in the name
        const std::map<std::string_view, std::string> symbols = {
            {"D_LOCATION", "\u2300 "}, {"FLATNESS", "\u23E5 "}, {"TRUE_DIAM_LOCATION", "\u2316 "}, {"ROUNDNESS", "\u25CB "}};
        const auto symbol = symbols.find(c.type);
        EXPECT_EQ(item.child_value("Name"), (symbol == symbols.end() ? "" : symbol->second) + designator);
        EXPECT_STREQ(item.child_value("Description"), c.description);
        EXPECT_STREQ(m.child("Status").child_value("CharacteristicStatusEnum"), c.status);
        const pugi::xml_node value = m.child("Value");
        EXPECT_EQ(bool(value), !std::isnan(c.measured));
        if (value) {
            EXPECT_EQ(number(value.child_value()), c.measured);
            EXPECT_STREQ(value.attribute("linearUnit").value(), c.linearUnit);
        }
        const bool geometric = def.child("ToleranceValue");
        if (geometric) {
            EXPECT_EQ(number(def.child_value("ToleranceValue")), c.upper);
        } else {
            EXPECT_EQ(number(nominal.child_value("TargetValue")), c.nominal);
            const pugi::xml_node tol = def.child("Tolerance");
            EXPECT_EQ(bool(tol.child("MaxValue")), c.max);
            EXPECT_EQ(bool(tol.child("MinValue")), c.min);
            EXPECT_EQ(bool(def.child("NonTolerance")), !c.max);
            if (c.max) {
                EXPECT_EQ(number(tol.child_value("MaxValue")), c.upper);
            }
            if (c.min) {
                EXPECT_EQ(number(tol.child_value("MinValue")), c.lower);
            }
        }
        EXPECT_EQ(geometric, c.max && !c.min);
        const pugi::xml_attribute deviation =
            m.select_node("Attributes/AttributeD1").node().attribute("value");
        if (!std::isnan(c.measured)) {
            EXPECT_EQ(number(deviation.value()), c.measured - c.nominal);
        }
    }
}

// Every type the host names (and one it does not) in an inch program: each kind of QIF
// characteristic we write must hold in the schemas.
TEST(Qif, EveryHostTypeInAnInchProgramAndNoRowsValidate) {
    QByteArrayList names{"UNKNOWN DIMENSION TYPE"};
    for (int code = 1000; code < 1300; ++code)
        if (const QString t = host::TypName(code); !t.startsWith(QLatin1String("UNKNOWN")))
            names << t.toLatin1();
    std::vector<Row> inch;
    for (const QByteArray& t : names)
        inch.push_back({t.constData(), "ZOLL", 2, 0.001, -0.001, 2.0005, "", "", true, true, "PASS", "", ""});
    const Doc d(inch);
    expectValid(d.bytes);
    EXPECT_STREQ(d.at("//PrimaryUnits/LinearUnit").child_value("UnitName"), "inch");
    EXPECT_FALSE(d.at("//OtherUnits"));
    EXPECT_FALSE(d.xml.select_node("//@linearUnit"));

    const std::vector<protocol::ChosenRow> noRows;
    const model::HeaderRows noHeader;
    expectValid(protocol::qifResults({{}, noRows, noHeader, {}, {}}));
}

TEST(Qif, DecimalsAreShortestWithoutExponent) {
    const double values[] = {10.000123456789012,
                             1e-7,
                             -2.5e-5,
                             1e21,
                             0.1 + 0.2,
                             -0.0,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max()};
    for (const double v : values) {
        const std::string t = protocol::qifDecimal(v);
        SCOPED_TRACE(t);
        EXPECT_EQ(t.find_first_not_of("-0123456789."), std::string::npos);
        EXPECT_EQ(number(t.c_str()), v);
    }
    EXPECT_EQ(protocol::qifDecimal(-0.0), "0");
    EXPECT_EQ(protocol::qifDecimal(1e-7), "0.0000001");
}

} // namespace
