#include "history/HistoryDatabaseImpl.h"

#include <QtEndian>

#include <bit>
#include <cstring>
#include <tuple>

namespace history {

namespace {

const char* const kSetAsideTable =
    "CREATE TABLE IF NOT EXISTS set_aside (part_uuid TEXT PRIMARY KEY, reason TEXT "
    "NOT NULL, set_aside_at TEXT NOT NULL)";

// A part waiting in the outbox as one record, written in one step however many rows it has: the
// run pays for one insert, the delivery for the indexes. Little-endian; texts as UTF-16 with their
// length. Read back only by this program, on this station.
const char* const kWaitingTable =
    "CREATE TABLE IF NOT EXISTS waiting_part (entry INTEGER PRIMARY KEY, part_uuid TEXT NOT NULL "
    "UNIQUE, program_name TEXT NOT NULL, measured_at TEXT NOT NULL, body BLOB NOT NULL)";
constexpr quint32 kRecordFormat = 1;

class RecordWriter {
public:
    explicit RecordWriter(qsizetype sizeHint) { m_out.reserve(sizeHint); }
    template <typename T> void number(T v) {
        const T le = qToLittleEndian(v);
        m_out.append(reinterpret_cast<const char*>(&le), sizeof le);
    }
    void real(double v) { number(std::bit_cast<quint64>(v)); }
    void text(const QString& t) {
        number(static_cast<quint32>(t.size()));
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            m_out.append(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
        } else {
            for (QChar c : t)
                number(c.unicode());
        }
    }
    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
};

class RecordReader {
public:
    explicit RecordReader(const QByteArray& in) : m_in(in) {}
    template <typename T> T number() {
        T v;
        std::memcpy(&v, take(sizeof v), sizeof v);
        return qFromLittleEndian(v);
    }
    double real() { return std::bit_cast<double>(number<quint64>()); }
    QString text() {
        const quint32 n = number<quint32>();
        const char* p = take(qsizetype(n) * 2);
        QString t(static_cast<qsizetype>(n), Qt::Uninitialized);
        std::memcpy(t.data(), p, std::size_t(n) * 2);
        if constexpr (QSysInfo::ByteOrder != QSysInfo::LittleEndian)
            for (QChar& c : t)
                c = QChar(qFromLittleEndian(c.unicode()));
        return t;
    }
    // A count of items of at least `least` bytes each, checked against what is left.
    quint32 count(qsizetype least) {
        const quint32 n = number<quint32>();
        if (qsizetype(n) * least > m_in.size() - m_at)
            throw HistoryError(QStringLiteral("an outbox record is damaged"));
        return n;
    }
    bool atEnd() const { return m_at == m_in.size(); }

private:
    const char* take(qsizetype n) {
        if (n < 0 || n > m_in.size() - m_at)
            throw HistoryError(QStringLiteral("an outbox record is damaged"));
        const char* p = m_in.constData() + m_at;
        m_at += n;
        return p;
    }
    const QByteArray& m_in;
    qsizetype m_at = 0;
};

QByteArray encodePart(const Part& part, const QDateTime& measured) {
    RecordWriter w(128 + qsizetype(part.rows.size()) * 120);
    w.number(kRecordFormat);
    for (const QString* t : {&part.uuid, &part.programName, &part.revision, &part.drawingNumber,
                             &part.hostFileName, &part.station, &part.user})
        w.text(*t);
    w.number(measured.toMSecsSinceEpoch());
    w.number(static_cast<quint32>(part.header.size()));
    for (const auto& [name, value] : part.header) {
        w.text(name);
        w.text(value);
    }
    w.number(static_cast<quint32>(part.rows.size()));
    for (const StoredRow& r : part.rows) {
        for (const QString* t : {&r.id, &r.axis, &r.type, &r.unit, &r.outputMode})
            w.text(*t);
        for (double v : {r.nominal, r.upperTol, r.lowerTol, r.measured, r.deviation, r.outTol, r.min, r.max})
            w.real(v);
        w.number(static_cast<quint8>(r.marked));
        w.number(r.hostUniqueId1);
        w.number(r.hostUniqueId2);
        w.number(static_cast<quint8>(r.classification));
    }
    return w.take();
}

Part decodePart(const QByteArray& body) {
    RecordReader in(body);
    if (in.number<quint32>() != kRecordFormat)
        throw HistoryError(QStringLiteral("an outbox record of another format"));
    Part part;
    for (QString* t : {&part.uuid, &part.programName, &part.revision, &part.drawingNumber, &part.hostFileName,
                       &part.station, &part.user})
        *t = in.text();
    part.measuredUtc = QDateTime::fromMSecsSinceEpoch(in.number<qint64>(), Qt::UTC);
    part.header.resize(in.count(8));
    for (auto& [name, value] : part.header) {
        name = in.text();
        value = in.text();
    }
    part.rows.resize(in.count(5 * 4 + 8 * 8 + 10));
    for (StoredRow& r : part.rows) {
        for (QString* t : {&r.id, &r.axis, &r.type, &r.unit, &r.outputMode})
            *t = in.text();
        for (double* v :
             {&r.nominal, &r.upperTol, &r.lowerTol, &r.measured, &r.deviation, &r.outTol, &r.min, &r.max})
            *v = in.real();
        r.marked = in.number<quint8>() != 0;
        r.hostUniqueId1 = in.number<qint32>();
        r.hostUniqueId2 = in.number<qint32>();
        const quint8 c = in.number<quint8>();
        if (c > static_cast<quint8>(Classification::OutOfTolerance))
            throw HistoryError(QStringLiteral("an outbox record is damaged"));
        r.classification = static_cast<Classification>(c);
    }
    if (!in.atEnd())
        throw HistoryError(QStringLiteral("an outbox record is damaged"));
    return part;
}

QString deadlinePassed(const QString& description) {
    return QStringLiteral("%1: no answer within the time a run waits for the history").arg(description);
}

} // namespace

namespace {

// A waiting part: a record (this program's outbox) or a part stored row by row (the outbox of
// earlier versions, delivered first).
struct Waiting {
    bool record = false;
    qint64 key = 0;
};

void ensureOutboxTables(const HistoryDatabase::Impl& box) {
    box.execText(QString::fromLatin1(kSetAsideTable));
    box.execText(QString::fromLatin1(kWaitingTable));
}

// The outbox's parts that wait, oldest first.
std::vector<Waiting> waitingParts(const HistoryDatabase::Impl& box) {
    ensureOutboxTables(box);
    std::vector<Waiting> waiting;
    for (const auto& [record, sql] :
         {std::pair{false, "SELECT part_id FROM part WHERE part_uuid NOT IN (SELECT part_uuid FROM "
                           "set_aside) ORDER BY part_id"},
          std::pair{true, "SELECT entry FROM waiting_part WHERE part_uuid NOT IN (SELECT part_uuid FROM "
                          "set_aside) ORDER BY entry"}}) {
        QSqlQuery q = box.prepare(QString::fromLatin1(sql));
        box.exec(q, "outbox");
        while (q.next())
            waiting.push_back({record, q.value(0).toLongLong()});
    }
    return waiting;
}

// The part's uuid and the part; the uuid alone when its record cannot be read.
std::pair<QString, std::optional<Part>> loadWaiting(const HistoryDatabase::Impl& box, const Waiting& w) {
    if (!w.record) {
        Part part = box.loadPart(w.key);
        QString uuid = part.uuid;
        return {uuid, std::move(part)};
    }
    QSqlQuery q = box.prepare(QStringLiteral("SELECT part_uuid, body FROM waiting_part WHERE entry = ?"));
    q.addBindValue(w.key);
    box.exec(q, "outbox");
    if (!q.next())
        throw HistoryError(QStringLiteral("%1: outbox entry %2 vanished").arg(box.description).arg(w.key));
    const QString uuid = q.value(0).toString();
    try {
        return {uuid, decodePart(q.value(1).toByteArray())};
    } catch (const HistoryError&) {
        return {uuid, std::nullopt};
    }
}

// Kept with the reason; the parts behind it go on.
void setAside(const HistoryDatabase::Impl& box, const QString& uuid, const QString& reason) {
    QSqlQuery q = box.prepare(QStringLiteral(
        "INSERT INTO set_aside (part_uuid, reason, set_aside_at) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"));
    q.addBindValue(uuid);
    q.addBindValue(reason);
    q.addBindValue(timeText(QDateTime::currentDateTimeUtc()));
    box.exec(q, "set aside");
}

// By uuid: another process may have removed this part meanwhile, and the key alone must never
// take a part that was not delivered.
void removeDelivered(const HistoryDatabase::Impl& box, const QString& uuid) {
    box.inTransaction([&] {
        for (const char* sql :
             {"DELETE FROM measurement WHERE part_id IN (SELECT part_id FROM part WHERE part_uuid = ?)",
              "DELETE FROM header_value WHERE part_id IN (SELECT part_id FROM part WHERE part_uuid = ?)",
              "DELETE FROM part WHERE part_uuid = ?", "DELETE FROM waiting_part WHERE part_uuid = ?"}) {
            QSqlQuery d = box.prepare(QString::fromLatin1(sql));
            d.addBindValue(uuid);
            box.exec(d, "outbox removal");
        }
    });
}

} // namespace

void HistoryDatabase::queuePart(const Part& part) {
    const Impl& box = *m_impl;
    ensureOutboxTables(box);
    const QDateTime measured =
        part.measuredUtc.isValid() ? part.measuredUtc : QDateTime::currentDateTimeUtc();
    QSqlQuery q = box.prepare(
        QStringLiteral("INSERT INTO waiting_part (part_uuid, program_name, measured_at, body) VALUES (?, ?, "
                       "?, ?) ON CONFLICT (part_uuid) DO NOTHING"));
    q.addBindValue(part.uuid);
    q.addBindValue(text(part.programName));
    q.addBindValue(timeText(measured));
    q.addBindValue(encodePart(part, measured));
    box.exec(q, "outbox");
}

int HistoryDatabase::deliverTo(HistoryDatabase& target, const Deadline& deadline,
                               std::vector<Refusal>* refused) {
    const std::vector<Waiting> pending = waitingParts(*m_impl);
    const Impl& to = *target.m_impl;
    if (sqlite3* handle = to.sqliteHandle())
        sqlite3_busy_timeout(handle,
                             static_cast<int>(std::max<qint64>(
                                 1, remaining(deadline, std::chrono::milliseconds(kBusyTimeoutMs)).count())));
    std::optional<SocketWatchdog> watchdog;
    if (deadline && to.socket >= 0)
        watchdog.emplace(to.socket, *deadline);
    int delivered = 0;
    const auto refuse = [&](const QString& uuid, const QString& reason) {
        setAside(*m_impl, uuid, reason);
        if (refused)
            refused->push_back({uuid, reason});
    };
    for (const Waiting& w : pending) {
        if (deadline && std::chrono::steady_clock::now() >= *deadline)
            throw HistoryError(deadlinePassed(to.description));
        QString uuid;
        std::optional<Part> part;
        try {
            std::tie(uuid, part) = loadWaiting(*m_impl, w);
        } catch (const HistoryError&) {
            continue; // another process delivered it meanwhile
        }
        if (!part) {
            refuse(uuid,
                   QStringLiteral("%1: the outbox record of this part is damaged").arg(m_impl->description));
            continue;
        }
        // The server keeps the part once by its uuid: a delivery cut off after the server's commit
        // and before the removal here delivers nothing twice when it is repeated.
        try {
            target.storePart(*part);
        } catch (const HistoryError& e) {
            if (watchdog && watchdog->fired())
                throw HistoryError(deadlinePassed(to.description));
            if (e.cause() != HistoryError::Cause::PartRefused)
                throw;
            refuse(uuid, e.text());
            continue;
        }
        removeDelivered(*m_impl, uuid);
        ++delivered;
    }
    return delivered;
}

std::vector<HistoryDatabase::OutboxEntry> HistoryDatabase::outboxEntries() const {
    ensureOutboxTables(*m_impl);
    std::vector<OutboxEntry> out;
    for (const char* table : {"part", "waiting_part"}) {
        QSqlQuery q = m_impl->prepare(
            QStringLiteral("SELECT p.part_uuid, p.program_name, p.measured_at, s.reason FROM %1 p LEFT JOIN "
                           "set_aside s ON s.part_uuid = p.part_uuid ORDER BY p.%2")
                .arg(QLatin1String(table), QLatin1String(qstrcmp(table, "part") == 0 ? "part_id" : "entry")));
        m_impl->exec(q, "outbox");
        while (q.next()) {
            OutboxEntry e{
                q.value(0).toString(), q.value(1).toString(), timeFromText(q.value(2).toString()), {}};
            if (!q.value(3).isNull())
                e.setAsideBecause = q.value(3).toString();
            out.push_back(std::move(e));
        }
    }
    return out;
}

int HistoryDatabase::retrySetAside() {
    ensureOutboxTables(*m_impl);
    QSqlQuery q = m_impl->prepare(QStringLiteral("DELETE FROM set_aside"));
    m_impl->exec(q, "outbox");
    return q.numRowsAffected();
}

namespace {

QString dataFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/share/doziduvov");
    return folder;
}

} // namespace

