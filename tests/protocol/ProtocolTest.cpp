// The AQDEF file read back by a reader of our own, and the PDF protocol checked with poppler's
// tools: its text page by page, its page count, and the red of an out-of-tolerance bar.
#include "common/TempSettings.h"
#include "protocol/AqdefOutput.h"
#include "protocol/PdfProtocol.h"
#include "protocol/ProtocolOutput.h"
#include "settings/TextCodec.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>

#include <cmath>
#include <optional>

namespace {

// An AQDEF file as statistics software splits it: "K<4 digits>[/<index>] <value>" per line, CR LF
// ends; index 0 when the key has none.
struct Aqdef {
    QMap<QPair<QString, int>, QString> fields;
    QStringList malformed;
    int lines = 0;

    static Aqdef parse(const QByteArray& bytes) {
        Aqdef a;
        static const QRegularExpression line(QStringLiteral("^(K\\d{4})(?:/(\\d+))? (.*)$"));
        const QString text = settings::decodeAnsi(bytes, settings::CodePage::Windows1252);
        QStringList all = text.split(QStringLiteral("\r\n"));
        if (all.last().isEmpty())
            all.removeLast();
        for (const QString& l : all) {
            ++a.lines;
            const auto m = line.match(l);
            if (!m.hasMatch() || l.contains(QLatin1Char('\n')) || l.contains(QLatin1Char('\r'))) {
                a.malformed << l;
                continue;
            }
            a.fields.insert({m.captured(1), m.captured(2).isEmpty() ? 0 : m.captured(2).toInt()},
                            m.captured(3));
        }
        return a;
    }
    std::optional<QString> get(const char* key, int index = 0) const {
        const auto it = fields.constFind({QString::fromLatin1(key), index});
        return it == fields.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
};

struct Protocols {
    TempSettings tmp;
    settings::SettingsStore store;
    settings::LanguageTable texts;
    model::MerkmalTable table;
    model::KommentarTable comments;
    model::HeaderRows header{{QStringLiteral(" Auftrag"), QStringLiteral("4711")},
                             {QStringLiteral(" Prüfer"), QStringLiteral("M. Köhler")},
                             {QStringLiteral(" Prüfer-Nr"), QStringLiteral(" 1024 ")}};
    model::Selection selection;
    QStringList messages;
    settings::NamingContext naming;

