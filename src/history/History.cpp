#include "history/History.h"

#include "model/Classification.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>
#include <numeric>

#include <sqlite3.h>

namespace history {

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kRowsPerInsert = 100; // rows per multi-row INSERT: few round trips, few parameters

QString timeText(const QDateTime& t) {
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

QDateTime timeFromText(const QString& s) {
    if (const auto t = fastTime(s.utf16(), s.size()))
        return *t;
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// Qt binds a null QString as SQL NULL; the columns hold text.
QVariant text(const QString& s) {
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

// Migrations from an empty database; entry k brings the schema to version k + 1. "%ID%" is the
// generated key column and "%CLUSTERED%" keeps SQLite from a second copy of a table's key: the
// places where the two dialects differ.
const std::vector<QStringList>& migrations() {
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
    };
    return m;
}

const char* const kMeasurementColumns =
    "part_id, position, characteristic_id, axis, type, nominal, upper_tol, lower_tol, measured, deviation, "
    "out_tol, min_value, max_value, unit, output_mode, marked, host_unique_id1, host_unique_id2, "
    "classification";
constexpr int kMeasurementColumnCount = 19;

QString placeholders(int rows, int columns) {
    QString one = QStringLiteral("(") + QStringLiteral("?, ").repeated(columns - 1) + QStringLiteral("?)");
    QStringList all;
    all.reserve(rows);
    for (int i = 0; i < rows; ++i)
        all << one;
    return all.join(QStringLiteral(", "));
}

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
    // The text of a column that repeats from row to row shares one string.
    QString repeated(int column, QString& last) {
        QString t = text(column);
        if (t != last)
            last = t;
        return last;
    }
};

class QtRows : public Rows {
public:
    explicit QtRows(QSqlQuery q) : m_q(std::move(q)) {}
    bool next() override { return m_q.next(); }
    qint64 integer(int c) override { return m_q.value(c).toLongLong(); }
    double real(int c) override { return m_q.value(c).toDouble(); }
    QString text(int c) override { return m_q.value(c).toString(); }

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

} // namespace

struct HistoryDatabase::Impl {
    QString connection;
    bool postgres = false;
    QString description;

    ~Impl() {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    [[noreturn]] void fail(const QString& what, const QSqlError& e) const {
        throw HistoryError(QStringLiteral("%1: %2 (%3)").arg(description, what, e.text().trimmed()));
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
                for (QString sql : migrations()[static_cast<std::size_t>(v)])
                    execText(sql.replace(QStringLiteral("%ID%"), id)
                                 .replace(QStringLiteral("%CLUSTERED%"),
                                          postgres ? QString() : QStringLiteral(" WITHOUT ROWID")));
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
    HeaderData headerOf(qint64 partId) const;
};

HistoryDatabase::HistoryDatabase(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
HistoryDatabase::~HistoryDatabase() = default;

namespace {

QString newConnectionName() {
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("doziduvov-history-%1-%2")
        .arg(counter.fetchAndAddRelaxed(1))
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

} // namespace

std::unique_ptr<HistoryDatabase> HistoryDatabase::openSqlite(const QString& file) {
    auto impl = std::make_unique<Impl>();
    impl->connection = newConnectionName();
    impl->description = QStringLiteral("SQLite %1").arg(QDir::toNativeSeparators(file));
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder))
        throw HistoryError(QStringLiteral("%1: cannot create the folder %2").arg(impl->description, folder));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), impl->connection);
        if (!db.isValid())
            throw HistoryError(
                QStringLiteral("%1: the Qt SQLite driver is not installed").arg(impl->description));
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db.open())
            impl->fail(QStringLiteral("open"), db.lastError());
    }
    // Readers never block the writer, and a part committed is on disk.
    impl->execText(QStringLiteral("PRAGMA journal_mode=WAL"));
    impl->execText(QStringLiteral("PRAGMA synchronous=FULL"));
    impl->execText(QStringLiteral("PRAGMA foreign_keys=ON"));
    // A long trend reads many pages: mapped, they come without a system call each.
    impl->execText(QStringLiteral("PRAGMA mmap_size=1073741824"));
    impl->execText(QStringLiteral("PRAGMA cache_size=-32768"));
    impl->migrate();
    return std::unique_ptr<HistoryDatabase>(new HistoryDatabase(std::move(impl)));
}

