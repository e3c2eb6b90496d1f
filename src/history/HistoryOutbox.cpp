#include "history/HistoryDatabaseImpl.h"

namespace history {

int HistoryDatabase::deliverTo(HistoryDatabase& target) {
    std::vector<qint64> pending;
    {
        QSqlQuery q = m_impl->prepare(QStringLiteral("SELECT part_id FROM part ORDER BY part_id"));
        m_impl->exec(q, "outbox");
        while (q.next())
            pending.push_back(q.value(0).toLongLong());
    }
    int delivered = 0;
    for (qint64 id : pending) {
        Part part;
        try {
            part = m_impl->loadPart(id);
        } catch (const HistoryError&) {
            continue; // another process delivered it meanwhile
        }
        // The server keeps the part once by its uuid: a delivery cut off after the server's commit
        // and before the removal here delivers nothing twice when it is repeated.
        target.storePart(part);
        // By uuid: another process may have removed this part meanwhile, and the key alone
        // must never take a part that was not delivered.
        m_impl->inTransaction([&] {
            for (const char* sql :
                 {"DELETE FROM measurement WHERE part_id IN (SELECT part_id FROM part WHERE part_uuid = ?)",
                  "DELETE FROM header_value WHERE part_id IN (SELECT part_id FROM part WHERE part_uuid = ?)",
                  "DELETE FROM part WHERE part_uuid = ?"}) {
                QSqlQuery d = m_impl->prepare(QString::fromLatin1(sql));
                d.addBindValue(part.uuid);
                m_impl->exec(d, "outbox removal");
            }
        });
        ++delivered;
    }
    return delivered;
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
    if (!m_db) {
        if (m_settings.driver == HistorySettings::Driver::Postgres)
            m_db = HistoryDatabase::openPostgres(m_settings);
        else
            m_db = HistoryDatabase::openSqlite(m_settings.file.isEmpty() ? defaultDatabaseFile()
                                                                         : m_settings.file);
    }
    return *m_db;
}

History::StoreResult History::store(const Part& part) {
    StoreResult result;
    if (m_settings.driver == HistorySettings::Driver::Sqlite) {
        database().storePart(part);
        result.stored = true;
        return result;
    }
    // The station keeps working while the server is away: the outbox first.
    QString outboxProblem;
    try {
        if (!m_outbox)
            m_outbox = HistoryDatabase::openSqlite(outboxFile());
        m_outbox->storePart(part);
    } catch (const HistoryError& e) {
        outboxProblem = e.text();
        m_outbox.reset();
    }
    if (!outboxProblem.isEmpty()) {
        // No outbox: straight to the server, or nowhere.
        try {
            database().storePart(part);
        } catch (const HistoryError& e) {
            m_db.reset();
            throw HistoryError(outboxProblem + QStringLiteral("; ") + e.text());
        }
        result.stored = true;
        return result;
    }
    try {
        result.delivered = deliverOutbox();
        result.stored = true;
    } catch (const HistoryError& e) {
        result.queued = true;
        result.serverProblem = e.text();
        result.loginRefused = e.loginRefused();
    }
    return result;
}

int History::deliverOutbox() {
    if (m_settings.driver == HistorySettings::Driver::Sqlite)
        return 0;
    if (!m_outbox) {
        if (!QFileInfo::exists(outboxFile()))
            return 0;
        m_outbox = HistoryDatabase::openSqlite(outboxFile());
    }
    try {
        return m_outbox->deliverTo(database());
    } catch (const HistoryError&) {
        m_db.reset(); // a fresh connection next time
        throw;
    }
}

int History::pendingInOutbox() {
    if (m_settings.driver == HistorySettings::Driver::Sqlite)
        return 0;
    if (!m_outbox) {
        if (!QFileInfo::exists(outboxFile()))
            return 0;
        m_outbox = HistoryDatabase::openSqlite(outboxFile());
    }
    return m_outbox->partCount();
}

} // namespace history