    Protocols() {
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), tmp.path());
        store.Write(QStringLiteral("FileSettings"), QStringLiteral("FileName1"),
                    QStringLiteral("9")); // no host: a fixed name
        for (const char* k : {"FileName2", "FileName3", "FileName4", "FileName5"})
            store.Write(QStringLiteral("FileSettings"), QString::fromLatin1(k), QStringLiteral("0"));
        naming.date = QDate(2026, 12, 7);
        naming.time = QTime(10, 19, 33);
        table.reset(8);
        comments.reset(8);
    }
    model::MerkmalRow& row(const QString& id, const QString& type, double nominal, double upper, double lower,
                           double measured, const QString& comment = {}) {
        model::MerkmalRow& r = table.append();
        r.ID = id;
        r.Achse = QStringLiteral("M");
        r.Typ = type;
        r.Nennwert = nominal;
        r.OTol = upper;
        r.UTol = lower;
        r.Messwert = measured;
        r.Abweichung = measured - nominal;
        const double hi = nominal + upper, lo = nominal + lower;
        r.ATol = measured > hi ? measured - hi : measured < lo ? measured - lo : 0.0;
        r.Ausgabe = QStringLiteral("BEIDE");
        r.Einheit = QStringLiteral("MM");
        if (!comment.isEmpty()) {
            r.KommentarIndex = table.AnzMerkmale;
            comments.ensureIndex(r.KommentarIndex);
            comments.block(r.KommentarIndex).Zeile[1] = comment;
        }
        selection.push_back(true);
        return r;
    }
    protocol::ProtocolWriteInput input(std::optional<settings::ResultFileName> beside = std::nullopt) {
        return protocol::ProtocolWriteInput{store,
                                            texts,
                                            [this](const common::Message& m) {
                                                messages << m.text;
                                                return common::MsgResult::Ok;
                                            },
                                            table,
                                            comments,
                                            selection,
                                            header,
                                            nullptr,
                                            {QStringLiteral("/qs/Welle.PRG"), QStringLiteral("Welle"),
                                             QStringLiteral("B"), QStringLiteral("Z-77")},
                                            naming,
                                            QLocale(QLocale::German, QLocale::Germany),
                                            std::move(beside),
                                            {}};
    }
    static QByteArray bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

QString tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(Aqdef, LimitsValuesAndTextsReadBackAsTheTableHoldsThem) {
    Protocols t;
    t.row(QStringLiteral("TWO"), QStringLiteral("DISTANCE"), 40, 0.05, -0.05, 40.012,
          QStringLiteral("Abstand"));
    t.row(QStringLiteral("FLAT"), QStringLiteral("FLATNESS"), 0, 0.02, 0, 0.011);
    t.row(QStringLiteral("ZERO"), QStringLiteral("TRUE_X_LOCATION"), 60, 0, 0, 60.011);
    t.row(QStringLiteral("OUT"), QStringLiteral("DIAMETER"), 25, 0.021, 0, 25.03);
    t.row(QStringLiteral("TXT"), QStringLiteral("DIAMETER"), 1234567.5, 0.1, -0.1, -0.00001,
          QStringLiteral("<<Sitz\r\nlinks\x0f/\x14 K2002/1 \u00b0"));
    t.row(QStringLiteral("STAT"), QStringLiteral("DIAMETER"), 1, 0, 0, 1).Ausgabe =
        QStringLiteral("STATISTIK");
    t.row(QStringLiteral("HIDE"), QStringLiteral("DIAMETER"), 1, 0, 0, 1, QStringLiteral("<<# intern"));
    t.row(QStringLiteral("OFF"), QStringLiteral("DIAMETER"), 1, 0, 0, 1);
    t.selection.back() = false;
    t.store.Write(QStringLiteral("FileSettings"), QStringLiteral("AQDEF_K0006"), QStringLiteral("Auftrag"));
    t.store.Write(QStringLiteral("FileSettings"), QStringLiteral("AQDEF_K0008"),
                  QStringLiteral("Prüfer-Nr "));

    auto in = t.input();
    const protocol::ProtocolWriteResult r = protocol::WriteAqdefFile(in);
    ASSERT_TRUE(r.written) << t.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(r.path.endsWith(QStringLiteral("/UNKNOWN_FILE1.dfq"))) << r.path.toStdString();
    const QByteArray raw = Protocols::bytes(r.path);
    EXPECT_EQ(raw.count("\r\n"), raw.count('\n'));
    const Aqdef a = Aqdef::parse(raw);
    EXPECT_TRUE(a.malformed.isEmpty()) << a.malformed.join(QLatin1Char('|')).toStdString();

    // The format's required fields, and only the rows written to every output.
    EXPECT_EQ(a.get("K0100"), QStringLiteral("5"));
    EXPECT_EQ(a.get("K1001"), QStringLiteral("Welle"));
    EXPECT_EQ(a.get("K1002"), QStringLiteral("Welle"));
    EXPECT_EQ(a.get("K1041"), QStringLiteral("Z-77"));
    EXPECT_EQ(a.get("K1042"), QStringLiteral("B"));
    EXPECT_FALSE(a.get("K2001", 6));

    struct Expect {
        const char* number;
        const char* designation;
        const char* nominal;
        std::optional<const char*> lower;
        std::optional<const char*> upper;
        const char* value;
    };
    const Expect expected[] = {
        {"TWO.M", "Abstand", "40", "39.95", "40.05", "40.012"},
        {"FLAT.M", "FLAT.M", "0", "0", "0.02", "0.011"},   // one-sided: natural boundary 0
        {"ZERO.M", "ZERO.M", "60", {}, {}, "60.011"},      // a zero-width band: no limits
        {"OUT.M", "OUT.M", "25", "25", "25.021", "25.03"}, // out of tolerance: a valid value
        {"TXT.M", "Sitz  links /  K2002/1 \u00b0", "1234567.5", "1234567.4", "1234567.6", "-0.00001"},
    };
    for (int i = 1; i <= 5; ++i) {
        const Expect& e = expected[i - 1];
        SCOPED_TRACE(e.number);
        EXPECT_EQ(a.get("K2001", i), QString::fromLatin1(e.number));
        EXPECT_EQ(a.get("K2002", i), QString::fromUtf8(e.designation));
        EXPECT_EQ(a.get("K2004", i), QStringLiteral("0"));
        EXPECT_EQ(a.get("K2101", i), QString::fromLatin1(e.nominal));
        EXPECT_EQ(a.get("K2110", i),
                  e.lower ? std::optional<QString>(QString::fromLatin1(*e.lower)) : std::nullopt);
        EXPECT_EQ(a.get("K2111", i),
                  e.upper ? std::optional<QString>(QString::fromLatin1(*e.upper)) : std::nullopt);
        EXPECT_EQ(a.get("K2142", i), QStringLiteral("mm"));
        EXPECT_EQ(a.get("K0001", i), QString::fromLatin1(e.value));
        EXPECT_EQ(a.get("K0002", i), QStringLiteral("0"));
        EXPECT_EQ(a.get("K0004", i), QStringLiteral("07.12.2026/10:19:33"));
        EXPECT_EQ(a.get("K0006", i), QStringLiteral("4711"));
        EXPECT_EQ(a.get("K0008", i), QStringLiteral("1024"));
    }
}

TEST(Aqdef, TheOperatorFieldTakesOperatorNumbersOnly) {
    // K0008 is a number field: a name there makes an importer refuse the file.
    const std::pair<const char*, bool> cases[] = {
        {"1024", true},       {"0", true},    {"2147483647", true}, {"2147483648", false},
        {"M. Keller", false}, {"12a", false}, {"-5", false},        {"", false},
    };
    for (const auto& [text, ok] : cases)
        EXPECT_EQ(protocol::isOperatorNumber(QString::fromLatin1(text)), ok) << text;

    Protocols t;
    t.texts.setSection(protocol::protocolSection(), {QStringLiteral("[h]")}); // English built in
    t.row(QStringLiteral("A"), QStringLiteral("DIAMETER"), 1, 0.1, -0.1, 1.05);
    t.store.Write(QStringLiteral("FileSettings"), QStringLiteral("AQDEF_K0008"), QString::fromUtf8("Prüfer"));
    auto in = t.input();
    const auto r = protocol::WriteAqdefFile(in);
    ASSERT_TRUE(r.written);
    EXPECT_FALSE(Aqdef::parse(Protocols::bytes(r.path)).get("K0008", 1));
    // Left out, and said so.
    EXPECT_TRUE(r.note.contains(QString::fromUtf8("\"M. Köhler\""))) << r.note.toStdString();
}

TEST(Aqdef, AValueTheHostCouldNotGiveIsMarkedNotWrittenAsZero) {
    Protocols t;
    t.row(QStringLiteral("A"), QStringLiteral("DIAMETER"), 1, 0.1, -0.1, 1.05);
    t.row(QStringLiteral("B"), QStringLiteral("DIAMETER"), 1, 0.1, -0.1, std::nan(""));
    const std::vector<protocol::ChosenRow> rows = protocol::chosenRows(t.table, t.comments, t.selection);
    const Aqdef a =
        Aqdef::parse(protocol::aqdefFile({{}, rows, QDateTime(t.naming.date, t.naming.time), {}, {}})
                         .lines.join("\r\n")
                         .toLatin1());
    EXPECT_EQ(a.get("K0002", 1), QStringLiteral("0"));
    EXPECT_EQ(a.get("K0002", 2), QStringLiteral("255"));
    EXPECT_FALSE(a.get("K0006", 1)); // nothing mapped: no field
}

TEST(Aqdef, BesideTheResultFileAndNeverInPlaceOfAnother) {
    Protocols t;
    t.row(QStringLiteral("A"), QStringLiteral("DIAMETER"), 1, 0.1, -0.1, 1);
    settings::ResultFileName csv{t.tmp.path() + QStringLiteral("/Welle"), QStringLiteral("-"),
                                 QStringLiteral("csv"), 7};
    {
        auto in = t.input(csv);
        const auto r = protocol::WriteAqdefFile(in);
        EXPECT_EQ(r.path, t.tmp.path() + QStringLiteral("/Welle-0007.dfq"));
    }
    // A file of that name stays as it is: the next counter.
    auto in = t.input(csv);
    const auto r = protocol::WriteAqdefFile(in);
    EXPECT_EQ(r.planned, t.tmp.path() + QStringLiteral("/Welle-0007.dfq"));
    EXPECT_EQ(r.path, t.tmp.path() + QStringLiteral("/Welle-0008.dfq"));

    // No row chosen: a message, and no file.
    t.selection.assign(t.selection.size(), false);
    auto none = t.input();
    EXPECT_FALSE(protocol::WriteAqdefFile(none).written);
    EXPECT_EQ(t.messages.size(), 1);
    EXPECT_FALSE(QFile::exists(t.tmp.path() + QStringLiteral("/UNKNOWN_FILE1.dfq")));
}

TEST(PdfProtocol, EveryRowOnItsPageAndThePagesCounted) {
    Protocols t;
    t.texts.setSection(protocol::protocolSection(), {QStringLiteral("[h]")}); // English built in
    for (int i = 1; i <= 1000; ++i)
        t.row(QStringLiteral("R%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("DISTANCE"), i, 0.05,
              -0.05, i + (i % 7) * 0.01);
    auto in = t.input();
    const auto r = protocol::WritePdfProtocol(in);
    ASSERT_TRUE(r.written) << t.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Protocols::bytes(r.path).startsWith("%PDF-"));
    // Below three header data 42 rows fit on the first page, 49 on the others: 21 pages, and the
    // signature still fits below the last 27 rows.
    EXPECT_TRUE(tool(QStringLiteral("pdfinfo"), {r.path})
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+21\\n"))));

    const QString all =
        tool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), r.path, QStringLiteral("-")});
    const QStringList pages = all.split(QLatin1Char('\f'));
    ASSERT_GE(pages.size(), 21);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Z-77")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("4711")));
    QList<int> rowsOnPage(21, 0);
    int last = 1;
    QLocale german(QLocale::German);
    german.setNumberOptions(QLocale::OmitGroupSeparator);
    for (int i = 1; i <= 1000; ++i) {
        // The ID and the measured value, in German, on one line of one page.
        const QString value =
            german.toString(i + (i % 7) * 0.01, 'f', 2).remove(QRegularExpression(QStringLiteral(",?0+$")));
        const QRegularExpression rowLine(QStringLiteral("R%1 +M .* %2 ")
                                             .arg(i, 4, 10, QLatin1Char('0'))
                                             .arg(QRegularExpression::escape(value)));
        int page = 0;
        for (int p = 1; p <= 21; ++p)
            if (pages[p - 1].contains(rowLine))
                page = p;
        ASSERT_GE(page, last) << "row " << i << " (" << value.toStdString() << ") missing or out of order";
        last = page;
        ++rowsOnPage[page - 1];
    }
    EXPECT_EQ(rowsOnPage[0], 42);
    for (int p = 2; p <= 20; ++p)
        EXPECT_EQ(rowsOnPage[p - 1], 49) << "page " << p;
    EXPECT_EQ(rowsOnPage[20], 27);
    for (int p = 1; p <= 21; ++p)
        EXPECT_TRUE(pages[p - 1].contains(QStringLiteral("Page %1 of 21").arg(p))) << p;
    EXPECT_TRUE(pages[20].contains(QStringLiteral("Signature")));
}

