#include "SimServer.h"

#include "hostlink/HostProtocol.h"
#include "hostlink/HostSnapshot.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QTimer>

namespace sim {

namespace p = host::protocol;

// One client: its socket, its unfinished input line, and its subscription.
struct SimServer::Connection : public host::HostEventListener {
    QLocalSocket* socket = nullptr;
    QByteArray buffer;
    std::shared_ptr<host::HostApplicationEvents> events; // held while subscribed

    void send(const QJsonObject& o) {
        socket->write(QJsonDocument(o).toJson(QJsonDocument::Compact));
        socket->write("\n");
    }
    void sendEvent(const char* kind, const std::shared_ptr<host::HostPartProgram>& prog, int index,
                   int termination) {
        send(QJsonObject{{QStringLiteral("ev"), QLatin1String(kind)},
                         {QStringLiteral("index"), index},
                         {QStringLiteral("fullName"), prog->FullName()},
                         {QStringLiteral("termination"), termination}});
        socket->flush();
    }
    void OnObjectExecuted(std::shared_ptr<host::HostPartProgram> prog,
                          std::shared_ptr<host::HostCommand> c) override {
        sendEvent(p::kExecuted, prog, commandIndexOf(*c), 0);
    }
    void OnEndExecution(std::shared_ptr<host::HostPartProgram> prog, int termination) override {
        sendEvent(p::kEnd, prog, -1, termination);
    }
    void OnAddObject(std::shared_ptr<host::HostPartProgram> prog,
                     std::shared_ptr<host::HostCommand> c) override {
        sendEvent(p::kAdded, prog, commandIndexOf(*c), 0);
    }
};

SimServer::SimServer(std::shared_ptr<SimHost> host, ServerOptions options, QObject* parent)
    : QObject(parent), m_host(std::move(host)), m_options(options) {
    connect(&m_server, &QLocalServer::newConnection, this, &SimServer::onNewConnection);
}

SimServer::~SimServer() {
    // The sockets are deleted after the connection table; their last "disconnected" must not
    // reach it.
    for (auto& [socket, conn] : m_connections) {
        QObject::disconnect(socket, nullptr, this, nullptr);
        conn->events.reset();
    }
}

bool SimServer::listen(const QString& name, QString* error) {
    // A crashed simulator leaves its socket file behind.
    QLocalServer::removeServer(name);
    // Only the user's own processes may connect (on Windows: the pipe's access list).
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(name))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

void SimServer::onNewConnection() {
    while (QLocalSocket* s = m_server.nextPendingConnection()) {
        auto conn = std::make_unique<Connection>();
        conn->socket = s;
        connect(s, &QLocalSocket::readyRead, this, [this, s] { onReadyRead(s); });
        connect(s, &QLocalSocket::disconnected, this, [this, s] { onDisconnected(s); });
        m_connections.emplace(s, std::move(conn));
    }
}

void SimServer::onDisconnected(QLocalSocket* socket) {
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->second->events.reset(); // a vanished client's subscription ends with it
    m_connections.erase(it);
    socket->deleteLater();
}

void SimServer::onReadyRead(QLocalSocket* socket) {
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& conn = *it->second;
    conn.buffer += socket->readAll();
    // Requests may come several at once (a client asks ahead); each answer leaves as soon as it is
    // made, so the client decodes one while the next is built.
    qsizetype start = 0;
    qsizetype nl;
    while ((nl = conn.buffer.indexOf('\n', start)) >= 0) {
        const QJsonObject request = QJsonDocument::fromJson(conn.buffer.sliced(start, nl - start)).object();
        start = nl + 1;
        QJsonObject reply{{QStringLiteral("re"), request.value(QStringLiteral("id"))}};
        QByteArray frame;
        try {
            const QJsonValue v = handle(conn, request, frame);
            if (frame.isNull())
                reply.insert(QStringLiteral("v"), v);
            else
                reply.insert(QStringLiteral("bin"), frame.size());
        } catch (const std::exception& e) {
            frame = QByteArray();
            reply.insert(QStringLiteral("err"), QString::fromUtf8(e.what()));
        }
        conn.send(reply);
        if (!frame.isNull())
            socket->write(frame);
        socket->flush();
        // A client that left while asked-ahead answers were being written is gone from the table
        // now (flush reports the disconnection at once), and its connection with it.
        if (!m_connections.contains(socket))
            return;
    }
    conn.buffer.remove(0, start);
    if (conn.buffer.size() > p::kMaxLineBytes)
        socket->abort();
}

QJsonValue SimServer::handle(Connection& conn, const QJsonObject& r, QByteArray& frame) {
    const QString op = r.value(QStringLiteral("op")).toString();
    const int index = r.value(QStringLiteral("index")).toInt();
    auto program = [this] {
        auto prog = m_host->partProgram();
        if (!prog)
            throw host::HostError(QStringLiteral("no part program is open"));
        return prog;
    };
    auto command = [&](int i) {
        if (i < 0 || i >= m_host->commandCount())
            throw host::HostError(QStringLiteral("command %1 does not exist").arg(i));
        return m_host->command(i);
    };

    if (op == QLatin1String(p::kApp))
        return QJsonObject{{QStringLiteral("hasProgram"), m_host->program() != nullptr},
                           {QStringLiteral("version"), m_host->version()}};
    if (op == QLatin1String(p::kProgram))
        return host::programSnapshot(*program());
    if (op == QLatin1String(p::kProgramGet))
        return host::readProgramMember(*program(), r.value(QStringLiteral("member")).toString());
    if (op == QLatin1String(p::kCount))
        return program()->Commands()->Count();
    if (op == QLatin1String(p::kCommands)) {
        const int from = r.value(QStringLiteral("from")).toInt();
        const int count = r.value(QStringLiteral("count")).toInt();
        const auto end = static_cast<int>(std::clamp<qint64>(qint64(from) + count, 0, m_host->commandCount()));
        host::CommandFrameWriter out;
        for (int i = from; i < end; ++i)
            out.add(host::takeCommandSnapshot(*command(i)));
        frame = out.take();
        return {};
    }
    if (op == QLatin1String(p::kGet))
        return host::readCommandMember(*command(index), r.value(QStringLiteral("member")).toString(),
                                       r.value(QStringLiteral("arg")).toInt());
    if (op == QLatin1String(p::kFieldText))
        return command(index)->GetFieldText(r.value(QStringLiteral("field")).toInt(),
                                            r.value(QStringLiteral("arg")).toInt());
    if (op == QLatin1String(p::kGoPrevious)) {
        auto c = command(index);
        c->GoPrevious();
        return commandIndexOf(*c);
    }
    if (op == QLatin1String(p::kPresent)) {
        command(index)->Present();
        return {};
    }
    if (op == QLatin1String(p::kFind)) {
        auto c = program()->Commands()->FindByUniqueId(r.value(QStringLiteral("id1")).toInt(),
                                                       r.value(QStringLiteral("id2")).toInt());
        return c ? commandIndexOf(*c) : -1;
    }
    if (op == QLatin1String(p::kSave)) {
        program()->Save();
        return {};
    }
    if (op == QLatin1String(p::kPlacement)) {
        m_host->application()->SetPlacement(r.value(QStringLiteral("dispid")).toInt(),
                                            r.value(QStringLiteral("value")).toDouble());
        return {};
    }
    if (op == QLatin1String(p::kSubscribe)) {
        if (!conn.events) {
            conn.events = m_host->application()->Events();
            conn.events->setListener(&conn);
        }
        if (m_options.executeOnSubscribe)
            QTimer::singleShot(0, this, &SimServer::startExecution);
        return {};
    }
    if (op == QLatin1String(p::kUnsubscribe)) {
        conn.events.reset();
        return {};
    }
    throw host::HostError(QStringLiteral("unknown operation %1").arg(op));
}

void SimServer::startExecution() {
    if (m_executing || !m_host->program())
        return;
    m_executing = true;
    m_nextCommand = 0;
    const int n = m_host->commandCount();
    m_lastCommand = m_options.stopAfter < 0 ? n : std::min(m_options.stopAfter, n);
    QTimer::singleShot(m_options.delayMs, this, &SimServer::executeStep);
}

void SimServer::executeStep() {
    if (m_nextCommand < m_lastCommand) {
        m_host->executeCommand(m_nextCommand++);
        QTimer::singleShot(m_options.delayMs, this, &SimServer::executeStep);
        return;
    }
    m_host->endExecution(0);
    m_executing = false;
}

void SimServer::addObject(int index) {
    if (index >= 0 && index < m_host->commandCount())
        m_host->addObject(index);
}

} // namespace sim
