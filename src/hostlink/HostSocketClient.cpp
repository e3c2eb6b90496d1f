#include "hostlink/HostSocketClient.h"

#include "hostlink/HostProtocol.h"
#include "hostlink/HostSnapshot.h"
#include "hostlink/HostSocketPath.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace host {

namespace p = protocol;

namespace {

// One answer: its line, and the frame that followed it when the line announced one.
struct Reply {
    QJsonObject line;
    QByteArray frame;
};

// The connection: requests, the answers waited for, and the one queue through which every event
// goes, so that events are handled only between operations, never inside one.
class Client : public QObject, public std::enable_shared_from_this<Client> {
public:
    explicit Client(const ClientOptions& options) : m_options(options) {
        QObject::connect(&m_socket, &QLocalSocket::readyRead, this, [this] {
            readIncoming();
            if (!m_events.empty())
                scheduleDispatch();
        });
        // A subscriber must hear that no more events will come, or it waits for ever.
        QObject::connect(&m_socket, &QLocalSocket::disconnected, this, [this] {
            if (m_broken.isEmpty())
                readIncoming(); // answers sent before the end are still answers
            connectionLost();
        });
    }

    // False when no host serves the socket. Throws when the socket's folder is not the user's own
    // or another user's process is at the other end.
    bool open() {
        m_socket.connectToServer(hostSocketPath());
        if (!m_socket.waitForConnected(3000))
            return false;
        const std::optional<unsigned> peer = peerUser(m_socket.socketDescriptor());
        if (peer && *peer != currentUser()) {
            m_socket.abort();
            throw HostError(
                QStringLiteral("The Korvex socket is served by another user (user id %1).").arg(*peer),
                HostFault::ForeignHost, QString::number(*peer));
        }
        return true;
    }

    const ClientOptions& options() const { return m_options; }
    quint64 epoch() const { return m_epoch; }
    // A change the host may have made (an executed command, a save): older snapshots are stale.
    void bumpEpoch() { ++m_epoch; }

