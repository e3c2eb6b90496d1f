// korvex-fault-host: sits between the converter and the simulated host on a second local socket and
// breaks the connection on purpose (cut in the middle of an answer, garbage, silence, instant close),
// so tests can check how the converter copes with a host that misbehaves.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <random>
#include <unistd.h>

namespace {

// In the order of kModeNames.
enum class Mode { Pass, CloseAtOnce, Cut, Garbage, Silent };

struct Options {
    QString listenPath;
    QString upstreamPath;
    Mode mode = Mode::Pass;
    qint64 afterBytes = 0;
};

const QStringList kModeNames = {QStringLiteral("pass"), QStringLiteral("close-at-once"),
                                QStringLiteral("cut"), QStringLiteral("garbage"), QStringLiteral("silent")};

const char kUsage[] = "usage: korvex-fault-host --listen PATH --upstream PATH "
                      "--fault pass|close-at-once|cut|garbage|silent [--after-bytes N]\n";

// One client connection and, where the mode forwards, its own upstream connection.
class Session : public QObject {
public:
    Session(QLocalSocket* client, const Options& options, QObject* parent)
        : QObject(parent), m_options(options), m_client(client) {
        m_client->setParent(this);
        connect(m_client, &QLocalSocket::disconnected, this, [this] { finish(); });
        connect(m_client, &QLocalSocket::readyRead, this, [this] { fromClient(); });
        connect(m_client, &QLocalSocket::bytesWritten, this, [this](qint64 n) {
            m_written += n;
            if (m_cut && m_client->bytesToWrite() == 0)
                m_client->abort();
        });
        if (m_options.mode == Mode::Pass || m_options.mode == Mode::Cut)
            connectUpstream();
    }

private:
    void connectUpstream() {
        m_upstream = new QLocalSocket(this);
        connect(m_upstream, &QLocalSocket::connected, this, [this] {
            m_upstreamUp = true;
            m_upstream->write(m_pending);
            m_pending.clear();
        });
        connect(m_upstream, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
            if (m_upstreamUp || m_done)
                return; // a connection that was up ends through disconnected()
            // Qt words a missing socket file as "Invalid name".
            const QString why = error == QLocalSocket::ServerNotFoundError ? QStringLiteral("no such socket")
                                                                           : m_upstream->errorString();
            std::fprintf(stderr, "korvex-fault-host: cannot reach upstream %s: %s\n",
                         qPrintable(m_options.upstreamPath), qPrintable(why));
            m_client->abort();
        });
        connect(m_upstream, &QLocalSocket::readyRead, this, [this] { fromUpstream(); });
        connect(m_upstream, &QLocalSocket::disconnected, this, [this] {
            if (m_done || m_cut)
                return;
            fromUpstream();
            m_client->disconnectFromServer(); // after what is still queued for the client
        });
        m_upstream->connectToServer(m_options.upstreamPath);
    }

    void fromClient() {
        const QByteArray data = m_client->readAll();
        if (m_done || m_cut || data.isEmpty())
            return;
        switch (m_options.mode) {
        case Mode::Pass:
        case Mode::Cut:
            if (m_upstream->state() == QLocalSocket::ConnectedState)
                m_upstream->write(data);
            else if (!m_upstreamUp)
                m_pending.append(data); // the upstream is still connecting
            break;
        case Mode::Garbage:
            m_client->write(garbage());
            break;
        case Mode::CloseAtOnce:
        case Mode::Silent:
            break;
        }
    }

    void fromUpstream() {
        QByteArray data = m_upstream->readAll();
        if (m_done || m_cut || data.isEmpty())
            return;
        if (m_options.mode == Mode::Cut && data.size() >= m_options.afterBytes - m_forwarded) {
            data.truncate(m_options.afterBytes - m_forwarded);
            m_cut = true;
        }
        m_client->write(data);
        m_forwarded += data.size();
        if (!m_cut)
            return;
        // The client must get exactly the bytes before the cut, so it is aborted only once they are
        // written; abort() would drop them.
        m_upstream->abort();
        if (m_client->bytesToWrite() == 0)
            m_client->abort();
    }

