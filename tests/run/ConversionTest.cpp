// The run object without a window: what an unattended run writes and how it ends.
#include "run/Conversion.h"
#include "common/BreakingHost.h"
#include "common/SimPrograms.h"
#include "common/TempSettings.h"
#include "history/History.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Unattended {
    TempSettings tmp;
    QTemporaryDir out;
    run::AppState state;
    run::Conversion conversion{state};
    std::optional<run::RunResult> result;
    QStringList messages;

    explicit Unattended(std::shared_ptr<host::HostApplication> app) {
        state.findHost = [app] { return app; };
        state.message = [this](const common::Message& m) {
            messages << m.text;
            return m.defaultButton;
        };
        QStringList box{QStringLiteral("[h]")};
        for (int i = 2; i <= 60; ++i)
            box << QStringLiteral("M%1").arg(i);
        state.texts.setSection(QStringLiteral("MessageBoxen"), box);
        state.store.Write(QStringLiteral("ASCIISettings"), QStringLiteral("CSV"), QStringLiteral("-1"));
        state.store.Write(QStringLiteral("FileSettings"), QStringLiteral("DIR"), out.path());
        QObject::connect(&conversion, &run::Conversion::runFinished,
                         [this](const run::RunResult& r) { result = r; });
    }
    void start(const QStringList& args) {
        state.commandLine = args;
        conversion.dispatchStartOptions();
    }
    int filesWritten() const { return static_cast<int>(QDir(out.path()).entryList(QDir::Files).size()); }
};

std::shared_ptr<sim::SimHost> threeDimensions() {
    ProgramBuilder b;
    for (const char* id : {"D1", "D2", "D3"})
        b.single(1107, QString::fromLatin1(id), QJsonObject{{"outputMode", 2}, {"measured", 1.5}});
    return b.host();
}

} // namespace

