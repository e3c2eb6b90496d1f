#include "common/BreakingHost.h"
#include "common/ReaderSetup.h"
#include "common/SimPrograms.h"
#include "host/PartProgramReader.h"

#include <gtest/gtest.h>

using namespace host;

namespace {

// One read of a program through the in-process host, as the offline read runs it.
struct Read : ReaderSetup {
    ReaderState state{table, comments, context, header, {}, nullptr};
    QStringList messages;
    ReadResult result;

    explicit Read(bool multiLine = false) {
        store.Write(QStringLiteral("ProgSettings"), QStringLiteral("MultiLine"), multiLine ? "1" : "0");
        store.Write(QStringLiteral("ProgSettings"), QStringLiteral("HEADER"), QStringLiteral("1"));
    }
    void run(const std::shared_ptr<HostApplication>& app) {
        QString name;
        Verbinden(
            link, name, [app] { return app; }, texts,
            [this](const common::Message& m) {
                messages.append(m.text);
                return common::MsgResult::Ok;
            });
        ASSERT_FALSE(name.isEmpty());
        result = MerkmaleLesen(link, state, store, texts, {});
    }
    void run(const ProgramBuilder& b) { run(b.host()->application()); }
    const model::MerkmalRow& row(int i) const { return table.row(i); }
    QString comment(int i) const { return joinedLines(comments.block(row(i).KommentarIndex)); }
};

QJsonObject dim(std::initializer_list<QPair<QString, QJsonValue>> values) {
    QJsonObject o;
    for (const auto& [k, v] : values)
        o.insert(k, v);
    return o;
}

} // namespace

TEST(Reader, Helpers) {
    struct R5Case {
        double in, out;
    };
    for (const R5Case& c :
         {R5Case{1.000005, 1.00001}, R5Case{-0.000015, -0.00002}, R5Case{10.123454, 10.12345},
          R5Case{0.999995, 1.0}, R5Case{-9.999995, -10.0}, R5Case{2.5, 2.5}, R5Case{0.1 + 0.2, 0.3}})
        EXPECT_EQ(R5(c.in), c.out) << c.in;

    EXPECT_EQ(TypName(1209), QStringLiteral("TRUE_DIAM_LOCATION"));
    EXPECT_EQ(TypName(1109), QStringLiteral("2D_ANGLE"));
    EXPECT_EQ(TypName(1021), QStringLiteral("UNKNOWN DIMENSION TYPE"));
    EXPECT_EQ(AusgabeText(3), QStringLiteral("KEINE"));

    const QString long300 =
        QString(100, QLatin1Char('a')) + QStringLiteral("\r\n") + QString(198, QLatin1Char('b'));
    const QString cleaned = ZeileBereinigen(long300);
    EXPECT_EQ(cleaned.size(), 255);
    EXPECT_EQ(cleaned.mid(100, 2), QStringLiteral("  "));
}

