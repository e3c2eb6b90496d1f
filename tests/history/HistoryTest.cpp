// The history on real SQLite files: the schema read back by an independent reader, series and
// filters, concurrency of many processes, the capability figures, the command line.
#include "history/HistoryChart.h"
#include "history/HistoryRuns.h"
#include "run/CommandLine.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>
#include <numeric>

namespace {

const QString kExamples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/");

history::Part makePart(const QString& program, const QDateTime& t, double measured, const QString& order) {
    history::Part p;
    p.uuid = history::makeUuid();
    p.programName = program;
    p.measuredUtc = t;
    p.header = {{QStringLiteral("Auftrag"), order}, {QStringLiteral("Prüfer"), QStringLiteral("M. Keller")}};
    history::StoredRow a;
    a.id = QStringLiteral("LOC1");
    a.axis = QStringLiteral("X");
    a.nominal = 10;
    a.upperTol = 0.1;
    a.lowerTol = -0.1;
    a.measured = measured;
    history::StoredRow b = a;
    b.axis = QStringLiteral("Y");
    b.measured = -measured;
    b.classification = history::Classification::OutOfTolerance;
    p.rows = {a, b};
    return p;
}

} // namespace

TEST(HistoryDatabase, StoresOncePerUuidAndReadsTheSeriesBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("h.sqlite"));
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    history::Part first = makePart(QStringLiteral("Welle"), t0, 10.01, QStringLiteral("4711"));
    {
        auto db = history::HistoryDatabase::openSqlite(file);
        EXPECT_TRUE(db->storePart(first));
        EXPECT_FALSE(db->storePart(first)) << "the same part twice";
        for (int k = 1; k < 10; ++k)
            db->storePart(
                makePart(QStringLiteral("Welle"), t0.addSecs(3600 * k), 10 + k / 100.0, QString::number(k)));
        db->storePart(makePart(QStringLiteral("Flansch"), t0, 5, QString()));
    }
    // A second connection (a later run) sees what the first committed, with the version kept.
    auto db = history::HistoryDatabase::openSqlite(file);
    EXPECT_EQ(db->schemaVersion(), 2);
    EXPECT_EQ(db->partCount(), 11);
    EXPECT_EQ(db->programs(), (QStringList{QStringLiteral("Flansch"), QStringLiteral("Welle")}));
    const auto keys = db->characteristics(QStringLiteral("Welle"));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].text(), QStringLiteral("LOC1.X"));
    EXPECT_EQ(keys[1].text(), QStringLiteral("LOC1.Y"));

    const history::Series all = db->series(QStringLiteral("Welle"), keys[1]);
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[0].partUuid, first.uuid);
    EXPECT_EQ(all[0].measuredUtc, t0);
    EXPECT_DOUBLE_EQ(all[0].measured, -10.01);
    EXPECT_EQ(all[0].classification, history::Classification::OutOfTolerance);
    EXPECT_EQ(all[0].header, first.header);
    EXPECT_EQ(db->headerOf(first.uuid), first.header);
    EXPECT_EQ(all[9].header[0].second, QStringLiteral("9"));

    struct Case {
        const char* name;
        history::SeriesFilter filter;
        std::vector<int> hours; // the parts expected, by hour after t0
    };
    const std::vector<Case> cases = {
        {"since", {t0.addSecs(7 * 3600), {}, {}}, {7, 8, 9}},
        {"until", {{}, t0.addSecs(3600), {}}, {0, 1}},
        {"range and last N", {t0.addSecs(2 * 3600), t0.addSecs(6 * 3600), 2}, {5, 6}},
        {"last N beyond the count", {{}, {}, 50}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"last zero", {{}, {}, 0}, {}},
        {"since in another zone",
         {QDateTime(QDate(2026, 3, 1), QTime(17, 0), QTimeZone(3600 * 9)), {}, {}},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Case& c : cases) {
        std::vector<int> hours;
        for (const history::SeriesPoint& p : db->series(QStringLiteral("Welle"), keys[0], c.filter))
            hours.push_back(static_cast<int>(t0.secsTo(p.measuredUtc) / 3600));
        EXPECT_EQ(hours, c.hours) << c.name;
    }
    EXPECT_TRUE(db->series(QStringLiteral("Welle"), {QStringLiteral("LOC9"), QStringLiteral("X")}).empty());
}