TEST(Conversion, AnUnattendedRunEndsByWhatItWrote) {
    struct Case {
        const char* name;
        int breakAt; // -1: the host answers every command
        QStringList args;
        bool ended;
        bool success;
        int files;
        int listed;
    };
    const Case cases[] = {
        {"all rows to a result file", -1, {QStringLiteral("/a")}, true, true, 1, 3},
        // The host went away after two commands: the rows read are shown, nothing is written.
        {"a read broken off", 2, {QStringLiteral("/a")}, false, false, 0, 2},
        // A choice that chooses nothing writes nothing: no success.
        {"nothing chosen", -1, {QStringLiteral("/a"), {}, {}, QStringLiteral("OTT")}, true, false, 0, 3},
        {"a layout file that is not there",
         -1,
         {QStringLiteral("/a"), QStringLiteral("/nowhere/F.xlsx"), QStringLiteral("/nowhere/L.cfg")},
         false,
         false,
         0,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sim = threeDimensions();
        std::shared_ptr<host::HostApplication> app = sim->application();
        if (c.breakAt >= 0)
            app = std::make_shared<BreakingApplication>(app, c.breakAt);
        Unattended r(app);
        r.start(c.args);
        ASSERT_TRUE(r.result.has_value()) << r.messages.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(r.result->ended, c.ended);
        EXPECT_EQ(r.result->success, c.success);
        EXPECT_EQ(r.filesWritten(), c.files);
        EXPECT_EQ(static_cast<int>(r.result->written.size()), c.files);
        EXPECT_EQ(r.state.entries.size(), c.listed);
    }
}

TEST(Conversion, InteractiveReadsNeverFinishARun) {
    auto sim = threeDimensions();
    Unattended r(sim->application());
    r.start({});
    r.conversion.ReadValuesOffline();
    EXPECT_FALSE(r.result.has_value());
    EXPECT_EQ(r.state.entries.size(), 3);
    EXPECT_EQ(r.state.selection, model::Selection(3, false));
    ASSERT_TRUE(r.state.classification.has_value());
    EXPECT_EQ(r.state.classification->AnzOK + r.state.classification->AnzKritisch +
                  r.state.classification->AnzOOT,
              3);
}

TEST(Conversion, AReadBrokenOffIsWrittenOnlyWhenTheUserSaysSo) {
    auto sim = threeDimensions();
    Unattended r(std::make_shared<BreakingApplication>(sim->application(), 2));
    QStringList box{QStringLiteral("[h]")};
    for (int i = 2; i <= 60; ++i)
        box << (i == 56 ? QStringLiteral("%1 of %2 commands (%3)") : QStringLiteral("M%1").arg(i));
    r.state.texts.setSection(QStringLiteral("MessageBoxen"), box);
    r.start({});
    r.conversion.ReadValuesOffline();
    ASSERT_EQ(r.state.entries.size(), 2);
    EXPECT_FALSE(r.state.read.complete);
    r.conversion.setSelection(model::Selection(2, true));

    // The question's default is No: nothing is written.
    r.messages.clear();
    EXPECT_FALSE(r.conversion.subWerteAusgeben());
    EXPECT_EQ(r.messages, QStringList{QStringLiteral("2 of 3 commands (2)")});
    EXPECT_EQ(r.filesWritten(), 0);

    r.state.message = [](const common::Message& m) {
        return m.buttons == common::MsgButtons::YesNo ? common::MsgResult::Yes : m.defaultButton;
    };
    EXPECT_TRUE(r.conversion.subWerteAusgeben());
    EXPECT_EQ(r.filesWritten(), 1);
    // What was written is not a measured part: the history keeps none of it.
    const QString history = history::defaultDatabaseFile();
    EXPECT_TRUE(!QFile::exists(history) || history::HistoryDatabase::openSqlite(history)->partCount() == 0);
}

TEST(Conversion, OneSourceOfValuesAtATime) {
    // Reading offline while online reception is on ends the reception first: the end of the
    // host's execution must not replace the list just read.
    auto sim = threeDimensions();
    Unattended r(sim->application());
    r.start({});
    r.conversion.startOnlineReception();
    ASSERT_TRUE(r.state.online);
    ASSERT_TRUE(sim->hasSubscribers());
    r.conversion.ReadValuesOffline();
    EXPECT_FALSE(r.state.online);
    EXPECT_FALSE(sim->hasSubscribers());
    EXPECT_EQ(r.state.entries.size(), 3);
    sim->executeProgram(1);
    EXPECT_EQ(r.state.entries.size(), 3);
}

TEST(Conversion, RowsAfterAnEmptyIdAreCountedNotLostSilently) {
    struct Case {
        std::vector<const char*> ids;
        const char* note;
        int notTaken; // the row without an ID and all after it
    } const cases[] = {
        {{"D1", "", "D3", "D4"}, "2 not taken", 3},
        {{"D1", "D2", ""}, "one without an ID", 1},
        {{"", "D2"}, "1 not taken", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        ProgramBuilder b;
        for (const char* id : c.ids)
            b.single(1107, QString::fromLatin1(id), QJsonObject{{"outputMode", 2}});
        auto sim = b.host();
        Unattended r(sim->application());
        QStringList status(24, QString()); // the section's title and 23 lines
        status[14] = QStringLiteral("%1 not taken");
        status[23] = QStringLiteral("one without an ID");
        r.state.texts.setSection(QStringLiteral("StatusBar"), status);
        r.start({});
        r.conversion.ReadValuesOffline();
        EXPECT_EQ(r.state.notes, QStringList{QString::fromLatin1(c.note)});

        // An unattended run writes what it has, and does not end as a complete run would.
        Unattended batch(sim->application());
        batch.start({QStringLiteral("/a")});
        ASSERT_TRUE(batch.result.has_value());
        EXPECT_EQ(batch.result->rowsNotTaken, c.notTaken);
    }
}

TEST(Conversion, AResultFileWrittenUnderAnotherNameIsSaid) {
    auto sim = threeDimensions();
    Unattended r(sim->application());
    QStringList status(16, QString()); // the section's title and fifteen lines
    status[15] = QStringLiteral("as %1, not %2");
    r.state.texts.setSection(QStringLiteral("StatusBar"), status);
    for (const char* key : {"FileName2", "FileName3", "FileName4", "FileName5"})
        r.state.store.Write(QStringLiteral("FileSettings"), QString::fromLatin1(key), QStringLiteral("0"));
    r.start({});
    r.conversion.ReadValuesOffline();
    r.conversion.setSelection(model::Selection(3, true));

    // The part name alone: the second file would replace the first.
    ASSERT_TRUE(r.conversion.subWerteAusgeben());
    const QDir out(r.out.path());
    const QString first = out.filePath(out.entryList(QDir::Files).value(0));
    r.state.status.clear();
    ASSERT_TRUE(r.conversion.subWerteAusgeben());
    const QString second = first.chopped(4) + QStringLiteral("__0001.csv");
    EXPECT_EQ(r.filesWritten(), 2);
    EXPECT_TRUE(r.state.notes.contains(QStringLiteral("as %1, not %2").arg(second, first)));
    EXPECT_TRUE(r.state.status.contains(QFileInfo(second).fileName())) << r.state.status.toStdString();
}

TEST(Conversion, TheProtocolsGoBesideTheResultFileAndOneNotWrittenIsNoSuccess) {
    struct Case {
        const char* name;
        bool aqdef;
        bool qif;
        bool pdf;
        bool success;
        QStringList files; // extensions of the files written
    };
    // These tests run on the core application: a PDF cannot be drawn, and the run must say so.
    const Case cases[] = {
        {"result file alone", false, false, false, true, {QStringLiteral("csv")}},
        {"with the AQDEF file", true, false, false, true, {QStringLiteral("csv"), QStringLiteral("dfq")}},
        {"with the QIF file", false, true, false, true, {QStringLiteral("csv"), QStringLiteral("qif")}},
        {"no PDF can be drawn", true, false, true, false, {QStringLiteral("csv"), QStringLiteral("dfq")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sim = threeDimensions();
        Unattended r(sim->application());
        r.state.store.Write(QStringLiteral("FileSettings"), QStringLiteral("AQDEF"), c.aqdef ? "1" : "0");
        r.state.store.Write(QStringLiteral("FileSettings"), QStringLiteral("QIF"), c.qif ? "1" : "0");
        r.state.store.Write(QStringLiteral("FileSettings"), QStringLiteral("PDF"), c.pdf ? "1" : "0");
        r.start({QStringLiteral("/a")});
        ASSERT_TRUE(r.result.has_value());
        EXPECT_EQ(r.result->success, c.success) << r.messages.join(QLatin1Char('|')).toStdString();
        const QStringList written = QDir(r.out.path()).entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(written.size(), c.files.size());
        for (int i = 0; i < written.size(); ++i) {
            EXPECT_EQ(QFileInfo(written[i]).suffix(), c.files[i]);
            // One part, one name: only the extension differs.
            EXPECT_EQ(QFileInfo(written[i]).completeBaseName(), QFileInfo(written[0]).completeBaseName());
            if (c.files[i] == QLatin1String("qif")) {
                QProcess xmllint;
                xmllint.start(
                    QStringLiteral("xmllint"),
                    {QStringLiteral("--noout"), QStringLiteral("--nonet"), QStringLiteral("--schema"),
                     QStringLiteral(DOZIDUVOV_QIF_SCHEMAS "/QIFApplications/QIFDocument.xsd"),
                     QDir(r.out.path()).filePath(written[i])});
                ASSERT_TRUE(xmllint.waitForFinished(120000)) << "xmllint is missing (Debian: libxml2-utils)";
                EXPECT_EQ(xmllint.exitCode(), 0) << xmllint.readAllStandardError().toStdString();
            }
        }
        if (!c.success) {
            EXPECT_EQ(r.messages.size(), 1);
        }
    }
}