TEST(Reader, RowsByRuleWithEveryField) {
    ProgramBuilder b;
    b.groupStart(1000, "LOC1", "CIR1", 2, 1)
        .axis(1002, "LOC1", "X",
              dim({{"nominal", 10},
                   {"plusTol", 0.1},
                   {"minusTol", 0.05},
                   {"measured", 10.0200049},
                   {"deviation", 0.02},
                   {"outTol", 0},
                   {"min", 10.01},
                   {"max", 10.03}}))
        .axis(1007, "LOC1", "A", dim({{"nominal", 45}}), false, false)
        .groupEnd(1001, "LOC1")
        .groupStart(1200, "TP1", "CIR3", 1, 1)
        .axis(1209, "TP1", "TP",
              dim({{"nominal", 0},
                   {"plusTol", 0.05},
                   {"minusTol", 0.05},
                   {"measured", 0.9},
                   {"deviation", 0.026},
                   {"bonus", 0.012},
                   {"datum1", "A"},
                   {"datum2", "B"}}),
              true)
        .axis(1202, "TP1", "X", dim({{"measured", 60.011}, {"minusTol", 0.02}, {"bonus", 0.5}}), true)
        .groupEnd(1201, "TP1")
        .single(1107, "DIST1",
                dim({{"feature1", "PNT1"},
                     {"feature2", "PNT2"},
                     {"nominal", 40},
                     {"plusTol", 0.05},
                     {"minusTol", 0.05},
                     {"measured", 40.062},
                     {"outTol", 0.012},
                     {"outputMode", 0},
                     {"units", 1},
                     {"length", 40.000001}}));
    b.add(QJsonObject{{"type", 1206}, {"id", "TP1"}}); // a dimension-less command of a diameter type: no row
    QJsonObject doc = b.document();
    QJsonArray cmds = doc.value("commands").toArray();
    QJsonObject tp = cmds[5].toObject();
    tp.insert("fieldText169", "MMC");
    cmds[5] = tp;
    doc.insert("commands", cmds);

    Read r;
    r.run(sim::SimHost::create(sim::parseProgram(doc, "/tmp/T.PRG"))->application());
    ASSERT_EQ(r.table.AnzMerkmale, 5);

    const model::MerkmalRow& x = r.row(1); // rule A
    EXPECT_EQ(x.ID, QStringLiteral("LOC1"));
    EXPECT_EQ(x.Achse, QStringLiteral("X"));
    EXPECT_EQ(x.Typ, QStringLiteral("X_LOCATION"));
    EXPECT_EQ(x.Element1, QStringLiteral("CIR1"));
    EXPECT_EQ(x.Messwert, 10.02);
    EXPECT_EQ(x.UTol, -0.05);
    EXPECT_EQ(x.OTol, 0.1);
    EXPECT_EQ(x.Min, 10.01);
    EXPECT_EQ(x.Max, 10.03);
    EXPECT_EQ(x.Ausgabe, QStringLiteral("BEIDE"));
    EXPECT_EQ(x.Einheit, QStringLiteral("MM"));
    EXPECT_TRUE(x.Markiert);
    EXPECT_EQ(x.UniqueId1, 100001);
    EXPECT_EQ(r.row(2).Einheit, QStringLiteral("GRAD")); // the angle axis of a millimetre group
    EXPECT_FALSE(r.row(2).Markiert);

    const model::MerkmalRow& d = r.row(3); // rule B, true-position diameter
    EXPECT_EQ(d.Typ, QStringLiteral("TRUE_DIAM_LOCATION"));
    EXPECT_EQ(d.Messwert, 0.026); // the deviation, not the measured value
    EXPECT_EQ(d.UTol, 0.0);
    EXPECT_EQ(d.Bonus, 0.012);
    EXPECT_EQ(d.Zusatztext, QStringLiteral("MMC"));
    EXPECT_EQ(d.Bezug1, QStringLiteral("A"));
    EXPECT_EQ(d.Ausgabe, QStringLiteral("PROTOKOLL"));
    const model::MerkmalRow& tx = r.row(4);
    EXPECT_EQ(tx.Messwert, 60.011);
    EXPECT_EQ(tx.UTol, -0.02);
    EXPECT_EQ(tx.Bonus, 0.0); // bonus only on the diameter row

    const model::MerkmalRow& s = r.row(5); // rule C
    EXPECT_EQ(s.ID, QStringLiteral("DIST1"));
    EXPECT_EQ(s.Achse, QStringLiteral("M"));
    EXPECT_EQ(s.Element2, QStringLiteral("PNT2"));
    EXPECT_EQ(s.ATol, 0.012);
    EXPECT_EQ(s.Ausgabe, QStringLiteral("STATISTIK"));
    EXPECT_EQ(s.Bezugslaenge, 40.0);
    EXPECT_EQ(r.table.AnzOOT, 1);
    EXPECT_TRUE(r.result.complete);
}

TEST(Reader, CommentModesAndPendingComments) {
    auto build = [] {
        ProgramBuilder b;
        b.comment({"Gut", QString::fromUtf8("geprüft"), "Ende"})
            .single(1102, "FL1")
            .comment({"Achse 1", "Achse 2"})
            .groupStart(1000, "LOC1", "CIR1")
            .axis(1002, "LOC1", "X")
            .axis(1003, "LOC1", "Y")
            .axis(1004, "LOC1", "Z")
            .groupEnd(1001, "LOC1")
            .comment({"vor der Bewegung"})
            .move()
            .single(1101, "RD1")
            .comment({"bleibt"})
            .comment({"anderer Typ"}, 2)
            .single(1101, "RD2");
        return b;
    };
    Read single(false);
    single.run(build());
    ASSERT_EQ(single.table.AnzMerkmale, 6);
    EXPECT_EQ(single.comment(1), QString::fromUtf8("Gutgeprüft") + "Ende");
    EXPECT_EQ(single.comment(2), QStringLiteral("Achse 1Achse 2"));
    EXPECT_EQ(single.comment(4), QStringLiteral("Achse 1Achse 2")); // every axis shares the comment
    EXPECT_EQ(single.row(5).KommentarIndex, 0);                     // a move ends a pending comment
    EXPECT_EQ(single.comment(6), QStringLiteral("bleibt"));         // type 2 is ignored, clears nothing

    Read multi(true);
    multi.run(build());
    ASSERT_EQ(multi.table.AnzMerkmale, 6);
    EXPECT_EQ(multi.comment(1), QStringLiteral("Gut")); // the block of line 1 only
    EXPECT_EQ(multi.comment(2), QStringLiteral("Achse 1"));
    EXPECT_EQ(multi.comment(3), QStringLiteral("Achse 2"));
    EXPECT_EQ(multi.row(4).KommentarIndex, 0); // a two-line comment has no third line
    EXPECT_EQ(multi.row(5).KommentarIndex, 0);
}

