#include "SimServer.h"
#include "common/ReaderSetup.h"
#include "common/SimProcess.h"
#include "common/SimPrograms.h"
#include "hostlink/HostProtocol.h"
#include "hostlink/HostSnapshot.h"
#include "hostlink/HostSocketClient.h"
#include "hostlink/HostSocketPath.h"
#include "host/LiveUpdate.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <functional>
#include <limits>

using namespace host;

namespace {

const QString kWelle = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/Welle.PRG");

// The simulator's server on a thread of its own, over a host the test can change between reads.
class ServerThread {
public:
    explicit ServerThread(std::shared_ptr<sim::SimHost> host) {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        run([&] {
            m_server = std::make_unique<sim::SimServer>(std::move(host), sim::ServerOptions{});
            m_listening = m_server->listen(host::hostSocketPath(), nullptr);
        });
    }
    ~ServerThread() {
        run([&] { m_server.reset(); });
        m_thread.quit();
        m_thread.wait();
    }
    bool listening() const { return m_listening; }
    template <typename F> void run(F f) {
        QMetaObject::invokeMethod(&m_context, f, Qt::BlockingQueuedConnection);
    }

private:
    SimProcess m_folder; // never started: a socket folder of the test's own
    QThread m_thread;
    QObject m_context;
    std::unique_ptr<sim::SimServer> m_server;
    bool m_listening = false;
};

// Texts and numbers a snapshot must carry unchanged through the socket.
ProgramBuilder awkwardProgram() {
    QStringList lines;
    for (int i = 1; i <= 25; ++i)
        lines << QStringLiteral("Zeile %1").arg(i);
    lines[1] = QString();
    lines[2] = QStringLiteral("\"quoted\" back\\slash\ttab\r\nnew line \x01");
    lines[3] = QStringLiteral("Prüfmaß Ø 12 µm \U0001F4CF");
    ProgramBuilder b;
    b.comment(lines, 1, QStringLiteral("Kopf \"1\""))
        .assignment(QStringLiteral("Prüfer"), QStringLiteral("\"M. Keller\""))
        .move()
        .groupStart(1200, QStringLiteral("TP1"), QStringLiteral("CIR Ø1"), 1, 0)
        .axis(1209, QStringLiteral("TP1"), QStringLiteral("DF"),
              QJsonObject{{"bonus", 0.015}, {"datum1", "A"}, {"datum2", "B|C"}, {"datum3", "Ä"}}, true)
        .groupEnd(1201, QStringLiteral("TP1"))
        .single(1108, QStringLiteral("ANG1"),
                QJsonObject{{"measured", -0.0},
                            {"nominal", 1e-300},
                            {"max", 1.7e308},
                            {"min", -123456.789012345},
                            {"plusTol", 0.1 + 0.2},
                            {"length", 3.0},
                            {"units", 0},
                            {"outputMode", 3}},
                false)
        .add(QJsonObject{{"type", 1102},
                         {"id", "FL1"},
                         {"uniqueId", QJsonArray{-2147483647 - 1, 2147483647}},
                         {"fieldText169", "Zusatz \"169\""},
                         {"dimension", QJsonObject{{"name", "FL1"}}}});
    return b;
}

// What the program file cannot spell, set on the host's model directly: infinities, the smallest
// subnormal, a lone surrogate, extreme integers, a text longer than one socket read, all parts at once.
std::shared_ptr<sim::SimHost> awkwardHost() {
    auto host = awkwardProgram()
                    .add(QJsonObject{{"type", 191},
                                     {"id", "ALL"},
                                     {"dimension", QJsonObject{{"name", "ALL"}}},
                                     {"comment", QJsonObject{{"commentType", -7}, {"lines", QJsonArray{}}}},
                                     {"assignment", QJsonObject{{"name", ""}, {"value", "x"}}}})
                    .host();
    auto& commands = host->program()->commands;
    const auto ang =
        std::find_if(commands.begin(), commands.end(), [](const auto& c) { return c.id == "ANG1"; });
    sim::SimDimension& d = ang->dimension.value();
    d.bonus = std::numeric_limits<double>::infinity();
    d.deviation = -std::numeric_limits<double>::infinity();
    d.outTol = std::numeric_limits<double>::denorm_min();
    d.outputMode = std::numeric_limits<int>::min();
    d.units = std::numeric_limits<int>::max();
    d.feature3 = QString(QChar(0xD800)) + QStringLiteral("x") + QChar(0xDC00);
    commands[0].comment->text = QString(200000, QChar(0x20AC));
    return host;
}

struct Reading : ReaderSetup {
    ReaderState state{table, comments, context, header, {}, nullptr};

