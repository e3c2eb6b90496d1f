#pragma once

#include "run/CommandLine.h"
#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QString>

namespace run {

// What "--history" and "--history-db" print, and the exit status.
struct HistoryCommandResult {
    int status = 0;
    QByteArray output; // standard output
    QString error;     // standard error, one line
};

// Reads the configured history (waiting parts are delivered first, when a server is set up).
HistoryCommandResult historyCommand(const settings::SettingsStore& store, const CommandLine& command);

} // namespace run
