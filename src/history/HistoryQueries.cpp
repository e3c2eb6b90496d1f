#include "history/HistoryDatabaseImpl.h"

namespace history {

QStringList HistoryDatabase::programs() const {
    // From the catalogue: a few rows per program, not one per part.
    QSqlQuery q = m_impl->prepare(
        QStringLiteral("SELECT DISTINCT program_name FROM characteristic ORDER BY program_name"));
    m_impl->exec(q, "programs");
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

std::vector<CharacteristicKey> HistoryDatabase::characteristics(const QString& program) const {
    std::vector<CharacteristicKey> keys;
    QSet<QString> seen; // a program has tens of thousands
    auto add = [&keys, &seen](QSqlQuery& q) {
        while (q.next()) {
            CharacteristicKey k{q.value(0).toString(), q.value(1).toString()};
            const QString whole = k.id + QChar(0) + k.axis;
            if (!seen.contains(whole)) {
                seen.insert(whole);
                keys.push_back(std::move(k));
            }
        }
    };
    QSqlQuery last = m_impl->prepare(QStringLiteral(
        "SELECT m.characteristic_id, m.axis FROM measurement m WHERE m.part_id = "
        "(SELECT part_id FROM part WHERE program_name = ? ORDER BY measured_at DESC, part_id DESC LIMIT 1) "
        "ORDER BY m.position"));
    last.addBindValue(program);
    m_impl->exec(last, "characteristics");
    add(last);
    QSqlQuery older =
        m_impl->prepare(QStringLiteral("SELECT characteristic_id, axis FROM characteristic WHERE "
                                       "program_name = ? ORDER BY characteristic_id, axis"));
    older.addBindValue(program);
    m_impl->exec(older, "characteristics");
    add(older);
    return keys;
}

std::optional<CharacteristicKey> HistoryDatabase::findCharacteristic(const QString& program,
                                                                     const QString& text) const {
    // An ID may hold a full stop itself: every split is tried, the axis after the last first.
    for (qsizetype dot = text.lastIndexOf(QLatin1Char('.')); dot >= 0;
         dot = dot > 0 ? text.lastIndexOf(QLatin1Char('.'), dot - 1) : -1) {
        const CharacteristicKey key{text.left(dot), text.mid(dot + 1)};
        if (m_impl->catalogueKey(program, key))
            return key;
    }
    return std::nullopt;
}

namespace {

// The whole series is the characteristic's index range, read in key order and put in time order
// afterwards (cheaper than a sort in SQL). A date range or "last N" walks the program's time index
// instead and looks up each part's value: its cost follows the answer, not the history. SQLite
// takes a CROSS JOIN's tables in the order written.
QString seriesSql(bool postgres, const SeriesFilter& filter) {
    const bool byTime = filter.lastN || filter.since || filter.until;
    const QString join = postgres ? QStringLiteral("JOIN") : QStringLiteral("CROSS JOIN");
    QString sql = QStringLiteral("SELECT p.part_id, p.part_uuid, p.measured_at, m.measured, m.nominal, "
                                 "m.upper_tol, m.lower_tol, m.classification, m.type FROM ") +
                  (byTime ? QStringLiteral("part p %1 measurement m ON m.characteristic_key = ? AND "
                                           "m.part_id = p.part_id WHERE p.program_name = ?")
                          : QStringLiteral("measurement m %1 part p ON p.part_id = m.part_id WHERE "
                                           "m.characteristic_key = ?"))
                      .arg(join);
    if (filter.since)
        sql += QStringLiteral(" AND p.measured_at >= ?");
    if (filter.until)
        sql += QStringLiteral(" AND p.measured_at <= ?");
    if (filter.lastN)
        sql += QStringLiteral(" ORDER BY p.measured_at DESC, p.part_id DESC, m.position DESC LIMIT %1")
                   .arg(std::max(0, *filter.lastN));
    return sql;
}

// Oldest first; parts of the same time in the order they were stored.
void sortByTime(Series& out) {
    const auto earlier = [](const SeriesPoint& a, const SeriesPoint& b) {
        const qint64 ta = a.measuredUtc.toMSecsSinceEpoch(), tb = b.measuredUtc.toMSecsSinceEpoch();
        return ta != tb ? ta < tb : a.partId < b.partId;
    };
    if (!std::is_sorted(out.begin(), out.end(), earlier))
        std::stable_sort(out.begin(), out.end(), earlier);
}

} // namespace

void HistoryDatabase::attachHeaders(std::span<SeriesPoint> points) const {
    if (points.empty())
        return;
    const auto [lo, hi] =
        std::minmax_element(points.begin(), points.end(),
                            [](const SeriesPoint& a, const SeriesPoint& b) { return a.partId < b.partId; });
    // The header data of the parts in one pass over their key range.
    const auto h =
        m_impl->read(QStringLiteral("SELECT part_id, name, value, position FROM header_value WHERE "
                                    "part_id BETWEEN ? AND ? ORDER BY part_id, position"),
                     {lo->partId, hi->partId});
    // Both in key order: one merge, no lookup table.
    std::vector<std::pair<qint64, std::size_t>> byKey(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        byKey[i] = {points[i].partId, i};
    std::sort(byKey.begin(), byKey.end());
    std::size_t j = 0;
    TextPool pool;
    std::vector<Rows::Last> last; // the value of the part before, by position
    std::size_t names = 0;        // of the part before: most parts have as many
    while (h->next()) {
        const qint64 id = h->integer(0);
        while (j < byKey.size() && byKey[j].first < id)
            ++j;
        const QString n = h->pooled(1, pool);
        const auto position = static_cast<std::size_t>(std::max<qint64>(0, h->integer(3)));
        if (position >= last.size())
            last.resize(position + 1);
        const QString v = h->sameAsLast(2, last[position]);
        for (std::size_t k = j; k < byKey.size() && byKey[k].first == id; ++k) {
            HeaderData& header = points[byKey[k].second].header;
            if (header.empty())
                header.reserve(std::max<std::size_t>(names, 1));
            header.emplace_back(n, v);
            names = header.size();
        }
    }
}

void HistoryDatabase::addHeaderNames(std::span<const SeriesPoint> points, QStringList& names) const {
    if (points.empty())
        return;
    const auto [lo, hi] =
        std::minmax_element(points.begin(), points.end(),
                            [](const SeriesPoint& a, const SeriesPoint& b) { return a.partId < b.partId; });
    // Parts mostly share one list of names: each part points to its list, held once.
    std::vector<QStringList> lists;
    QHash<qint64, int> listOf;
    const auto h =
        m_impl->read(QStringLiteral("SELECT part_id, name FROM header_value WHERE part_id BETWEEN ? AND ? "
                                    "ORDER BY part_id, position"),
                     {lo->partId, hi->partId});
    QStringList current;
    qint64 currentPart = -1;
    TextPool pool;
    // Pooled names of equal text share their data: mostly no text is compared.
    const auto same = [](const QStringList& a, const QStringList& b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](const QString& x, const QString& y) {
                   return x.constData() == y.constData() || x == y;
               });
    };
    const auto close = [&] {
        if (currentPart < 0)
            return;
        auto at =
            std::find_if(lists.begin(), lists.end(), [&](const QStringList& l) { return same(l, current); });
        if (at == lists.end())
            at = lists.insert(lists.end(), current);
        listOf.insert(currentPart, static_cast<int>(at - lists.begin()));
    };
    while (h->next()) {
        const qint64 id = h->integer(0);
        if (id != currentPart) {
            close();
            current.clear();
            currentPart = id;
        }
        current << h->pooled(1, pool);
    }
    close();
    std::vector<bool> merged(lists.size());
    for (const SeriesPoint& p : points)
        if (const auto it = listOf.constFind(p.partId);
            it != listOf.constEnd() && !merged[std::size_t(*it)]) {
            merged[std::size_t(*it)] = true;
            for (const QString& n : lists[static_cast<std::size_t>(*it)])
                if (!names.contains(n))
                    names << n;
        }
}

Series HistoryDatabase::series(const QString& program, const CharacteristicKey& key,
                               const SeriesFilter& filter) const {
    const std::optional<qint64> characteristic = m_impl->catalogueKey(program, key);
    if (!characteristic)
        return {};
    QVariantList values{*characteristic};
    if (filter.lastN || filter.since || filter.until)
        values << program;
    if (filter.since)
        values << timeText(*filter.since);
    if (filter.until)
        values << timeText(*filter.until);
    const auto q = m_impl->read(seriesSql(m_impl->postgres, filter), values);
    Series out;
    out.reserve(4096);
    TextPool pool;
    while (q->next()) {
        SeriesPoint p;
        p.partId = q->integer(0);
        p.partUuid = q->text(1);
        p.measuredUtc = q->time(2);
        p.measured = q->real(3);
        p.nominal = q->real(4);
        p.upperTol = q->real(5);
        p.lowerTol = q->real(6);
        p.classification = static_cast<Classification>(std::clamp<qint64>(q->integer(7), 0, 2));
        p.type = q->pooled(8, pool);
        out.push_back(std::move(p));
    }
    if (filter.lastN)
        std::reverse(out.begin(), out.end());
    else
        sortByTime(out);
    if (filter.withHeader)
        attachHeaders(out);
    return out;
}

int HistoryDatabase::pruneBefore(const QDateTime& before) {
    const QString time = timeText(before);
    return m_impl->inTransaction([&] {
        for (const char* sql :
             {"DELETE FROM measurement WHERE part_id IN (SELECT part_id FROM part WHERE measured_at < ?)",
              "DELETE FROM header_value WHERE part_id IN (SELECT part_id FROM part WHERE measured_at < ?)"}) {
            QSqlQuery q = m_impl->prepare(QString::fromLatin1(sql));
            q.addBindValue(time);
            m_impl->exec(q, "prune");
        }
        QSqlQuery q = m_impl->prepare(QStringLiteral("DELETE FROM part WHERE measured_at < ?"));
        q.addBindValue(time);
        m_impl->exec(q, "prune");
        return q.numRowsAffected();
    });
}

void HistoryDatabase::backupTo(const QString& file) const {
    if (m_impl->postgres)
        throw HistoryError(
            QStringLiteral("%1: a server is backed up with its own tools (pg_dump)").arg(description()));
    if (QFileInfo::exists(file))
        throw HistoryError(QStringLiteral("%1 exists already; the backup goes into a new file").arg(file));
    QSqlQuery q = m_impl->prepare(QStringLiteral("VACUUM INTO ?"));
    q.addBindValue(file);
    m_impl->exec(q, "backup");
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
    part.measuredUtc = timeOf(p.value(5));
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

} // namespace history