QString defaultDatabaseFile() {
    return dataFolder() + QStringLiteral("/history.sqlite");
}

QString outboxFile() {
    return dataFolder() + QStringLiteral("/history-outbox.sqlite");
}

History::History(HistorySettings s) : m_settings(std::move(s)) {}

QString History::description() const {
    if (m_settings.driver == HistorySettings::Driver::Postgres)
        return QStringLiteral("PostgreSQL %1@%2:%3/%4 (outbox %5)")
            .arg(m_settings.user.isEmpty() ? QStringLiteral("(default user)") : m_settings.user,
                 m_settings.host.isEmpty() ? QStringLiteral("(local socket)") : m_settings.host)
            .arg(m_settings.port)
            .arg(m_settings.database, QDir::toNativeSeparators(outboxFile()));
    return QStringLiteral("SQLite %1")
        .arg(QDir::toNativeSeparators(m_settings.file.isEmpty() ? defaultDatabaseFile() : m_settings.file));
}

HistoryDatabase& History::database() {
    return target({});
}

HistoryDatabase& History::target(const Deadline& deadline) {
    if (!m_db) {
        if (m_settings.driver == HistorySettings::Driver::Postgres)
            m_db = HistoryDatabase::openPostgres(m_settings, deadline);
        else
            m_db = HistoryDatabase::openSqlite(
                m_settings.file.isEmpty() ? defaultDatabaseFile() : m_settings.file, deadline);
    }
    return *m_db;
}