std::unique_ptr<HistoryDatabase> HistoryDatabase::openPostgres(const HistorySettings& s) {
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
        db.setConnectOptions(QStringLiteral("connect_timeout=5;application_name=doziduvov"));
        if (!db.open()) {
            // SQLSTATE 28000/28P01, as libpq words it: the server is there, the login is wrong.
            const QString why = db.lastError().text();
            if (why.contains(QLatin1String("authentication failed")) ||
                why.contains(QLatin1String("no password supplied")) || why.contains(QLatin1String("28P01")))
                throw HistoryError(QStringLiteral("%1: connect (%2)").arg(impl->description, why.trimmed()),
                                   true);
            impl->fail(QStringLiteral("connect"), db.lastError());
        }
    }
    impl->migrate();
    return std::unique_ptr<HistoryDatabase>(new HistoryDatabase(std::move(impl)));
}

QString HistoryDatabase::description() const {
    return m_impl->description;
}

int HistoryDatabase::schemaVersion() const {
    return m_impl->version();
}

namespace {

// Thousands of rows per part: SQLite's own binding, one statement stepped per row, no variants.
void storeRowsSqlite(sqlite3* db, const QString& sql, qint64 partId, const std::vector<StoredRow>& rows) {
    sqlite3_stmt* stmt = nullptr;
    const QByteArray s = sql.toUtf8();
    const auto check = [db](int rc) {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw HistoryError(
                QStringLiteral("store characteristics: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    };
    check(sqlite3_prepare_v2(db, s.constData(), static_cast<int>(s.size()), &stmt, nullptr));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(stmt, sqlite3_finalize);
    const auto bindText = [stmt](int i, const QString& t) {
        return sqlite3_bind_text16(stmt, i, t.utf16(), static_cast<int>(t.size() * 2), SQLITE_STATIC);
    };
    int position = 0;
    for (const StoredRow& r : rows) {
        check(sqlite3_bind_int64(stmt, 1, partId));
        check(sqlite3_bind_int(stmt, 2, ++position));
        check(bindText(3, r.id));
        check(bindText(4, r.axis));
        check(bindText(5, r.type));
        int i = 6;
        for (double v : {r.nominal, r.upperTol, r.lowerTol, r.measured, r.deviation, r.outTol, r.min, r.max})
            check(sqlite3_bind_double(stmt, i++, v));
        check(bindText(14, r.unit));
        check(bindText(15, r.outputMode));
        check(sqlite3_bind_int(stmt, 16, r.marked ? 1 : 0));
        check(sqlite3_bind_int(stmt, 17, r.hostUniqueId1));
        check(sqlite3_bind_int(stmt, 18, r.hostUniqueId2));
        check(sqlite3_bind_int(stmt, 19, static_cast<int>(r.classification)));
        check(sqlite3_step(stmt));
        sqlite3_reset(stmt);
    }
}

} // namespace

bool HistoryDatabase::storePart(const Part& part) {
    const Impl& d = *m_impl;
    const QString uuid = part.uuid.isEmpty() ? makeUuid() : part.uuid;
    return d.inTransaction([&]() -> bool {
        QSqlQuery q = d.prepare(QStringLiteral(
            "INSERT INTO part (part_uuid, program_name, program_revision, drawing_number, host_file_name, "
            "measured_at, station, user_name, row_count) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
            "ON CONFLICT (part_uuid) DO NOTHING RETURNING part_id"));
        q.addBindValue(uuid);
        q.addBindValue(text(part.programName));
        q.addBindValue(text(part.revision));
        q.addBindValue(text(part.drawingNumber));
        q.addBindValue(text(part.hostFileName));
        q.addBindValue(
            timeText(part.measuredUtc.isValid() ? part.measuredUtc : QDateTime::currentDateTimeUtc()));
        q.addBindValue(text(part.station));
        q.addBindValue(text(part.user));
        q.addBindValue(static_cast<int>(part.rows.size()));
        d.exec(q, "store part");
        if (!q.next())
            return false; // this part is stored already
        const qint64 partId = q.value(0).toLongLong();
        q.finish();

        if (!part.header.empty()) {
            QSqlQuery h = d.prepare(QStringLiteral(
                "INSERT INTO header_value (part_id, position, name, value) VALUES (?, ?, ?, ?)"));
            int position = 0;
            for (const auto& [name, value] : part.header) {
                h.addBindValue(partId);
                h.addBindValue(++position);
                h.addBindValue(text(name));
                h.addBindValue(text(value));
                d.exec(h, "store header data");
            }
        }

        const QString insert = QStringLiteral("INSERT INTO measurement (%1) VALUES ")
                                   .arg(QString::fromLatin1(kMeasurementColumns));
        if (sqlite3* handle = d.sqliteHandle()) {
            storeRowsSqlite(handle, insert + placeholders(1, kMeasurementColumnCount), partId, part.rows);
            return true;
        }
        std::optional<QSqlQuery> full;
        const int n = static_cast<int>(part.rows.size());
        for (int start = 0; start < n; start += kRowsPerInsert) {
            const int count = std::min(kRowsPerInsert, n - start);
            QSqlQuery partial;
            QSqlQuery* m = nullptr;
            if (count == kRowsPerInsert) {
                if (!full)
                    full = d.prepare(insert + placeholders(kRowsPerInsert, kMeasurementColumnCount));
                m = &*full;
            } else {
                partial = d.prepare(insert + placeholders(count, kMeasurementColumnCount));
                m = &partial;
            }
            for (int i = start; i < start + count; ++i) {
                const StoredRow& r = part.rows[static_cast<std::size_t>(i)];
                m->addBindValue(partId);
                m->addBindValue(i + 1);
                m->addBindValue(text(r.id));
                m->addBindValue(text(r.axis));
                m->addBindValue(text(r.type));
                m->addBindValue(r.nominal);
                m->addBindValue(r.upperTol);
                m->addBindValue(r.lowerTol);
                m->addBindValue(r.measured);
                m->addBindValue(r.deviation);
                m->addBindValue(r.outTol);
                m->addBindValue(r.min);
                m->addBindValue(r.max);
                m->addBindValue(text(r.unit));
                m->addBindValue(text(r.outputMode));
                m->addBindValue(r.marked ? 1 : 0);
                m->addBindValue(r.hostUniqueId1);
                m->addBindValue(r.hostUniqueId2);
                m->addBindValue(static_cast<int>(r.classification));
            }
            d.exec(*m, "store characteristics");
        }
        return true;
    });
}

QStringList HistoryDatabase::programs() const {
    QStringList names;
    for (const ProgramInfo& p : programInfos())
        names << p.name;
    return names;
}

std::vector<ProgramInfo> HistoryDatabase::programInfos() const {
    QSqlQuery q = m_impl->prepare(QStringLiteral("SELECT program_name, COUNT(*), MAX(measured_at) FROM part "
                                                 "GROUP BY program_name ORDER BY program_name"));
    m_impl->exec(q, "programs");
    std::vector<ProgramInfo> out;
    while (q.next())
        out.push_back({q.value(0).toString(), q.value(1).toInt(), timeFromText(q.value(2).toString())});
    return out;
}

std::vector<CharacteristicKey> HistoryDatabase::characteristics(const QString& program) const {
    std::vector<CharacteristicKey> keys;
    auto add = [&keys](QSqlQuery& q) {
        while (q.next()) {
            CharacteristicKey k{q.value(0).toString(), q.value(1).toString()};
            if (std::find(keys.begin(), keys.end(), k) == keys.end())
                keys.push_back(std::move(k));
        }
    };
    QSqlQuery last = m_impl->prepare(QStringLiteral(
        "SELECT m.characteristic_id, m.axis FROM measurement m WHERE m.part_id = "
        "(SELECT part_id FROM part WHERE program_name = ? ORDER BY measured_at DESC, part_id DESC LIMIT 1) "
        "ORDER BY m.position"));
    last.addBindValue(program);
    m_impl->exec(last, "characteristics");
    add(last);
    QSqlQuery older = m_impl->prepare(QStringLiteral(
        "SELECT DISTINCT m.characteristic_id, m.axis FROM measurement m JOIN part p ON p.part_id "
        "= m.part_id WHERE p.program_name = ? ORDER BY m.characteristic_id, m.axis"));
    older.addBindValue(program);
    m_impl->exec(older, "characteristics");
    add(older);
    return keys;
}

Series HistoryDatabase::series(const QString& program, const CharacteristicKey& key,
                               const SeriesFilter& filter) const {
    // Without "last N" the characteristic's index is read in key order and the points are put in
    // time order here, which is cheaper than a sort in SQL; "last N" walks the time index backwards.
    const bool last = filter.lastN.has_value();
    QString sql =
        QStringLiteral(
            "SELECT p.part_id, p.part_uuid, p.measured_at, m.measured, m.nominal, m.upper_tol, m.lower_tol, "
            "m.classification, m.type FROM measurement m %1 part p ON p.part_id = m.part_id "
            "WHERE m.characteristic_id = ? AND m.axis = ? AND p.program_name = ?")
            .arg(last || m_impl->postgres ? QStringLiteral("JOIN") : QStringLiteral("CROSS JOIN"));
    if (filter.since)
        sql += QStringLiteral(" AND p.measured_at >= ?");
    if (filter.until)
        sql += QStringLiteral(" AND p.measured_at <= ?");
    if (last)
        sql += QStringLiteral(" ORDER BY p.measured_at DESC, p.part_id DESC, m.position DESC LIMIT %1")
                   .arg(std::max(0, *filter.lastN));
    QVariantList values{key.id, key.axis, program};
    if (filter.since)
        values << timeText(*filter.since);
    if (filter.until)
        values << timeText(*filter.until);
    const auto q = m_impl->read(sql, values);
    Series out;
    std::vector<qint64> ids;
    out.reserve(4096);
    ids.reserve(4096);
    QString type;
    while (q->next()) {
        SeriesPoint p;
        ids.push_back(q->integer(0));
        p.partUuid = q->text(1);
        p.measuredUtc = q->time(2);
        p.measured = q->real(3);
        p.nominal = q->real(4);
        p.upperTol = q->real(5);
        p.lowerTol = q->real(6);
        p.classification = static_cast<Classification>(std::clamp<qint64>(q->integer(7), 0, 2));
        p.type = q->repeated(8, type);
        out.push_back(std::move(p));
    }
    if (last) {
        std::reverse(out.begin(), out.end());
        std::reverse(ids.begin(), ids.end());
    } else if (!std::is_sorted(out.begin(), out.end(), [](const SeriesPoint& a, const SeriesPoint& b) {
                   return a.measuredUtc < b.measuredUtc;
               })) {
        std::vector<std::size_t> order(out.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const qint64 ta = out[a].measuredUtc.toMSecsSinceEpoch(),
                         tb = out[b].measuredUtc.toMSecsSinceEpoch();
            return ta != tb ? ta < tb : ids[a] < ids[b];
        });
        Series sorted;
        sorted.reserve(out.size());
        std::vector<qint64> sortedIds;
        sortedIds.reserve(ids.size());
        for (std::size_t i : order) {
            sorted.push_back(std::move(out[i]));
            sortedIds.push_back(ids[i]);
        }
        out = std::move(sorted);
        ids = std::move(sortedIds);
    }
    if (filter.withHeader && !ids.empty()) {
        // The header data of the parts in the series, in one pass over their key range.
        const auto [lo, hi] = std::minmax_element(ids.begin(), ids.end());
        const auto h =
            m_impl->read(QStringLiteral("SELECT part_id, name, value FROM header_value WHERE part_id "
                                        "BETWEEN ? AND ? ORDER BY part_id, position"),
                         {*lo, *hi});
        // Both in key order: one merge, no lookup table.
        std::vector<std::pair<qint64, std::size_t>> byKey(out.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            byKey[i] = {ids[i], i};
        std::sort(byKey.begin(), byKey.end());
        std::size_t j = 0;
        QString name;
        while (h->next()) {
            const qint64 id = h->integer(0);
            while (j < byKey.size() && byKey[j].first < id)
                ++j;
            const QString n = h->repeated(1, name);
            const QString v = h->text(2);
            for (std::size_t k = j; k < byKey.size() && byKey[k].first == id; ++k)
                out[byKey[k].second].header.emplace_back(n, v);
        }
    }
    return out;
}

HeaderData HistoryDatabase::headerOf(const QString& partUuid) const {
    const auto h =
        m_impl->read(QStringLiteral("SELECT h.name, h.value FROM header_value h JOIN part p ON p.part_id = "
                                    "h.part_id WHERE p.part_uuid = ? ORDER BY h.position"),
                     {partUuid});
    HeaderData out;
    while (h->next())
        out.emplace_back(h->text(0), h->text(1));
    return out;
}

int HistoryDatabase::partCount() const {
    QSqlQuery q = m_impl->prepare(QStringLiteral("SELECT COUNT(*) FROM part"));
    m_impl->exec(q, "count");
    return q.next() ? q.value(0).toInt() : 0;
}

QStringList HistoryDatabase::partUuids() const {
    QSqlQuery q = m_impl->prepare(QStringLiteral("SELECT part_uuid FROM part ORDER BY part_id"));
    m_impl->exec(q, "parts");
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

HeaderData HistoryDatabase::Impl::headerOf(qint64 partId) const {
    QSqlQuery h =
        prepare(QStringLiteral("SELECT name, value FROM header_value WHERE part_id = ? ORDER BY position"));
    h.addBindValue(partId);
    exec(h, "header data");
    HeaderData out;
    while (h.next())
        out.emplace_back(h.value(0).toString(), h.value(1).toString());
    return out;
}

Part HistoryDatabase::Impl::loadPart(qint64 partId) const {
    Part part;
    QSqlQuery p = prepare(QStringLiteral(
        "SELECT part_uuid, program_name, program_revision, drawing_number, host_file_name, measured_at, "
        "station, user_name, row_count FROM part WHERE part_id = ?"));
    p.addBindValue(partId);
    exec(p, "load part");
    if (!p.next())
        throw HistoryError(QStringLiteral("%1: part %2 vanished").arg(description).arg(partId));
    part.uuid = p.value(0).toString();
    part.programName = p.value(1).toString();
    part.revision = p.value(2).toString();
    part.drawingNumber = p.value(3).toString();
    part.hostFileName = p.value(4).toString();
    part.measuredUtc = timeFromText(p.value(5).toString());
    part.station = p.value(6).toString();
    part.user = p.value(7).toString();
    const int rowCount = p.value(8).toInt();
    part.header = headerOf(partId);
    QSqlQuery m = prepare(QStringLiteral("SELECT %1 FROM measurement WHERE part_id = ? ORDER BY position")
                              .arg(QString::fromLatin1(kMeasurementColumns)));
    m.addBindValue(partId);
    exec(m, "load characteristics");
    while (m.next()) {
        StoredRow r;
        r.id = m.value(2).toString();
        r.axis = m.value(3).toString();
        r.type = m.value(4).toString();
        r.nominal = m.value(5).toDouble();
        r.upperTol = m.value(6).toDouble();
        r.lowerTol = m.value(7).toDouble();
        r.measured = m.value(8).toDouble();
        r.deviation = m.value(9).toDouble();
        r.outTol = m.value(10).toDouble();
        r.min = m.value(11).toDouble();
        r.max = m.value(12).toDouble();
        r.unit = m.value(13).toString();
        r.outputMode = m.value(14).toString();
        r.marked = m.value(15).toInt() != 0;
        r.hostUniqueId1 = m.value(16).toInt();
        r.hostUniqueId2 = m.value(17).toInt();
        r.classification = static_cast<Classification>(std::clamp(m.value(18).toInt(), 0, 2));
        part.rows.push_back(std::move(r));
    }
    // Removed by another process between the reads: not this process's to deliver.
    if (static_cast<int>(part.rows.size()) != rowCount)
        throw HistoryError(QStringLiteral("%1: part %2 vanished").arg(description).arg(partId));
    return part;
}

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

QString makeUuid() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

Part partFromTable(const model::MerkmalTable& table, const model::HeaderRows& header,
                   const QString& programName, const QString& revision, const QString& drawingNumber,
                   const QString& hostFileName) {
    Part part;
    part.uuid = makeUuid();
    part.programName = programName;
    part.revision = revision;
    part.drawingNumber = drawingNumber;
    part.hostFileName = hostFileName;
    part.measuredUtc = QDateTime::currentDateTimeUtc();
    part.station = QSysInfo::machineHostName();
    for (const char* var : {"USER", "LOGNAME", "USERNAME"}) {
        part.user = qEnvironmentVariable(var);
        if (!part.user.isEmpty())
            break;
    }
    // The grid's name cells carry a leading blank.
    for (const model::HeaderRow& h : header)
        part.header.emplace_back(h.name.trimmed(), h.value);
    const QStringList entries = model::listEntries(table);
    part.rows.reserve(static_cast<std::size_t>(entries.size()));
    for (int i = 1; i <= entries.size(); ++i) {
        const model::MerkmalRow& r = table.row(i);
        StoredRow s;
        s.id = r.ID;
        s.axis = r.Achse;
        s.type = r.Typ;
        s.nominal = r.Nennwert;
        s.upperTol = r.OTol;
        s.lowerTol = r.UTol;
        s.measured = r.Messwert;
        s.deviation = r.Abweichung;
        s.outTol = r.ATol;
        s.min = r.Min;
        s.max = r.Max;
        s.unit = r.Einheit;
        s.outputMode = r.Ausgabe;
        s.marked = r.Markiert;
        s.hostUniqueId1 = r.UniqueId1;
        s.hostUniqueId2 = r.UniqueId2;
        s.classification = r.ATol != 0.0 ? Classification::OutOfTolerance
                           : r.Kritisch  ? Classification::BeyondWarning
                                         : Classification::Ok;
        part.rows.push_back(std::move(s));
    }
    return part;
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