TEST(HistoryOutbox, ARecordDeliversEveryValueExactlyAndADamagedOneIsSetAside) {
    QTemporaryDir dir;
    const history::OutboxFolder box(dir.filePath(QStringLiteral("outbox")));
    auto target = history::HistoryDatabase::openSqlite(dir.filePath(QStringLiteral("h.sqlite")));
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0, 0, 123), Qt::UTC);
    history::Part exact = makePart(QStringLiteral("Welle ü 🔧"), t0, 0.1 + 0.2, QStringLiteral("47\u000011"));
    const double values[] = {-0.0, 5e-324, 1.7976931348623157e308, std::nextafter(1.0, 2.0),
                             -123456.789012345678};
    for (double v : values) {
        history::StoredRow r = exact.rows[0];
        r.id = QStringLiteral("P%1").arg(exact.rows.size());
        r.nominal = r.upperTol = r.lowerTol = r.measured = r.deviation = r.outTol = r.min = r.max = v;
        r.unit = QStringLiteral("µm");
        r.hostUniqueId1 = -2147483647 - 1;
        exact.rows.push_back(r);
    }
    const history::Part damaged = makePart(QStringLiteral("Welle"), t0, 1, {});
    const history::Part behind = makePart(QStringLiteral("Welle"), t0.addSecs(60), 2, {});
    for (const history::Part& p : {exact, damaged, behind})
        box.add(p);
    const QStringList files = QDir(dir.filePath(QStringLiteral("outbox"))).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 3) << files.join(QLatin1Char(' ')).toStdString(); // no temporary left
    QFile cut(dir.filePath(QStringLiteral("outbox/") + files.filter(damaged.uuid).value(0)));
    ASSERT_TRUE(cut.resize(200)); // the program and time at its head are whole
    std::vector<history::Refusal> refused;
    EXPECT_EQ(box.deliverTo(*target, {}, &refused), 2);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].uuid, damaged.uuid);
    EXPECT_EQ(target->partUuids(), (QStringList{exact.uuid, behind.uuid}));
    const history::Series s = target->series(exact.programName, {QStringLiteral("P6"), QStringLiteral("X")});
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].measuredUtc, t0);
    EXPECT_EQ(s[0].header, (history::HeaderData{{QStringLiteral("Auftrag"), QStringLiteral("4711")},
                                                {QStringLiteral("Prüfer"), QStringLiteral("M. Keller")}}));
    for (const auto& [index, value] :
         {std::pair{2, values[0]}, {3, values[1]}, {4, values[2]}, {5, values[3]}, {6, values[4]}}) {
        const history::Series v =
            target->series(exact.programName, {QStringLiteral("P%1").arg(index), QStringLiteral("X")});
        ASSERT_EQ(v.size(), 1u);
        for (double got : {v[0].measured, v[0].nominal, v[0].upperTol, v[0].lowerTol})
            EXPECT_EQ(got, value); // exact; SQLite keeps -0 as 0
    }
    const auto entries = box.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].program, damaged.programName);
    EXPECT_TRUE(entries[0].setAsideBecause.value_or(QString()).contains(QStringLiteral("damaged")));
    EXPECT_EQ(box.retrySetAside(), 1);
    EXPECT_TRUE(box.hasWaiting());
}

TEST(HistoryDatabase, RefusesASchemaNewerThanItKnows) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("h.sqlite"));
    history::HistoryDatabase::openSqlite(file);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (99)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    EXPECT_THROW(history::HistoryDatabase::openSqlite(file), history::HistoryError);
    // A folder where the file should be: an error, not a crash.
    EXPECT_THROW(history::HistoryDatabase::openSqlite(dir.path()), history::HistoryError);
}

