#include "settings/SettingsStore.h"

#include <QLocale>
#include <QSettings>
#include <QStringList>

#include <cmath>
#include <memory>

namespace settings {

const QString SettingsStore::LocalMachineRoot =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\NORTAVE\\Korvex_Zirirezu_DOZIDUVOV\\Settings\\");
const QString SettingsStore::CurrentUserRoot =
    QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\NORTAVE\\Korvex_Zirirezu_DOZIDUVOV\\Settings\\");
const QString SettingsStore::RootSwitchPath =
    QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\NORTAVE\\Korvex_Zirirezu_DOZIDUVOV\\Settings\\CurrentUser");

namespace {
const QString kOrganisation = QStringLiteral("NORTAVE");
const QString kApplication = QStringLiteral("Korvex_Zirirezu_DOZIDUVOV");
} // namespace

SettingsWriteError::SettingsWriteError(const QString& path, Cause cause, const QString& file)
    : std::runtime_error(QStringLiteral("%1: not stored in %2").arg(path, file).toStdString()), m_path(path),
      m_cause(cause), m_file(file) {}

QString SettingsWriteError::key() const {
    const QString marker = QStringLiteral("\\Settings\\");
    const qsizetype at = m_path.indexOf(marker, 0, Qt::CaseInsensitive);
    return at < 0 ? m_path : m_path.mid(at + marker.size());
}

bool SettingsWriteError::onLocalMachine() const {
    return m_path.startsWith(QLatin1String("HKEY_LOCAL_MACHINE\\"), Qt::CaseInsensitive);
}

namespace {

// Where a registry path lives in QSettings terms.
struct Location {
    QSettings::Scope scope;
    QString organisation;
    QString application;
    QString key;
};

// "HKEY_xxx\SOFTWARE\<organisation>\<application>\<key levels...>"
std::optional<Location> locate(const QString& path) {
    const QStringList parts = path.split(QLatin1Char('\\'));
    if (parts.size() < 5 || parts.at(1).compare(QLatin1String("SOFTWARE"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    Location loc;
    const QString& hive = parts.at(0);
    if (hive.compare(QLatin1String("HKEY_LOCAL_MACHINE"), Qt::CaseInsensitive) == 0)
        loc.scope = QSettings::SystemScope;
    else if (hive.compare(QLatin1String("HKEY_CURRENT_USER"), Qt::CaseInsensitive) == 0)
        loc.scope = QSettings::UserScope;
    else
        return std::nullopt;
    loc.organisation = parts.at(2);
    loc.application = parts.at(3);
    // An empty section gives a doubled backslash; the store treats it as no level at all.
    QStringList levels = parts.mid(4);
    levels.removeAll(QString());
    if (levels.isEmpty())
        return std::nullopt;
    loc.key = levels.join(QLatin1Char('/'));
    return loc;
}

std::unique_ptr<QSettings> openScope(QSettings::Scope scope, const QString& organisation,
                                     const QString& application) {
#ifdef Q_OS_WIN
    auto s = std::make_unique<QSettings>(QSettings::NativeFormat, scope, organisation, application);
#else
    // By its file alone: an object of the scope also holds the fallback files, and Qt keeps a
    // refused write to the machine-wide file pending for every later object that holds it, so a
    // write to the user's file would be reported as refused too.
    const QString file = QSettings(QSettings::NativeFormat, scope, organisation, application).fileName();
    auto s = std::make_unique<QSettings>(file, QSettings::IniFormat);
#endif
    // The two roots are separate stores: a user-scope read must not see the system file.
    s->setFallbacksEnabled(false);
    return s;
}

std::unique_ptr<QSettings> open(const Location& loc) {
    return openScope(loc.scope, loc.organisation, loc.application);
}

QString valueText(const QVariant& v) {
    // A hand-edited value with commas arrives as a list; keep it as the text it was.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

// Values of paths that all lie in one store, written with one sync.
void writeAt(const std::vector<std::pair<QString, QString>>& values) {
    if (values.empty())
        return;
    const QString& path = values.front().first;
    const auto loc = locate(path);
    if (!loc)
        throw SettingsWriteError(path, SettingsWriteError::Cause::NotOurs);
    auto s = open(*loc);
    for (const auto& [p, value] : values) {
        const auto at = locate(p);
        if (!at || at->scope != loc->scope)
            throw SettingsWriteError(p, SettingsWriteError::Cause::NotOurs);
        s->setValue(at->key, value);
    }
    s->sync();
    if (s->status() != QSettings::NoError)
        throw SettingsWriteError(path,
                                 s->status() == QSettings::AccessError ? SettingsWriteError::Cause::NoAccess
                                                                       : SettingsWriteError::Cause::Damaged,
                                 s->fileName());
}

} // namespace

QString SettingsStore::valuePath(const QString& section, const QString& key) const {
    return m_root + section + QLatin1Char('\\') + key;
}

void SettingsStore::selectRoot() {
    m_root = LocalMachineRoot;
    const QString v = ReadPath(RootSwitchPath, QStringLiteral("False"));
    if (v.toUpper() == QLatin1String("TRUE"))
        m_root = CurrentUserRoot;
    m_userOverlay = m_root == LocalMachineRoot &&
                    !openScope(QSettings::SystemScope, kOrganisation, kApplication)->isWritable();
}

std::optional<QString> SettingsStore::overlayPath(const QString& path) const {
    if (!m_userOverlay || !path.startsWith(LocalMachineRoot, Qt::CaseInsensitive))
        return std::nullopt;
    return CurrentUserRoot + path.mid(LocalMachineRoot.size());
}

namespace {

// The value stored at a registry path, in exactly that store.
std::optional<QString> storedAt(const QString& path) {
    const auto loc = locate(path);
    if (!loc)
        return std::nullopt;
    auto s = open(*loc);
    // Not the status: after one refused write every later object on the file reports the
    // refusal, although the file reads as well as before.
    if (!s->contains(loc->key))
        return std::nullopt;
    return valueText(s->value(loc->key));
}

} // namespace

std::optional<QString> SettingsStore::ReadDirectPath(const QString& path) const {
    if (const auto own = overlayPath(path))
        if (auto changed = storedAt(*own))
            return changed;
    return storedAt(path);
}

std::optional<QString> SettingsStore::ReadDirect(const QString& section, const QString& key) const {
    return ReadDirectPath(valuePath(section, key));
}

QString SettingsStore::ReadPath(const QString& path, const QString& defaultValue) const {
    if (auto v = ReadDirectPath(path))
        return *v;
    // A default kept in the user's store would hide the administrator's value once it is set.
    if (overlayPath(path))
        return defaultValue;
    try {
        writeAt({{path, defaultValue}});
    } catch (const SettingsWriteError&) {
        // No write access (the machine-wide root for an ordinary user): the default is used and
        // nothing is stored.
    }
    return defaultValue;
}

QString SettingsStore::Read(const QString& section, const QString& key, const QString& defaultValue) const {
    return ReadPath(valuePath(section, key), defaultValue);
}

void SettingsStore::WritePath(const QString& path, const QString& value) const {
    writeAt({{overlayPath(path).value_or(path), value}});
}

void SettingsStore::Write(const QString& section, const QString& key, const QString& value) const {
    WritePath(valuePath(section, key), value);
}

void SettingsStore::WriteAll(const QString& section,
                             const std::vector<std::pair<QString, QString>>& values) const {
    std::vector<std::pair<QString, QString>> paths;
    paths.reserve(values.size());
    for (const auto& [key, value] : values)
        paths.emplace_back(overlayPath(valuePath(section, key)).value_or(valuePath(section, key)), value);
    writeAt(paths);
}

std::optional<bool> parseFlag(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto n = parseNumber(t))
        return *n != 0.0;
    return std::nullopt;
}

bool toFlag(const QString& text) {
    return parseFlag(text).value_or(false);
}

std::optional<double> parseNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Thousands separators are refused: "1.500" must not become 1500 in a German locale.
    QLocale local = QLocale::system();
    local.setNumberOptions(QLocale::RejectGroupSeparator);
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double v = local.toDouble(t, &ok);
    if (!ok)
        v = c.toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> parseInteger(const QString& text) {
    const auto v = parseNumber(text);
    if (!v || std::fabs(*v) > 2147483647.0)
        return std::nullopt;
    return static_cast<int>(std::round(*v));
}

} // namespace settings
