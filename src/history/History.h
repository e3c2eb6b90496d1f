#pragma once

#include "model/MerkmalTable.h"
#include "settings/CsvPreset.h"
#include "settings/HistorySettings.h"
#include "settings/SettingsStore.h"
#include "statistics/Capability.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

// The results history: every measured part kept in a database (a local SQLite file, or a
// PostgreSQL server fed through a local SQLite outbox), the series of one characteristic over the
// parts, and its capability figures.
//
// Thread rule: a HistoryDatabase or History object is used only on the thread that opened it (Qt
// SQL connections belong to their thread). Open one per thread; each has its own connection.
namespace history {

// A failure of the history; the text is for a log (English, with the database's own words).
class HistoryError : public std::runtime_error {
public:
    // Unavailable: no answer, or none in time. LoginRefused: the server refused the user or the
    // password. PartRefused: the server refused this part's values; other parts may pass.
    enum class Cause { Unavailable, LoginRefused, PartRefused };
    explicit HistoryError(const QString& text, Cause cause = Cause::Unavailable)
        : std::runtime_error(text.toStdString()), m_text(text), m_cause(cause) {}
    const QString& text() const { return m_text; }
    Cause cause() const { return m_cause; }
    bool loginRefused() const { return m_cause == Cause::LoginRefused; }

private:
    QString m_text;
    Cause m_cause;
};

// A part the server refused, set aside in the outbox.
struct Refusal {
    QString uuid;
    QString reason;
};

// The latest moment a run waits for the history; none: no limit (an explicit delivery).
using Deadline = std::optional<std::chrono::steady_clock::time_point>;

enum class Classification { Ok = 0, BeyondWarning = 1, OutOfTolerance = 2 };

// One characteristic row of a part, as the list shows it.
struct StoredRow {
    QString id;   // ID
    QString axis; // Achse
    QString type; // Typ
    double nominal = 0.0;
    double upperTol = 0.0;
    double lowerTol = 0.0; // stored negative, as the host gives it
    double measured = 0.0;
    double deviation = 0.0;
    double outTol = 0.0;
    double min = 0.0;
    double max = 0.0;
    QString unit;
    QString outputMode;
    bool marked = false;
    qint32 hostUniqueId1 = 0;
    qint32 hostUniqueId2 = 0;
    Classification classification = Classification::Ok;
};

using HeaderData = std::vector<std::pair<QString, QString>>; // name, value in grid order

// One measured part: the part program, the run and its rows.
struct Part {
    QString uuid; // unique over all stations; makeUuid() when empty at store time
    QString programName;
    QString revision;
    QString drawingNumber;
    QString hostFileName;
    QDateTime measuredUtc;
    QString station; // host name of the measuring station
    QString user;
    HeaderData header;
    std::vector<StoredRow> rows;
};

QString makeUuid();

// The part of a complete read: every listed row (the list ends at the first row without an ID),
// classified from its out-of-tolerance amount and warning flag. Time, station and user are now,
// this host and the logged-in user.
Part partFromTable(const model::MerkmalTable& table, const model::HeaderRows& header,
                   const QString& programName, const QString& revision, const QString& drawingNumber,
                   const QString& hostFileName);

// A characteristic as the list shows it: "ID.Achse".
struct CharacteristicKey {
    QString id;
    QString axis;
    QString text() const { return id + QLatin1Char('.') + axis; }
    bool operator==(const CharacteristicKey&) const = default;
};

struct SeriesFilter {
    std::optional<QDateTime> since; // inclusive
    std::optional<QDateTime> until; // inclusive
    std::optional<int> lastN;       // the last N parts after the date filters
    bool withHeader = true;         // fetch each point's header data
};

struct SeriesPoint {
    qint64 partId = 0; // the part's key in the database it was read from
    QString partUuid;
    QDateTime measuredUtc;
    double measured = 0.0;
    double nominal = 0.0;
    double upperTol = 0.0;
    double lowerTol = 0.0;
    Classification classification = Classification::Ok;
    QString type;
    HeaderData header;
};

// Oldest part first.
using Series = std::vector<SeriesPoint>;

// A stored part program (grouped by name).
struct ProgramInfo {
    QString name;
    int parts = 0;
    QDateTime lastUtc;
};

// Which database is configured: the settings section HistorySettings, read and written in src/settings.
using settings::HistorySettings;
using settings::readHistorySettings;
using settings::writeHistorySettings;

// Files in the user's data folder (QStandardPaths::AppDataLocation).
QString defaultDatabaseFile(); // history.sqlite
QString outboxFile();          // history-outbox.sqlite: parts earlier versions left waiting
QString outboxFolder();        // history-outbox: parts waiting, one file each

struct WaitingPart;
class OutboxFolder;

// One open database with the history schema (created or migrated on open).
class HistoryDatabase {
public:
    // Throws HistoryError when the database cannot be opened or migrated.
    // A busy SQLite file is waited for until the deadline (30 s without one).
    static std::unique_ptr<HistoryDatabase> openSqlite(const QString& file, const Deadline& deadline = {});
    // Connecting and every statement end by the deadline; without one each statement may take
    // 30 s. The server also ends a transaction its client left open.
    static std::unique_ptr<HistoryDatabase> openPostgres(const HistorySettings& s,
                                                         const Deadline& deadline = {});
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // "SQLite <file>" or "PostgreSQL user@host:port/database".
    QString description() const;
    int schemaVersion() const;

