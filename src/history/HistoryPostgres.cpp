// The history on a PostgreSQL server, through Qt's driver and libpq.
#include "history/HistoryDatabaseImpl.h"

#include <libpq-fe.h>
#include <sys/socket.h>

namespace history {

void shutDownSocket(int socket) {
    ::shutdown(socket, SHUT_RDWR);
}

namespace {

// libpq's connection parameters. Every wait is bounded: connecting (libpq takes 2 s at least),
// a statement and a lock on the server, a transaction its client left open (a connection cut on
// the way), a peer that stopped acknowledging. Qt turns ';' into blanks.
QString postgresOptions(const HistorySettings& s, const Deadline& deadline) {
    using namespace std::chrono;
    const milliseconds wait = remaining(deadline, milliseconds(kBusyTimeoutMs));
    const qint64 connectSeconds = std::clamp<qint64>((wait.count() + 999) / 1000, 2, 5);
    const qint64 waitMs = std::max<qint64>(1, wait.count());
    // Without a deadline a long read may take its time; a lock is never waited for long.
    const QString limits = deadline ? QStringLiteral("-c statement_timeout=%1 -c lock_timeout=%1").arg(waitMs)
                                    : QStringLiteral("-c lock_timeout=%1").arg(kBusyTimeoutMs);
    QStringList o{QStringLiteral("connect_timeout=%1").arg(connectSeconds),
                  QStringLiteral("application_name=doziduvov"),
                  QStringLiteral("keepalives=1"),
                  QStringLiteral("keepalives_idle=10"),
                  QStringLiteral("keepalives_interval=5"),
                  QStringLiteral("keepalives_count=3"),
                  QStringLiteral("tcp_user_timeout=%1").arg(std::max<qint64>(waitMs, 10000)),
                  QStringLiteral("options='%1 -c idle_in_transaction_session_timeout=60000'").arg(limits)};
    // Values from the settings are quoted as libpq reads them.
    const auto quoted = [](QString v) {
        return QLatin1Char('\'') +
               v.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                   .replace(QLatin1Char('\''), QLatin1String("\\'")) +
               QLatin1Char('\'');
    };
    if (!s.sslMode.isEmpty())
        o << QStringLiteral("sslmode=") + quoted(s.sslMode);
    if (!s.sslRootCert.isEmpty())
        o << QStringLiteral("sslrootcert=") + quoted(s.sslRootCert);
    return o.join(QLatin1Char(';'));
}

} // namespace

std::unique_ptr<HistoryDatabase> HistoryDatabase::openPostgres(const HistorySettings& s,
                                                               const Deadline& deadline) {
    auto impl = std::make_unique<Impl>();
    impl->connection = newConnectionName();
    impl->postgres = true;
    impl->description = QStringLiteral("PostgreSQL %1@%2:%3/%4")
                            .arg(s.user.isEmpty() ? QStringLiteral("(default user)") : s.user,
                                 s.host.isEmpty() ? QStringLiteral("(local socket)") : s.host)
                            .arg(s.port)
                            .arg(s.database);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), impl->connection);
        if (!db.isValid())
            throw HistoryError(
                QStringLiteral("%1: the Qt PostgreSQL driver is not installed").arg(impl->description));
        // The password comes from libpq itself (PGPASSWORD or ~/.pgpass), never from the settings.
        if (!s.host.isEmpty())
            db.setHostName(s.host);
        db.setPort(s.port);
        if (!s.database.isEmpty())
            db.setDatabaseName(s.database);
        if (!s.user.isEmpty())
            db.setUserName(s.user);
        db.setConnectOptions(postgresOptions(s, deadline));
        if (!db.open()) {
            // SQLSTATE 28000/28P01, as libpq words it: the server is there, the login is wrong.
            const QString why = db.lastError().text();
            if (why.contains(QLatin1String("authentication failed")) ||
                why.contains(QLatin1String("no password supplied")) || why.contains(QLatin1String("28P01")))
                throw HistoryError(QStringLiteral("%1: connect (%2)").arg(impl->description, why.trimmed()),
                                   HistoryError::Cause::LoginRefused);
            impl->fail(QStringLiteral("connect"), db.lastError());
        }
        const QVariant handle = db.driver()->handle();
        // Qt names the type after libpq's struct.
        if (handle.isValid() &&
            (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
            impl->socket = PQsocket(*static_cast<PGconn* const*>(handle.constData()));
    }
    if (deadline && impl->socket >= 0) {
        SocketWatchdog watchdog(impl->socket, *deadline);
        impl->migrate();
    } else {
        impl->migrate();
    }
    return std::unique_ptr<HistoryDatabase>(new HistoryDatabase(std::move(impl)));
}

} // namespace history
