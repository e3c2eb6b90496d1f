// The history on a real PostgreSQL server, started for these tests by pg_virtualenv (see
// with_postgres.sh); each test works in a database of its own.
#include "history/HistoryRuns.h"

#include <gtest/gtest.h>

#include <QThread>
#include <QUuid>

#include <csignal>

namespace {

const QString kExamples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/");

class Postgres : public HistoryRun {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("PGHOST") || qEnvironmentVariableIsEmpty("PGVERSION"))
            GTEST_SKIP() << "no PostgreSQL server: run through with_postgres.sh";
        HistoryRun::SetUp();
        database = QStringLiteral("h_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        psql(QStringLiteral("CREATE DATABASE %1").arg(database), QStringLiteral("postgres"));
        config.driver = history::HistorySettings::Driver::Postgres;
        config.host = qEnvironmentVariable("PGHOST");
        config.port = qEnvironmentVariableIntValue("PGPORT");
        config.database = database;
        config.user = qEnvironmentVariable("PGUSER");
        history::writeHistorySettings(store, config);
        // Parts stored by the test itself share the outbox of the runs.
        qputenv("XDG_DATA_HOME", settingsDirs.dataDir.toLocal8Bit());
        QCoreApplication::setApplicationName(QStringLiteral("doziduvov"));
    }
    void TearDown() override {
        if (!database.isEmpty())
            server(QStringLiteral("start"));
    }

    QString psql(const QString& sql, const QString& db = {}) {
        return output(QStringLiteral("psql"),
                      {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                       QStringLiteral("-F"), QStringLiteral("\t"), QStringLiteral("-d"),
                       db.isEmpty() ? database : db, QStringLiteral("-c"), sql});
    }
    // Stops or starts the cluster; starting a running one is fine.
    void server(const QString& action) {
        QProcess p;
        p.start(QStringLiteral("pg_ctlcluster"),
                {qEnvironmentVariable("PGVERSION"), QStringLiteral("regress"), action});
        p.waitForFinished(60000);
    }
    QStringList serverUuids() {
        return psql(QStringLiteral("SELECT part_uuid FROM part ORDER BY part_id"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList outboxUuids() {
        QStringList uuids;
        for (const auto& e : history::OutboxFolder(outbox()).entries())
            uuids << e.uuid;
        return uuids;
    }
    QString outbox() const { return settingsDirs.dataDir + QStringLiteral("/doziduvov/history-outbox"); }

    QString database;
    history::HistorySettings config;
};

} // namespace

TEST_F(Postgres, TwoUnattendedRunsLeaveTwoPartsEqualToTheirFiles) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    for (int k = 0; k < 2; ++k) {
        const ProcessRun r = doziduvov({QStringLiteral("/a")});
        ASSERT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    }
    expectEqualToAsciiFiles(psql(rowsQuery()) + psql(headerQuery()),
                            {QStringLiteral("Welle-0001.csv"), QStringLiteral("Welle-0002.csv")});
    EXPECT_TRUE(outboxUuids().isEmpty());
    EXPECT_EQ(psql(QStringLiteral("SELECT MAX(version) FROM schema_version")).trimmed(), QStringLiteral("2"));
    EXPECT_TRUE(output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("--history-db")})
                    .contains(QStringLiteral("PostgreSQL")));
}

TEST_F(Postgres, EightProcessesStoreFourHundredPartsNoneLostNoneTwice) {
    ASSERT_NO_FATAL_FAILURE(storeFromEightWritersAtOnce(180000));
    const QStringList uuids = serverUuids();
    EXPECT_EQ(uuids.size(), 400);
    EXPECT_EQ(QSet<QString>(uuids.begin(), uuids.end()).size(), 400);
    EXPECT_TRUE(outboxUuids().isEmpty());
    // On the server each writer's parts follow in the order it stored them.
    std::map<QString, int> next;
    for (const QString& line :
         psql(QStringLiteral("SELECT p.station, h.value FROM part p JOIN header_value h ON "
                             "h.part_id = p.part_id AND h.name = 'Seq' ORDER BY p.part_id"))
             .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        ASSERT_EQ(f.size(), 2);
        EXPECT_EQ(f[1].toInt(), ++next[f[0]]) << f[0].toStdString();
    }
    EXPECT_EQ(next.size(), 8u);
}

TEST_F(Postgres, ServerAwayPartsWaitAndTheNextRunDeliversThemInOrderOnce) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    // Make the schema, then take the server away.
    history::HistoryDatabase::openPostgres(config);
    server(QStringLiteral("stop"));
    for (int k = 0; k < 10; ++k) {
        const ProcessRun r = doziduvov({QStringLiteral("/a")});
        ASSERT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
        EXPECT_TRUE(r.stderrText.contains(QStringLiteral("Postausgang"))) << r.stderrText.toStdString();
    }
    const QStringList waiting = outboxUuids();
    ASSERT_EQ(waiting.size(), 10);
    server(QStringLiteral("start"));
    const ProcessRun r = doziduvov({QStringLiteral("/a")});
    ASSERT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    const QStringList delivered = serverUuids();
    ASSERT_EQ(delivered.size(), 11);
    EXPECT_EQ(delivered.mid(0, 10), waiting);
    EXPECT_TRUE(outboxUuids().isEmpty());
    // A later delivery finds nothing left to send.
    EXPECT_EQ(
        output(QStringLiteral(DOZIDUVOV_BIN_DIR "/history-writer"), {QStringLiteral("deliver")}).trimmed(),
        QStringLiteral("0"));
    EXPECT_EQ(serverUuids().size(), 11);
}

