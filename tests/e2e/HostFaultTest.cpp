// A host that fails: doziduvov runs unattended against korvex-sim through korvex-fault-host, a
// proxy that closes, cuts, garbles or stalls the host's answers. Whatever the fault, the run ends
// by itself (no signal) within its time limit, with status 1 and a message, and writes nothing.
#include "common/ConverterRun.h"
#include "hostlink/HostSocketPath.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

const QString kExamples = QStringLiteral(DOZIDUVOV_SOURCE_DIR "/examples/");
const QString kSocketName = QStringLiteral("VextorinKorvexWndClass");

// The proxy as a process; "downstream N" on its output tells how many bytes a whole run took.
class FaultHost {
public:
    ~FaultHost() {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

    bool start(const QStringList& args, const QStringList& prefix = {}) {
        const QString bin = QStringLiteral(DOZIDUVOV_BIN_DIR "/korvex-fault-host");
        if (prefix.isEmpty())
            m_process.start(bin, args);
        else
            m_process.start(prefix.first(), prefix.mid(1) + QStringList{bin} + args);
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray err;
        for (int i = 0; i < 500 && !err.contains("listening"); ++i) {
            m_process.waitForReadyRead(10);
            err += m_process.readAllStandardError();
            if (m_process.state() != QProcess::Running)
                return false;
        }
        return err.contains("listening");
    }

    // Bytes the host sent on the last connection that has ended.
    qint64 downstreamBytes() {
        for (int i = 0; i < 300 && !m_out.contains("downstream"); ++i) {
            m_process.waitForReadyRead(10);
            m_out += m_process.readAllStandardOutput();
        }
        const qsizetype at = m_out.lastIndexOf("downstream ");
        return at < 0 ? -1 : m_out.mid(at + 11).split('\n').first().toLongLong();
    }

private:
    QProcess m_process;
    QByteArray m_out;
};

QByteArray fileHash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct Fault {
    const char* name;
    QStringList simArgs; // the program and how the simulator runs it
    QString mode;        // the proxy's fault
    double cutAt;        // a cut: the share of a whole run's bytes that gets through
    QStringList runArgs; // the converter's start options; "FORM" and "LAYOUT" are filled in
    const char* message; // a part of the German message on standard error
    int limitMs;         // the run must have ended by then
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

class HostFaults : public ConverterRun, public ::testing::WithParamInterface<Fault> {
protected:
    void SetUp() override {
        ConverterRun::SetUp();
        // The converter's socket folder, where the proxy stands in for the host.
        runtimeDir = sim.dir() + QStringLiteral("/runtime");
        QDir().mkpath(runtimeDir);
        QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        form = sim.dir() + QStringLiteral("/Pruefbericht.xlsx");
        store.Write(QStringLiteral("ProgSettings"), QStringLiteral("HostTimeout"), QStringLiteral("2"));
    }

    QStringList startOptions(const QStringList& args) const {
        QStringList out;
        for (const QString& a : args)
            out << (a == QLatin1String("FORM")     ? form
                    : a == QLatin1String("LAYOUT") ? kExamples + QStringLiteral("forms/Pruefbericht.cfg")
                                                   : a);
        return out;
    }

    ProcessRun runThroughProxy(const QStringList& args, int limitMs = 60000) {
        return run(QStringLiteral(DOZIDUVOV_BIN_DIR "/doziduvov"), startOptions(args),
                   {{QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir}}, limitMs);
    }

    QStringList proxyArgs(const QString& mode) const {
        return {QStringLiteral("--listen"),   runtimeDir + QLatin1Char('/') + kSocketName,
                QStringLiteral("--upstream"), host::hostSocketPath(),
                QStringLiteral("--fault"),    mode};
    }

    void freshForm() {
        QFile::remove(form);
        QFile::copy(kExamples + QStringLiteral("forms/Pruefbericht.xlsx"), form);
        QFile::setPermissions(form, QFile::ReadOwner | QFile::WriteOwner);
    }

    void expectNothingWritten(const ProcessRun& r, const Fault& f, const QByteArray& formBefore) {
        // Kept in the test report (--gtest_output=xml) for the record of how each fault ended.
        RecordProperty("exit_status", r.exitCode);
        RecordProperty("elapsed_ms", static_cast<int>(r.elapsedMs));
        RecordProperty("stderr", r.stderrText.trimmed().toStdString());
        EXPECT_TRUE(r.ended);
        EXPECT_FALSE(r.crashed) << "ended by a signal";
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_LT(r.elapsedMs, f.limitMs);
        EXPECT_TRUE(r.stderrText.contains(QString::fromUtf8(f.message))) << r.stderrText.toStdString();
        // The host was there: it failed, it was not missing.
        EXPECT_FALSE(r.stderrText.contains(QStringLiteral("nicht gefunden"))) << r.stderrText.toStdString();
        EXPECT_TRUE(QDir(outDir).isEmpty()) << QDir(outDir).entryList(QDir::Files).join(' ').toStdString();
        EXPECT_EQ(fileHash(form), formBefore) << "the form was changed";
    }

    QString runtimeDir;
    QString form;
};

TEST_P(HostFaults, EndWithStatusOneAndWriteNothing) {
    const Fault& f = GetParam();
    ASSERT_TRUE(sim.start(f.simArgs));
    qint64 afterBytes = 0;
    if (f.mode == QLatin1String("cut")) {
        // The same run, whole, tells how many bytes the host sends; the cut lets a part through.
        freshForm();
        FaultHost whole;
        ASSERT_TRUE(whole.start(proxyArgs(QStringLiteral("pass"))));
        const ProcessRun r = runThroughProxy(f.runArgs);
        ASSERT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
        const qint64 total = whole.downstreamBytes();
        ASSERT_GT(total, 0);
        afterBytes = static_cast<qint64>(static_cast<double>(total) * f.cutAt);
        for (const QString& name : QDir(outDir).entryList(QDir::Files))
            QFile::remove(outDir + QLatin1Char('/') + name);
    }
    freshForm();
    const QByteArray before = fileHash(form);
    QStringList args = proxyArgs(f.mode);
    if (afterBytes > 0)
        args << QStringLiteral("--after-bytes") << QString::number(afterBytes);
    FaultHost proxy;
    ASSERT_TRUE(proxy.start(args));
    const ProcessRun r = runThroughProxy(f.runArgs, 30000);
    expectNothingWritten(r, f, before);
}

const QString kWelle = kExamples + QStringLiteral("Welle.PRG");

INSTANTIATE_TEST_SUITE_P(Host, HostFaults,
                         ::testing::Values(Fault{"ClosesAtOnce",
                                                 {kWelle},
                                                 QStringLiteral("close-at-once"),
                                                 0,
                                                 {QStringLiteral("/a")},
                                                 "Korvex hat die Verbindung beendet.",
                                                 5000},
                                           Fault{"LostDuringARead",
                                                 {kWelle},
                                                 QStringLiteral("cut"),
                                                 0.3,
                                                 {QStringLiteral("/a")},
                                                 "Es wurde kein Ergebnis geschrieben",
                                                 5000},
                                           Fault{"LostDuringAReadIntoAForm",
                                                 {kWelle},
                                                 QStringLiteral("cut"),
                                                 0.3,
                                                 {QStringLiteral("/a"), QStringLiteral("FORM"),
                                                  QStringLiteral("LAYOUT"), QStringLiteral("/ALL")},
                                                 "Es wurde kein Ergebnis geschrieben",
                                                 5000},
                                           Fault{"AnswersWithGarbage",
                                                 {kWelle},
                                                 QStringLiteral("garbage"),
                                                 0,
                                                 {QStringLiteral("/a")},
                                                 "nicht dem Protokoll",
                                                 5000},
                                           // The time limit is 2 s here.
                                           Fault{"NeverAnswers",
                                                 {kWelle},
                                                 QStringLiteral("silent"),
                                                 0,
                                                 {QStringLiteral("/a")},
                                                 "nicht innerhalb von 2 Sekunden",
                                                 7000},
                                           Fault{"GoesAwayDuringOnlineReception",
                                                 {QStringLiteral("--execute-on-subscribe"),
                                                  QStringLiteral("--delay-ms"), QStringLiteral("20"), kWelle},
                                                 QStringLiteral("cut"),
                                                 0.6,
                                                 {QStringLiteral("/o")},
                                                 "Online Empfangs unterbrochen",
                                                 5000}),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             return std::string(info.param.name);
                         });

class ForeignHost : public HostFaults {};

// Only the user's own host: a socket folder open to others, or another user's process at the
// other end of the socket, is refused before anything is asked.
TEST_F(ForeignHost, AnOpenSocketFolderIsRefused) {
    QFile::setPermissions(runtimeDir, QFileDevice::Permissions(0x7777));
    const ProcessRun r = runThroughProxy({QStringLiteral("/a")}, 10000);
    expectNothingWritten(r, {"", {}, {}, 0, {}, "nicht sicher", 5000}, fileHash(form));
}

TEST_F(ForeignHost, AnotherUsersServerIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "starting a server as another user needs root";
    // The other user's server listens in a folder of its own; its socket is then moved to where
    // the converter looks, as if it had been there first.
    const QString foreign = SimProcess::baseTemp() + QStringLiteral("/doziduvov-foreign-%1").arg(::getpid());
    QDir().mkpath(foreign);
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    FaultHost other;
    ASSERT_TRUE(other.start({QStringLiteral("--listen"), foreign + QLatin1Char('/') + kSocketName,
                             QStringLiteral("--upstream"), foreign + QStringLiteral("/none"),
                             QStringLiteral("--fault"), QStringLiteral("silent")},
                            {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                             QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")}));
    ASSERT_TRUE(
        QFile::rename(foreign + QLatin1Char('/') + kSocketName, runtimeDir + QLatin1Char('/') + kSocketName));
    const ProcessRun r = runThroughProxy({QStringLiteral("/a")}, 10000);
    expectNothingWritten(r, {"", {}, {}, 0, {}, "anderen Benutzer (Benutzer-ID 65534)", 5000},
                         fileHash(form));
    QDir(foreign).removeRecursively();
}

} // namespace
