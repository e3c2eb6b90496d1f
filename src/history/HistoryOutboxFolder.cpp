#include "history/HistoryDatabaseImpl.h"

#include "settings/ExclusiveFile.h"

#include <QtEndian>

#include <bit>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace history {

namespace {

// A part as one file, written in one step however many rows it has: a run pays for the file, the
// delivery for the history's indexes. Little-endian; texts as UTF-16 with their length. Read back
// only by this program, on this station.
constexpr quint32 kRecordFormat = 1;
const QString kWaiting = QStringLiteral(".part");
const QString kSetAside = QStringLiteral(".setaside");
const QString kReason = QStringLiteral(".reason");

// The bytes a record takes, counted by the same walk that writes them.
class RecordSize {
public:
    template <typename T> void number(T) { m_size += sizeof(T); }
    void real(double) { m_size += 8; }
    void text(const QString& t) { m_size += 4 + t.size() * 2; }
    qsizetype size() const { return m_size; }

private:
    qsizetype m_size = 0;
};

class RecordWriter {
public:
    explicit RecordWriter(qsizetype size) : m_out(size, Qt::Uninitialized), m_at(m_out.data()) {}
    template <typename T> void number(T v) {
        const T le = qToLittleEndian(v);
        std::memcpy(m_at, &le, sizeof le);
        m_at += sizeof le;
    }
    void real(double v) { number(std::bit_cast<quint64>(v)); }
    void text(const QString& t) {
        number(static_cast<quint32>(t.size()));
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            std::memcpy(m_at, t.utf16(), std::size_t(t.size()) * 2);
            m_at += t.size() * 2;
        } else {
            for (QChar c : t)
                number(c.unicode());
        }
    }
    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
    char* m_at;
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
            throw HistoryError(QStringLiteral("damaged"));
        return n;
    }
    bool atEnd() const { return m_at == m_in.size(); }

private:
    const char* take(qsizetype n) {
        if (n < 0 || n > m_in.size() - m_at)
            throw HistoryError(QStringLiteral("damaged"));
        const char* p = m_in.constData() + m_at;
        m_at += n;
        return p;
    }
    const QByteArray& m_in;
    qsizetype m_at = 0;
};

template <typename Sink> void encodeInto(Sink& w, const Part& part, const QDateTime& measured) {
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
}

QByteArray encodePart(const Part& part, const QDateTime& measured) {
    RecordSize size;
    encodeInto(size, part, measured);
    RecordWriter w(size.size());
    encodeInto(w, part, measured);
    return w.take();
}

// The part's own fields, which lead the record.
Part decodeHead(RecordReader& in) {
    if (in.number<quint32>() != kRecordFormat)
        throw HistoryError(QStringLiteral("of another format"));
    Part part;
    for (QString* t : {&part.uuid, &part.programName, &part.revision, &part.drawingNumber, &part.hostFileName,
                       &part.station, &part.user})
        *t = in.text();
    part.measuredUtc = QDateTime::fromMSecsSinceEpoch(in.number<qint64>(), Qt::UTC);
    return part;
}

Part decodePart(const QByteArray& body) {
    RecordReader in(body);
    Part part = decodeHead(in);
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
            throw HistoryError(QStringLiteral("damaged"));
        r.classification = static_cast<Classification>(c);
    }
    if (!in.atEnd())
        throw HistoryError(QStringLiteral("damaged"));
    return part;
}

// "<time>-<count>-<uuid>.part": the folder lists in the order the parts were measured, and a
// process's parts of one millisecond in the order it added them.
QString baseName(const Part& part, const QDateTime& measured) {
    static std::atomic<quint32> counter{0};
    return QStringLiteral("%1-%2-%3")
        .arg(measured.toMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
        .arg(counter++ % 1000000, 6, 10, QLatin1Char('0'))
        .arg(part.uuid);
}

QString uuidOf(const QString& fileName) {
    return fileName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('-'), 2);
}