TEST_F(Postgres, AWrongPasswordIsSaidAsSuchAndThePartWaits) {
    history::HistoryDatabase::openPostgres(config); // the schema, with the right password
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const ProcessRun r =
        doziduvov({QStringLiteral("/a")}, {{QStringLiteral("PGPASSWORD"), QStringLiteral("wrong")}});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("Anmeldung abgelehnt"))) << r.stderrText.toStdString();
    EXPECT_FALSE(r.stderrText.contains(QStringLiteral("antwortet nicht"))) << r.stderrText.toStdString();
    EXPECT_EQ(outboxUuids().size(), 1);
    EXPECT_TRUE(serverUuids().isEmpty());
}

TEST_F(Postgres, AProcessKilledDuringDeliveryDeliversNothingTwice) {
    history::HistoryDatabase::openPostgres(config);
    server(QStringLiteral("stop"));
    const int parts = 40;
    const int rows = 3000;
    output(QStringLiteral(DOZIDUVOV_BIN_DIR "/history-writer"),
           {QStringLiteral("store"), QString::number(parts), QStringLiteral("big"), QString::number(rows)});
    const QStringList waiting = outboxUuids();
    ASSERT_EQ(waiting.size(), parts);
    server(QStringLiteral("start"));

    auto deliverer = startWriter({QStringLiteral("deliver")});
    auto watcher = history::HistoryDatabase::openPostgres(config);
    QElapsedTimer clock;
    clock.start();
    while (watcher->partCount() < 2 && clock.elapsed() < 60000)
        QThread::msleep(5);
    ::kill(static_cast<pid_t>(deliverer->processId()), SIGKILL);
    deliverer->waitForFinished(10000);
    const int before = watcher->partCount();
    EXPECT_GE(before, 2);
    EXPECT_LT(before, parts) << "the delivery ended before it could be cut off";

    // The part whose removal from the outbox was cut off goes again and is taken once.
    output(QStringLiteral(DOZIDUVOV_BIN_DIR "/history-writer"), {QStringLiteral("deliver")});
    EXPECT_EQ(serverUuids(), waiting);
    EXPECT_EQ(psql(QStringLiteral("SELECT COUNT(*) FROM measurement")).trimmed().toInt(), parts * rows);
    EXPECT_TRUE(outboxUuids().isEmpty());
}

namespace {

history::Part smallPart(const QString& note) {
    history::Part p;
    p.uuid = history::makeUuid();
    p.programName = QStringLiteral("Bounded");
    p.measuredUtc = QDateTime::currentDateTimeUtc();
    p.header = {{QStringLiteral("Note"), note}};
    history::StoredRow row;
    row.id = QStringLiteral("C1");
    row.axis = QStringLiteral("X");
    row.measured = 1.0;
    p.rows.push_back(row);
    return p;
}

} // namespace

TEST_F(Postgres, AVersionOneDatabaseIsMigratedInPlace) {
    psql(schemaVersionOne(true));
    expectMigratedFromVersionOne(*history::HistoryDatabase::openPostgres(config));
    EXPECT_EQ(psql(QStringLiteral("SELECT pg_typeof(measured_at) FROM part LIMIT 1")).trimmed(),
              QStringLiteral("timestamp with time zone"));
    // The dashboards' view compares times as times, across zones.
    EXPECT_EQ(psql(QStringLiteral("SELECT COUNT(*) FROM measurement_value WHERE measured_at > "
                                  "'2026-03-01 10:30:00+01'"))
                  .trimmed(),
              QStringLiteral("4"));
}

