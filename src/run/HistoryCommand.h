#pragma once

#include "run/CommandLine.h"
#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace run {

// What "--history" and "--history-db" print, and the exit status.
struct HistoryCommandResult {
    int status = 0;
    QByteArray output; // standard output
    QString error;     // standard error, one line
};

// Standard output, a piece at a time: a long series is written while it is read.
using OutputFn = std::function<void(const QByteArray&)>;

// Reads the configured history (waiting parts are delivered first, when a server is set up).
// The CSV goes to write; output holds what the other commands print.
HistoryCommandResult historyCommand(const settings::SettingsStore& store, const CommandLine& command,
                                    const OutputFn& write);

} // namespace run