TEST(HistoryCommandLine, OptionsAndMistakes) {
    using A = run::CommandLine::Action;
    struct Case {
        QStringList words;
        A action;
        QString program, characteristic;
        QString since; // ISO UTC
    };
    const std::vector<Case> cases = {
        {{"--history", "Welle"}, A::History, "Welle", "", ""},
        {{"--history", "Welle", "LOC1.X", "--since", "2026-03-01"},
         A::History,
         "Welle",
         "LOC1.X",
         "2026-03-01T00:00:00Z"},
        {{"--since", "2026-03-01T10:00:00+02:00", "--history", "Welle"},
         A::History,
         "Welle",
         "",
         "2026-03-01T08:00:00Z"},
        {{"--history-db"}, A::HistoryDb, "", "", ""},
        {{"--history"}, A::Error, "", "", ""},
        {{"--history", "Welle", "A", "B"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--since"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--since", "yesterday"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--last", "3"}, A::Error, "", "", ""},
        {{"--history-db", "Welle"}, A::Error, "", "", ""},
        {{"--history-outbox"}, A::HistoryOutbox, "", "", ""},
        {{"--history-retry", "-q"}, A::HistoryRetry, "", "", ""},
        {{"--history-retry", "--history-outbox"}, A::Error, "", "", ""},
        {{"--history-deliver"}, A::HistoryDeliver, "", "", ""},
        {{"--history-deliver", "Welle"}, A::Error, "", "", ""},
        {{"--history-outbox", "--since", "2026-03-01"}, A::Error, "", "", ""},
        {{"--history-prune", "--before", "2026-03-01"}, A::HistoryPrune, "", "", ""},
        {{"--history-prune"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--before", "2026-03-01"}, A::Error, "", "", ""},
        {{"--history-backup", "copy.sqlite"}, A::HistoryBackup, "", "", ""},
        {{"--history-backup"}, A::Error, "", "", ""},
        {{"--history-setup"}, A::HistorySetup, "", "", ""},
        {{"/a", "--history", "Welle"}, A::History, "/a", "Welle", ""},
        {{"--history", "Welle", "LOC1.X", "--capability", "--subgroup", "5"},
         A::History,
         "Welle",
         "LOC1.X",
         ""},
        {{"--history", "Welle", "--control-limits", "--chart", "xbar-s", "--subgroup", "3"},
         A::History,
         "Welle",
         "",
         ""},
        {{"--history", "Welle", "--capability", "--control-limits"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--subgroup", "5"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--capability", "--subgroup", "26"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--capability", "--subgroup", "zwei"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--capability", "--chart", "xbar-r"}, A::Error, "", "", ""},
        {{"--history", "Welle", "--capability", "--chart", "i-mr", "--subgroup", "4"}, A::Error, "", "", ""},
        {{"--history-outbox", "--capability"}, A::Error, "", "", ""},
    };
    for (const Case& c : cases) {
        const run::CommandLine r = run::parseCommandLine(c.words);
        const std::string what = c.words.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.action, c.action) << what;
        if (c.action != A::History)
            continue;
        EXPECT_EQ(r.historyProgram, c.program) << what;
        EXPECT_EQ(r.historyCharacteristic, c.characteristic) << what;
        EXPECT_EQ(r.historySince ? r.historySince->toUTC().toString(Qt::ISODate) : QString(), c.since)
            << what;
    }
    // Subgroups are judged by their range up to nine parts, beyond by their standard deviation.
    for (const auto& [words, spread] : std::vector<std::pair<QStringList, bool>>{
             {{"--history", "W", "--capability", "--subgroup", "9"}, false},
             {{"--history", "W", "--capability", "--subgroup", "10"}, true},
             {{"--history", "W", "--capability", "--subgroup", "10", "--chart", "xbar-r"}, false},
             {{"--history", "W", "--capability", "--subgroup", "3", "--chart", "xbar-s"}, true}})
        EXPECT_EQ(run::parseCommandLine(words).historySubgroupSpread, spread)
            << words.join(' ').toStdString();
}

using HistorySqlite = HistoryRun;

TEST_F(HistorySqlite, TwoUnattendedRunsLeaveTwoPartsEqualToTheirFiles) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    for (int k = 0; k < 2; ++k) {
        const ProcessRun r = doziduvov({QStringLiteral("/a")});
        ASSERT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    }
    deliverNow();
    const QString file = settingsDirs.dataDir + QStringLiteral("/doziduvov/history.sqlite");
    ASSERT_TRUE(QFile::exists(file));
    const QString script = QStringLiteral("import sqlite3,sys\nc=sqlite3.connect(sys.argv[1])\n"
                                          "for q in sys.argv[2:]:\n"
                                          "    for r in c.execute(q): print('\\t'.join(repr(x) if "
                                          "isinstance(x,float) else str(x) for x in r))\n");
    const QString out = output(QStringLiteral("/usr/bin/python3"),
                               {QStringLiteral("-c"), script, file, rowsQuery(), headerQuery()});
    expectEqualToAsciiFiles(out, {QStringLiteral("Welle-0001.csv"), QStringLiteral("Welle-0002.csv")});

    // The same values for scripts, and the database in use.
    const ProcessRun bad = doziduvov({QStringLiteral("--history"), QStringLiteral("Nabe")});
    EXPECT_EQ(bad.exitCode, 1);
    const QString csv =
        output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"),
               {QStringLiteral("--history"), QStringLiteral("Welle"), QStringLiteral("LOC1.X")});
    const QStringList lines = csv.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << csv.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("program,characteristic,part,time_utc,measured,")))
        << csv.toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Welle,LOC1.X,"))) << csv.toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",0.01235,"))) << csv.toStdString();
    EXPECT_TRUE(output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("--history-db")})
                    .contains(file));
}