    void read(const std::shared_ptr<HostApplication>& app) {
        QString name;
        Verbinden(link, name, [app] { return app; }, texts, {});
        ASSERT_FALSE(name.isEmpty());
        MerkmaleLesen(link, state, store, texts, {});
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
        EXPECT_EQ(joinedLines(a.comments.block(x.KommentarIndex)), joinedLines(b.comments.block(y.KommentarIndex)));
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

TEST(Socket, EveryMemberReadsAsTheHostHoldsIt) {
    const std::shared_ptr<sim::SimHost> hosts[] = {
        sim::SimHost::create(sim::loadProgram(kWelle)),
        sim::SimHost::create(
            sim::loadProgram(QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/Flansch_inch.PRG"))),
        awkwardProgram().host(),
        awkwardHost(), // beyond JSON: snapshots only
    };
    struct Way {
        bool snapshots;
        int batchSize;
        int batchesAhead;
    };
    const Way ways[] = {{true, 5, 3}, {true, 1, 0}, {true, 1000, 3}, {false, 5, 0}};
    for (const auto& host : hosts) {
        SCOPED_TRACE(host->program()->path.toStdString());
        std::vector<CommandSnapshot> expected;
        for (int i = 0; i < host->commandCount(); ++i)
            expected.push_back(takeCommandSnapshot(*host->command(i)));
        const ProgramSnapshot expectedProgram = takeProgramSnapshot(*host->partProgram());

        ServerThread server(host);
        ASSERT_TRUE(server.listening());
        for (const Way& way : ways) {
            if (!way.snapshots && host == hosts[std::size(hosts) - 1])
                continue;
            SCOPED_TRACE(::testing::Message() << "snapshots " << way.snapshots << ", batch " << way.batchSize
                                              << ", ahead " << way.batchesAhead);
            ClientOptions options;
            options.snapshots = way.snapshots;
            options.batchSize = way.batchSize;
            options.batchesAhead = way.batchesAhead;
            auto app = connectToHost(options);
            ASSERT_TRUE(app);
            auto prog = app->ActivePartProgram();
            EXPECT_EQ(takeProgramSnapshot(*prog), expectedProgram);
            auto walk = prog->Commands()->Enumerate();
            for (std::size_t i = 0; i < expected.size(); ++i) {
                SCOPED_TRACE(i);
                auto c = walk->Next();
                ASSERT_TRUE(c);
                EXPECT_EQ(takeCommandSnapshot(*c), expected[i]);
            }
            EXPECT_EQ(walk->Next(), nullptr);
        }
    }
    // Lines past those a snapshot holds are asked of the host.
    ServerThread server(awkwardProgram().host());
    auto app = connectToHost();
    ASSERT_TRUE(app);
    auto comment = app->ActivePartProgram()->Commands()->Item(0)->Comment();
    EXPECT_EQ(comment->Line(kSnapshotCommentLines + 1), QStringLiteral("Zeile 22"));
    EXPECT_EQ(comment->Line(4), QStringLiteral("Prüfmaß Ø 12 µm \U0001F4CF"));
}

TEST(Socket, ASnapshotLastsUntilTheHostMayHaveChanged) {
    SimProcess folder;
    auto host = sim::SimHost::create(ProgramBuilder()
                                         .single(1102, QStringLiteral("FL1"), QJsonObject{{"measured", 0.1}})
                                         .single(1102, QStringLiteral("FL2"), QJsonObject{{"measured", 0.2}})
                                         .program(folder.dir() + QStringLiteral("/Test.PRG")));
    ServerThread server(host);
    auto app = connectToHost();
    ASSERT_TRUE(app);
    auto prog = app->ActivePartProgram();
    auto change = [&](const QString& partName, double first, double second) {
        server.run([&] {
            host->program()->partName = partName;
            host->program()->commands[0].dimension->measured = first;
            host->program()->commands[1].dimension->measured = second;
        });
    };

    auto walk = prog->Commands()->Enumerate();
    auto first = walk->Next();
    auto d = first->Dimension();
    EXPECT_EQ(prog->PartName(), QStringLiteral("Test"));
    EXPECT_EQ(d->Measured(), 0.1);
    change(QStringLiteral("Changed"), 1.1, 1.2);
    // Served from the snapshots: the host cannot have changed without telling.
    EXPECT_EQ(d->Measured(), 0.1);
    EXPECT_EQ(prog->PartName(), QStringLiteral("Test"));

    first->Present();
    EXPECT_EQ(d->Measured(), 1.1);
    EXPECT_EQ(walk->Next()->Dimension()->Measured(), 1.2); // the batch fetched before is stale too
    EXPECT_EQ(prog->PartName(), QStringLiteral("Changed"));

    change(QStringLiteral("Saved"), 2.1, 2.2);
    EXPECT_EQ(d->Measured(), 1.1);
    prog->Save();
    EXPECT_EQ(d->Measured(), 2.1);
    EXPECT_EQ(prog->PartName(), QStringLiteral("Saved"));
}

TEST(Socket, BatchesAskedAheadAreNotUsedOnceTheHostMayHaveChanged) {
    ProgramBuilder b;
    for (int i = 0; i < 40; ++i)
        b.single(1102, QStringLiteral("FL%1").arg(i), QJsonObject{{"measured", i}});
    auto host = b.host();
    ServerThread server(host);
    ClientOptions options;
    options.batchSize = 3;
    options.batchesAhead = 4;
    auto app = connectToHost(options);
    ASSERT_TRUE(app);
    auto walk = app->ActivePartProgram()->Commands()->Enumerate();
    auto first = walk->Next();
    EXPECT_EQ(first->Dimension()->Measured(), 0);
    server.run([&] {
        for (auto& c : host->program()->commands)
            c.dimension->measured += 100;
    });
    // The host has not said it changed; the first batch ends here, the next ones are asked for.
    EXPECT_EQ(walk->Next()->Dimension()->Measured(), 1);
    EXPECT_EQ(walk->Next()->Dimension()->Measured(), 2);
    first->Present();
    for (int i = 3; i < 40; ++i)
        EXPECT_EQ(walk->Next()->Dimension()->Measured(), 100 + i) << i;
    EXPECT_EQ(walk->Next(), nullptr);

    // A walk left halfway leaves no answers behind for the calls after it.
    auto left = app->ActivePartProgram()->Commands()->Enumerate();
    left->Next();
    left.reset();
    EXPECT_EQ(app->ActivePartProgram()->Commands()->Count(), 40);
    EXPECT_EQ(app->ActivePartProgram()->Commands()->Item(39)->Dimension()->Measured(), 139);
}

TEST(Socket, AClientLeavingWhileAnswersAreWrittenLeavesTheHostServing) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/Large_10000.PRG")}));
    ClientOptions options;
    options.batchesAhead = 30;
    for (int i = 0; i < 3; ++i) {
        auto app = connectToHost(options);
        ASSERT_TRUE(app);
        ASSERT_TRUE(app->ActivePartProgram()->Commands()->Enumerate()->Next());
    }
    auto app = connectToHost();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->ActivePartProgram()->Commands()->Count(), 10000);
}

TEST(Socket, AFrameThatDoesNotHoldWhatItSaysIsAnError) {
    auto host = awkwardHost();
    CommandFrameWriter writer;
    std::vector<CommandSnapshot> sent;
    for (int i = 0; i < host->commandCount(); ++i)
        writer.add(sent.emplace_back(takeCommandSnapshot(*host->command(i))));
    const QByteArray frame = writer.take();
    EXPECT_EQ(decodeCommandFrame(frame), sent);

    // Cut anywhere: within a number, a text's length, a text, between snapshots.
    for (qsizetype n = 0; n < frame.size(); n += n < 4096 ? 1 : 4093)
        EXPECT_THROW(decodeCommandFrame(QByteArrayView(frame).first(n)), HostError) << n;
    auto changed = [&](qsizetype at, char byte) {
        QByteArray f = frame;
        f[at] = byte;
        return f;
    };
    const QByteArray garbled[] = {
        frame + '\0',                // more than its snapshots
        changed(3, '\x7f'),          // more snapshots than the frame could hold
        changed(4, '\x40'),          // a part the format does not know
        changed(4 + 1 + 12, '\xff'), // the first text longer than the frame
    };
    for (const QByteArray& f : garbled)
        EXPECT_THROW(decodeCommandFrame(f), HostError);
}

namespace {

// A host that answers "app" and "count" as the simulator does, and "cmds" with the bytes given
// (the reply's id put in for "%1"), then ends the connection if told to.
class BrokenHost {
public:
    BrokenHost(QByteArray answer, bool close) {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        run([this, answer, close] {
            auto* server = new QLocalServer(&m_context);
            QObject::connect(server, &QLocalServer::newConnection, server, [server, answer, close] {
                QLocalSocket* s = server->nextPendingConnection();
                QObject::connect(s, &QLocalSocket::readyRead, s, [s, answer, close] {
                    while (s->canReadLine()) {
                        const QJsonObject r = QJsonDocument::fromJson(s->readLine()).object();
                        const QByteArray id = QByteArray::number(r.value("id").toInteger());
                        const QString op = r.value("op").toString();
                        if (op == QLatin1String(protocol::kCommands)) {
                            s->write(QByteArray(answer).replace("%1", id));
                            s->flush();
                            if (close)
                                s->disconnectFromServer();
                            return;
                        }
                        s->write("{\"re\":" + id + ",\"v\":" +
                                 (op == QLatin1String(protocol::kApp) ? "{\"hasProgram\":true}" : "3") +
                                 "}\n");
                    }
                });
            });
            server->listen(host::hostSocketPath());
        });
    }
    ~BrokenHost() {
        run([this] { qDeleteAll(m_context.children()); });
        m_thread.quit();
        m_thread.wait();
    }

private:
    template <typename F> void run(F f) {
        QMetaObject::invokeMethod(&m_context, f, Qt::BlockingQueuedConnection);
    }
    SimProcess m_folder;
    QThread m_thread;
    QObject m_context;
};

} // namespace

template <std::size_t N> QByteArray bytes(const char (&s)[N]) {
    return QByteArray(s, N - 1); // zero bytes included
}

TEST(Socket, ABrokenAnswerIsAnErrorNotAWait) {
    const QByteArray tooLarge = QByteArray::number(protocol::kMaxLineBytes + 1);
    // Whatever breaks the protocol ends the connection at once: waiting for more could only wait
    // for the time limit, and the next answer could not be trusted.
    const struct {
        const char* what;
        QByteArray answer;
        bool close;
        bool connectionEnds;
    } cases[] = {
        {"frame cut short", bytes("{\"re\":%1,\"bin\":100}\n\1\0\0\0\0\0"), true, true},
        {"not JSON", "{\"re\":%1,\"v\":[\n", false, true},
        {"no id", "{\"v\":1}\n", false, true},
        {"frame too large", "{\"re\":%1,\"bin\":" + tooLarge + "}\n", false, true},
        {"line without end", QByteArray(1000, ' '), true, true},
        {"frame of nonsense", bytes("{\"re\":%1,\"bin\":8}\n\1\0\0\0\xff\xff\xff\xff"), false, true},
        {"binary bytes, no line end", bytes("\x89PNG\r\x1a\0\0\0\rIHDR"), false, true},
        {"text that is not an answer", QByteArray(1000, 'x'), false, true},
        {"answer to another question", "{\"re\":999,\"bin\":0}\n", false, true},
        {"a value where a frame was asked", "{\"re\":%1,\"v\":3}\n", false, true},
        {"impossible command count", "{\"re\":%1,\"bin\":4}\n" + QByteArray::fromHex("ffffff7f"), false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BrokenHost host(c.answer, c.close);
        ClientOptions options;
        options.timeoutMs = 20000;
        auto app = connectToHost(options);
        ASSERT_TRUE(app);
        auto walk = app->ActivePartProgram()->Commands()->Enumerate();
        QElapsedTimer t;
        t.start();
        EXPECT_THROW(walk->Next(), HostError);
        EXPECT_LT(t.elapsed(), 5000);
        if (c.connectionEnds)
            EXPECT_THROW(app->ActivePartProgram(), HostError);
        else
            EXPECT_TRUE(app->ActivePartProgram());
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

TEST(Socket, OnlyAFolderOfTheUsersOwnHoldsTheSocket) {
    SimProcess folder; // TMPDIR of the test's own, XDG_RUNTIME_DIR cleared
    const QString mine = folder.dir() + QStringLiteral("/korvex-%1").arg(currentUser());
    // Missing: made, closed to everyone else.
    EXPECT_EQ(hostSocketPath(), mine + QStringLiteral("/VextorinKorvexWndClass"));
    EXPECT_EQ(QFileInfo(mine).permissions() & 0x0077, 0);

    const struct {
        const char* what;
        std::function<void()> make;
    } unsafe[] = {
        {"open to the group", [&] { QFile::setPermissions(mine, QFileDevice::Permissions(0x7750)); }},
        {"a link to a folder",
         [&] {
             QDir(mine).removeRecursively();
             QDir().mkdir(folder.dir() + QStringLiteral("/elsewhere"));
             QFile::link(folder.dir() + QStringLiteral("/elsewhere"), mine);
         }},
        {"a file",
         [&] {
             QFile::remove(mine);
             QFile f(mine);
             f.open(QIODevice::WriteOnly);
         }},
    };
    for (const auto& c : unsafe) {
        SCOPED_TRACE(c.what);
        c.make();
        try {
            hostSocketPath();
            ADD_FAILURE() << "accepted";
        } catch (const HostError& e) {
            EXPECT_EQ(e.fault(), HostFault::UnsafeFolder);
        }
    }
}