    // Sends a request without waiting for its answer; wait() or forget() takes the answer.
    // A frame is the answer when asked for; any other answer is a value.
    qint64 send(const char* op, QJsonObject args = {}) {
        throwIfBroken();
        if (m_socket.state() != QLocalSocket::ConnectedState)
            throw HostError(QStringLiteral("The connection to Korvex is closed."), HostFault::Closed);
        const qint64 id = ++m_nextId;
        m_asked.push_back({id, std::strcmp(op, p::kCommands) == 0});
        args.insert(QStringLiteral("id"), id);
        args.insert(QStringLiteral("op"), QLatin1String(op));
        m_socket.write(QJsonDocument(args).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
        return id;
    }

    Reply wait(qint64 id) {
        struct InCall {
            Client& c;
            explicit InCall(Client& client) : c(client) { ++c.m_inCall; }
            ~InCall() {
                if (--c.m_inCall == 0 && !c.m_events.empty())
                    c.scheduleDispatch();
            }
        } guard(*this);

        QElapsedTimer timer;
        timer.start();
        for (;;) {
            readIncoming();
            const auto it = m_replies.find(id);
            if (it != m_replies.end()) {
                Reply reply = std::move(it->second);
                m_replies.erase(it);
                if (const auto err = reply.line.constFind(QLatin1String("err")); err != reply.line.constEnd())
                    throw HostError(err->toString());
                return reply;
            }
            throwIfBroken();
            if (m_socket.state() != QLocalSocket::ConnectedState)
                throw HostError(QStringLiteral("Korvex closed the connection."), HostFault::Closed);
            const qint64 left = m_options.timeoutMs - timer.elapsed();
            if (left <= 0) {
                // A late answer would be taken for the next question's: the connection is done.
                const QString seconds = QString::number((m_options.timeoutMs + 999) / 1000);
                breakConnection(QStringLiteral("Korvex did not answer within %1 s.").arg(seconds),
                                HostFault::TimedOut, seconds);
                throwIfBroken();
            }
            m_socket.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000)));
        }
    }

    // An answer no one will wait for: dropped when it comes.
    void forget(qint64 id) {
        if (m_replies.erase(id) == 0)
            m_forgotten.insert(id);
    }

    QJsonValue call(const char* op, QJsonObject args = {}) {
        return wait(send(op, std::move(args))).line.value(QLatin1String("v"));
    }
    // A value that must have a type: anything else is a broken peer, not a zero or an empty text.
    QJsonValue call(const char* op, QJsonValue::Type type, QJsonObject args = {}) {
        QJsonValue v = call(op, std::move(args));
        if (v.type() != type)
            protocolError(
                QStringLiteral("Korvex answered %1 with a value of the wrong kind.").arg(QLatin1String(op)));
        return v;
    }

    // Decodes a frame of command snapshots; a frame that does not decode ends the connection.
    std::vector<CommandSnapshot> decode(const Reply& reply, int asked) {
        std::vector<CommandSnapshot> out;
        try {
            out = decodeCommandFrame(reply.frame);
        } catch (const HostError& e) {
            protocolError(e.text());
        }
        if (static_cast<int>(out.size()) > asked)
            protocolError(QStringLiteral("Korvex sent more commands than were asked for."));
        return out;
    }

    [[noreturn]] void protocolError(const QString& why) {
        breakConnection(why, HostFault::Protocol);
        throw HostError(m_broken, m_brokenFault, m_brokenDetail);
    }

    void addListener(HostEventListener* l) {
        if (m_listeners.empty())
            call(p::kSubscribe);
        m_listeners.push_back(l);
    }
    void removeListener(HostEventListener* l) {
        const auto it = std::find(m_listeners.begin(), m_listeners.end(), l);
        if (it == m_listeners.end())
            return;
        m_listeners.erase(it);
        if (m_listeners.empty())
            call(p::kUnsubscribe);
    }

    void hold() { ++m_deferrals; }
    void release() {
        if (--m_deferrals == 0 && !m_events.empty())
            scheduleDispatch();
    }

