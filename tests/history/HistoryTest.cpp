// The history on real SQLite files: the schema read back by an independent reader, series and
// filters, concurrency of many processes, the capability figures, the command line.
#include "history/HistoryChart.h"
#include "history/HistoryRuns.h"
#include "run/CommandLine.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>

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

TEST(HistoryStatistics, HandWorkedOneSidedAndDegenerateCases) {
    using L = history::Limits;
    struct Case {
        const char* name;
        std::vector<double> values;
        L limits;
        std::optional<double> mean, sd, cp, cpk, cpu, cpl;
    };
    const double sd5 = std::sqrt(2.5); // 1..5
    const std::vector<Case> cases = {
        {"two-sided, centred", {1, 2, 3, 4, 5}, {0.0, 6.0}, 3, sd5, 6 / (6 * sd5), 3 / (3 * sd5), {}, {}},
        {"two-sided, off centre", {1, 2, 3, 4, 5}, {-3.0, 5.0}, 3, sd5, 8 / (6 * sd5), 2 / (3 * sd5), {}, {}},
        {"mean beyond the limit",
         {1, 2, 3, 4, 5},
         {-10.0, 2.0},
         3,
         sd5,
         12 / (6 * sd5),
         -1 / (3 * sd5),
         {},
         {}},
        {"upper limit only", {0.01, 0.02, 0.03}, {{}, 0.05}, 0.02, 0.01, {}, {}, 1.0, {}},
        {"lower limit only", {0.01, 0.02, 0.03}, {0.0, {}}, 0.02, 0.01, {}, {}, {}, 2.0 / 3.0},
        {"no limits", {1, 3}, {}, 2, std::sqrt(2.0), {}, {}, {}, {}},
        {"zero spread", {2, 2, 2}, {0.0, 4.0}, 2, 0.0, {}, {}, {}, {}},
        {"one part", {7}, {0.0, 10.0}, 7, {}, {}, {}, {}, {}},
        {"no parts", {}, {0.0, 10.0}, {}, {}, {}, {}, {}, {}},
        {"NaN is no value",
         {1, std::nan(""), 3},
         {0.0, 4.0},
         2,
         std::sqrt(2.0),
         4 / (6 * std::sqrt(2.0)),
         2 / (3 * std::sqrt(2.0)),
         {},
         {}},
    };
    auto same = [](std::optional<double> got, std::optional<double> want) {
        if (got.has_value() != want.has_value())
            return false;
        return !got ||
               (std::isfinite(*got) && std::fabs(*got - *want) <= 1e-12 * std::max(1.0, std::fabs(*want)));
    };
    for (const Case& c : cases) {
        const history::Statistics s = history::computeStatistics(c.values, c.limits);
        EXPECT_TRUE(same(s.mean, c.mean)) << c.name;
        EXPECT_TRUE(same(s.stddev, c.sd)) << c.name;
        EXPECT_TRUE(same(s.cp, c.cp)) << c.name;
        EXPECT_TRUE(same(s.cpk, c.cpk)) << c.name;
        EXPECT_TRUE(same(s.cpu, c.cpu)) << c.name;
        EXPECT_TRUE(same(s.cpl, c.cpl)) << c.name;
    }
    // Form tolerances have an upper limit only; the lower tolerance is stored negative.
    const L flat = history::limitsOf(QStringLiteral("FLATNESS"), 0, 0.05, 0);
    EXPECT_FALSE(flat.lower);
    EXPECT_DOUBLE_EQ(*flat.upper, 0.05);
    const L diam = history::limitsOf(QStringLiteral("DIAMETER"), 25, 0.021, -0.01);
    EXPECT_DOUBLE_EQ(*diam.lower, 24.99);
    EXPECT_DOUBLE_EQ(*diam.upper, 25.021);
}

TEST(HistoryStatistics, AgreesWithPythonsStatisticsModule) {
    std::vector<double> v;
    QStringList text;
    for (int i = 0; i < 40; ++i) {
        v.push_back(25.0 + std::sin(i * 1.7) * 0.004 + (i % 7) * 0.0005);
        text << QString::number(v.back(), 'g', 17);
    }
    QProcess py;
    QStringList args = {
        QStringLiteral("-c"),
        QStringLiteral("import statistics,sys\nv=[float(x) for x in sys.argv[1:]]\nm=statistics.mean(v)\n"
                       "s=statistics.stdev(v)\nu,l=25.021,24.99\n"
                       "print(repr(m),repr(s),repr((u-l)/(6*s)),repr(min(u-m,m-l)/(3*s)))")};
    py.start(QStringLiteral("/usr/bin/python3"), args + text);
    ASSERT_TRUE(py.waitForFinished(30000));
    const QStringList want = QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char(' '));
    ASSERT_EQ(want.size(), 4) << py.readAllStandardError().toStdString();
    const history::Statistics s = history::computeStatistics(v, {24.99, 25.021});
    EXPECT_NEAR(*s.mean, want[0].toDouble(), 1e-12);
    EXPECT_NEAR(*s.stddev, want[1].toDouble(), 1e-12);
    EXPECT_NEAR(*s.cp, want[2].toDouble(), 1e-6);
    EXPECT_NEAR(*s.cpk, want[3].toDouble(), 1e-6);
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

TEST(HistoryChart, LinesFollowTheNewestPartAndTheRangeHoldsEverything) {
    auto point = [](const char* type, double measured, double upper, double lower) {
        history::SeriesPoint p;
        p.type = QString::fromLatin1(type);
        p.nominal = 10;
        p.upperTol = upper;
        p.lowerTol = lower;
        p.measured = measured;
        return p;
    };
    // Two-sided, 90 %: the warning zone starts 5 % of the band inside each limit.
    history::ChartData d =
        history::chartData({point("DIAMETER", 10.3, 0.2, -0.2), point("DIAMETER", 10.01, 0.1, -0.1)}, 90);
    EXPECT_DOUBLE_EQ(*d.lines.upper, 10.1);
    EXPECT_DOUBLE_EQ(*d.lines.lower, 9.9);
    EXPECT_NEAR(*d.lines.warnUpper, 10.09, 1e-12);
    EXPECT_NEAR(*d.lines.warnLower, 9.91, 1e-12);
    ASSERT_EQ(d.points.size(), 2u);
    EXPECT_EQ(d.points[1].part, 2);
    EXPECT_GT(d.high, 10.3); // an old part beyond today's limits stays on the chart
    EXPECT_LT(d.low, 9.9);

    // Form tolerance: upper limits only.
    d = history::chartData({point("FLATNESS", 0.01, 0.05, 0)}, 90);
    EXPECT_FALSE(d.lines.lower);
    EXPECT_FALSE(d.lines.warnLower);
    EXPECT_NEAR(*d.lines.warnUpper, 10.045, 1e-12);

    // A zero band has no warning zone, and a flat chart still has a range.
    d = history::chartData({point("DIAMETER", 10, 0, 0)}, 90);
    EXPECT_FALSE(d.lines.warnUpper);
    EXPECT_LT(d.low, d.high);
    EXPECT_TRUE(history::chartData({}, 90).points.empty());

    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(history::figureText(std::nullopt, de), QStringLiteral("\u2014"));
    EXPECT_EQ(history::figureText(std::nan(""), de), QStringLiteral("\u2014"));
    EXPECT_EQ(history::figureText(1.5, de, 2), QStringLiteral("1,50"));
}
