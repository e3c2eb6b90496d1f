#pragma once

#include "model/MerkmalTable.h"
#include "settings/HistorySettings.h"
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
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
    // loginRefused: the server answered and refused the user or password; nothing else was wrong
    explicit HistoryError(const QString& text, bool loginRefused = false)
        : std::runtime_error(text.toStdString()), m_text(text), m_loginRefused(loginRefused) {}
    const QString& text() const { return m_text; }
    bool loginRefused() const { return m_loginRefused; }

private:
    QString m_text;
    bool m_loginRefused;
};

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
QString outboxFile();          // history-outbox.sqlite: parts waiting for the server

// One open database with the history schema (created or migrated on open).
class HistoryDatabase {
public:
    // Throws HistoryError when the database cannot be opened or migrated.
    static std::unique_ptr<HistoryDatabase> openSqlite(const QString& file);
    static std::unique_ptr<HistoryDatabase> openPostgres(const HistorySettings& s);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // "SQLite <file>" or "PostgreSQL user@host:port/database".
    QString description() const;
    int schemaVersion() const;

    // One transaction; a part whose uuid is stored already is left as it is (returns false).
    bool storePart(const Part& part);

    QStringList programs() const;
    std::vector<ProgramInfo> programInfos() const;
    // In list order of the part stored last, then those no longer in it.
    std::vector<CharacteristicKey> characteristics(const QString& program) const;
    // A long series reads faster without header data (withHeader false); a point's header data
    // then comes from headerOf, e.g. for a tooltip.
    Series series(const QString& program, const CharacteristicKey& key,
                  const SeriesFilter& filter = {}) const;
    HeaderData headerOf(const QString& partUuid) const;
    int partCount() const;
    // Oldest first.
    QStringList partUuids() const;

    // The parts of this (outbox) database, oldest first, removed once the target holds them.
    // Returns the number delivered; throws HistoryError when the target fails (what was
    // delivered stays delivered, the rest waits).
    int deliverTo(HistoryDatabase& target);

    struct Impl;

private:
    explicit HistoryDatabase(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// The configured history, for storing parts and reading them back.
class History {
public:
    explicit History(HistorySettings s);

    QString description() const;

    // What happened to a part handed to store().
    struct StoreResult {
        bool stored = false;       // in the history database (SQLite) or delivered to the server
        bool queued = false;       // kept in the outbox, the server did not answer
        int delivered = 0;         // outbox parts delivered to the server by this call
        QString serverProblem;     // why the server was not reached, when queued
        bool loginRefused = false; // it answered, but refused the user or the password
    };
    // SQLite: straight into the file. PostgreSQL: into the outbox, then the outbox is delivered.
    // Throws HistoryError when the part is stored nowhere.
    StoreResult store(const Part& part);

    // Delivers the outbox to the server (no-op for SQLite); the number delivered. Throws
    // HistoryError when the server cannot be reached.
    int deliverOutbox();
    int pendingInOutbox();

    // The database that holds the history for reading (opened on first use; throws HistoryError).
    HistoryDatabase& database();

private:
    HistorySettings m_settings;
    std::unique_ptr<HistoryDatabase> m_db;
    std::unique_ptr<HistoryDatabase> m_outbox;
};

// Tolerance limits of a characteristic; a one-sided type (form and position) has an upper limit
// only. The warning limits of the chart are model::warningLimits (model/Klassifizierung.h) with
// the stored percentage (settings::warningPercent(settings::readTolProzent(store))).
struct Limits {
    std::optional<double> lower;
    std::optional<double> upper;
};
Limits limitsOf(const QString& type, double nominal, double upperTol, double lowerTol);

// Capability figures; no value where they are not defined (fewer than two parts, zero spread,
// a missing limit), never NaN.
struct Statistics {
    int n = 0;
    std::optional<double> mean;
    std::optional<double> stddev; // sample standard deviation (n - 1)
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> cp;  // two-sided only
    std::optional<double> cpk; // two-sided only
    std::optional<double> cpu; // upper limit only
    std::optional<double> cpl; // lower limit only
};
Statistics computeStatistics(const std::vector<double>& values, const Limits& limits);
// The measured values of a series against the limits of its newest point.
Statistics computeStatistics(const Series& series);

// CSV (RFC 4180, decimal point, ISO 8601 UTC times) of a series or of every characteristic of a
// program, with the header data names as further columns.
QByteArray seriesCsv(const QString& program, const std::vector<std::pair<CharacteristicKey, Series>>& series);

} // namespace history
