#include "settings/HistorySettings.h"

namespace settings {

namespace {
const QString kSection = QStringLiteral("HistorySettings");
} // namespace

HistorySettings readHistorySettings(const SettingsStore& store) {
    HistorySettings s;
    const auto get = [&store](const char* key) {
        return store.ReadDirect(kSection, QString::fromLatin1(key)).value_or(QString()).trimmed();
    };
    const QString driver = get("Driver").toUpper();
    if (driver == QLatin1String("QPSQL") || driver == QLatin1String("POSTGRESQL") ||
        driver == QLatin1String("POSTGRES"))
        s.driver = HistorySettings::Driver::Postgres;
    s.file = get("File");
    s.host = get("Host");
    if (const auto port = parseInteger(get("Port")); port && *port > 0 && *port < 65536)
        s.port = *port;
    s.database = get("Database");
    s.user = get("User");
    s.enabled = parseFlag(get("Enabled")).value_or(true);
    s.failsRun = parseFlag(get("FailRunOnError")).value_or(false);
    return s;
}

void writeHistorySettings(const SettingsStore& store, const HistorySettings& s) {
    store.WriteAll(kSection, {{QStringLiteral("Driver"), s.driver == HistorySettings::Driver::Postgres
                                                             ? QStringLiteral("QPSQL")
                                                             : QStringLiteral("QSQLITE")},
                              {QStringLiteral("File"), s.file},
                              {QStringLiteral("Host"), s.host},
                              {QStringLiteral("Port"), QString::number(s.port)},
                              {QStringLiteral("Database"), s.database},
                              {QStringLiteral("User"), s.user},
                              {QStringLiteral("Enabled"), flagText(s.enabled)},
                              {QStringLiteral("FailRunOnError"), flagText(s.failsRun)}});
}

} // namespace settings
