#include "settings/SettingsKeys.h"

namespace settings::keys {

QString read(const SettingsStore& store, const Key& key, const QString& fallback) {
    return store.Read(section(key), name(key), fallback);
}

QString read(const SettingsStore& store, const Key& key) {
    return read(store, key, QString::fromLatin1(key.fallback ? key.fallback : ""));
}

std::optional<QString> stored(const SettingsStore& store, const Key& key) {
    return store.ReadDirect(section(key), name(key));
}

int read(const SettingsStore& store, const NumberKey& key) {
    const auto v = store.ReadDirect(QString::fromLatin1(key.section), name(key));
    if (!v)
        return key.fallback;
    bool ok = false;
    const int number = v->trimmed().toInt(&ok);
    return ok && number >= key.least && number <= key.most ? number : key.fallback;
}

void write(const SettingsStore& store, const Key& key, const QString& value) {
    store.Write(section(key), name(key), value);
}

} // namespace settings::keys