HistoryDatabase* History::outbox(bool create) {
    if (!m_outbox && (create || QFileInfo::exists(outboxFile())))
        m_outbox = HistoryDatabase::openSqlite(outboxFile());
    return m_outbox.get();
}

History::StoreResult History::store(const Part& part, Delivery delivery) {
    if (part.uuid.isEmpty()) {
        Part named = part; // the outbox and the server know a part by its uuid
        named.uuid = makeUuid();
        return store(named, delivery);
    }
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(m_settings.deliverySeconds);
    const bool local = m_settings.driver != HistorySettings::Driver::Postgres;
    if (local && delivery == Delivery::InRun)
        return storeLocally(part, deadline);
    // The station keeps working while the server is away: the outbox first.
    StoreResult result;
    QString outboxProblem;
    try {
        outbox(true)->queuePart(part);
    } catch (const HistoryError& e) {
        outboxProblem = e.text();
        m_outbox.reset();
    }
    if (!outboxProblem.isEmpty()) {
        // No outbox: straight to the server, or nowhere.
        try {
            target(deadline).storePart(part);
        } catch (const HistoryError& e) {
            m_db.reset();
            throw HistoryError(outboxProblem + QStringLiteral("; ") + e.text(), e.cause());
        }
        result.stored = true;
        return result;
    }
    if (local) {
        result.waiting = true;
        return result;
    }
    try {
        deliver(deadline, &result);
        result.setAside = std::any_of(result.refused.begin(), result.refused.end(),
                                      [&part](const Refusal& r) { return r.uuid == part.uuid; });
        result.stored = !result.setAside;
    } catch (const HistoryError& e) {
        result.queued = true;
        result.serverProblem = e.text();
        result.loginRefused = e.loginRefused();
    }
    return result;
}