// What a script asks of a stored series: the figures and the control limits, against the same
// formulas worked out independently by Python on the same values.
TEST_F(HistorySqlite, CapabilityAndControlLimitsForScripts) {
    QDir().mkpath(settingsDirs.dataDir + QStringLiteral("/doziduvov"));
    auto db = history::HistoryDatabase::openSqlite(settingsDirs.dataDir +
                                                   QStringLiteral("/doziduvov/history.sqlite"));
    QStringList diameter, flatness;
    for (int k = 0; k < 40; ++k) {
        history::Part p;
        p.uuid = history::makeUuid();
        p.programName = QStringLiteral("Bohrung");
        p.measuredUtc = QDateTime(QDate(2026, 3, 2), QTime(6, 0), Qt::UTC).addSecs(600 * k);
        // Full double precision; part 31 far out of the process.
        const double d =
            10.0 + 0.004 * std::sin(1.7 * k) + 0.002 * std::cos(0.3 * k) + (k == 30 ? 0.03 : 0.0);
        const double f = 0.005 + 0.001 * std::sin(0.9 * k + 0.4) / 3.0;
        for (const auto& [id, type, nominal, upper, lower, value] :
             {std::tuple{"D1", "DIAMETER", 10.0, 0.05, -0.05, d},
              std::tuple{"F1", "FLATNESS", 0.0, 0.02, 0.0, f}}) {
            history::StoredRow r;
            r.id = QString::fromLatin1(id);
            r.axis = QStringLiteral("X");
            r.type = QString::fromLatin1(type);
            r.nominal = nominal;
            r.upperTol = upper;
            r.lowerTol = lower;
            r.measured = value;
            p.rows.push_back(r);
        }
        diameter << QString::number(d, 'g', 17);
        flatness << QString::number(f, 'g', 17);
        ASSERT_TRUE(db->storePart(p));
    }
    db.reset();
    const QString exe = QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov");
    const auto csv = [](const QString& text) {
        std::vector<QStringList> rows;
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            rows.push_back(line.split(QLatin1Char(',')));
        return rows;
    };
    const auto column = [](const std::vector<QStringList>& rows, const char* name) {
        return rows.at(0).indexOf(QString::fromLatin1(name));
    };
    const std::vector<QStringList> cap = csv(output(exe, {"--history", "Bohrung", "--capability"}));
    const std::vector<QStringList> sub =
        csv(output(exe, {"--history", "Bohrung", "D1.X", "--capability", "--subgroup", "5"}));
    const std::vector<QStringList> lim =
        csv(output(exe, {"--history", "Bohrung", "D1.X", "--control-limits"}));
    ASSERT_EQ(cap.size(), 3u);
    ASSERT_EQ(sub.size(), 2u);
    const QString script = QStringLiteral(
        "import statistics as st,sys\n"
        "d=[float(x) for x in sys.argv[1].split()];f=[float(x) for x in sys.argv[2].split()]\n"
        "def mr(v): return st.mean(abs(a-b) for a,b in zip(v,v[1:]))/1.128\n"
        "m,s,w=st.mean(d),st.stdev(d),mr(d)\n"
        "g=[d[i:i+5] for i in range(0,40,5)];r=st.mean(max(x)-min(x) for x in g)/2.326\n"
        "fm,fs,fw=st.mean(f),st.stdev(f),mr(f)\n"
        "print(*map(repr,[m,s,w,0.1/(6*s),min(10.05-m,m-9.95)/(3*s),0.1/(6*w),min(10.05-m,m-9.95)/(3*w),"
        "min(10.05-m,m-9.95)/(3*r),(0.02-fm)/(3*fs),(0.02-fm)/(3*fw),m+3*w,m-3*w,3.267*w*1.128]))\n");
    const QStringList want = output(QStringLiteral("/usr/bin/python3"),
                                    {QStringLiteral("-c"), script, diameter.join(' '), flatness.join(' ')})
                                 .split(QLatin1Char(' '));
    ASSERT_EQ(want.size(), 13);
    const auto near = [&](const QString& got, int k, const char* what) {
        EXPECT_NEAR(got.toDouble(), want[k].toDouble(), 1e-9 * std::fabs(want[k].toDouble())) << what;
    };
    const QStringList& d1 = cap[1];
    const QStringList& f1 = cap[2];
    EXPECT_EQ(d1[1], QStringLiteral("D1.X"));
    EXPECT_EQ(d1[column(cap, "n")], QStringLiteral("40"));
    const std::pair<const char*, int> figures[] = {{"mean", 0}, {"s_overall", 1}, {"s_within", 2}, {"Pp", 3},
                                                   {"Ppk", 4},  {"Cp", 5},        {"Cpk", 6}};
    for (const auto& [name, k] : figures)
        near(d1[column(cap, name)], k, name);
    EXPECT_EQ(d1[column(cap, "within_method")], QStringLiteral("moving range"));
    near(sub[1][column(sub, "Cpk")], 7, "Cpk of subgroups of 5");
    EXPECT_EQ(sub[1][column(sub, "within_method")], QStringLiteral("range"));
    // One upper limit: the upper indices only, the others empty with the reason.
    near(f1[column(cap, "Ppk")], 8, "flatness Ppk");
    near(f1[column(cap, "Cpu")], 9, "flatness Cpu");
    EXPECT_TRUE(f1[column(cap, "Pp")].isEmpty());
    EXPECT_TRUE(f1[column(cap, "Ppl")].isEmpty());
    EXPECT_TRUE(f1.last().contains(QStringLiteral("lower limit"))) << f1.last().toStdString();
    for (const char* name : {"anderson_darling_p", "normal"})
        EXPECT_FALSE(d1[column(cap, name)].isEmpty()) << name;

    // The individuals chart and its moving ranges; part 31 breaks the first rule.
    ASSERT_GE(lim.size(), 4u);
    EXPECT_EQ(lim[1][column(lim, "chart")], QStringLiteral("I"));
    near(lim[1][column(lim, "upper_control_limit")], 10, "UCL");
    near(lim[1][column(lim, "lower_control_limit")], 11, "LCL");
    EXPECT_EQ(lim[2][column(lim, "chart")], QStringLiteral("MR"));
    near(lim[2][column(lim, "upper_control_limit")], 12, "MR UCL");
    const auto rule1 = std::find_if(lim.begin() + 3, lim.end(), [&](const QStringList& r) {
        return r[column(lim, "point")] == QLatin1String("31");
    });
    ASSERT_NE(rule1, lim.end());
    EXPECT_TRUE(rule1->last().startsWith(QStringLiteral("Rule 1"))) << rule1->last().toStdString();
    EXPECT_EQ((*rule1)[column(lim, "time_utc")], QStringLiteral("2026-03-02T11:00:00.000Z"));
}

TEST_F(HistorySqlite, BothReportsOfOneReadAreOnePart) {
    const QString form = sim.dir() + QStringLiteral("/Pruefbericht.xlsx");
    const QString second = sim.dir() + QStringLiteral("/Korrektur.xlsx");
    for (const QString& f : {form, second})
        QFile::copy(kExamples + QStringLiteral("forms/Pruefbericht.xlsx"), f);
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const ProcessRun r =
        doziduvov({QStringLiteral("/a"), form, kExamples + QStringLiteral("forms/Pruefbericht.cfg"),
                   QStringLiteral("/ALO"), second});
    ASSERT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    deliverNow();
    auto db = history::HistoryDatabase::openSqlite(settingsDirs.dataDir +
                                                   QStringLiteral("/doziduvov/history.sqlite"));
    EXPECT_EQ(db->partCount(), 1);
}