    // Binary noise without a line end, so a line reader never sees a complete answer. Every
    // connection gets the same bytes, with any standard library, so runs repeat.
    QByteArray garbage() {
        QByteArray bytes(4096, Qt::Uninitialized);
        for (char& c : bytes) {
            const unsigned b = m_random() % 255;
            c = static_cast<char>(b >= '\n' ? b + 1 : b);
        }
        return bytes;
    }

    void finish() {
        if (m_done)
            return;
        m_done = true;
        if (m_upstream)
            m_upstream->abort();
        if (m_options.mode == Mode::Pass) {
            std::fprintf(stdout, "downstream %lld\n", static_cast<long long>(m_written));
            std::fflush(stdout);
        }
        deleteLater();
    }

    const Options& m_options;
    QLocalSocket* m_client;
    QLocalSocket* m_upstream = nullptr;
    QByteArray m_pending;
    qint64 m_forwarded = 0;
    qint64 m_written = 0;
    bool m_upstreamUp = false;
    bool m_cut = false;
    bool m_done = false;
    std::mt19937 m_random{20240611u};
};

bool parseOptions(const QStringList& arguments, Options& options) {
    QCommandLineParser parser;
    const QCommandLineOption listenOpt(QStringLiteral("listen"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption upstreamOpt(QStringLiteral("upstream"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption faultOpt(QStringLiteral("fault"), QString(), QStringLiteral("MODE"));
    const QCommandLineOption afterOpt(QStringLiteral("after-bytes"), QString(), QStringLiteral("N"));
    parser.addOptions({listenOpt, upstreamOpt, faultOpt, afterOpt});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "korvex-fault-host: %s\n", qPrintable(parser.errorText()));
        return false;
    }
    if (!parser.positionalArguments().isEmpty() || !parser.isSet(listenOpt) || !parser.isSet(upstreamOpt) ||
        !parser.isSet(faultOpt))
        return false;
    options.listenPath = parser.value(listenOpt);
    options.upstreamPath = parser.value(upstreamOpt);
    // A bare name would land in the temporary folder, beside the real host's socket.
    if (!QDir::isAbsolutePath(options.listenPath) || !QDir::isAbsolutePath(options.upstreamPath))
        return false;

    const qsizetype mode = kModeNames.indexOf(parser.value(faultOpt));
    if (mode < 0)
        return false;
    options.mode = static_cast<Mode>(mode);

    // The cut position is required for a cut and meaningless otherwise.
    if (parser.isSet(afterOpt) != (options.mode == Mode::Cut))
        return false;
    if (options.mode == Mode::Cut) {
        bool ok = false;
        options.afterBytes = parser.value(afterOpt).toLongLong(&ok);
        if (!ok || options.afterBytes < 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(QCoreApplication::arguments(), options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    QLocalServer server;
    QLocalServer::removeServer(options.listenPath);
    if (!server.listen(options.listenPath)) {
        std::fprintf(stderr, "korvex-fault-host: cannot listen on %s: %s\n", qPrintable(options.listenPath),
                     qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QLocalServer::newConnection, &server, [&] {
        while (QLocalSocket* client = server.nextPendingConnection()) {
            if (options.mode == Mode::CloseAtOnce) {
                client->abort();
                client->deleteLater();
            } else {
                new Session(client, options, &server);
            }
        }
    });
    std::fputs("listening\n", stderr);
    std::fflush(stderr);

    // Standard input: "quit", or its end, stops the tool.
    QByteArray input;
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, &app, [&] {
        char buf[1024];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            return;
        if (n <= 0) {
            stdinNotifier.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        input.append(buf, n);
        qsizetype nl;
        while ((nl = input.indexOf('\n')) >= 0) {
            if (input.left(nl).trimmed() == "quit")
                QCoreApplication::quit();
            input.remove(0, nl + 1);
        }
    });

    return QCoreApplication::exec();
}
