// The AQDEF file read back by a reader written from the format's public field descriptions alone:
// limits and their types, the field lengths, the values to the last digit, and no text that
// breaks a line or a field.
#include "protocol/AqdefOutput.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <optional>
#include <tuple>
#include <vector>

namespace {

// CR LF ends every line. "K<4 digits>[/<index>] <text>" is a field (index 0 without one); any
// other line is a value line of one part: its characteristics separated by 0x0F, the fields of
// one (value, attribute, date/time, ...) by 0x14.
struct Dfq {
    QMap<QPair<QString, int>, QString> fields;
    QStringList values; // every value of the file: K0001 fields and the first field of value lines
    int lines = 0;

    static Dfq read(const QByteArray& bytes) {
        Dfq d;
        static const QRegularExpression kLine(QStringLiteral("^(K\\d{4})(?:/(\\d+))? (.*)$"));
        QStringDecoder cp1252("windows-1252");
        QStringList all = QString(cp1252.decode(bytes)).split(QStringLiteral("\r\n"));
        if (all.last().isEmpty())
            all.removeLast();
        for (const QString& l : all) {
            ++d.lines;
            if (const auto m = kLine.match(l); m.hasMatch()) {
                const QPair<QString, int> key{m.captured(1),
                                              m.captured(2).isEmpty() ? 0 : m.captured(2).toInt()};
                d.fields.insert(key, m.captured(3));
                if (key.first == QLatin1String("K0001"))
                    d.values << m.captured(3);
                continue;
            }
            for (const QString& characteristic : l.split(QChar(0x0F)))
                d.values << characteristic.section(QChar(0x14), 0, 0);
        }
        return d;
    }
    std::optional<QString> get(const char* key, int index = 0) const {
        const auto it = fields.constFind({QString::fromLatin1(key), index});
        return it == fields.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
};

using Text = std::optional<QString>;
const Text none;
Text t(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(AqdefReader, LimitsLengthsAndValuesReadBackAsTheFormatDescribesThem) {
    const QString longText = QStringLiteral("Prüfmaß-Ölbohrung-Ä_").repeated(15); // 300 characters
    const QString longId = QStringLiteral("ÜBERLAUF").repeated(6);
    // A character of two UTF-16 halves as the 79th: cut by characters it stays, and one follows.
    const QString wide = QString(78, u'ä') + QString::fromUcs4(U"\U0001F600") + QString(30, u'ü');

    struct Case {
        const char* what;
        QString id, axis, type;
        double nominal, upper, lower, measured;
        QString comment;
        Text k2110, k2111, k2120, k2121;
        QString number, designation, value;
    };
    const Case cases[] = {
        {"two-sided", "D1", "M", "DISTANCE", 40, 0.05, -0.05, 40.012, "Abstand", t("39.95"), t("40.05"), none,
         none, "D1.M", "Abstand", "40.012"},
        {"zero band", "TP1", "X", "TRUE_X_LOCATION", 60, 0, 0, 60.011, "", none, none, none, none, "TP1.X",
         "TP1.X", "60.011"},
        {"one-sided form", "F1", "M", "FLATNESS", 0, 0.02, 0, 0.011, "", t("0"), t("0.02"), t("2"), t("1"),
         "F1.M", "F1.M", "0.011"},
        {"one-sided position", "TP1", "D", "TRUE_DIAM_LOCATION", 0, 0.1, 0, 0.0734, "", t("0"), t("0.1"),
         t("2"), t("1"), "TP1.D", "TP1.D", "0.0734"},
        {"long texts", longId, "X", "DIAMETER", 8, 0.1, -0.1, 8.01, longText, t("7.9"), t("8.1"), none, none,
         (longId + ".X").left(40), longText.left(80), "8.01"},
        {"two halves", "W", "M", "DIAMETER", 8, 0.1, -0.1, 8.01, wide, t("7.9"), t("8.1"), none, none, "W.M",
         QString(78, u'ä') + "?ü", "8.01"},
        {"separators", "S", "M", "DIAMETER", 8, 0.1, -0.1, 8.01, "Sitz\x0Flinks\r\nunten\x14", t("7.9"),
         t("8.1"), none, none, "S.M", "Sitz links  unten", "8.01"},
        {"full precision", "P", "M", "DISTANCE", 10, 0.001, -0.001, 10.000123456789012, "", t("9.999"),
         t("10.001"), none, none, "P.M", "P.M", "10.000123456789012"},
        {"tiny negative", "N", "M", "DISTANCE", 0, 0.001, -0.001, -0.0000001, "", t("-0.001"), t("0.001"),
         none, none, "N.M", "N.M", "-0.0000001"},
    };
    constexpr int n = static_cast<int>(std::size(cases));
    std::vector<model::MerkmalRow> rows(n);
    std::vector<protocol::ChosenRow> chosen;
    for (int i = 0; i < n; ++i) {
        const Case& c = cases[i];
        model::MerkmalRow& r = rows[static_cast<std::size_t>(i)];
        std::tie(r.ID, r.Achse, r.Typ, r.Nennwert, r.OTol, r.UTol, r.Messwert) =
            std::tie(c.id, c.axis, c.type, c.nominal, c.upper, c.lower, c.measured);
        r.Einheit = QStringLiteral("MM");
        chosen.push_back({&r, c.comment});
    }
    const QString part = QStringLiteral("Getriebegehäuse-Deckel-").repeated(13);
    const protocol::AqdefContent content{{QStringLiteral("/qs/x.PRG"), part,
                                          QStringLiteral("Rev-Ä").repeated(5),
                                          QStringLiteral("ZNr").repeated(13)},
                                         chosen,
                                         QDateTime(QDate(2026, 12, 7), QTime(10, 19, 33)),
                                         QStringLiteral("Los-Ä").repeated(4),
                                         QStringLiteral("1024")};

    // Written as the writer's file is: its lines in the code page, each ended by CR LF.
    const protocol::AqdefFile file = protocol::aqdefFile(content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("part.dfq"));
    settings::writeTextLines(path, file.lines, settings::CodePage::Windows1252);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const Dfq d = Dfq::read(f.readAll());

    // One line per field, one value per characteristic: no text opened a line or a field.
    EXPECT_EQ(d.lines, file.lines.size());
    EXPECT_EQ(d.values.size(), n);
    EXPECT_EQ(d.get("K0100"), QString::number(n));

    // Part and value texts at their lengths: K1001 30, K1002 80, K1041 30, K1042 20, K0006 14.
    EXPECT_EQ(d.get("K1001"), part.left(30));
    EXPECT_EQ(d.get("K1002"), part.left(80));
    EXPECT_EQ(d.get("K1041"), content.program.drawingNumber.left(30));
    EXPECT_EQ(d.get("K1042"), content.program.revision.left(20));
    // The cut texts counted once each (the batch on every value is one text).
    EXPECT_EQ(file.cutTexts, 8);

    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    for (int i = 1; i <= n; ++i) {
        const Case& c = cases[i - 1];
        SCOPED_TRACE(c.what);
        EXPECT_EQ(d.get("K2001", i), c.number);      // 40 characters at most
        EXPECT_EQ(d.get("K2002", i), c.designation); // 80
        EXPECT_EQ(d.get("K2110", i), c.k2110);
        EXPECT_EQ(d.get("K2111", i), c.k2111);
        EXPECT_EQ(d.get("K2120", i), c.k2120); // 2: natural boundary
        EXPECT_EQ(d.get("K2121", i), c.k2121); // 1: a tolerance limit
        EXPECT_EQ(d.get("K0006", i), content.batch.left(14));
        EXPECT_EQ(d.get("K0008", i), QStringLiteral("1024"));
        EXPECT_EQ(d.get("K0002", i), QStringLiteral("0"));
        // Every digit back, with a decimal point in the German locale the tests run in.
        const QString value = d.get("K0001", i).value_or(QString());
        EXPECT_EQ(value, c.value);
        EXPECT_TRUE(decimal.match(value).hasMatch()) << value.toStdString();
        EXPECT_EQ(value.toDouble(), c.measured);
        for (const char* key : {"K2101", "K2110", "K2111"})
            EXPECT_TRUE(decimal.match(d.get(key, i).value_or(QStringLiteral("0"))).hasMatch()) << key;
    }
}
