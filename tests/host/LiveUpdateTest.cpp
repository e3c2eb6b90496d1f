#include "host/LiveUpdate.h"
#include "common/ReaderSetup.h"
#include "common/SimPrograms.h"

#include <gtest/gtest.h>

using namespace host;

namespace {

// The online reception as the main window wires it: a subscription whose events go to the live
// update, and an end that classifies and lets go of the subscription.
struct Online : HostEventListener, ReaderSetup {
    ReaderState state{table, comments, context, header, {}, &link};
    LiveUpdate live{state, {}};
    std::shared_ptr<HostApplicationEvents> events;
    int ended = 0;

    void start(const std::shared_ptr<HostApplication>& app, int capacity = -1) {
        QString name;
        Verbinden(link, name, [app] { return app; }, texts, {});
        table.TeileProgrammName = name;
        PrepareReader(state, store, capacity < 0 ? link.commands->Count() : capacity);
        table.TeileProgrammName = name;
        state.hostVersion = app->Version();
        live.fctEndProgram = [this] {
            ++ended;
            ClassifyWithStoredLimit(table, store);
            events.reset(); // reception off
        };
        events = app->Events();
        events->setListener(this);
    }
    void OnObjectExecuted(std::shared_ptr<HostPartProgram> p, std::shared_ptr<HostCommand> c) override {
        KvxEvents_OnObjectExecuted(live, p, c);
    }
    void OnEndExecution(std::shared_ptr<HostPartProgram> p, int t) override {
        KvxEvents_OnEndExecution(live, p, t);
    }
    void OnAddObject(std::shared_ptr<HostPartProgram>, std::shared_ptr<HostCommand>) override {}
};

ProgramBuilder program() {
    ProgramBuilder b;
    b.comment({"Bohrung"})
        .groupStart(1000, "LOC1", "CIR1")
        .axis(1002, "LOC1", "X", QJsonObject{{"outTol", 0.1}})
        .axis(1003, "LOC1", "Y")
        .groupEnd(1001, "LOC1")
        .single(1102, "FL1");
    return b;
}

} // namespace

TEST(LiveUpdate, ExecutionBuildsTheSameRowsAsAnOfflineRead) {
    auto host = program().host();
    Online o;
    o.start(host->application());
    host->executeProgram();
    EXPECT_EQ(o.ended, 1);
    ASSERT_EQ(o.table.AnzMerkmale, 3);
    EXPECT_EQ(o.table.row(1).ID, QStringLiteral("LOC1"));
    EXPECT_EQ(joinedLines(o.comments.block(o.table.row(1).KommentarIndex)), QStringLiteral("Bohrung"));
    EXPECT_EQ(o.table.row(3).ID, QStringLiteral("FL1"));
    EXPECT_EQ(o.table.AnzOOT, 1);
    EXPECT_FALSE(host->hasSubscribers());
}

TEST(LiveUpdate, PartialExecutionAndOtherProgramsEvents) {
    auto host = program().host();
    Online o;
    o.start(host->application());
    host->executeProgram(3); // start, comment and the X axis only
    EXPECT_EQ(o.table.AnzMerkmale, 1);

    Online other;
    other.start(host->application());
    other.table.TeileProgrammName = QStringLiteral("/elsewhere/Other");
    host->executeProgram();
    EXPECT_EQ(other.table.AnzMerkmale, 0);
    EXPECT_EQ(other.ended, 0);
}

TEST(LiveUpdate, EekCommentEndsTheEvaluationExactly) {
    for (const char* text : {"EEK", "eek"}) {
        ProgramBuilder b = program();
        b.comment({}, 3, QString::fromLatin1(text)).single(1101, "RD1");
        // The EEK comment sits before the last dimension (index 6), so RD1 comes after it.
        QJsonObject doc = b.document();
        QJsonArray cmds = doc.value("commands").toArray();
        cmds.insert(5, cmds.takeAt(6));
        doc.insert("commands", cmds);
        auto host = sim::SimHost::create(sim::parseProgram(doc, "/tmp/Test.PRG"));
        Online o;
        o.start(host->application());
        host->executeProgram();
        if (QByteArray(text) == "EEK") {
            EXPECT_EQ(o.ended, 1);
            EXPECT_EQ(o.table.AnzMerkmale, 2); // later commands reach nobody
        } else {
            EXPECT_EQ(o.ended, 1); // the end of the execution
            EXPECT_EQ(o.table.AnzMerkmale, 4);
        }
    }
}

TEST(LiveUpdate, RepeatedExecutionLosesNoRowBeyondTheCapacity) {
    auto host = program().host();
    Online o;
    o.start(host->application(), 2);
    o.live.fctEndProgram = [] {}; // stays on, as if the host ran the program again
    host->executeProgram();
    host->executeProgram();
    EXPECT_EQ(o.table.AnzMerkmale, 6);
    EXPECT_EQ(o.table.row(6).ID, QStringLiteral("FL1"));
    EXPECT_EQ(joinedLines(o.comments.block(o.table.row(4).KommentarIndex)), QStringLiteral("Bohrung"));
}