private:
    void throwIfBroken() const {
        if (!m_broken.isEmpty())
            throw HostError(m_broken, m_brokenFault, m_brokenDetail);
    }

    // A peer that breaks the protocol cannot be trusted with the next answer either.
    void breakConnection(const QString& why, HostFault fault = HostFault::Protocol,
                         const QString& detail = {}) {
        if (m_broken.isEmpty()) {
            m_broken = why;
            m_brokenFault = fault;
            m_brokenDetail = detail;
        }
        m_socket.abort();
        connectionLost();
    }

    // Once per connection: subscribers get one last event saying the host is gone.
    void connectionLost() {
        if (m_broken.isEmpty()) {
            m_broken = QStringLiteral("Korvex closed the connection.");
            m_brokenFault = HostFault::Closed;
        }
        if (m_lostQueued || m_listeners.empty())
            return;
        m_lostQueued = true;
        m_events.push_back(QJsonObject{{QStringLiteral("ev"), QLatin1String(kLost)}});
        scheduleDispatch();
    }

    // Compact JSON holds no control characters, and every line is an object: anything else is not
    // an answer, and waiting for its end would only wait for the time limit.
    bool plausible(const char* from, const char* to, bool lineStart) const {
        if (lineStart && from < to && *from != '{')
            return false;
        for (const char* c = from; c < to; ++c)
            if (static_cast<unsigned char>(*c) < 0x20)
                return false;
        return true;
    }

    // Takes every complete line and frame received so far. The buffer is scanned from where the
    // last scan stopped and compacted once per read, so a long answer costs linear time.
    void readIncoming() {
        while (m_broken.isEmpty()) {
            if (m_frame) {
                if (!fillFrame())
                    return;
                continue;
            }
            const char* data = m_buffer.constData();
            const auto* nl = static_cast<const char*>(
                std::memchr(data + m_scanned, '\n', static_cast<std::size_t>(m_buffer.size() - m_scanned)));
            const char* scanEnd = nl ? nl : data + m_buffer.size();
            if (!plausible(data + m_scanned, scanEnd, m_scanned == m_lineStart)) {
                breakConnection(QStringLiteral("Korvex sent bytes that are not an answer."));
                return;
            }
            if (nl) {
                const qsizetype end = nl - data;
                const qsizetype start = m_lineStart;
                m_lineStart = m_scanned = end + 1;
                takeLine(QByteArrayView(data + start, end - start));
                continue;
            }
            m_scanned = m_buffer.size();
            if (m_buffer.size() - m_lineStart > p::kMaxLineBytes) {
                breakConnection(
                    QStringLiteral("Korvex sent an answer longer than %1 bytes.").arg(p::kMaxLineBytes));
                return;
            }
            if (m_socket.bytesAvailable() <= 0)
                return;
            if (m_lineStart > 0) {
                m_buffer.remove(0, m_lineStart);
                m_scanned -= m_lineStart;
                m_lineStart = 0;
            }
            m_buffer += m_socket.readAll();
        }
    }

    void takeLine(QByteArrayView line) {
        QJsonParseError error;
        QJsonObject o = QJsonDocument::fromJson(line.toByteArray(), &error).object();
        if (error.error != QJsonParseError::NoError || o.isEmpty()) {
            breakConnection(QStringLiteral("Korvex sent a malformed answer."));
            return;
        }
        if (o.contains(QLatin1String("ev"))) {
            if (o.value(QLatin1String("ev")).toString() == QLatin1String(kLost)) {
                breakConnection(QStringLiteral("Korvex sent a malformed answer."));
                return;
            }
            m_events.push_back(std::move(o));
            return;
        }
        // Answers come in the order asked, a frame exactly where one was asked for.
        const auto re = o.constFind(QLatin1String("re"));
        if (re == o.constEnd() || m_asked.empty() || re->toInteger() != m_asked.front().id) {
            breakConnection(QStringLiteral("Korvex sent an answer to a question it was not asked."));
            return;
        }
        const bool frameAsked = m_asked.front().frame;
        m_asked.pop_front();
        const qint64 id = re->toInteger();
        const auto bin = o.constFind(QLatin1String("bin"));
        const bool isError = o.contains(QLatin1String("err"));
        if ((bin != o.constEnd()) != (frameAsked && !isError) ||
            (bin == o.constEnd() && !isError && !o.contains(QLatin1String("v")))) {
            breakConnection(QStringLiteral("Korvex sent an answer of the wrong kind."));
            return;
        }
        if (bin == o.constEnd()) {
            deliver(id, Reply{std::move(o), {}});
            return;
        }
        const qint64 size = bin->toInteger(-1);
        if (size < 0 || size > p::kMaxLineBytes) {
            breakConnection(QStringLiteral("Korvex announced an answer of %1 bytes.").arg(bin->toDouble()));
            return;
        }
        m_frame.emplace(PendingFrame{id, Reply{std::move(o), QByteArray(size, Qt::Uninitialized)}, 0});
    }

    // Moves the frame's bytes from the line buffer, then straight from the socket; true once whole.
    bool fillFrame() {
        PendingFrame& f = *m_frame;
        char* out = f.reply.frame.data();
        const qsizetype size = f.reply.frame.size();
        if (const qsizetype buffered = std::min(m_buffer.size() - m_lineStart, size - f.filled);
            buffered > 0) {
            std::memcpy(out + f.filled, m_buffer.constData() + m_lineStart,
                        static_cast<std::size_t>(buffered));
            f.filled += buffered;
            m_lineStart = m_scanned = m_lineStart + buffered;
        }
        if (f.filled < size) {
            const qint64 n = m_socket.read(out + f.filled, size - f.filled);
            if (n > 0)
                f.filled += n;
        }
        if (f.filled < size)
            return false;
        PendingFrame done = std::move(f);
        m_frame.reset();
        deliver(done.id, std::move(done.reply));
        return true;
    }

    void deliver(qint64 id, Reply reply) {
        if (m_forgotten.erase(id) == 0)
            m_replies.insert_or_assign(id, std::move(reply));
    }

    void scheduleDispatch() {
        if (m_dispatchScheduled)
            return;
        m_dispatchScheduled = true;
        QMetaObject::invokeMethod(
            this, [this] { dispatchEvents(); }, Qt::QueuedConnection);
    }

    void dispatchEvents();

    struct PendingFrame {
        qint64 id;
        Reply reply;
        qsizetype filled;
    };
    struct Asked {
        qint64 id;
        bool frame;
    };
    // The event that says the connection has ended; never sent by a host.
    static constexpr char kLost[] = "lost";

    ClientOptions m_options;
    QLocalSocket m_socket;
    QByteArray m_buffer;
    qsizetype m_lineStart = 0; // where the first line not yet taken starts
    qsizetype m_scanned = 0;   // no line end before this
    std::optional<PendingFrame> m_frame;
    QString m_broken;
    HostFault m_brokenFault = HostFault::Closed;
    QString m_brokenDetail;
    bool m_lostQueued = false;
    std::deque<Asked> m_asked; // questions sent and not yet answered, in order
    qint64 m_nextId = 0;
    std::unordered_map<qint64, Reply> m_replies;
    std::unordered_set<qint64> m_forgotten;
    std::deque<QJsonObject> m_events;
    std::vector<HostEventListener*> m_listeners;
    quint64 m_epoch = 0;
    int m_inCall = 0;
    int m_deferrals = 0;
    bool m_dispatching = false;
    bool m_dispatchScheduled = false;
};

