#pragma once

#include "settings/SettingsStore.h"

#include <QString>

namespace settings {

// The settings section HistorySettings: which database keeps the results history, and what its
// failure means for a run.
struct HistorySettings {
    enum class Driver { Sqlite, Postgres };
    Driver driver = Driver::Sqlite;
    QString file; // SQLite: the file; empty: the default file in the data folder
    QString host;
    int port = 5432;
    QString database;
    QString user;
    bool enabled = true;     // Enabled: every part written from a complete read is stored
    bool failsRun = false;   // FailRunOnError: a part not stored ends an unattended run with status 3
    int deliverySeconds = 5; // DeliveryTimeout: the longest a run waits for the history
    int windowParts = 50;    // WindowParts: the window opens on the last N parts; 0: all
    QString sslMode;         // SslMode: disable, require, verify-ca, verify-full...; empty: libpq's default
    QString sslRootCert;     // SslRootCert
};

HistorySettings readHistorySettings(const SettingsStore& store);
void writeHistorySettings(const SettingsStore& store, const HistorySettings& s);

} // namespace settings
