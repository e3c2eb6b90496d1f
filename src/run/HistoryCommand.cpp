#include "run/HistoryCommand.h"

#include "history/History.h"

namespace run {

HistoryCommandResult historyCommand(const settings::SettingsStore& store, const CommandLine& command) {
    HistoryCommandResult r;
    history::History h(history::readHistorySettings(store));
    if (command.action == CommandLine::Action::HistoryDb) {
        r.output = h.description().toUtf8() + '\n';
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
        std::vector<history::CharacteristicKey> keys = db.characteristics(program);
        if (!command.historyCharacteristic.isEmpty()) {
            const auto it = std::find_if(keys.begin(), keys.end(), [&](const history::CharacteristicKey& k) {
                return k.text() == command.historyCharacteristic;
            });
            if (it == keys.end()) {
                r.status = 1;
                r.error = QStringLiteral("the part program %1 has no stored characteristic %2")
                              .arg(program, command.historyCharacteristic);
                return r;
            }
            keys = {*it};
        }
        history::SeriesFilter filter;
        filter.since = command.historySince;
        std::vector<std::pair<history::CharacteristicKey, history::Series>> all;
        for (const history::CharacteristicKey& k : keys)
            all.emplace_back(k, db.series(program, k, filter));
        r.output = history::seriesCsv(program, all);
    } catch (const history::HistoryError& e) {
        r.status = 1;
        r.error = e.text();
    }
    return r;
}

} // namespace run