// A member read one round trip at a time, as the host's JSON value gives it.
template <typename T> T fromValue(const QJsonValue& v) {
    if constexpr (std::is_same_v<T, double>)
        return v.toDouble();
    else if constexpr (std::is_same_v<T, int>)
        return v.toInt();
    else if constexpr (std::is_same_v<T, bool>)
        return v.toBool();
    else
        return v.toString();
}

// Reads of one command: from its snapshot while the host cannot have changed, else one call each.
class ClientCommand : public HostCommand, public std::enable_shared_from_this<ClientCommand> {
public:
    ClientCommand(std::shared_ptr<Client> c, int index,
                  std::optional<CommandSnapshot> snapshot = std::nullopt)
        : m_client(std::move(c)), m_index(index), m_snapshot(std::move(snapshot)),
          m_epoch(m_client->epoch()) {}

    bool snapshots() const { return m_client->options().snapshots; }

    QJsonValue get(const QString& member, int arg = 0) {
        return m_client->call(p::kGet, {{QStringLiteral("index"), m_index},
                                        {QStringLiteral("member"), member},
                                        {QStringLiteral("arg"), arg}});
    }

    const CommandSnapshot& snapshot() {
        if (!m_snapshot || m_epoch != m_client->epoch()) {
            const Reply r = m_client->wait(m_client->send(
                p::kCommands, {{QStringLiteral("from"), m_index}, {QStringLiteral("count"), 1}}));
            std::vector<CommandSnapshot> one = m_client->decode(r, 1);
            if (one.size() != 1)
                throw HostError(QStringLiteral("Command %1 does not exist.").arg(m_index));
            m_snapshot = std::move(one.front());
            m_epoch = m_client->epoch();
        }
        return *m_snapshot;
    }

    // The dimension, comment or assignment part; a command without it has no such object.
    template <typename Part>
    const Part& part(const std::optional<Part> CommandSnapshot::*which, const char* name) {
        const CommandSnapshot& s = snapshot();
        if (!(s.*which))
            throw HostError(QStringLiteral("Command %1 has no %2.").arg(s.idText, QLatin1String(name)));
        return *(s.*which);
    }

