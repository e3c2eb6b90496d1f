#include "history/HistoryDatabaseImpl.h"

#include "common/UserName.h"

namespace history {

HistoryDatabase::HistoryDatabase(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
HistoryDatabase::~HistoryDatabase() = default;

QString newConnectionName() {
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("doziduvov-history-%1-%2")
        .arg(counter.fetchAndAddRelaxed(1))
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

std::unique_ptr<HistoryDatabase> HistoryDatabase::openSqlite(const QString& file, const Deadline& deadline) {
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
        const auto wait = remaining(deadline, std::chrono::milliseconds(kBusyTimeoutMs));
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(std::max<qint64>(1, wait.count())));
        if (!db.open())
            impl->fail(QStringLiteral("open"), db.lastError());
    }
    // Readers never block the writer, and a part committed is on disk. Switching a new file to WAL
    // meets a process creating it at the same moment with "locked" at once, past any busy
    // handler: it is tried again until the deadline.
    const auto until =
        std::chrono::steady_clock::now() + remaining(deadline, std::chrono::milliseconds(kBusyTimeoutMs));
    for (;;) {
        QSqlQuery q(impl->db());
        if (q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
            break;
        if (std::chrono::steady_clock::now() >= until)
            impl->fail(QStringLiteral("PRAGMA journal_mode=WAL"), q.lastError());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    impl->execText(QStringLiteral("PRAGMA synchronous=FULL"));
    impl->execText(QStringLiteral("PRAGMA foreign_keys=ON"));
    impl->execText(QStringLiteral("PRAGMA cache_size=-32768"));
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
void storeRowsSqlite(sqlite3* db, const QString& sql, qint64 partId, const std::vector<StoredRow>& rows,
                     const std::vector<qint64>& keys) {
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
        if (t.contains(QChar(u'\0'))) {
            const QString s = stored(t);
            return sqlite3_bind_text16(stmt, i, s.utf16(), static_cast<int>(s.size() * 2), SQLITE_TRANSIENT);
        }
        return sqlite3_bind_text16(stmt, i, t.utf16(), static_cast<int>(t.size() * 2), SQLITE_STATIC);
    };
    int position = 0;
    for (const StoredRow& r : rows) {
        check(sqlite3_bind_int64(stmt, 20, keys[static_cast<std::size_t>(position)]));
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

namespace {

// The part's own row; nothing when its uuid is stored already.
std::optional<qint64> insertPart(const HistoryDatabase::Impl& d, const Part& part, const QString& uuid) {
    QSqlQuery q = d.prepare(QStringLiteral(
        "INSERT INTO part (part_uuid, program_name, program_revision, drawing_number, host_file_name, "
        "measured_at, station, user_name, row_count) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (part_uuid) DO NOTHING RETURNING part_id"));
    q.addBindValue(uuid);
    q.addBindValue(text(part.programName));
    q.addBindValue(text(part.revision));
    q.addBindValue(text(part.drawingNumber));
    q.addBindValue(text(part.hostFileName));
    q.addBindValue(timeText(part.measuredUtc.isValid() ? part.measuredUtc : QDateTime::currentDateTimeUtc()));
    q.addBindValue(text(part.station));
    q.addBindValue(text(part.user));
    q.addBindValue(static_cast<int>(part.rows.size()));
    d.exec(q, "store part");
    if (!q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

void insertHeader(const HistoryDatabase::Impl& d, qint64 partId, const HeaderData& header) {
    if (header.empty())
        return;
    QSqlQuery h = d.prepare(
        QStringLiteral("INSERT INTO header_value (part_id, position, name, value) VALUES (?, ?, ?, ?)"));
    int position = 0;
    for (const auto& [name, value] : header) {
        h.addBindValue(partId);
        h.addBindValue(++position);
        h.addBindValue(text(name));
        h.addBindValue(text(value));
        d.exec(h, "store header data");
    }
}

// A server: many rows per statement, few round trips.
void insertRowsInGroups(const HistoryDatabase::Impl& d, const QString& insert, qint64 partId,
                        const std::vector<StoredRow>& rows, const std::vector<qint64>& keys) {
    std::optional<QSqlQuery> full;
    const int n = static_cast<int>(rows.size());
    for (int start = 0; start < n; start += kRowsPerInsert) {
        const int count = std::min(kRowsPerInsert, n - start);
        QSqlQuery partial;
        if (count == kRowsPerInsert && !full)
            full = d.prepare(insert + placeholders(kRowsPerInsert, kMeasurementColumnCount));
        else if (count < kRowsPerInsert)
            partial = d.prepare(insert + placeholders(count, kMeasurementColumnCount));
        QSqlQuery& m = count == kRowsPerInsert ? *full : partial;
        for (int i = start; i < start + count; ++i) {
            const StoredRow& r = rows[static_cast<std::size_t>(i)];
            for (const QVariant& v : {QVariant(partId),
                                      QVariant(i + 1),
                                      text(r.id),
                                      text(r.axis),
                                      text(r.type),
                                      QVariant(r.nominal),
                                      QVariant(r.upperTol),
                                      QVariant(r.lowerTol),
                                      QVariant(r.measured),
                                      QVariant(r.deviation),
                                      QVariant(r.outTol),
                                      QVariant(r.min),
                                      QVariant(r.max),
                                      text(r.unit),
                                      text(r.outputMode),
                                      QVariant(r.marked ? 1 : 0),
                                      QVariant(r.hostUniqueId1),
                                      QVariant(r.hostUniqueId2),
                                      QVariant(static_cast<int>(r.classification)),
                                      QVariant(keys[static_cast<std::size_t>(i)])})
                m.addBindValue(v);
        }
        d.exec(m, "store characteristics");
    }
}

} // namespace

bool HistoryDatabase::storePart(const Part& part) {
    const Impl& d = *m_impl;
    const QString uuid = part.uuid.isEmpty() ? makeUuid() : part.uuid;
    return d.inTransaction([&]() -> bool {
        const std::optional<qint64> partId = insertPart(d, part, uuid);
        if (!partId)
            return false; // this part is stored already
        insertHeader(d, *partId, part.header);
        const std::vector<qint64> keys = d.catalogueKeys(stored(part.programName), part.rows);
        const QString insert = QStringLiteral("INSERT INTO measurement (%1) VALUES ")
                                   .arg(QString::fromLatin1(kMeasurementColumns));
        if (sqlite3* handle = d.sqliteHandle())
            storeRowsSqlite(handle, insert + placeholders(1, kMeasurementColumnCount), *partId, part.rows,
                            keys);
        else
            insertRowsInGroups(d, insert, *partId, part.rows, keys);
        return true;
    });
}

std::vector<qint64> HistoryDatabase::Impl::catalogueKeys(const QString& program,
                                                         const std::vector<StoredRow>& rows) const {
    QHash<QString, qint64> known; // "ID\0axis"
    {
        const auto q =
            read(QStringLiteral("SELECT characteristic_key, characteristic_id, axis FROM characteristic "
                                "WHERE program_name = ?"),
                 {program});
        while (q->next())
            known.insert(q->text(1) + QChar(u'\0') + q->text(2), q->integer(0));
    }
    std::vector<qint64> keys;
    keys.reserve(rows.size());
    std::optional<QSqlQuery> add;
    for (const StoredRow& r : rows) {
        const QString id = stored(r.id);
        const QString axis = stored(r.axis);
        auto it = known.constFind(id + QChar(u'\0') + axis);
        if (it == known.constEnd()) {
            // Another station may add it at the same time (its insert waits for ours, or ours for
            // its): then the key is the one it stored. Insert and select only, as a writer's role allows.
            if (!add)
                add = prepare(QStringLiteral(
                    "INSERT INTO characteristic (program_name, characteristic_id, axis) VALUES (?, "
                    "?, ?) ON CONFLICT (program_name, characteristic_id, axis) DO NOTHING "
                    "RETURNING characteristic_key"));
            add->addBindValue(program);
            add->addBindValue(id);
            add->addBindValue(axis);
            exec(*add, "store characteristic");
            std::optional<qint64> key;
            if (add->next())
                key = add->value(0).toLongLong();
            add->finish();
            if (!key)
                key = catalogueKey(program, {id, axis});
            if (!key)
                fail(QStringLiteral("store characteristic"), add->lastError());
            it = known.insert(id + QChar(u'\0') + axis, *key);
        }
        keys.push_back(*it);
    }
    return keys;
}

std::optional<qint64> HistoryDatabase::Impl::catalogueKey(const QString& program,
                                                          const CharacteristicKey& key) const {
    const auto q =
        read(QStringLiteral("SELECT characteristic_key FROM characteristic WHERE program_name = ? AND "
                            "characteristic_id = ? AND axis = ?"),
             {program, key.id, key.axis});
    if (q->next())
        return q->integer(0);
    return std::nullopt;
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
    // Started by a service or cron, the environment may name nobody: the system knows.
    if (part.user.isEmpty())
        part.user = common::systemUserName();
    // The grid's name cells carry a leading blank.
    for (const model::HeaderRow& h : header)
        part.header.emplace_back(h.name.trimmed(), h.value);
    int listed = 0; // the rows model::listEntries lists
    while (listed < table.AnzMerkmale && !table.row(listed + 1).ID.isEmpty())
        ++listed;
    part.rows.reserve(static_cast<std::size_t>(listed));
    for (int i = 1; i <= listed; ++i) {
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

} // namespace history