TEST(Reader, UnitsVersionsAndUnknownTypes) {
    ProgramBuilder inch;
    inch.single(1109, "ANG1", dim({{"units", 0}}))
        .single(1107, "D1", dim({{"units", 0}}))
        .single(1107, "D2", dim({{"units", 5}}))
        .groupStart(1000, "LOC1", "CIR1", 2, 0)
        .axis(1007, "LOC1", "A")
        .groupEnd(1001, "LOC1")
        .groupStart(1200, "TP1", "CIR1", 2, 1)
        .axis(1202, "TP1", "X", dim({{"datum1", "A"}}), true)
        .groupEnd(1201, "TP1")
        .single(4711, "ODD");
    Read r;
    r.run(inch);
    ASSERT_EQ(r.table.AnzMerkmale, 6);
    EXPECT_EQ(r.row(1).Einheit, QStringLiteral("GRAD"));
    EXPECT_EQ(r.row(2).Einheit, QStringLiteral("ZOLL"));
    EXPECT_EQ(r.row(3).Einheit, QString());
    EXPECT_EQ(r.row(4).Einheit, QStringLiteral("ZOLL")); // an angle axis of an inch group
    EXPECT_EQ(r.row(5).Bezug1, QStringLiteral("A"));
    EXPECT_EQ(r.row(6).Typ, QStringLiteral("UNKNOWN DIMENSION TYPE"));

    Read old;
    old.run(ProgramBuilder(inch).version("3.25.1"));
    EXPECT_EQ(old.row(5).Bezug1, QString()); // hosts of version 3.25 give no datums
}

TEST(Reader, HeaderDataFromAssignments) {
    ProgramBuilder b;
    b.assignment(QString::fromUtf8("Prüfer"), "M. Keller")
        .assignment("Auftrag", "4711")
        .assignment("Los", "12");
    Read r;
    r.header = {{QStringLiteral(" Auftrag"), QStringLiteral("alt")},
                {QString::fromUtf8(" Prüfer "), {}},
                {QStringLiteral(" Auftrag"), {}}};
    r.run(b);
    EXPECT_EQ(r.header[0].value, QStringLiteral("4711")); // the first matching row only
    EXPECT_EQ(r.header[1].value, QStringLiteral("M. Keller"));
    EXPECT_EQ(r.header[2].value, QString());
    EXPECT_EQ(r.header.size(), 3u); // "Los" matches nothing and adds nothing

    Read off; // header data switched off: values are only emptied
    off.store.Write(QStringLiteral("ProgSettings"), QStringLiteral("HEADER"), QStringLiteral("0"));
    off.header = {{QStringLiteral(" Auftrag"), QStringLiteral("alt")}};
    off.run(b);
    EXPECT_EQ(off.header[0].value, QString());
}

TEST(Reader, LongMultiLineGroupGivesLaterAxesNoComment) {
    ProgramBuilder b;
    QStringList lines;
    for (int i = 1; i <= 20; ++i)
        lines << QStringLiteral("Zeile %1").arg(i);
    b.comment(lines).groupStart(1000, "LOC1", "CIR1");
    for (int i = 0; i < 25; ++i)
        b.axis(1002, "LOC1", "X");
    Read r(true);
    r.run(b);
    ASSERT_EQ(r.table.AnzMerkmale, 25);
    EXPECT_EQ(r.comment(20), QStringLiteral("Zeile 20"));
    EXPECT_EQ(r.row(21).KommentarIndex, 0);
    EXPECT_EQ(r.row(25).KommentarIndex, 0);
}

TEST(Reader, FailingHostStopsTheReadKeepsTheRowsAndSaysWhy) {
    ProgramBuilder b;
    b.single(1107, "D1", dim({{"outTol", 0.2}})).single(1107, "D2").single(1107, "D3");
    auto host = b.host();
    Read r;
    QString name;
    Verbinden(r.link, name, [&] { return host->application(); }, r.texts, {});
    r.link.commands = std::make_shared<BreakingCommands>(r.link.commands, 2);
    r.result = MerkmaleLesen(r.link, r.state, r.store, r.texts, {});
    EXPECT_FALSE(r.result.complete);
    EXPECT_EQ(r.result.commandsRead, 2);
    EXPECT_EQ(r.result.commandCount, 3);
    EXPECT_EQ(r.table.AnzMerkmale, 2);
    EXPECT_EQ(r.table.AnzOOT, 1); // the rows read so far are classified
    EXPECT_EQ(r.result.failure, QStringLiteral("Korvex closed the connection."));
}