TEST_F(Postgres, ALockedTableOrAStoppedServerEndsTheStoreInTimeAndThePartComesLater) {
    config.deliverySeconds = 2;
    history::writeHistorySettings(store, config);
    history::HistoryDatabase::openPostgres(config);
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));

    // A whole run while another session holds the table.
    QProcess locker;
    locker.start(QStringLiteral("psql"),
                 {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-d"), database});
    ASSERT_TRUE(locker.waitForStarted());
    locker.write("BEGIN; LOCK TABLE measurement IN ACCESS EXCLUSIVE MODE; SELECT 'locked';\n");
    ASSERT_TRUE(locker.waitForReadyRead(10000));
    QElapsedTimer clock;
    clock.start();
    ProcessRun r = doziduvov({QStringLiteral("/a")});
    const qint64 lockedRunMs = clock.elapsed();
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("Postausgang"))) << r.stderrText.toStdString();
    EXPECT_LT(lockedRunMs, 2000 + 4000);
    EXPECT_EQ(outboxUuids().size(), 1);
    locker.closeWriteChannel();
    locker.waitForFinished(10000);

    // A server process stopped after the connection was made: the store ends at the deadline.
    history::History h(config);
    ASSERT_TRUE(h.store(smallPart(QStringLiteral("first"))).stored); // delivers the waiting run too
    const QString pid =
        psql(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE application_name = 'doziduvov'"))
            .trimmed();
    ASSERT_FALSE(pid.isEmpty() || pid.contains(QLatin1Char('\n'))) << pid.toStdString();
    ::kill(pid.toInt(), SIGSTOP);
    clock.restart();
    const auto stalled = h.store(smallPart(QStringLiteral("second")));
    const qint64 stalledMs = clock.elapsed();
    ::kill(pid.toInt(), SIGCONT);
    EXPECT_TRUE(stalled.queued);
    EXPECT_LT(stalledMs, 2000 + 1000);

    // The next delivery brings everything, once.
    EXPECT_EQ(h.deliverOutbox(), 1);
    EXPECT_EQ(serverUuids().size(), 3);
    EXPECT_TRUE(outboxUuids().isEmpty());
}

TEST_F(Postgres, ARefusedPartIsSetAsideAndThePartsBehindItArrive) {
    history::HistoryDatabase::openPostgres(config);
    psql(QStringLiteral("ALTER TABLE header_value ADD CONSTRAINT no_refusal CHECK (value <> 'refuse me')"));
    history::History h(config);
    const history::Part refused = smallPart(QStringLiteral("refuse me"));
    const auto first = h.store(refused);
    EXPECT_TRUE(first.setAside);
    ASSERT_EQ(first.refused.size(), 1u);
    EXPECT_TRUE(first.refused[0].reason.contains(QStringLiteral("no_refusal")))
        << first.refused[0].reason.toStdString();
    // A NUL in a text is no reason to refuse: it is stored without it.
    const history::Part good = smallPart(QStringLiteral("with") + QChar(u'\0') + QStringLiteral("nul"));
    EXPECT_TRUE(h.store(good).stored);
    EXPECT_EQ(serverUuids(), QStringList{good.uuid});
    EXPECT_EQ(psql(QStringLiteral("SELECT value FROM header_value")).trimmed(), QStringLiteral("withnul"));

    const QString listed =
        output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("--history-outbox")});
    EXPECT_TRUE(listed.startsWith(refused.uuid + QStringLiteral("\tBounded\t"))) << listed.toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral("\tset aside\t"))) << listed.toStdString();
    psql(QStringLiteral("ALTER TABLE header_value DROP CONSTRAINT no_refusal"));
    output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("--history-retry")});
    EXPECT_EQ(serverUuids(), (QStringList{good.uuid, refused.uuid}));
    EXPECT_TRUE(outboxUuids().isEmpty());
}

TEST_F(Postgres, TheWriterRoleStoresButChangesNothingAndTheReaderOnlyReads) {
    output(QStringLiteral("psql"),
           {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
            QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), database, QStringLiteral("-f"),
            QStringLiteral(DOZIDUVOV_SOURCE_DIR "/docs/history-roles.sql")});
    EXPECT_TRUE(output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("--history-setup")})
                    .contains(QStringLiteral("schema version 2")));
    psql(QStringLiteral(
        "ALTER ROLE doziduvov_writer PASSWORD 'w1'; ALTER ROLE doziduvov_reader PASSWORD 'r1'"));
    // As each role, in a process of its own: does the statement pass?
    const auto passes = [this](const char* role, const char* password, const QString& sql) {
        QProcess p;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("PGUSER"), QString::fromLatin1(role));
        env.insert(QStringLiteral("PGPASSWORD"), QString::fromLatin1(password));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                                         QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), database,
                                         QStringLiteral("-c"), sql});
        return p.waitForFinished(30000) && p.exitCode() == 0;
    };
    history::HistorySettings writer = config;
    writer.user = QStringLiteral("doziduvov_writer");
    const QByteArray ownPassword = qgetenv("PGPASSWORD");
    qputenv("PGPASSWORD", "w1");
    const auto stored = history::History(writer).store(smallPart(QStringLiteral("by the writer")));
    qputenv("PGPASSWORD", ownPassword);
    EXPECT_TRUE(stored.stored) << stored.serverProblem.toStdString();
    EXPECT_EQ(serverUuids().size(), 1);
    EXPECT_FALSE(passes("doziduvov_writer", "w1", QStringLiteral("DELETE FROM header_value")));
    EXPECT_FALSE(passes("doziduvov_writer", "w1", QStringLiteral("UPDATE measurement SET measured = 0")));
    EXPECT_TRUE(passes("doziduvov_reader", "r1", QStringLiteral("SELECT COUNT(*) FROM measurement_value")));
    EXPECT_FALSE(passes("doziduvov_reader", "r1",
                        QStringLiteral("INSERT INTO characteristic (program_name, "
                                       "characteristic_id, axis) VALUES ('a', 'b', 'c')")));
}