    QString IdText() override { return field("idText", &CommandSnapshot::idText); }
    int Type() override { return field("type", &CommandSnapshot::type); }
    bool IsDimension() override { return field("isDimension", &CommandSnapshot::isDimension); }
    bool IsComment() override { return field("isComment", &CommandSnapshot::isComment); }
    bool Marked() override { return field("marked", &CommandSnapshot::marked); }
    std::shared_ptr<HostDimension> Dimension() override;
    std::shared_ptr<HostComment> Comment() override;
    std::shared_ptr<HostAssignment> Assignment() override;

    void GoPrevious() override {
        m_index =
            m_client->call(p::kGoPrevious, QJsonValue::Double, {{QStringLiteral("index"), m_index}}).toInt();
        m_snapshot.reset();
    }
    void Present() override {
        m_client->call(p::kPresent, {{QStringLiteral("index"), m_index}});
        m_client->bumpEpoch();
    }
    QString GetFieldText(int field, int index) override {
        if (snapshots() && field == 169 && index == 0)
            return snapshot().fieldText169;
        return m_client
            ->call(p::kFieldText, {{QStringLiteral("index"), m_index},
                                   {QStringLiteral("field"), field},
                                   {QStringLiteral("arg"), index}})
            .toString();
    }
    void GetUniqueId(std::int32_t& id1, std::int32_t& id2) override {
        if (snapshots()) {
            const CommandSnapshot& s = snapshot();
            id1 = s.uniqueId1;
            id2 = s.uniqueId2;
            return;
        }
        const QJsonArray a = get(QStringLiteral("uniqueId")).toArray();
        id1 = a.at(0).toInt();
        id2 = a.at(1).toInt();
    }

private:
    template <typename T> T field(const char* member, T CommandSnapshot::*f) {
        if (!snapshots())
            return fromValue<T>(get(QLatin1String(member)));
        return snapshot().*f;
    }

    std::shared_ptr<Client> m_client;
    int m_index;
    std::optional<CommandSnapshot> m_snapshot;
    quint64 m_epoch;
};

class ClientDimension : public HostDimension {
public:
    explicit ClientDimension(std::shared_ptr<ClientCommand> c) : m_c(std::move(c)) {}
    double Bonus() override { return field("bonus", &D::bonus); }
    double Deviation() override { return field("deviation", &D::deviation); }
    QString Name() override { return field("name", &D::name); }
    QString Feature1() override { return field("feature1", &D::feature1); }
    QString Feature2() override { return field("feature2", &D::feature2); }
    QString Feature3() override { return field("feature3", &D::feature3); }
    double Length() override { return field("length", &D::length); }
    double Nominal() override { return field("nominal", &D::nominal); }
    double Max() override { return field("max", &D::max); }
    double Measured() override { return field("measured", &D::measured); }
    double Min() override { return field("min", &D::min); }
    double MinusTol() override { return field("minusTol", &D::minusTol); }
    double PlusTol() override { return field("plusTol", &D::plusTol); }
    double OutTol() override { return field("outTol", &D::outTol); }
    int OutputMode() override { return field("outputMode", &D::outputMode); }
    int Units() override { return field("units", &D::units); }
    QString AxisLabel() override { return field("axisLabel", &D::axisLabel); }
    bool IsLocationAxis() override { return field("isLocationAxis", &D::isLocationAxis); }
    bool IsTruePositionAxis() override { return field("isTruePositionAxis", &D::isTruePositionAxis); }
    QString Datum1() override { return field("datum1", &D::datum1); }
    QString Datum2() override { return field("datum2", &D::datum2); }
    QString Datum3() override { return field("datum3", &D::datum3); }

private:
    using D = DimensionSnapshot;
    template <typename T> T field(const char* member, T D::*f) {
        if (!m_c->snapshots())
            return fromValue<T>(m_c->get(QStringLiteral("dimension.") + QLatin1String(member)));
        return m_c->part(&CommandSnapshot::dimension, "dimension").*f;
    }
    std::shared_ptr<ClientCommand> m_c;
};

