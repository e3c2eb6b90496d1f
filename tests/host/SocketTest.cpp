#include "common/ReaderSetup.h"
#include "common/SimProcess.h"
#include "common/SimPrograms.h"
#include "host/HostSocketClient.h"
#include "host/LiveUpdate.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace host;

namespace {

const QString kWelle = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/Welle.PRG");

struct Reading : ReaderSetup {
    ReaderState state{table, comments, context, header, {}, nullptr};

    void read(const std::shared_ptr<HostApplication>& app) {
        QString name;
        Verbinden(link, name, [app] { return app; }, texts, {});
        ASSERT_FALSE(name.isEmpty());
        MerkmaleLesen(link, state, store, texts, {}, {});
    }
};

void expectSameRows(const Reading& a, const Reading& b) {
    ASSERT_EQ(a.table.AnzMerkmale, b.table.AnzMerkmale);
    for (int i = 1; i <= a.table.AnzMerkmale; ++i) {
        const model::MerkmalRow& x = a.table.row(i);
        const model::MerkmalRow& y = b.table.row(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(x.ID, y.ID);
        EXPECT_EQ(x.Achse, y.Achse);
        EXPECT_EQ(x.Typ, y.Typ);
        EXPECT_EQ(x.Messwert, y.Messwert);
        EXPECT_EQ(x.Nennwert, y.Nennwert);
        EXPECT_EQ(x.OTol, y.OTol);
        EXPECT_EQ(x.UTol, y.UTol);
        EXPECT_EQ(x.ATol, y.ATol);
        EXPECT_EQ(x.Bonus, y.Bonus);
        EXPECT_EQ(x.Zusatztext, y.Zusatztext);
        EXPECT_EQ(x.Bezug1, y.Bezug1);
        EXPECT_EQ(x.Einheit, y.Einheit);
        EXPECT_EQ(x.Ausgabe, y.Ausgabe);
        EXPECT_EQ(x.Markiert, y.Markiert);
        EXPECT_EQ(x.UniqueId1, y.UniqueId1);
        EXPECT_EQ(x.UniqueId2, y.UniqueId2);
        EXPECT_EQ(a.comments.block(x.KommentarIndex).text(), b.comments.block(y.KommentarIndex).text());
    }
}

} // namespace

TEST(Socket, ReadsTheSameValuesAsTheFileHolds) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({kWelle}));

    Reading inProcess;
    inProcess.read(sim::SimHost::create(sim::loadProgram(kWelle))->application());
    ASSERT_GT(inProcess.table.AnzMerkmale, 20);

    for (bool snapshots : {true, false}) {
        ClientOptions options;
        options.snapshots = snapshots;
        options.batchSize = 7; // several batches
        Reading viaSocket;
        viaSocket.read(connectToHost(options));
        expectSameRows(inProcess, viaSocket);
        EXPECT_EQ(viaSocket.link.partProgram->DrawingNumber(), QStringLiteral("Z-77"));
        EXPECT_EQ(viaSocket.link.partProgram->Folder(), QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples"));
    }
}

TEST(Socket, ConnectFailuresSayWhatIsMissing) {
    SimProcess sim; // not started: no host window
    settings::LanguageTable texts;
    QStringList lines{QStringLiteral("[h]")};
    for (int i = 2; i <= 49; ++i)
        lines << QStringLiteral("L%1").arg(i);
    texts.setSection(QStringLiteral("MessageBoxen"), lines);
    QList<common::Message> shown;
    auto fn = [&](const common::Message& m) {
        shown.append(m);
        return common::MsgResult::Ok;
    };
    HostLink link;
    QString name = QStringLiteral("/old/program");
    Verbinden(
        link, name, [] { return connectToHost(); }, texts, fn);
    EXPECT_TRUE(name.isEmpty());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("L41\r\n\r\nL42"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Korvex Connection"));
    EXPECT_EQ(shown[0].icon, common::MsgIcon::Error);

    ASSERT_TRUE(sim.start({})); // a host without a part program
    Verbinden(
        link, name, [] { return connectToHost(); }, texts, fn);
    EXPECT_TRUE(name.isEmpty());
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1].text, QStringLiteral("L43\r\n\r\nL44"));
    EXPECT_FALSE(link.hasPartProgram());
}

