#include "settings/HistorySettings.h"

#include "settings/SettingsKeys.h"

namespace settings {

using keys::History;

HistorySettings readHistorySettings(const SettingsStore& store) {
    HistorySettings s;
    const auto get = [&store](const keys::Key& key) {
        return keys::stored(store, key).value_or(QString()).trimmed();
    };
    const QString driver = get(History::Driver).toUpper();
    if (driver == QLatin1String("QPSQL") || driver == QLatin1String("POSTGRESQL") ||
        driver == QLatin1String("POSTGRES"))
        s.driver = HistorySettings::Driver::Postgres;
    s.file = get(History::File);
    s.host = get(History::Host);
    if (const auto port = parseInteger(get(History::Port)); port && *port > 0 && *port < 65536)
        s.port = *port;
    s.database = get(History::Database);
    s.user = get(History::User);
    s.enabled = parseFlag(get(History::Enabled)).value_or(true);
    s.failsRun = parseFlag(get(History::FailRunOnError)).value_or(false);
    s.deliverySeconds = keys::read(store, History::DeliveryTimeout);
    s.windowParts = keys::read(store, History::WindowParts);
    s.sslMode = get(History::SslMode);
    s.sslRootCert = get(History::SslRootCert);
    return s;
}

void writeHistorySettings(const SettingsStore& store, const HistorySettings& s) {
    const bool postgres = s.driver == HistorySettings::Driver::Postgres;
    store.WriteAll(
        QString::fromLatin1(History::section),
        {{keys::name(History::Driver), postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE")},
         {keys::name(History::File), s.file},
         {keys::name(History::Host), s.host},
         {keys::name(History::Port), QString::number(s.port)},
         {keys::name(History::Database), s.database},
         {keys::name(History::User), s.user},
         {keys::name(History::Enabled), flagText(s.enabled)},
         {keys::name(History::FailRunOnError), flagText(s.failsRun)},
         {keys::name(History::DeliveryTimeout), QString::number(s.deliverySeconds)},
         {keys::name(History::WindowParts), QString::number(s.windowParts)},
         {keys::name(History::SslMode), s.sslMode},
         {keys::name(History::SslRootCert), s.sslRootCert}});
}

} // namespace settings