History::StoreResult History::storeLocally(const Part& part, const Deadline& deadline) {
    StoreResult result;
    try {
        target(deadline).storePart(part);
    } catch (const HistoryError& e) {
        // Locked beyond the deadline (or not writable): the part waits beside it, not lost.
        m_db.reset();
        try {
            outbox(true)->queuePart(part);
        } catch (const HistoryError& o) {
            m_outbox.reset();
            throw HistoryError(e.text() + QStringLiteral("; ") + o.text());
        }
        result.queued = result.busy = true;
        result.serverProblem = e.text();
        return result;
    }
    result.stored = true;
    // Parts an earlier run left waiting follow, as far as the time allows.
    if (outbox(false))
        try {
            deliver(deadline, &result);
        } catch (const HistoryError&) {
        }
    return result;
}

int History::deliver(const Deadline& deadline, StoreResult* result) {
    HistoryDatabase* box = outbox(false);
    if (!box)
        return 0;
    try {
        const int n = box->deliverTo(target(deadline), deadline, result ? &result->refused : nullptr);
        if (result)
            result->delivered = n;
        return n;
    } catch (const HistoryError&) {
        m_db.reset(); // a fresh connection next time
        throw;
    }
}

int History::deliverOutbox(const Deadline& deadline) {
    return deliver(deadline, nullptr);
}

int History::pendingInOutbox() {
    const auto entries = outboxEntries();
    return static_cast<int>(
        std::count_if(entries.begin(), entries.end(),
                      [](const HistoryDatabase::OutboxEntry& e) { return !e.setAsideBecause; }));
}

std::vector<HistoryDatabase::OutboxEntry> History::outboxEntries() {
    HistoryDatabase* box = outbox(false);
    return box ? box->outboxEntries() : std::vector<HistoryDatabase::OutboxEntry>{};
}

int History::retrySetAside() {
    if (HistoryDatabase* box = outbox(false))
        box->retrySetAside();
    return deliverOutbox();
}

} // namespace history
