// What a failed unattended run leaves for those who were not there: the run log its batch file
// names, the journal's priorities, and a desktop notification.
#include "common/ConverterRun.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

const QString kExamples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/");

using RunReport = ConverterRun;

TEST_F(RunReport, EveryRunAppendsItsEntryToTheLogItsBatchFileNames) {
    const QString log = sim.dir() + QStringLiteral("/Teil 1.log");
    const QPair<QString, QString> logVariable{QStringLiteral("DOZIDUVOV_RUN_LOG"), log};
    // No host: the run fails with the connect message.
    ProcessRun r = doziduvov({QStringLiteral("/a")}, {logVariable});
    EXPECT_EQ(r.exitCode, 1);

    // The second run writes to the journal (stderr is the stream JOURNAL_STREAM names).
    const QString journal = sim.dir() + QStringLiteral("/journal.txt");
    writeBytes(journal, QByteArray());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(journal).constData(), &st), 0);
    const QString stream = QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino);
    QProcess p;
    p.setProcessEnvironment(environment({logVariable, {QStringLiteral("JOURNAL_STREAM"), stream}}));
    p.setStandardErrorFile(journal, QIODevice::Append);
    p.start(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"),
            {QStringLiteral("/a"), QStringLiteral("/srv/Forms/Teil 1.xlsx"), QStringLiteral("R.cfg"),
             QStringLiteral("/ALL"), QString(), QStringLiteral("sixth")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    const QString stderrText = QString::fromUtf8(readBytes(journal));
    EXPECT_TRUE(stderrText.startsWith(QStringLiteral("<4>doziduvov: start options after the fifth")))
        << stderrText.toStdString();
    const QRegularExpression error(QStringLiteral("\n<3>[^\n]* \\[error\\] Korvex wurde nicht gefunden\\."));
    EXPECT_TRUE(stderrText.contains(error)) << stderrText.toStdString();

    const QString entries = settings::decodeAnsi(readBytes(log), settings::CodePage::Windows1252);
    const QRegularExpression entry(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d status 1 \\(fehlgeschlagen\\)\r\n"
        "  options: /a\r\n"
        "  error: Korvex wurde nicht gefunden\\.[^\r\n]*\r\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d status 1 \\(fehlgeschlagen\\)\r\n"
        "  options: /a \"/srv/Forms/Teil 1.xlsx\" R.cfg /ALL \"\" sixth\r\n"
        "  warning: start options after the fifth are ignored: sixth\r\n"
        "  error: Korvex wurde nicht gefunden\\.[^\r\n]*\r\n$"));
    EXPECT_TRUE(entry.match(entries).hasMatch()) << entries.toStdString();

    // A log that cannot be written costs the run nothing but a line on standard error.
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    r = doziduvov({QStringLiteral("/a")}, {{QStringLiteral("DOZIDUVOV_RUN_LOG"), sim.dir()}});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("cannot be written"))) << r.stderrText.toStdString();
}

TEST_F(RunReport, ALogThatIsNotThisUsersOwnPlainFileIsLeftAlone) {
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    // Planted at the log's name by another user of a shared folder.
    const QString other = sim.dir() + QStringLiteral("/other.txt");
    const struct {
        const char* what;
        bool pipe;
        bool reader; // someone holds the pipe open for reading
        const char* reason;
    } cases[] = {
        {"link", false, false, "link"},
        {"pipe", true, false, "not a plain file"},
        {"pipe read by someone", true, true, "not a plain file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString log = sim.dir() + QStringLiteral("/Teil.log");
        writeBytes(other, "keep\n");
        if (c.pipe)
            ASSERT_EQ(::mkfifo(QFile::encodeName(log).constData(), 0666), 0);
        else
            ASSERT_TRUE(QFile::link(other, log));
        const int reader = c.reader ? ::open(QFile::encodeName(log).constData(), O_RDONLY | O_NONBLOCK) : -1;
        const ProcessRun r = run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("/a")},
                                 {{QStringLiteral("DOZIDUVOV_RUN_LOG"), log}}, 30000);
        ASSERT_TRUE(r.ended);
        EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
        EXPECT_TRUE(r.stderrText.contains(QStringLiteral("cannot be written: ")));
        EXPECT_TRUE(r.stderrText.contains(QLatin1String(c.reason))) << r.stderrText.toStdString();
        EXPECT_EQ(readBytes(other), QByteArray("keep\n"));
        if (reader >= 0) {
            char byte = 0;
            EXPECT_LE(::read(reader, &byte, 1), 0); // nothing went into the pipe
            ::close(reader);
        }
        QFile::remove(log);
    }
}

