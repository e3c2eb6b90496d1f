#pragma once

// The history database's insides, shared by the files that store, query and deliver parts; not
// for use outside the history library.

#include "history/History.h"

#include "model/Classification.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include <sqlite3.h>

namespace history {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kRowsPerInsert = 100; // rows per multi-row INSERT: few round trips, few parameters

inline QString timeText(const QDateTime& t) {
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

// The form this program writes, read without the general parser: a trend has many points.
template <typename Char> std::optional<QDateTime> fastTime(const Char* s, qsizetype size) {
    const auto digits = [s](int pos, int n) {
        int v = 0;
        for (int i = pos; i < pos + n; ++i) {
            const auto c = static_cast<char16_t>(s[i]);
            if (c < u'0' || c > u'9')
                return -1;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    if (size != 24 || s[10] != 'T' || s[23] != 'Z')
        return std::nullopt;
    const int y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2), h = digits(11, 2), mi = digits(14, 2),
              sec = digits(17, 2), ms = digits(20, 3);
    const QDate date(y, mo, d);
    if (!date.isValid() || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 59 || ms < 0)
        return std::nullopt;
    const qint64 days = date.toJulianDay() - 2440588; // 1970-01-01
    return QDateTime::fromMSecsSinceEpoch(days * 86400000LL + ((h * 60LL + mi) * 60 + sec) * 1000 + ms,
                                          Qt::UTC);
}

inline QDateTime timeFromText(const QString& s);

// A time as the database gives it: a timestamp (PostgreSQL) or the text this program writes.
inline QDateTime timeOf(const QVariant& v) {
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toUTC();
    return timeFromText(v.toString());
}

inline QDateTime timeFromText(const QString& s) {
    if (const auto t = fastTime(s.utf16(), s.size()))
        return *t;
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// Texts as stored: never NULL (Qt binds a null QString as NULL) and without U+0000, which
// PostgreSQL refuses in a text and a C string would end at.
inline QString stored(const QString& s) {
    if (s.contains(QChar(u'\0')))
        return QString(s).remove(QChar(u'\0'));
    return s.isNull() ? QStringLiteral("") : s;
}
inline QVariant text(const QString& s) {
    return QVariant(stored(s));
}

inline std::chrono::milliseconds remaining(const Deadline& deadline, std::chrono::milliseconds without) {
    if (!deadline)
        return without;
    return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      *deadline - std::chrono::steady_clock::now()));
}

// A name no other connection of the process has.
QString newConnectionName();

// Ends the traffic of a server connection's socket; the descriptor stays open (libpq owns it).
void shutDownSocket(int socket);

// Ends every wait on a server at the deadline: the connection's socket is shut, so that a call
// blocked on a stalled server or a connection lost on the way returns at once with an error.
class SocketWatchdog {
public:
    SocketWatchdog(int socket, std::chrono::steady_clock::time_point deadline);
    ~SocketWatchdog();
    SocketWatchdog(const SocketWatchdog&) = delete;
    SocketWatchdog& operator=(const SocketWatchdog&) = delete;
    bool fired() const { return m_fired; }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

// Migrations from an empty database; entry k brings the schema to version k + 1. "%ID%" is the
// generated key column and "%CLUSTERED%" keeps SQLite from a second copy of a table's key: the
// places where the two dialects differ.
inline const std::vector<QStringList>& migrations() {
    static const std::vector<QStringList> m = {
        {
            QStringLiteral("CREATE TABLE part ("
                           " part_id %ID%,"
                           " part_uuid TEXT NOT NULL UNIQUE,"
                           " program_name TEXT NOT NULL,"
                           " program_revision TEXT NOT NULL,"
                           " drawing_number TEXT NOT NULL,"
                           " host_file_name TEXT NOT NULL,"
                           " measured_at TEXT NOT NULL,"
                           " station TEXT NOT NULL,"
                           " user_name TEXT NOT NULL,"
                           " row_count INTEGER NOT NULL)"),
            // Covering indexes: the trend of one characteristic is read from the two indexes alone.
            QStringLiteral("CREATE INDEX part_program_time ON part (program_name, measured_at, part_uuid)"),
            QStringLiteral("CREATE TABLE header_value ("
                           " part_id BIGINT NOT NULL REFERENCES part (part_id) ON DELETE CASCADE,"
                           " position INTEGER NOT NULL,"
                           " name TEXT NOT NULL,"
                           " value TEXT NOT NULL,"
                           " PRIMARY KEY (part_id, position))"),
            QStringLiteral("CREATE TABLE measurement ("
                           " part_id BIGINT NOT NULL REFERENCES part (part_id) ON DELETE CASCADE,"
                           " position INTEGER NOT NULL,"
                           " characteristic_id TEXT NOT NULL,"
                           " axis TEXT NOT NULL,"
                           " type TEXT NOT NULL,"
                           " nominal DOUBLE PRECISION NOT NULL,"
                           " upper_tol DOUBLE PRECISION NOT NULL,"
                           " lower_tol DOUBLE PRECISION NOT NULL,"
                           " measured DOUBLE PRECISION NOT NULL,"
                           " deviation DOUBLE PRECISION NOT NULL,"
                           " out_tol DOUBLE PRECISION NOT NULL,"
                           " min_value DOUBLE PRECISION NOT NULL,"
                           " max_value DOUBLE PRECISION NOT NULL,"
                           " unit TEXT NOT NULL,"
                           " output_mode TEXT NOT NULL,"
                           " marked INTEGER NOT NULL,"
                           " host_unique_id1 INTEGER NOT NULL,"
                           " host_unique_id2 INTEGER NOT NULL,"
                           " classification INTEGER NOT NULL,"
                           " PRIMARY KEY (part_id, position))%CLUSTERED%"),
            QStringLiteral("CREATE INDEX measurement_trend ON measurement (characteristic_id, axis, part_id, "
                           "measured, nominal, upper_tol, lower_tol, classification, type)"),
        },
        {
            // The catalogue: a characteristic of a program is found by one lookup, and its
            // series is one index range of its own, whatever other programs use the same IDs.
            QStringLiteral("CREATE TABLE characteristic ("
                           " characteristic_key %ID%,"
                           " program_name TEXT NOT NULL,"
                           " characteristic_id TEXT NOT NULL,"
                           " axis TEXT NOT NULL,"
                           " UNIQUE (program_name, characteristic_id, axis))"),
            QStringLiteral("INSERT INTO characteristic (program_name, characteristic_id, axis) "
                           "SELECT DISTINCT p.program_name, m.characteristic_id, m.axis FROM measurement m "
                           "JOIN part p ON p.part_id = m.part_id ORDER BY 1, 2, 3"),
            QStringLiteral("ALTER TABLE measurement ADD COLUMN characteristic_key BIGINT"),
            // A server compares and shows times as times; SQLite keeps the text, which sorts alike.
            QStringLiteral(
                "%POSTGRES%ALTER TABLE part ALTER COLUMN measured_at TYPE TIMESTAMP WITH TIME ZONE "
                "USING CAST(measured_at AS TIMESTAMP WITH TIME ZONE)"),
            QStringLiteral(
                "UPDATE measurement SET characteristic_key = c.characteristic_key FROM part p, "
                "characteristic c WHERE p.part_id = measurement.part_id AND c.program_name = "
                "p.program_name AND c.characteristic_id = measurement.characteristic_id AND c.axis = "
                "measurement.axis"),
            QStringLiteral("DROP INDEX measurement_trend"),
            QStringLiteral("CREATE INDEX measurement_series ON measurement (characteristic_key, part_id, "
                           "measured, nominal, upper_tol, lower_tol, classification, type)"),
            // For dashboards: one row per value with its part and time.
            QStringLiteral(
                "CREATE VIEW measurement_value AS SELECT p.part_uuid, p.program_name, p.measured_at, "
                " p.station, p.user_name, m.characteristic_id, m.axis, m.type, m.nominal, "
                "m.upper_tol, m.lower_tol, m.measured, m.deviation, m.out_tol, m.unit, "
                "m.classification FROM measurement m JOIN part p ON p.part_id = m.part_id"),
        },
    };
    return m;
}

const char* const kMeasurementColumns =
    "part_id, position, characteristic_id, axis, type, nominal, upper_tol, lower_tol, measured, deviation, "
    "out_tol, min_value, max_value, unit, output_mode, marked, host_unique_id1, host_unique_id2, "
    "classification, characteristic_key";
constexpr int kMeasurementColumnCount = 20;

inline QString placeholders(int rows, int columns) {
    QString one = QStringLiteral("(") + QStringLiteral("?, ").repeated(columns - 1) + QStringLiteral("?)");
    QStringList all;
    all.reserve(rows);
    for (int i = 0; i < rows; ++i)
        all << one;
    return all.join(QStringLiteral(", "));
}

// Texts that repeat over many rows (header names and values, types), held once: a long series
// then costs no allocation per repeated text. Bounded; a returned string is to be copied.
class TextPool {
public:
    const QString& get(std::string_view utf8) {
        if (const auto it = m_texts.find(utf8); it != m_texts.end())
            return it->second;
        if (m_texts.size() >= 4096)
            m_texts.clear();
        return m_texts.emplace(std::string(utf8), QString::fromUtf8(utf8.data(), qsizetype(utf8.size())))
            .first->second;
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, QString, Hash, std::equal_to<>> m_texts;
};

// A read-only query, row by row. SQLite is read through its own interface: for a long series
// Qt's per-value variants cost several times the query itself.
class Rows {
public:
    virtual ~Rows() = default;
    virtual bool next() = 0;
    virtual qint64 integer(int column) = 0;
    virtual double real(int column) = 0;
    virtual QString text(int column) = 0;
    virtual QDateTime time(int column) { return timeFromText(text(column)); }
    // The text of a column whose few values repeat over the rows, shared through the pool.
    virtual QString pooled(int column, TextPool&) { return text(column); }
    // The text of a column, shared with the last one when it is the same.
    struct Last {
        std::string bytes;
        QString text;
    };
    virtual QString sameAsLast(int column, Last&) { return text(column); }
};

class QtRows : public Rows {
public:
    explicit QtRows(QSqlQuery q) : m_q(std::move(q)) {}
    bool next() override { return m_q.next(); }
    qint64 integer(int c) override { return m_q.value(c).toLongLong(); }
    double real(int c) override { return m_q.value(c).toDouble(); }
    QString text(int c) override { return m_q.value(c).toString(); }
    QDateTime time(int c) override { return timeOf(m_q.value(c)); }

private:
    QSqlQuery m_q;
};

class SqliteRows : public Rows {
public:
    SqliteRows(sqlite3* db, const QString& sql, const QVariantList& values) {
        const QByteArray s = sql.toUtf8();
        if (sqlite3_prepare_v2(db, s.constData(), static_cast<int>(s.size()), &m_stmt, nullptr) != SQLITE_OK)
            throw HistoryError(QString::fromUtf8(sqlite3_errmsg(db)));
        int i = 0;
        for (const QVariant& v : values) {
            ++i;
            if (v.typeId() == QMetaType::QString) {
                const QByteArray t = v.toString().toUtf8();
                sqlite3_bind_text(m_stmt, i, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(m_stmt, i, v.toLongLong());
            }
        }
        m_db = db;
    }
    ~SqliteRows() override { sqlite3_finalize(m_stmt); }
    bool next() override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw HistoryError(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return false;
    }
    qint64 integer(int c) override { return sqlite3_column_int64(m_stmt, c); }
    double real(int c) override { return sqlite3_column_double(m_stmt, c); }
    QString text(int c) override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, c));
    }
    QString sameAsLast(int c, Last& last) override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        const std::string_view now(p ? p : "", p ? std::size_t(sqlite3_column_bytes(m_stmt, c)) : 0);
        if (now != last.bytes) {
            last.bytes.assign(now);
            last.text = QString::fromUtf8(now.data(), qsizetype(now.size()));
        }
        return last.text;
    }
    QString pooled(int c, TextPool& pool) override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        return p ? pool.get(std::string_view(p, std::size_t(sqlite3_column_bytes(m_stmt, c)))) : QString();
    }
    QDateTime time(int c) override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        const int n = sqlite3_column_bytes(m_stmt, c);
        if (const auto t = p ? fastTime(p, n) : std::nullopt)
            return *t;
        return Rows::time(c);
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

struct HistoryDatabase::Impl {
    QString connection;
    bool postgres = false;
    QString description;
    int socket = -1; // PostgreSQL: the connection's socket, for the watchdog

