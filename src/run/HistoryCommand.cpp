#include "run/HistoryCommand.h"

#include "history/History.h"
#include "history/HistoryFigures.h"

namespace run {

namespace {

// One line per part of the outbox, oldest first: uuid, program, UTC time, and "waiting" or
// "set aside" with the server's reason; tab-separated.
HistoryCommandResult outboxCommand(history::History& h, bool retry) {
    HistoryCommandResult r;
    try {
        if (retry) {
            r.output = QByteArray::number(h.retrySetAside()) + " parts delivered\n";
        }
        for (const auto& e : h.outboxEntries()) {
            QString reason = e.setAsideBecause.value_or(QString());
            reason.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            r.output +=
                QStringList{e.uuid, e.program, e.measuredUtc.toString(Qt::ISODateWithMs),
                            e.setAsideBecause ? QStringLiteral("set aside") : QStringLiteral("waiting"),
                            reason}
                    .join(QLatin1Char('\t'))
                    .toUtf8() +
                '\n';
        }
    } catch (const history::HistoryError& e) {
        r.status = 1;
        r.error = e.text();
    }
    return r;
}

} // namespace

namespace {

constexpr std::size_t kStretch = 8192; // parts whose header data is held at once

// The CSV of the characteristics, a stretch of parts at a time. The title line names every header
// data name, so the names are gathered first; the series are read without their header data,
// which is fetched per stretch. What is held is one series of one characteristic.
void writeCsv(const history::HistoryDatabase& db, const QString& program,
              const std::vector<history::CharacteristicKey>& keys, const history::SeriesFilter& filter,
              settings::CsvPreset preset, const OutputFn& write) {
    const auto stretches = [](history::Series& s, const auto& each) {
        for (std::size_t from = 0; from < s.size(); from += kStretch) {
            const std::span<history::SeriesPoint> part(s.data() + from, std::min(kStretch, s.size() - from));
            each(part);
            for (history::SeriesPoint& p : part)
                p.header = {};
        }
    };
    history::SeriesFilter bare = filter;
    bare.withHeader = false;
    history::Series kept; // with one characteristic, the series of the first pass serves the second
    QStringList names;
    for (const history::CharacteristicKey& k : keys) {
        history::Series s = db.series(program, k, bare);
        stretches(s, [&](std::span<history::SeriesPoint> part) { db.addHeaderNames(part, names); });
        if (keys.size() == 1)
            kept = std::move(s);
    }
    write(history::seriesCsvTitle(names, preset));
    for (const history::CharacteristicKey& k : keys) {
        history::Series s = keys.size() == 1 ? std::move(kept) : db.series(program, k, bare);
        stretches(s, [&](std::span<history::SeriesPoint> part) {
            db.attachHeaders(part);
            write(history::seriesCsvLines(program, k, part, names, preset));
        });
    }
}

// The figures of each characteristic against the tolerance of its newest part.
void writeFigures(const history::HistoryDatabase& db, const QString& program,
                  const std::vector<history::CharacteristicKey>& keys, const history::SeriesFilter& filter,
                  const CommandLine& command, const OutputFn& write) {
    history::SeriesFilter bare = filter;
    bare.withHeader = false;
    const int m = command.historySubgroup;
    const auto within =
        command.historySubgroupSpread ? statistics::Within::StdDev : statistics::Within::Range;
    const bool capability = command.historyReport == CommandLine::HistoryReport::Capability;
    write(capability ? history::capabilityCsvTitle() : history::controlLimitsCsvTitle());
    for (const history::CharacteristicKey& k : keys) {
        const history::Series s = db.series(program, k, bare);
        if (capability)
            write(history::capabilityCsvLine(
                program, k, m, within,
                statistics::capability(history::measuredValues(s), history::limitsOf(s), m, within)));
        else
            write(history::controlLimitsCsvLines(program, k, s, m, within));
    }
}

} // namespace

HistoryCommandResult historyCommand(const settings::SettingsStore& store, const CommandLine& command,
                                    const OutputFn& write) {
    HistoryCommandResult r;
    history::History h(history::readHistorySettings(store));
    if (command.action == CommandLine::Action::HistoryDb) {
        r.output = h.description().toUtf8() + '\n';
        return r;
    }
    if (command.action == CommandLine::Action::HistorySetup) {
        // Opening creates or migrates the schema, as the user the settings name.
        try {
            history::HistoryDatabase& db = h.database();
            r.output = QStringLiteral("%1: schema version %2\n")
                           .arg(db.description())
                           .arg(db.schemaVersion())
                           .toUtf8();
        } catch (const history::HistoryError& e) {
            r.status = 1;
            r.error = e.text();
        }
        return r;
    }
    if (command.action == CommandLine::Action::HistoryDeliver) {
        try {
            r.output = QByteArray::number(h.deliverOutbox()) + " parts delivered\n";
        } catch (const history::HistoryError& e) {
            r.status = 1;
            r.error = e.text();
        }
        return r;
    }
    if (command.action == CommandLine::Action::HistoryOutbox ||
        command.action == CommandLine::Action::HistoryRetry)
        return outboxCommand(h, command.action == CommandLine::Action::HistoryRetry);
    if (command.action == CommandLine::Action::HistoryPrune ||
        command.action == CommandLine::Action::HistoryBackup) {
        try {
            if (command.action == CommandLine::Action::HistoryPrune)
                r.output =
                    QByteArray::number(h.database().pruneBefore(*command.historyBefore)) + " parts removed\n";
            else
                h.database().backupTo(command.historyBackupFile);
        } catch (const history::HistoryError& e) {
            r.status = 1;
            r.error = e.text();
        }
        return r;
    }
    try {
        // Values of this station that still wait for the server belong in the answer.
        try {
            h.deliverOutbox();
        } catch (const history::HistoryError&) {
        }
        history::HistoryDatabase& db = h.database();
        const QString& program = command.historyProgram;
        if (!db.programs().contains(program)) {
            r.status = 1;
            r.error = QStringLiteral("no parts of the part program %1 are stored in %2")
                          .arg(program, db.description());
            return r;
        }
        std::vector<history::CharacteristicKey> keys;
        if (command.historyCharacteristic.isEmpty()) {
            keys = db.characteristics(program);
        } else if (const auto key = db.findCharacteristic(program, command.historyCharacteristic)) {
            keys = {*key};
        } else {
            r.status = 1;
            r.error = QStringLiteral("the part program %1 has no stored characteristic %2")
                          .arg(program, command.historyCharacteristic);
            return r;
        }
        history::SeriesFilter filter;
        filter.since = command.historySince;
        if (command.historyReport == CommandLine::HistoryReport::Values)
            writeCsv(db, program, keys, filter, settings::readCsvPreset(store), write);
        else
            writeFigures(db, program, keys, filter, command, write);
    } catch (const history::HistoryError& e) {
        r.status = 1;
        r.error = e.text();
    }
    return r;
}

} // namespace run