TEST_F(RunReport, AnotherUsersLogIsLeftAloneHoweverWritable) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    ASSERT_TRUE(sim.start({kExamples + QStringLiteral("Welle.PRG")}));
    const QString log = sim.dir() + QStringLiteral("/Teil.log");
    writeBytes(log, "planted\n");
    const QByteArray name = QFile::encodeName(log);
    ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0); // nobody
    ASSERT_EQ(::chmod(name.constData(), 0666), 0);
    const ProcessRun r = doziduvov({QStringLiteral("/a")}, {{QStringLiteral("DOZIDUVOV_RUN_LOG"), log}});
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains(QStringLiteral("another user"))) << r.stderrText.toStdString();
    EXPECT_EQ(readBytes(log), QByteArray("planted\n"));
}

// The desktop's notification server, as far as a failing run needs it.
class FakeNotifications : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify"))
            return false;
        calls.append(message.arguments());
        connection.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }
    QList<QVariantList> calls;
};

TEST_F(RunReport, AFailureReachesTheDesktopUnlessSwitchedOff) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed (scripts/setup installs it)";
    QProcess bus;
    bus.start(daemon,
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(bus.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    {
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("fake-notifications"));
        FakeNotifications fake;
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake));

        // The run's call is answered here, so the test serves the bus while the run goes on.
        const auto failingRun = [&] {
            QProcess p;
            p.setProcessEnvironment(environment({{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address}}));
            p.start(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("/a")});
            while (!p.waitForFinished(20))
                QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            EXPECT_EQ(p.exitCode(), 1);
        };
        failingRun();
        ASSERT_EQ(fake.calls.size(), 1);
        const QVariantList& notify = fake.calls.first();
        ASSERT_EQ(notify.size(), 8);
        EXPECT_EQ(notify[0].toString(), QStringLiteral("doziduvov"));
        EXPECT_EQ(notify[3].toString(), QStringLiteral("Lauf fehlgeschlagen"));
        EXPECT_TRUE(notify[4].toString().startsWith(QStringLiteral("Korvex wurde nicht gefunden.")))
            << notify[4].toString().toStdString();
        const QVariantMap hints = qdbus_cast<QVariantMap>(notify[6]);
        EXPECT_EQ(hints.value(QStringLiteral("urgency")).toInt(), 2);

        store.Write(QStringLiteral("ProgSettings"), QStringLiteral("FailureNotification"),
                    QStringLiteral("0"));
        failingRun();
        EXPECT_EQ(fake.calls.size(), 1);
        server.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
    bus.kill();
    bus.waitForFinished();
}

} // namespace

namespace {

// A session bus that takes the connection and never says a word (a hung desktop, a stale
// address left to a cron job) costs a failed run its notification, not its end.
TEST_F(RunReport, ABusThatNeverAnswersDoesNotHoldTheRun) {
    const QString socket = sim.dir() + QStringLiteral("/silent-bus");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, QFile::encodeName(socket).constData(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 8), 0); // connects land in the backlog, nobody accepts or reads
    const QString log = sim.dir() + QStringLiteral("/run.log");
    QProcess p;
    p.setProcessEnvironment(environment({{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + socket},
                                         {QStringLiteral("DOZIDUVOV_RUN_LOG"), log}}));
    p.start(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("/a")});
    const bool ended = p.waitForFinished(30000);
    if (!ended)
        p.kill();
    ::close(fd);
    ASSERT_TRUE(ended);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(readBytes(log).contains("status 1"));
}

} // namespace

namespace {

// A batch run on the station's desktop that fails: its log entry is out while its message box
// still waits for someone to click it.
TEST_F(RunReport, AFailedRunOnTheDesktopLogsBeforeItsBoxWaits) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs it)";
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1024x768x24")});
    ASSERT_TRUE(server.waitForReadyRead(20000));
    const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine()).trimmed();
    const QString log = sim.dir() + QStringLiteral("/run.log");
    QProcess p;
    p.setProcessEnvironment(environment({{QStringLiteral("DISPLAY"), display},
                                         {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")},
                                         {QStringLiteral("DOZIDUVOV_RUN_LOG"), log}}));
    p.start(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), {QStringLiteral("/a")});
    ASSERT_TRUE(p.waitForStarted());
    QDeadlineTimer limit(30000);
    while (!readBytes(log).contains("status 1") && !limit.hasExpired() && !p.waitForFinished(100)) {
    }
    EXPECT_EQ(p.state(), QProcess::Running) << "the run ended without waiting for a click";
    EXPECT_TRUE(readBytes(log).contains("status 1 (fehlgeschlagen)")) << readBytes(log).toStdString();
    p.kill();
    p.waitForFinished();
    server.terminate();
    server.waitForFinished();
}

} // namespace