TEST_F(HistorySqlite, RunsSideBySideEachLeaveTheirPartOnce) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int k = 0; k < 6; ++k)
        runs.push_back(start({QStringLiteral("/a")}));
    for (auto& p : runs) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    deliverNow(); // beside the deliveries the runs started
    const QStringList uuids = history::HistoryDatabase::openSqlite(
                                  settingsDirs.dataDir + QStringLiteral("/doziduvov/history.sqlite"))
                                  ->partUuids();
    EXPECT_EQ(uuids.size(), 6);
    EXPECT_EQ(QSet<QString>(uuids.begin(), uuids.end()).size(), 6);
    EXPECT_TRUE(history::OutboxFolder(settingsDirs.dataDir + QStringLiteral("/doziduvov/history-outbox"))
                    .entries()
                    .empty());
}

TEST_F(HistorySqlite, AFailingHistoryWarnsAndFailsTheRunOnlyWhenAskedTo) {
    // The data folder is a file: nothing can be stored, the result file is written all the same.
    QDir().mkpath(settingsDirs.dataDir);
    QFile blocker(settingsDirs.dataDir + QStringLiteral("/doziduvov"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const struct {
        const char* enabled;
        const char* failsRun;
        int status;
        bool warned;
    } cases[] = {{nullptr, nullptr, 0, true}, {nullptr, "1", 3, true}, {"0", "1", 0, false}};
    int file = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.enabled ? c.enabled : "-") + (c.failsRun ? c.failsRun : "-"));
        const QString section = QStringLiteral("HistorySettings");
        store.Write(section, QStringLiteral("Enabled"), QString::fromLatin1(c.enabled ? c.enabled : ""));
        store.Write(section, QStringLiteral("FailRunOnError"),
                    QString::fromLatin1(c.failsRun ? c.failsRun : ""));
        const ProcessRun r = doziduvov({QStringLiteral("/a")});
        EXPECT_EQ(r.exitCode, c.status) << r.stderrText.toStdString();
        EXPECT_EQ(r.stderrText.contains(QStringLiteral("Verlauf")), c.warned) << r.stderrText.toStdString();
        EXPECT_FALSE(
            asciiFile(QStringLiteral("Welle-%1.csv").arg(++file, 4, 10, QLatin1Char('0'))).rows.empty());
    }
}

// A history server that takes the connection and never says a word costs the run its
// delivery deadline, not its end; the part waits in the outbox.
TEST_F(HistorySqlite, AServerThatNeverAnswersCostsTheRunItsDeadlineOnly) {
    QTcpServer silent; // the kernel completes the handshake; nobody reads or writes
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    history::HistorySettings config;
    config.driver = history::HistorySettings::Driver::Postgres;
    config.host = QStringLiteral("127.0.0.1");
    config.port = silent.serverPort();
    config.database = QStringLiteral("history");
    config.user = QStringLiteral("qs");
    config.deliverySeconds = 2;
    history::writeHistorySettings(store, config);
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const ProcessRun r = run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("/a")}, {}, 30000);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_LT(r.elapsedMs, 2000 + 6000);
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("Postausgang"))) << r.stderrText.toStdString();
}

TEST_F(HistorySqlite, AFileLockedDuringTheRunCostsTheRunNothingAndThePartComesLater) {
    const QString file = settingsDirs.dataDir + QStringLiteral("/doziduvov/history.sqlite");
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    ASSERT_EQ(doziduvov({QStringLiteral("/a")}).exitCode, 0);
    deliverNow();
    QProcess locker;
    locker.start(QStringLiteral("sqlite3"), {file});
    ASSERT_TRUE(locker.waitForStarted());
    locker.write(".timeout 10000\nBEGIN EXCLUSIVE; SELECT 'locked';\n");
    ASSERT_TRUE(locker.waitForReadyRead(10000));
    QElapsedTimer clock;
    clock.start();
    const ProcessRun locked = doziduvov({QStringLiteral("/a")});
    EXPECT_LT(clock.elapsed(), 10000); // the delivery waits up to 30 s for the lock, the run does not
    EXPECT_EQ(locked.exitCode, 0) << locked.stderrText.toStdString();
    EXPECT_FALSE(locked.stderrText.contains(QStringLiteral("Verlauf"))) << locked.stderrText.toStdString();
    EXPECT_TRUE(output(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("--history-outbox")})
                    .contains(QStringLiteral("\twaiting\t")));
    locker.closeWriteChannel();
    ASSERT_TRUE(locker.waitForFinished(10000));
    deliverNow();
    EXPECT_EQ(history::HistoryDatabase::openSqlite(file)->partCount(), 2);
    EXPECT_TRUE(history::OutboxFolder(settingsDirs.dataDir + QStringLiteral("/doziduvov/history-outbox"))
                    .entries()
                    .empty());
}