    // One transaction; a part whose uuid is stored already is left as it is (returns false).
    bool storePart(const Part& part);

    QStringList programs() const;
    // In list order of the part stored last, then those no longer in it.
    std::vector<CharacteristicKey> characteristics(const QString& program) const;
    // "ID.Achse" as stored for the program, found by index; nothing when there is none.
    std::optional<CharacteristicKey> findCharacteristic(const QString& program, const QString& text) const;
    // A long series reads faster without header data (withHeader false); a point's header data
    // then comes from headerOf, e.g. for a tooltip.
    Series series(const QString& program, const CharacteristicKey& key,
                  const SeriesFilter& filter = {}) const;
    HeaderData headerOf(const QString& partUuid) const;
    // The header data of the points of a series read without it, a stretch at a time.
    void attachHeaders(std::span<SeriesPoint> points) const;
    // The header data names of those points' parts, in the order they first appear, added to names;
    // the values are not read.
    void addHeaderNames(std::span<const SeriesPoint> points, QStringList& names) const;
    int partCount() const;
    // Oldest first.
    QStringList partUuids() const;

    // The parts of this (outbox) database, oldest first, removed once the target holds them.
    // A part the target refuses is set aside with the reason, and the next one goes. Returns the
    // number delivered; throws HistoryError when the target fails or the deadline passes (what
    // was delivered stays delivered, the rest waits).
    int deliverTo(HistoryDatabase& target, const Deadline& deadline = {},
                  std::vector<Refusal>* refused = nullptr);

    // Removes the parts measured before the time, with their values; their number.
    int pruneBefore(const QDateTime& before);
    // SQLite: a consistent copy of the live file into a new file (VACUUM INTO). Throws
    // HistoryError for a server (its own tools back it up) and when the file exists.
    void backupTo(const QString& file) const;

    // Outbox: the parts waiting or set aside, oldest first.
    struct OutboxEntry {
        QString uuid;
        QString program;
        QDateTime measuredUtc;
        std::optional<QString> setAsideBecause; // nothing: waiting
    };
    std::vector<OutboxEntry> outboxEntries() const;
    // Outbox: the parts set aside wait again; their number.
    int retrySetAside();