TEST(Socket, HostMembersAndWhatTheHostLogs) {
    SimProcess sim;
    const QString copy = sim.dir() + QStringLiteral("/Welle.PRG");
    ASSERT_TRUE(QFile::copy(kWelle, copy));
    ASSERT_TRUE(sim.start({QStringLiteral("--version"), QStringLiteral("3.25.4"), copy}));
    auto app = connectToHost();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->Version(), QStringLiteral("3.25.4"));
    auto prog = app->ActivePartProgram();
    ASSERT_TRUE(prog);
    EXPECT_EQ(prog->FullName(), copy);
    auto commands = prog->Commands();

    // The Y axis of LOC1 (index 8): walking back reaches the group start, which is presented.
    std::int32_t id1 = 0, id2 = 0;
    commands->Item(8)->GetUniqueId(id1, id2);
    auto c = commands->FindByUniqueId(id1, id2);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Dimension()->AxisLabel(), QStringLiteral("Y"));
    while (c->Dimension()->IsLocationAxis())
        c->GoPrevious();
    EXPECT_EQ(c->Type(), 1000);
    c->Present();
    EXPECT_TRUE(sim.waitForLog(QStringLiteral("present LOC1")));
    EXPECT_EQ(commands->FindByUniqueId(1, 2), nullptr);
    EXPECT_THROW(commands->Item(0)->GoPrevious(), HostError);

    auto comment = commands->Item(0)->Comment();
    EXPECT_EQ(comment->Line(2), QStringLiteral("Los 12, Erstmusterprüfung"));
    EXPECT_EQ(comment->Line(3), QString());
    EXPECT_EQ(comment->Line(40), QString());
    EXPECT_THROW(commands->Item(4)->Dimension()->Nominal(), HostError); // a move has no dimension

    prog->Save();
    EXPECT_TRUE(sim.waitForLog(QStringLiteral("save ") + copy));
    app->SetPlacement(10, 1.0);
    EXPECT_TRUE(sim.waitForLog(QStringLiteral("placement 10 1")));

    sim.stop();
    EXPECT_THROW(prog->PartName(), HostError); // the host is gone: an error of our own, no crash
}

namespace {

// Counts how deep event handlers nest; a handler reads the host while further events arrive.
struct Recorder : HostEventListener {
    std::vector<int> executed;
    std::vector<int> added;
    int ends = 0;
    int depth = 0;
    int maxDepth = 0;
    void OnObjectExecuted(std::shared_ptr<HostPartProgram>, std::shared_ptr<HostCommand> c) override {
        maxDepth = std::max(maxDepth, ++depth);
        executed.push_back(c->Type());
        c->IdText();
        --depth;
    }
    void OnEndExecution(std::shared_ptr<HostPartProgram>, int) override { ++ends; }
    void OnAddObject(std::shared_ptr<HostPartProgram>, std::shared_ptr<HostCommand> c) override {
        added.push_back(c->Type());
    }
};

} // namespace

TEST(Socket, EventsArriveInOrderAndNeverInsideAHandler) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--execute-on-subscribe"), kWelle}));
    auto app = connectToHost();
    ASSERT_TRUE(app);
    Recorder rec;
    auto events = app->Events();
    events->setListener(&rec);
    EXPECT_TRUE(sim.waitForLog(QStringLiteral("subscribe")));
    ASSERT_TRUE(spinUntil([&] { return rec.ends == 1; }));
    const sim::SimProgram file = sim::loadProgram(kWelle);
    ASSERT_EQ(rec.executed.size(), file.commands.size());
    for (std::size_t i = 0; i < file.commands.size(); ++i)
        EXPECT_EQ(rec.executed[i], file.commands[i].type);
    EXPECT_EQ(rec.maxDepth, 1);

    sim.write("add 6\n");
    ASSERT_TRUE(spinUntil([&] { return rec.added.size() == 1; }));
    EXPECT_EQ(rec.added[0], 1000);

    // Held events wait until the user action that holds them ends.
    {
        auto hold = holdHostEvents(app);
        sim.write("add 7\n");
        QThread::msleep(100);
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(rec.added.size(), 1u);
    }
    ASSERT_TRUE(spinUntil([&] { return rec.added.size() == 2; }));

    events.reset();
    EXPECT_TRUE(sim.waitForLog(QStringLiteral("unsubscribe")));
}

TEST(Socket, StopAfterEndsTheExecutionEarly) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--execute-on-subscribe"), QStringLiteral("--stop-after"),
                           QStringLiteral("3"), QStringLiteral("--delay-ms"), QStringLiteral("2"), kWelle}));
    auto app = connectToHost();
    Recorder rec;
    auto events = app->Events();
    events->setListener(&rec);
    ASSERT_TRUE(spinUntil([&] { return rec.ends == 1; }));
    EXPECT_EQ(rec.executed.size(), 3u);
}