TEST_F(HistorySqlite, AVersionOneFileIsMigratedInPlace) {
    const QString file = settingsDirs.dataDir + QStringLiteral("/v1.sqlite");
    QDir().mkpath(settingsDirs.dataDir);
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {file});
    sqlite.write(schemaVersionOne(false).toUtf8());
    sqlite.closeWriteChannel();
    ASSERT_TRUE(sqlite.waitForFinished(30000));
    ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
    auto db = history::HistoryDatabase::openSqlite(file);
    expectMigratedFromVersionOne(*db);
    // A copy of the live file, then the parts before 09:30 UTC removed from the original only.
    const QString copy = settingsDirs.dataDir + QStringLiteral("/copy.sqlite");
    db->backupTo(copy);
    EXPECT_THROW(db->backupTo(copy), history::HistoryError);
    EXPECT_EQ(db->pruneBefore(QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC)), 2);
    EXPECT_EQ(db->partCount(), 2);
    EXPECT_EQ(history::HistoryDatabase::openSqlite(copy)->partCount(), 4);
}

TEST_F(HistorySqlite, EightProcessesStoreFourHundredPartsNoneLostNoneTwice) {
    ASSERT_NO_FATAL_FAILURE(storeFromEightWritersAtOnce(120000));
    auto db = history::HistoryDatabase::openSqlite(settingsDirs.dataDir +
                                                   QStringLiteral("/doziduvov/history.sqlite"));
    const QStringList uuids = db->partUuids();
    EXPECT_EQ(uuids.size(), 400);
    EXPECT_EQ(QSet<QString>(uuids.begin(), uuids.end()).size(), 400);
    // Each writer's parts are there in the order it stored them.
    const history::Series s =
        db->series(QStringLiteral("Writers"), {QStringLiteral("C1"), QStringLiteral("X")});
    std::map<QString, int> next;
    for (const history::SeriesPoint& p : s) {
        ASSERT_EQ(p.header.size(), 2u);
        EXPECT_EQ(p.header[1].second.toInt(), ++next[p.header[0].second]);
    }
    EXPECT_EQ(next.size(), 8u);
}

namespace {

history::SeriesPoint chartPoint(const char* type, double measured, double upper = 0.1, double lower = -0.1) {
    history::SeriesPoint p;
    p.type = QString::fromLatin1(type);
    p.nominal = 10;
    p.upperTol = upper;
    p.lowerTol = lower;
    p.measured = measured;
    p.measuredUtc = QDateTime(QDate(2026, 3, 2), QTime(6, 0), Qt::UTC);
    return p;
}

// Form tolerances are stored with a lower tolerance of 0.
history::Series chartSeries(const char* type, const std::vector<double>& values) {
    history::Series s;
    for (double v : values) {
        s.push_back(chartPoint(type, v, 0.1, qstrcmp(type, "FLATNESS") == 0 ? 0.0 : -0.1));
        s.back().measuredUtc = s.front().measuredUtc.addSecs(600 * qint64(s.size() - 1));
    }
    return s;
}

history::ChartOptions chartOptions(history::ChartKind kind, int subgroupSize = 5) {
    history::ChartOptions o;
    o.kind = kind;
    o.axis = history::AxisKind::Part;
    o.subgroupSize = subgroupSize;
    return o;
}

} // namespace

TEST(HistoryChart, LinesFollowTheNewestPartAndTheRangeHoldsEverything) {
    using history::ChartKind;
    // Two-sided, 90 %: the warning zone starts 5 % of the band inside each limit.
    history::ChartData d =
        history::chartData({chartPoint("DIAMETER", 10.3, 0.2, -0.2), chartPoint("DIAMETER", 10.01)},
                           chartOptions(ChartKind::Run));
    EXPECT_DOUBLE_EQ(*d.lines.upper, 10.1);
    EXPECT_DOUBLE_EQ(*d.lines.lower, 9.9);
    EXPECT_NEAR(*d.lines.warnUpper, 10.09, 1e-12);
    EXPECT_NEAR(*d.lines.warnLower, 9.91, 1e-12);
    ASSERT_EQ(d.panels.at(0).points.size(), 2u);
    EXPECT_EQ(d.panels[0].points[1].part, 2);
    EXPECT_GT(d.panels[0].high, 10.3); // an old part beyond today's limits stays on the chart
    EXPECT_LT(d.panels[0].low, 9.9);

    // Form tolerance: upper limits only, on every chart.
    for (ChartKind kind : {ChartKind::Run, ChartKind::IndividualsMovingRange, ChartKind::Histogram}) {
        d = history::chartData(chartSeries("FLATNESS", {10.01, 10.02, 10.015}), chartOptions(kind));
        EXPECT_FALSE(d.lines.lower);
        EXPECT_FALSE(d.lines.warnLower);
        for (const history::Level& l : d.panels.at(0).levels)
            EXPECT_TRUE(l.kind != history::LevelKind::LowerLimit &&
                        l.kind != history::LevelKind::LowerWarning);
    }
    EXPECT_NEAR(*d.lines.warnUpper, 10.09, 1e-12);

    // A zero band has no warning zone, and a flat chart still has a range; no parts, no points.
    d = history::chartData({chartPoint("DIAMETER", 10, 0, 0)}, chartOptions(ChartKind::Run));
    EXPECT_FALSE(d.lines.warnUpper);
    EXPECT_LT(d.panels[0].low, d.panels[0].high);
    for (ChartKind kind : {ChartKind::Run, ChartKind::IndividualsMovingRange, ChartKind::Histogram})
        for (const history::Panel& p : history::chartData({}, chartOptions(kind)).panels)
            EXPECT_TRUE(p.points.empty());
}