class ClientComment : public HostComment {
public:
    explicit ClientComment(std::shared_ptr<ClientCommand> c) : m_c(std::move(c)) {}
    int CommentType() override {
        if (!m_c->snapshots())
            return m_c->get(QStringLiteral("comment.commentType")).toInt();
        return part().commentType;
    }
    QString Text() override {
        if (!m_c->snapshots())
            return m_c->get(QStringLiteral("comment.text")).toString();
        return part().text;
    }
    QString Line(int line) override {
        if (!m_c->snapshots() || line < 1 || line > kSnapshotCommentLines)
            return m_c->get(QStringLiteral("comment.line"), line).toString();
        return part().line(line);
    }

private:
    const CommentSnapshot& part() { return m_c->part(&CommandSnapshot::comment, "comment"); }
    std::shared_ptr<ClientCommand> m_c;
};

class ClientAssignment : public HostAssignment {
public:
    explicit ClientAssignment(std::shared_ptr<ClientCommand> c) : m_c(std::move(c)) {}
    QString Name() override {
        if (!m_c->snapshots())
            return m_c->get(QStringLiteral("assignment.name")).toString();
        return part().name;
    }
    QString Value() override {
        if (!m_c->snapshots())
            return m_c->get(QStringLiteral("assignment.value")).toString();
        return part().value;
    }

private:
    const AssignmentSnapshot& part() { return m_c->part(&CommandSnapshot::assignment, "assignment"); }
    std::shared_ptr<ClientCommand> m_c;
};

std::shared_ptr<HostDimension> ClientCommand::Dimension() {
    return std::make_shared<ClientDimension>(shared_from_this());
}
std::shared_ptr<HostComment> ClientCommand::Comment() {
    return std::make_shared<ClientComment>(shared_from_this());
}
std::shared_ptr<HostAssignment> ClientCommand::Assignment() {
    return std::make_shared<ClientAssignment>(shared_from_this());
}

// Walks the commands, fetching a batch of snapshots per answer. The next batches are asked for
// before the current one is decoded, so that the host writes them while this side decodes.
class ClientEnumerator : public HostCommandEnumerator {
public:
    explicit ClientEnumerator(std::shared_ptr<Client> c) : m_client(std::move(c)) {
        m_count = m_client->call(p::kCount, QJsonValue::Double).toInt();
    }
    ~ClientEnumerator() override { forgetAhead(); }

    std::shared_ptr<HostCommand> Next() override {
        if (m_next >= m_count)
            return nullptr;
        const int index = m_next++;
        if (!m_client->options().snapshots)
            return std::make_shared<ClientCommand>(m_client, index);
        if (index >= m_batchFrom + static_cast<int>(m_batch.size()) || m_batchEpoch != m_client->epoch())
            fetch(index);
        // Each index is handed out once, so its snapshot can move to the command.
        return std::make_shared<ClientCommand>(
            m_client, index, std::move(m_batch[static_cast<std::size_t>(index - m_batchFrom)]));
    }

private:
    struct Asked {
        qint64 id;
        int from;
        quint64 epoch;
    };

    void fetch(int index) {
        const quint64 epoch = m_client->epoch();
        // Answers asked for before the host may have changed are stale, whenever they arrive.
        if (!m_ahead.empty() && (m_ahead.front().epoch != epoch || m_ahead.front().from != index))
            forgetAhead();
        const int batch = std::max(1, m_client->options().batchSize);
        const std::size_t depth = 1 + static_cast<std::size_t>(std::max(0, m_client->options().batchesAhead));
        int from = m_ahead.empty() ? index : m_ahead.back().from + batch;
        for (; m_ahead.size() < depth && from < m_count; from += batch)
            m_ahead.push_back({m_client->send(p::kCommands, {{QStringLiteral("from"), from},
                                                             {QStringLiteral("count"), batch}}),
                               from, epoch});
        const Asked asked = m_ahead.front();
        m_ahead.pop_front();
        const Reply reply = m_client->wait(asked.id);
        m_batch = m_client->decode(reply, batch);
        if (m_batch.empty())
            throw HostError(QStringLiteral("Command %1 does not exist.").arg(index));
        m_batchFrom = index;
        m_batchEpoch = asked.epoch;
    }

