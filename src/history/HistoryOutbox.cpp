#include "history/HistoryDatabaseImpl.h"

namespace history {

namespace {

const char* const kSetAsideTable =
    "CREATE TABLE IF NOT EXISTS set_aside (part_uuid TEXT PRIMARY KEY, reason TEXT "
    "NOT NULL, set_aside_at TEXT NOT NULL)";

QString deadlinePassed(const QString& description) {
    return QStringLiteral("%1: no answer within the time a run waits for the history").arg(description);
}

} // namespace

namespace {

// The outbox's parts that wait, oldest first.
std::vector<std::pair<qint64, QString>> waitingParts(const HistoryDatabase::Impl& box) {
    box.execText(QString::fromLatin1(kSetAsideTable));
    QSqlQuery q = box.prepare(QStringLiteral("SELECT part_id, part_uuid FROM part WHERE part_uuid NOT IN "
                                             "(SELECT part_uuid FROM set_aside) ORDER BY part_id"));
    box.exec(q, "outbox");
    std::vector<std::pair<qint64, QString>> parts;
    while (q.next())
        parts.emplace_back(q.value(0).toLongLong(), q.value(1).toString());
    return parts;
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
              "DELETE FROM part WHERE part_uuid = ?"}) {
            QSqlQuery d = box.prepare(QString::fromLatin1(sql));
            d.addBindValue(uuid);
            box.exec(d, "outbox removal");
        }
    });
}

} // namespace

int deliverWaiting(HistoryDatabase& target, const HistoryDatabase::Impl& to,
                   const std::vector<WaitingPart>& parts, const Deadline& deadline,
                   std::vector<Refusal>* refused) {
    if (parts.empty())
        return 0;
    if (sqlite3* handle = to.sqliteHandle())
        sqlite3_busy_timeout(handle,
                             static_cast<int>(std::max<qint64>(
                                 1, remaining(deadline, std::chrono::milliseconds(kBusyTimeoutMs)).count())));
    std::optional<SocketWatchdog> watchdog;
    if (deadline && to.socket >= 0)
        watchdog.emplace(to.socket, *deadline);
    int delivered = 0;
    for (const WaitingPart& w : parts) {
        if (deadline && std::chrono::steady_clock::now() >= *deadline)
            throw HistoryError(deadlinePassed(to.description));
        const auto refuse = [&](const QString& reason) {
            w.setAside(reason);
            if (refused)
                refused->push_back({w.uuid, reason});
        };
        std::optional<Part> part;
        try {
            part = w.load();
        } catch (const HistoryError&) {
            continue; // another process delivered it meanwhile
        }
        if (!part) {
            refuse(QStringLiteral("the outbox's copy of this part is damaged"));
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
            refuse(e.text());
            continue;
        }
        w.remove();
        ++delivered;
    }
    return delivered;
}

int HistoryDatabase::deliverTo(HistoryDatabase& target, const Deadline& deadline,
                               std::vector<Refusal>* refused) {
    std::vector<WaitingPart> parts;
    const Impl& box = *m_impl;
    for (const auto& [id, uuid] : waitingParts(box))
        parts.push_back({uuid, [&box, id]() -> std::optional<Part> { return box.loadPart(id); },
                         [&box, uuid] { removeDelivered(box, uuid); },
                         [&box, uuid](const QString& reason) { setAside(box, uuid, reason); }});
    return deliverWaiting(target, *target.m_impl, parts, deadline, refused);
}

std::vector<HistoryDatabase::OutboxEntry> HistoryDatabase::outboxEntries() const {
    m_impl->execText(QString::fromLatin1(kSetAsideTable));
    QSqlQuery q = m_impl->prepare(
        QStringLiteral("SELECT p.part_uuid, p.program_name, p.measured_at, s.reason FROM part p LEFT JOIN "
                       "set_aside s ON s.part_uuid = p.part_uuid ORDER BY p.part_id"));
    m_impl->exec(q, "outbox");
    std::vector<OutboxEntry> out;
    while (q.next()) {
        OutboxEntry e{q.value(0).toString(), q.value(1).toString(), timeFromText(q.value(2).toString()), {}};
        if (!q.value(3).isNull())
            e.setAsideBecause = q.value(3).toString();
        out.push_back(std::move(e));
    }
    return out;
}

int HistoryDatabase::retrySetAside() {
    m_impl->execText(QString::fromLatin1(kSetAsideTable));
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

QString outboxFolder() {
    return dataFolder() + QStringLiteral("/history-outbox");
}

History::History(HistorySettings s) : m_settings(std::move(s)), m_folder(outboxFolder()) {}

QString History::description() const {
    if (m_settings.driver == HistorySettings::Driver::Postgres)
        return QStringLiteral("PostgreSQL %1@%2:%3/%4 (outbox %5)")
            .arg(m_settings.user.isEmpty() ? QStringLiteral("(default user)") : m_settings.user,
                 m_settings.host.isEmpty() ? QStringLiteral("(local socket)") : m_settings.host)
            .arg(m_settings.port)
            .arg(m_settings.database, QDir::toNativeSeparators(outboxFolder()));
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

// The outbox of earlier versions, a database, while it exists.
HistoryDatabase* History::outbox() {
    if (!m_outbox && QFileInfo::exists(outboxFile()))
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
    try {
        m_folder.add(part);
    } catch (const HistoryError& outboxProblem) {
        // No outbox: straight into the history, or nowhere.
        try {
            target(deadline).storePart(part);
        } catch (const HistoryError& e) {
            m_db.reset();
            throw HistoryError(outboxProblem.text() + QStringLiteral("; ") + e.text(), e.cause());
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
            m_folder.add(part);
        } catch (const HistoryError& o) {
            throw HistoryError(e.text() + QStringLiteral("; ") + o.text());
        }
        result.queued = result.busy = true;
        result.serverProblem = e.text();
        return result;
    }
    result.stored = true;
    // Parts an earlier run left waiting follow, as far as the time allows.
    if (outbox() || m_folder.hasWaiting())
        try {
            deliver(deadline, &result);
        } catch (const HistoryError&) {
        }
    return result;
}

int History::deliver(const Deadline& deadline, StoreResult* result) {
    HistoryDatabase* box = outbox();
    if (!box && !m_folder.hasWaiting())
        return 0;
    std::vector<Refusal>* refused = result ? &result->refused : nullptr;
    try {
        HistoryDatabase& to = target(deadline);
        int n = box ? box->deliverTo(to, deadline, refused) : 0; // the older parts first
        n += m_folder.deliverTo(to, deadline, refused);
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
    std::vector<HistoryDatabase::OutboxEntry> entries;
    if (HistoryDatabase* box = outbox())
        entries = box->outboxEntries();
    const auto waiting = m_folder.entries();
    entries.insert(entries.end(), waiting.begin(), waiting.end());
    return entries;
}

int History::retrySetAside() {
    if (HistoryDatabase* box = outbox())
        box->retrySetAside();
    m_folder.retrySetAside();
    return deliverOutbox();
}

} // namespace history