    struct Impl;

private:
    friend class OutboxFolder;
    explicit HistoryDatabase(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// Parts waiting for the history, one file each, written in one step however many rows they have:
// a run pays for the file, the delivery for the history's indexes. A part whose file is damaged or
// that the server refuses is set aside beside it with the reason. Any number of processes may add
// and deliver at once; a part is stored once by its uuid.
class OutboxFolder {
public:
    explicit OutboxFolder(QString path);
    // Throws HistoryError when the file cannot be written whole.
    void add(const Part& part) const;
    bool hasWaiting() const;
    // Oldest first, as HistoryDatabase::deliverTo.
    int deliverTo(HistoryDatabase& target, const Deadline& deadline = {},
                  std::vector<Refusal>* refused = nullptr) const;
    std::vector<HistoryDatabase::OutboxEntry> entries() const;
    int retrySetAside() const;

private:
    struct Entry {
        QString path;
        QString uuid;
    };
    std::vector<Entry> files(const QString& suffix) const;
    std::vector<WaitingPart> waiting() const;
    QString m_path;
};

// The configured history, for storing parts and reading them back.
class History {
public:
    explicit History(HistorySettings s);

    QString description() const;

    // What happened to a part handed to store().
    struct StoreResult {
        bool stored = false;          // in the history database (SQLite) or delivered to the server
        bool queued = false;          // kept in the outbox, the server did not answer
        int delivered = 0;            // outbox parts delivered to the server by this call
        QString serverProblem;        // why the server was not reached, when queued
        bool loginRefused = false;    // it answered, but refused the user or the password
        std::vector<Refusal> refused; // parts the server refused, set aside in the outbox
        bool setAside = false;        // this part is one of them
        bool busy = false;    // SQLite: the file stayed locked or refused the part; it waits in the outbox
        bool waiting = false; // SQLite, AfterRun: in the outbox for the delivery the caller starts
    };
    // InRun: the part is in the history when store returns, as far as the delivery time allows.
    // AfterRun: a SQLite part only goes into the outbox, in a few milliseconds however large it is;
    // storing it (its index entries cost about 5 us a row) is left to a delivery started after the
    // run, so that the run does not wait for it. A server is delivered to in the run either way.
    enum class Delivery { InRun, AfterRun };
    // SQLite: straight into the file, into the outbox when the file stays locked. PostgreSQL: into
    // the outbox, then the outbox is delivered. Everything ends by the settings' delivery time;
    // what is not delivered by then waits. Throws HistoryError when the part is stored nowhere.
    StoreResult store(const Part& part, Delivery delivery = Delivery::InRun);

    // Delivers the outbox (the parts not set aside); the number delivered. Throws HistoryError
    // when the database cannot be reached.
    int deliverOutbox(const Deadline& deadline = {});
    int pendingInOutbox();
    // The outbox's parts, waiting or set aside; none when there is no outbox.
    std::vector<HistoryDatabase::OutboxEntry> outboxEntries();
    // Sets the parts set aside waiting again and delivers the outbox; the number delivered.
    int retrySetAside();

    // The database that holds the history for reading (opened on first use; throws HistoryError).
    HistoryDatabase& database();

private:
    HistoryDatabase& target(const Deadline& deadline);
    HistoryDatabase* outbox();
    StoreResult storeLocally(const Part& part, const Deadline& deadline);
    int deliver(const Deadline& deadline, StoreResult* result);

    HistorySettings m_settings;
    std::unique_ptr<HistoryDatabase> m_db;
    std::unique_ptr<HistoryDatabase> m_outbox;
    OutboxFolder m_folder;
};

// Tolerance limits of a characteristic; a one-sided type (form and position) has an upper limit
// only. The warning limits of the chart are model::warningLimits (model/Klassifizierung.h) with
// the stored percentage (settings::warningPercent(settings::readTolProzent(store))).
using Limits = statistics::Limits;
Limits limitsOf(const QString& type, double nominal, double upperTol, double lowerTol);

// CSV (RFC 4180, decimal point, ISO 8601 UTC times, UTF-8) of a series or of every characteristic
// of a program, with the header data names as further columns. The preset International adds a
// byte order mark; GermanExcel writes ";", decimal commas, Windows-1252 and the UTC time as
// "dd.MM.yyyy HH:mm:ss", which German Excel and LibreOffice read as a date and time (to the second).
QByteArray seriesCsv(const QString& program, const std::vector<std::pair<CharacteristicKey, Series>>& series,
                     settings::CsvPreset preset = settings::CsvPreset::Locale);
// The same in pieces, for answers too long to hold at once: the header data names in the order
// they first appear (gathered over every point first), the title line, then the lines.
void addHeaderNames(std::span<const SeriesPoint> points, QStringList& names);
QByteArray seriesCsvTitle(const QStringList& headerNames,
                          settings::CsvPreset preset = settings::CsvPreset::Locale);
QByteArray seriesCsvLines(const QString& program, const CharacteristicKey& key,
                          std::span<const SeriesPoint> points, const QStringList& headerNames,
                          settings::CsvPreset preset = settings::CsvPreset::Locale);

} // namespace history