TEST(HistoryChart, EachKindGivesItsPanelsLimitsAndRuleMarks) {
    using K = history::ChartKind;
    using Q = history::Quantity;
    // Eleven parts about 10.008, then one far above: the twelfth breaks rule 1 on the I chart.
    const history::Series series = chartSeries(
        "DIAMETER", {10.01, 9.99, 10.01, 9.99, 10.01, 9.99, 10.01, 9.99, 10.01, 9.99, 10.01, 10.09});
    struct Case {
        K kind;
        int subgroupSize;
        std::vector<Q> panels;
        std::size_t locationPoints;
        int firstDispersionPart; // a moving range belongs to its later part
        bool toleranceOnLocation;
        int marked; // the location point with a rule mark, -1 none
        int n;      // values the figures are taken over
        const char* problem;
    };
    const std::vector<Case> cases = {
        {K::Run, 5, {Q::Values}, 12, 0, true, -1, 12, ""},
        {K::IndividualsMovingRange, 5, {Q::Individuals, Q::MovingRanges}, 12, 2, true, 11, 12, ""},
        {K::MeanRange, 4, {Q::Means, Q::Ranges}, 3, 4, false, -1, 12, ""},
        {K::MeanStdDev, 5, {Q::Means, Q::StdDevs}, 2, 5, false, -1, 10, ""},
        {K::MeanRange, 25, {}, 0, 0, false, -1, 0, "fewer than two subgroups"},
        {K::Histogram, 5, {Q::Counts}, 0, 0, true, -1, 12, ""},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(int(c.kind)) + "/" + std::to_string(c.subgroupSize);
        const history::ChartData d = history::chartData(series, chartOptions(c.kind, c.subgroupSize));
        EXPECT_EQ(d.problem, c.problem) << what;
        EXPECT_EQ(d.capability.n, c.n) << what;
        ASSERT_EQ(d.panels.size(), c.panels.size()) << what;
        if (c.panels.empty())
            continue;
        for (std::size_t i = 0; i < c.panels.size(); ++i)
            EXPECT_EQ(d.panels[i].quantity, c.panels[i]) << what;
        const history::Panel& location = d.panels[0];
        EXPECT_EQ(location.points.size(), c.locationPoints) << what;
        const auto has = [&](history::LevelKind k) {
            return std::any_of(location.levels.begin(), location.levels.end(),
                               [k](const history::Level& l) { return l.kind == k; });
        };
        EXPECT_EQ(has(history::LevelKind::UpperLimit), c.toleranceOnLocation) << what;
        EXPECT_EQ(has(history::LevelKind::UpperControl), c.panels.size() == 2) << what;
        if (c.panels.size() == 2) {
            EXPECT_EQ(d.panels[1].points.at(0).part, c.firstDispersionPart) << what;
        }
        for (std::size_t i = 0; i < location.points.size(); ++i) {
            const auto& v = location.points[i].violations;
            EXPECT_EQ(!v.empty(), int(i) == c.marked) << what << " point " << i;
            if (int(i) == c.marked) {
                EXPECT_TRUE(v.at(0).rule == 1 && v[0].text.starts_with("Rule 1")) << v[0].text;
            }
        }
        for (const history::Panel& p : d.panels)
            for (const history::ChartPoint& pt : p.points)
                EXPECT_TRUE(pt.value >= p.low && pt.value <= p.high) << what;
    }
    // A jump beyond the moving ranges' limit marks both ranges it makes.
    const history::ChartData jump = history::chartData(
        chartSeries("DIAMETER", {10, 10.01, 10, 10.01, 10, 10.01, 10, 10.01, 10, 10.3, 10}),
        chartOptions(K::IndividualsMovingRange));
    std::vector<int> marked;
    for (std::size_t i = 0; i < jump.panels.at(1).points.size(); ++i)
        if (!jump.panels[1].points[i].violations.empty())
            marked.push_back(int(i));
    EXPECT_EQ(marked, (std::vector<int>{8, 9}));
    // The histogram holds every value, and its range every limit.
    const history::ChartData h = history::chartData(series, chartOptions(K::Histogram));
    EXPECT_EQ(std::accumulate(h.histogram.counts.begin(), h.histogram.counts.end(), 0), 12);
    EXPECT_LT(h.xLow, 9.9);
    EXPECT_GT(h.xHigh, 10.1);
    // And the whole normal curve.
    ASSERT_FALSE(h.histogram.curve.empty());
    EXPECT_LE(h.xLow, h.histogram.curve.front().x);
    EXPECT_GE(h.xHigh, h.histogram.curve.back().x);
}