    void forgetAhead() {
        for (const Asked& a : m_ahead)
            m_client->forget(a.id);
        m_ahead.clear();
    }

    std::shared_ptr<Client> m_client;
    int m_count = 0;
    int m_next = 0;
    int m_batchFrom = 0;
    std::vector<CommandSnapshot> m_batch;
    quint64 m_batchEpoch = 0;
    std::deque<Asked> m_ahead;
};

class ClientCommands : public HostCommands {
public:
    explicit ClientCommands(std::shared_ptr<Client> c) : m_client(std::move(c)) {}
    int Count() override { return m_client->call(p::kCount, QJsonValue::Double).toInt(); }
    std::shared_ptr<HostCommand> Item(int index) override {
        if (index < 0 || index >= Count())
            throw HostError(QStringLiteral("Command %1 does not exist.").arg(index));
        return std::make_shared<ClientCommand>(m_client, index);
    }
    std::unique_ptr<HostCommandEnumerator> Enumerate() override {
        return std::make_unique<ClientEnumerator>(m_client);
    }
    std::shared_ptr<HostCommand> FindByUniqueId(std::int32_t id1, std::int32_t id2) override {
        const int index = m_client
                              ->call(p::kFind, QJsonValue::Double,
                                     {{QStringLiteral("id1"), id1}, {QStringLiteral("id2"), id2}})
                              .toInt();
        return index < 0 ? nullptr : std::make_shared<ClientCommand>(m_client, index);
    }

private:
    std::shared_ptr<Client> m_client;
};

class ClientProgram : public HostPartProgram {
public:
    explicit ClientProgram(std::shared_ptr<Client> c, QString knownFullName = {})
        : m_client(std::move(c)), m_knownFullName(std::move(knownFullName)), m_knownEpoch(m_client->epoch()) {
    }
    QString PartName() override { return member("partName", &ProgramSnapshot::partName); }
    QString Folder() override { return member("folder", &ProgramSnapshot::folder); }
    QString Revision() override { return member("revision", &ProgramSnapshot::revision); }
    QString DrawingNumber() override { return member("drawingNumber", &ProgramSnapshot::drawingNumber); }
    QString FileName() override { return member("fileName", &ProgramSnapshot::fileName); }
    QString FullName() override {
        // An event names its part program; that is what the host held when it sent the event.
        if (!m_knownFullName.isEmpty() && m_knownEpoch == m_client->epoch())
            return m_knownFullName;
        return member("fullName", &ProgramSnapshot::fullName);
    }
    std::shared_ptr<HostCommands> Commands() override { return std::make_shared<ClientCommands>(m_client); }
    void Save() override {
        m_client->call(p::kSave);
        m_client->bumpEpoch();
    }

private:
    QString member(const char* name, QString ProgramSnapshot::*f) {
        if (!m_client->options().snapshots)
            return m_client->call(p::kProgramGet, {{QStringLiteral("member"), QLatin1String(name)}})
                .toString();
        if (!m_snapshot || m_epoch != m_client->epoch()) {
            m_snapshot = programSnapshotFromJson(m_client->call(p::kProgram, QJsonValue::Object).toObject());
            m_epoch = m_client->epoch();
        }
        return (*m_snapshot).*f;
    }

    std::shared_ptr<Client> m_client;
    QString m_knownFullName;
    quint64 m_knownEpoch;
    std::optional<ProgramSnapshot> m_snapshot;
    quint64 m_epoch = 0;
};

class ClientEvents : public HostApplicationEvents {
public:
    explicit ClientEvents(std::shared_ptr<Client> c) : m_client(std::move(c)) {}
    ~ClientEvents() override {
        try {
            setListener(nullptr);
        } catch (const HostError&) {
            // The host is gone; there is no subscription left to end.
        }
    }
    void setListener(HostEventListener* listener) override {
        if (m_listener)
            m_client->removeListener(std::exchange(m_listener, nullptr));
        if (listener) {
            m_client->addListener(listener);
            m_listener = listener;
        }
    }

private:
    std::shared_ptr<Client> m_client;
    HostEventListener* m_listener = nullptr;
};