    ~Impl() {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    // A data exception or a broken constraint (SQLSTATE classes 22 and 23) is this part's;
    // anything else may pass on the next try.
    [[noreturn]] void fail(const QString& what, const QSqlError& e) const {
        const QString state = e.nativeErrorCode();
        const bool refused =
            postgres && (state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23")));
        throw HistoryError(QStringLiteral("%1: %2 (%3)").arg(description, what, e.text().trimmed()),
                           refused ? HistoryError::Cause::PartRefused : HistoryError::Cause::Unavailable);
    }

    QSqlQuery prepare(const QString& sql) const {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            fail(QStringLiteral("prepare"), q.lastError());
        return q;
    }

    void exec(QSqlQuery& q, const char* what) const {
        if (!q.exec())
            fail(QString::fromLatin1(what), q.lastError());
    }

    void execText(const QString& sql) const {
        QSqlQuery q(db());
        if (!q.exec(sql))
            fail(sql.left(60), q.lastError());
    }

    // SQLite takes the write lock at the start, so that two writers never deadlock on an upgrade
    // and the busy timeout applies to the wait.
    void begin() const {
        if (postgres) {
            if (!db().transaction())
                fail(QStringLiteral("begin"), db().lastError());
        } else {
            execText(QStringLiteral("BEGIN IMMEDIATE"));
        }
    }
    void commit() const {
        if (postgres) {
            if (!db().commit())
                fail(QStringLiteral("commit"), db().lastError());
        } else {
            execText(QStringLiteral("COMMIT"));
        }
    }
    void rollback() const {
        if (postgres) {
            db().rollback();
        } else {
            QSqlQuery q(db());
            q.exec(QStringLiteral("ROLLBACK"));
        }
    }

    template <typename F> auto inTransaction(F&& f) const {
        begin();
        try {
            if constexpr (std::is_void_v<decltype(f())>) {
                f();
                commit();
            } else {
                auto r = f();
                commit();
                return r;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }

    int version() const {
        QSqlQuery q(db());
        if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !q.next())
            fail(QStringLiteral("schema version"), q.lastError());
        return q.value(0).isNull() ? 0 : q.value(0).toInt();
    }

    void migrate() {
        inTransaction([&] {
            // Several processes may open a new database at once: one migrates, the others wait.
            if (postgres) {
                execText(QStringLiteral("SELECT pg_advisory_xact_lock(72541)"));
                QSqlQuery q(db());
                if (!q.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NULL")) || !q.next())
                    fail(QStringLiteral("schema version"), q.lastError());
                if (q.value(0).toBool())
                    execText(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"));
            } else {
                execText(
                    QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"));
            }
            const int current = version();
            const int latest = static_cast<int>(migrations().size());
            if (current > latest)
                throw HistoryError(QStringLiteral("%1: schema version %2 is newer than this program's (%3)")
                                       .arg(description)
                                       .arg(current)
                                       .arg(latest));
            // Keys are never used twice, also after parts were removed (the outbox).
            const QString id = postgres
                                   ? QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                                   : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
            for (int v = current; v < latest; ++v) {
                for (QString sql : migrations()[static_cast<std::size_t>(v)]) {
                    if (sql.startsWith(QLatin1String("%POSTGRES%")) && !postgres)
                        continue;
                    sql.remove(QStringLiteral("%POSTGRES%"));
                    execText(sql.replace(QStringLiteral("%ID%"), id)
                                 .replace(QStringLiteral("%CLUSTERED%"),
                                          postgres ? QString() : QStringLiteral(" WITHOUT ROWID")));
                }
                QSqlQuery q = prepare(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"));
                q.addBindValue(v + 1);
                exec(q, "schema version");
            }
        });
    }

    sqlite3* sqliteHandle() const {
        if (postgres)
            return nullptr;
        const QVariant h = db().driver()->handle();
        if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
            return *static_cast<sqlite3* const*>(h.constData());
        return nullptr;
    }

    std::unique_ptr<Rows> read(const QString& sql, const QVariantList& values) const {
        if (sqlite3* handle = sqliteHandle()) {
            try {
                return std::make_unique<SqliteRows>(handle, sql, values);
            } catch (const HistoryError& e) {
                throw HistoryError(description + QStringLiteral(": ") + e.text());
            }
        }
        QSqlQuery q = prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        exec(q, "read");
        return std::make_unique<QtRows>(std::move(q));
    }

    Part loadPart(qint64 partId) const;
    // The catalogue keys of a part's rows, in row order; new characteristics are added.
    std::vector<qint64> catalogueKeys(const QString& program, const std::vector<StoredRow>& rows) const;
    std::optional<qint64> catalogueKey(const QString& program, const CharacteristicKey& key) const;
    HeaderData headerOf(qint64 partId) const;
};

// A part waiting for delivery, in an outbox database or folder.
struct WaitingPart {
    QString uuid;
    std::function<std::optional<Part>()> load; // nothing: its copy is damaged; throws when it is gone
    std::function<void()> remove;
    std::function<void(const QString& reason)> setAside;
};

// Delivers the parts in order into target (whose insides are to), as HistoryDatabase::deliverTo.
int deliverWaiting(HistoryDatabase& target, const HistoryDatabase::Impl& to,
                   const std::vector<WaitingPart>& parts, const Deadline& deadline,
                   std::vector<Refusal>* refused);

} // namespace history