TEST(PdfProtocol, RedBarsAndGdtSymbolsInTheirOwnRowsOnly) {
    Protocols t;
    t.texts.setSection(protocol::protocolSection(), {QStringLiteral("[h]")}); // English built in
    t.row(QStringLiteral("GOOD"), QStringLiteral("DISTANCE"), 40, 0.05, -0.05, 40.01);
    t.row(QStringLiteral("BAD"), QStringLiteral("DISTANCE"), 40, 0.05, -0.05, 40.09);
    t.row(QStringLiteral("LOW"), QStringLiteral("DISTANCE"), 40, 0.05, -0.05, 39.93);
    t.row(QStringLiteral("NONE"), QStringLiteral("DISTANCE"), 40, 0.05, -0.05, std::nan("")).ATol = 0;
    t.row(QStringLiteral("FLAT"), QStringLiteral("FLATNESS"), 0, 0.05, 0, 0.01);
    t.row(QStringLiteral("POS"), QStringLiteral("TRUE_DIAM_LOCATION"), 0, 0.1, 0, 0.02);
    auto in = t.input();
    const auto r = protocol::WritePdfProtocol(in);
    ASSERT_TRUE(r.written);
    const QString text = tool(QStringLiteral("pdftotext"), {r.path, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("Page 1 of 1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Within tolerance: 4"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Out of tolerance: 2"))) << text.toStdString();

    // Where poppler puts each ID (in points), and the page drawn at 72 dpi: one pixel a point.
    const QString boxes =
        tool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), r.path, QStringLiteral("-")});
    auto rowOf = [&](const QString& word) {
        const auto m =
            QRegularExpression(
                QStringLiteral("yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">%1<").arg(word))
                .match(boxes);
        return m.hasMatch() ? std::make_pair(m.captured(1).toDouble(), m.captured(2).toDouble())
                            : std::make_pair(-1.0, -1.0);
    };
    const QString png = t.tmp.path() + QStringLiteral("/page");
    tool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                                      QStringLiteral("-singlefile"), r.path, png});
    const QImage page(png + QStringLiteral(".png"));
    ASSERT_FALSE(page.isNull());
    auto redPixels = [&](std::pair<double, double> band) {
        int n = 0;
        for (int y = static_cast<int>(band.first); y <= static_cast<int>(band.second); ++y)
            for (int x = page.width() / 2; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                n += c.red() > 180 && c.green() < 70 && c.blue() < 70;
            }
        return n;
    };
    // The symbol column: the first 5 mm inside the 12 mm margin.
    auto darkSymbolPixels = [&](std::pair<double, double> band) {
        int n = 0;
        for (int y = static_cast<int>(band.first); y <= static_cast<int>(band.second); ++y)
            for (int x = 34; x < 48; ++x)
                n += qGray(page.pixel(x, y)) < 140;
        return n;
    };
    const struct {
        const char* word;
        bool red, symbol;
    } rows[] = {{"GOOD", false, false}, {"BAD", true, false},  {"LOW", true, false},
                {"NONE", false, false}, {"FLAT", false, true}, {"POS", false, true}};
    for (const auto& row : rows) {
        const auto band = rowOf(QString::fromLatin1(row.word));
        ASSERT_GE(band.first, 0) << row.word;
        // The bar and the amount out of tolerance are red; nothing else in a row is.
        EXPECT_EQ(redPixels(band) > 20, row.red) << row.word;
        EXPECT_EQ(redPixels(band) == 0, !row.red) << row.word;
        EXPECT_EQ(darkSymbolPixels(band) > 3, row.symbol) << row.word;
        EXPECT_EQ(darkSymbolPixels(band) == 0, !row.symbol) << row.word;
    }
}