// The folder itself, so that a new name survives a power cut as the data does.
void syncFolder(const QString& folder) {
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        settings::syncToDisk(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

} // namespace

OutboxFolder::OutboxFolder(QString path) : m_path(std::move(path)) {}

void OutboxFolder::add(const Part& part) const {
    const QDateTime measured =
        part.measuredUtc.isValid() ? part.measuredUtc : QDateTime::currentDateTimeUtc();
    const QString name = baseName(part, measured);
    const QString final = m_path + QLatin1Char('/') + name + kWaiting;
    // Under a hidden name until it is whole: a delivery never sees half a part.
    QFile temp(m_path + QStringLiteral("/.") + name + QStringLiteral(".tmp"));
    const auto fail = [&](const QString& why) {
        temp.remove();
        throw HistoryError(QStringLiteral("outbox %1: %2").arg(QDir::toNativeSeparators(m_path), why));
    };
    if (!QDir().mkpath(m_path))
        fail(QStringLiteral("cannot create the folder"));
    const QByteArray body = encodePart(part, measured);
    if (!temp.open(QIODevice::WriteOnly | QIODevice::Truncate) || temp.write(body) != body.size() ||
        !temp.flush() || settings::syncToDisk(temp.handle()) != 0)
        fail(temp.errorString());
    temp.close();
    if (!temp.rename(final))
        fail(temp.errorString());
    syncFolder(m_path);
}

std::vector<OutboxFolder::Entry> OutboxFolder::files(const QString& suffix) const {
    std::vector<Entry> out;
    const QDir dir(m_path);
    for (const QString& f : dir.entryList({QLatin1Char('*') + suffix}, QDir::Files, QDir::Name))
        out.push_back({dir.filePath(f), uuidOf(f)});
    return out;
}

bool OutboxFolder::hasWaiting() const {
    return !files(kWaiting).empty();
}

std::vector<WaitingPart> OutboxFolder::waiting() const {
    std::vector<WaitingPart> parts;
    for (const Entry& e : files(kWaiting)) {
        const QString path = e.path;
        parts.push_back({e.uuid,
                         [path]() -> std::optional<Part> {
                             QFile f(path);
                             if (!f.open(QIODevice::ReadOnly))
                                 throw HistoryError(QStringLiteral("%1 vanished").arg(path));
                             try {
                                 return decodePart(f.readAll());
                             } catch (const HistoryError&) {
                                 return std::nullopt;
                             }
                         },
                         [path] { QFile::remove(path); },
                         [path](const QString& reason) {
                             const QString base = path.chopped(kWaiting.size());
                             QFile why(base + kReason);
                             if (why.open(QIODevice::WriteOnly | QIODevice::Truncate))
                                 why.write(reason.toUtf8());
                             why.close();
                             if (!QFile::rename(path, base + kSetAside))
                                 why.remove();
                         }});
    }
    return parts;
}

std::vector<HistoryDatabase::OutboxEntry> OutboxFolder::entries() const {
    std::vector<std::pair<QString, HistoryDatabase::OutboxEntry>> named; // by file name
    for (const QString& suffix : {kWaiting, kSetAside})
        for (const Entry& e : files(suffix)) {
            HistoryDatabase::OutboxEntry entry{e.uuid, {}, {}, {}};
            QFile f(e.path);
            if (f.open(QIODevice::ReadOnly)) {
                // The program and the time lead the record.
                const QByteArray head = f.read(64 * 1024);
                try {
                    RecordReader in(head);
                    const Part part = decodeHead(in);
                    entry.program = part.programName;
                    entry.measuredUtc = part.measuredUtc;
                } catch (const HistoryError&) {
                }
            }
            if (suffix == kSetAside) {
                QFile why(e.path.chopped(kSetAside.size()) + kReason);
                entry.setAsideBecause =
                    why.open(QIODevice::ReadOnly) ? QString::fromUtf8(why.readAll()) : QString();
            }
            named.emplace_back(QFileInfo(e.path).completeBaseName(), std::move(entry));
        }
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HistoryDatabase::OutboxEntry> out;
    for (auto& n : named)
        out.push_back(std::move(n.second));
    return out;
}

int OutboxFolder::retrySetAside() const {
    int n = 0;
    for (const Entry& e : files(kSetAside)) {
        const QString base = e.path.chopped(kSetAside.size());
        if (QFile::rename(e.path, base + kWaiting)) {
            QFile::remove(base + kReason);
            ++n;
        }
    }
    return n;
}

int OutboxFolder::deliverTo(HistoryDatabase& target, const Deadline& deadline,
                            std::vector<Refusal>* refused) const {
    return deliverWaiting(target, *target.m_impl, waiting(), deadline, refused);
}

} // namespace history