class ClientApp : public HostApplication {
public:
    explicit ClientApp(std::shared_ptr<Client> c) : m_client(std::move(c)) {}
    std::shared_ptr<HostPartProgram> ActivePartProgram() override {
        const QJsonObject a = m_client->call(p::kApp, QJsonValue::Object).toObject();
        if (!a.value(QStringLiteral("hasProgram")).toBool())
            return nullptr;
        return std::make_shared<ClientProgram>(m_client);
    }
    std::shared_ptr<HostApplicationEvents> Events() override {
        return std::make_shared<ClientEvents>(m_client);
    }
    QString Version() override {
        return m_client->call(p::kApp, QJsonValue::Object)
            .toObject()
            .value(QStringLiteral("version"))
            .toString();
    }
    void SetPlacement(int dispid, double value) override {
        m_client->call(p::kPlacement, {{QStringLiteral("dispid"), dispid}, {QStringLiteral("value"), value}});
    }
    Client& client() { return *m_client; }

private:
    std::shared_ptr<Client> m_client;
};

void Client::dispatchEvents() {
    m_dispatchScheduled = false;
    if (m_dispatching || m_inCall > 0 || m_deferrals > 0)
        return; // delivered when the running operation has ended
    m_dispatching = true;
    auto self = shared_from_this(); // a handler may release the last host object
    while (!m_events.empty() && m_deferrals == 0) {
        const QJsonObject ev = m_events.front();
        m_events.pop_front();
        bumpEpoch();
        const QString kind = ev.value(QStringLiteral("ev")).toString();
        if (kind == QLatin1String(kLost)) {
            const HostError why(m_broken, m_brokenFault, m_brokenDetail);
            const auto listeners = m_listeners;
            for (HostEventListener* l : listeners)
                if (std::find(m_listeners.begin(), m_listeners.end(), l) != m_listeners.end())
                    l->OnConnectionLost(why);
            continue;
        }
        auto prog = std::make_shared<ClientProgram>(self, ev.value(QStringLiteral("fullName")).toString());
        const int index = ev.value(QStringLiteral("index")).toInt();
        const auto listeners = m_listeners;
        for (HostEventListener* l : listeners) {
            if (std::find(m_listeners.begin(), m_listeners.end(), l) == m_listeners.end())
                continue; // unsubscribed by an earlier handler
            try {
                if (kind == QLatin1String(p::kExecuted))
                    l->OnObjectExecuted(prog, std::make_shared<ClientCommand>(self, index));
                else if (kind == QLatin1String(p::kAdded))
                    l->OnAddObject(prog, std::make_shared<ClientCommand>(self, index));
                else if (kind == QLatin1String(p::kEnd))
                    l->OnEndExecution(prog, ev.value(QStringLiteral("termination")).toInt());
            } catch (const std::exception& e) {
                // A handler's failure must not take the program down with it.
                std::fprintf(stderr, "doziduvov: host event failed: %s\n", e.what());
            }
        }
    }
    m_dispatching = false;
    if (!m_events.empty() && m_deferrals == 0)
        scheduleDispatch();
}

} // namespace

std::shared_ptr<HostApplication> connectToHost(const ClientOptions& options) {
    auto client = std::make_shared<Client>(options);
    if (!client->open())
        return nullptr;
    return std::make_shared<ClientApp>(client);
}

std::shared_ptr<void> holdHostEvents(const std::shared_ptr<HostApplication>& app) {
    auto* clientApp = dynamic_cast<ClientApp*>(app.get());
    if (!clientApp)
        return nullptr;
    auto keep = app;
    clientApp->client().hold();
    return std::shared_ptr<void>(nullptr, [keep, clientApp](void*) { clientApp->client().release(); });
}

} // namespace host