TEST(HistoryChart, AxisTicksAreFewRoundAndDistinct) {
    const auto local = [](int day, int h, int m) {
        return double(QDateTime(QDate(2026, 3, day), QTime(h, m)).toMSecsSinceEpoch());
    };
    const double year = 365.25 * 86400e3;
    struct Case {
        const char* what;
        double low, high;
        int maxTicks;
        std::size_t count;
        const char* first;
    };
    const std::vector<Case> cases = {
        {"40 seconds", local(2, 6, 0), local(2, 6, 0) + 40e3, 8, 5, "02.03. 06:00:00"},
        {"three hours", local(2, 6, 10), local(2, 9, 10), 8, 6, "02.03. 06:30"},
        {"ten days", local(2, 6, 0), local(12, 6, 0), 8, 10, "03.03.26"},
        {"two years", local(2, 6, 0), local(2, 6, 0) + 2 * year, 8, 12, "05.2026"},
        {"narrow chart", local(2, 6, 0), local(12, 6, 0), 2, 1, "09.03.26"},
    };
    for (const Case& c : cases) {
        const std::vector<history::Tick> t = history::timeTicks(c.low, c.high, c.maxTicks);
        ASSERT_FALSE(t.empty()) << c.what;
        // The labels fit the width of maxTicks labels "dd.MM. HH:mm" with gaps of three.
        qsizetype width = 0;
        for (const history::Tick& k : t)
            width += k.label.size() + 3;
        EXPECT_LE(width, c.maxTicks * 15) << c.what;
        EXPECT_EQ(t.size(), c.count) << c.what;
        EXPECT_EQ(t[0].label, QString::fromLatin1(c.first)) << c.what;
        for (std::size_t i = 0; i < t.size(); ++i) {
            EXPECT_TRUE(t[i].at >= c.low && t[i].at <= c.high) << c.what;
            if (i > 0) {
                EXPECT_NE(t[i].label, t[i - 1].label) << c.what;
            }
        }
    }
    // A thousand parts: every 100th labelled, never one label per part; a single part labelled.
    const std::vector<history::Tick> parts = history::partTicks(0.5, 1000.5, 8);
    ASSERT_EQ(parts.size(), 10u);
    EXPECT_EQ(parts[0].label, QStringLiteral("100"));
    ASSERT_EQ(history::partTicks(0.5, 1.5, 2).size(), 1u);
    EXPECT_TRUE(history::timeTicks(5, 5, 8).empty());
}

TEST(HistoryChart, FigureTextsInTheGermanLocaleSayWhyAFigureIsMissing) {
    const QLocale de(QLocale::German, QLocale::Germany);
    const std::vector<double> eight = {9.98, 10.0, 10.02, 10.0, 9.99, 10.01, 10.03, 9.97};
    const QString index = QStringLiteral("^\\d+,\\d\\d$");
    struct Case {
        const char* what;
        const char* type;
        std::vector<double> values;
        const char* figure;
        QString text; // a pattern
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"two-sided", "DIAMETER", eight, "lblN", "^8$", ""},
        {"two-sided", "DIAMETER", eight, "lblMean", "^10,00000$", ""},
        {"two-sided", "DIAMETER", eight, "lblPp", index, ""},
        {"two-sided", "DIAMETER", eight, "lblCpk", index, ""},
        {"two-sided", "DIAMETER", eight, "lblCpkBounds", "^\\[\\d+,\\d\\d; \\d+,\\d\\d\\]$", ""},
        {"two-sided", "DIAMETER", eight, "lblNormality", "^[01],\\d{3}$", ""},
        {"two-sided", "DIAMETER", eight, "lblPercentile", "^\\d+,\\d\\d / \\d+,\\d\\d$", ""},
        {"far out",
         "DIAMETER",
         {10, 10.001, 10, 10.001, 10, 10.001, 10, 10.5},
         "lblNormality",
         "^< 0,001$",
         ""},
        {"one-sided", "FLATNESS", eight, "lblPpk", index, ""},
        {"one-sided", "FLATNESS", eight, "lblCpk", index, ""},
        {"one-sided", "FLATNESS", eight, "lblPp", "^\u2014$", "no lower limit"},
        {"one-sided", "FLATNESS", eight, "lblCp", "^\u2014$", "no lower limit"},
        {"one-sided", "FLATNESS", eight, "lblPercentile", "^\u2014 / \\d+,\\d\\d$", "no lower limit"},
        {"no spread", "DIAMETER", {10, 10, 10}, "lblPpk", "^\u2014$", "no spread"},
        {"no spread", "DIAMETER", {10, 10, 10}, "lblPpkBounds", "^\u2014$", "no spread"},
        {"one part", "DIAMETER", {10.0}, "lblSOverall", "^\u2014$", "fewer than two values"},
        {"few parts", "DIAMETER", {10, 10.01, 10.02}, "lblNormality", "^\u2014$", "fewer than eight values"},
        {"no parts", "DIAMETER", {}, "lblN", "^0$", ""},
        {"no parts", "DIAMETER", {}, "lblMean", "^\u2014$", "no values"},
    };
    for (const Case& c : cases) {
        const history::ChartData d = history::chartData(
            chartSeries(c.type, c.values), chartOptions(history::ChartKind::IndividualsMovingRange));
        const std::vector<history::FigureText> texts = history::figureTexts(d.capability, de);
        const auto it = std::find_if(texts.begin(), texts.end(), [&](const history::FigureText& f) {
            return qstrcmp(f.name, c.figure) == 0;
        });
        ASSERT_NE(it, texts.end()) << c.figure;
        EXPECT_TRUE(QRegularExpression(c.text).match(it->text).hasMatch())
            << c.what << " " << c.figure << ": " << it->text.toStdString();
        EXPECT_EQ(it->reason, c.reason) << c.what << " " << c.figure;
    }
    EXPECT_EQ(history::figureText(std::nan(""), de), QStringLiteral("\u2014"));
    // Form tolerances have an upper limit only; the lower tolerance is stored negative.
    EXPECT_FALSE(history::limitsOf(QStringLiteral("FLATNESS"), 0, 0.05, 0).lower);
    EXPECT_DOUBLE_EQ(*history::limitsOf(QStringLiteral("DIAMETER"), 25, 0.021, -0.01).lower, 24.99);
}
