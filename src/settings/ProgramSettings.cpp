#include "settings/ProgramSettings.h"

#include "common/Message.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

#include <QFileInfo>

namespace settings {

namespace {
using keys::ExcelReport;
using keys::Files;
using keys::Prog;

bool writeKey(const SettingsStore& store, const keys::Key& key, const QString& value,
              const LanguageTable& texts, const common::MessageFn& message) {
    return writeOrReport(store, keys::section(key), keys::name(key), value, texts, message);
}

bool readSwitch(const SettingsStore& store, const keys::Key& key, bool defaultOn) {
    return toFlag(keys::read(store, key, defaultOn ? QStringLiteral("1") : QStringLiteral("0")));
}
} // namespace

StartupKeys readLanguageKey(const SettingsStore& store) {
    StartupKeys k;
    k.language = keys::read(store, keys::Language::Name);
    return k;
}

void readStartupKeys(const SettingsStore& store, StartupKeys& k) {
    k.topTwips = positionTwips(keys::read(store, Prog::Top));
    k.leftTwips = positionTwips(keys::read(store, Prog::Left));
    k.partProgFolder = toFlag(keys::read(store, Files::PartProgFolder));
    k.header = readHeaderSwitch(store, true);
    k.lastUsedConfig = keys::read(store, ExcelReport::LastUsedConfig);
}

QString readLastUsedConfig(const SettingsStore& store) {
    return keys::stored(store, ExcelReport::LastUsedConfig).value_or(QString());
}

bool writeLastUsedConfig(const SettingsStore& store, const QString& file, const LanguageTable& texts,
                         const common::MessageFn& message) {
    return writeKey(store, ExcelReport::LastUsedConfig, file, texts, message);
}

QString readLastUsedFolder(const SettingsStore& store, const QString& fallback) {
    return keys::read(store, Prog::LastUsedFolder, fallback);
}

bool writeLastUsedFolder(const SettingsStore& store, const QString& folder, const LanguageTable& texts,
                         const common::MessageFn& message) {
    return writeKey(store, Prog::LastUsedFolder, folder, texts, message);
}

FolderChoice readFolderChoice(const SettingsStore& store, const QString& fallback) {
    return {keys::read(store, Files::Drive, fallback), keys::read(store, Files::Dir, fallback)};
}

bool writeFolderChoice(const SettingsStore& store, const FolderChoice& choice, const LanguageTable& texts,
                       const common::MessageFn& message) {
    return writeKey(store, Files::Drive, choice.drive, texts, message) &&
           writeResultFolder(store, choice.folder, texts, message);
}

bool writeResultFolder(const SettingsStore& store, const QString& folder, const LanguageTable& texts,
                       const common::MessageFn& message) {
    return writeKey(store, Files::Dir, folder, texts, message);
}

std::optional<std::pair<QString, QString>> readWindowPosition(const SettingsStore& store) {
    const auto top = keys::stored(store, Prog::Top);
    const auto left = keys::stored(store, Prog::Left);
    if (!top || !left)
        return std::nullopt;
    return std::pair{*top, *left};
}

bool writeWindowPosition(const SettingsStore& store, const QString& top, const QString& left,
                         const LanguageTable& texts, const common::MessageFn& message) {
    return writeKey(store, Prog::Top, top, texts, message) &&
           writeKey(store, Prog::Left, left, texts, message);
}

std::optional<QString> readReportLayoutValue(const SettingsStore& store, const QString& key) {
    return store.ReadDirect(QString::fromLatin1(ExcelReport::section), key);
}

void writeReportLayoutValues(const SettingsStore& store,
                             const std::vector<std::pair<QString, QString>>& values) {
    store.WriteAll(QString::fromLatin1(ExcelReport::section), values);
}

bool writeLanguage(const SettingsStore& store, const QString& language, const LanguageTable& texts,
                   const common::MessageFn& message) {
    return writeKey(store, keys::Language::Name, language, texts, message);
}

double positionTwips(const QString& text) {
    return parseNumber(text).value_or(1.0);
}

bool readHeaderSwitch(const SettingsStore& store, bool defaultOn) {
    return readSwitch(store, Prog::Header, defaultOn);
}

bool readMultiLine(const SettingsStore& store, bool defaultOn) {
    return readSwitch(store, Prog::MultiLine, defaultOn);
}

bool readMinimize(const SettingsStore& store) {
    return toFlag(keys::read(store, Prog::Minimize));
}

bool readStayOnTop(const SettingsStore& store) {
    return keys::read(store, Prog::StayOnTop).trimmed() != QLatin1String("0");
}

bool writeStayOnTop(const SettingsStore& store, bool on, const LanguageTable& texts,
                    const common::MessageFn& message) {
    return writeKey(store, Prog::StayOnTop, on ? QStringLiteral("1") : QStringLiteral("0"), texts, message);
}

namespace {
const keys::Key& recentKey(RecentKind kind) {
    return kind == RecentKind::Form ? Prog::RecentForms : Prog::RecentLayouts;
}
} // namespace

QStringList readRecentFiles(const SettingsStore& store, RecentKind kind) {
    QStringList files;
    for (const QString& f : keys::stored(store, recentKey(kind)).value_or(QString()).split(QLatin1Char('\n')))
        if (!f.isEmpty() && QFileInfo::exists(f) && !files.contains(f))
            files << f;
    return files;
}

void rememberRecentFile(const SettingsStore& store, RecentKind kind, const QString& file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    QStringList files = keys::stored(store, recentKey(kind)).value_or(QString()).split(QLatin1Char('\n'));
    files.removeAll(path);
    files.removeAll(QString());
    files.prepend(path);
    while (files.size() > kMaxRecent)
        files.removeLast();
    try {
        keys::write(store, recentKey(kind), files.join(QLatin1Char('\n')));
        if (kind == RecentKind::Layout)
            keys::write(store, Prog::LastLayoutFolder, QFileInfo(path).absolutePath());
    } catch (const SettingsWriteError&) {
        // A list of conveniences: the file itself was used all the same.
    }
}

QString readLastLayoutFolder(const SettingsStore& store, const QString& fallback) {
    const QString stored = keys::stored(store, Prog::LastLayoutFolder).value_or(QString());
    return !stored.isEmpty() && QFileInfo(stored).isDir() ? stored : fallback;
}

double warningPercent(const QString& tolProzentText) {
    return parseNumber(tolProzentText).value_or(90.0);
}

QString readTolProzent(const SettingsStore& store) {
    const auto v = keys::stored(store, Prog::TolProzent);
    return (!v || v->trimmed().isEmpty()) ? QString::fromLatin1(Prog::TolProzent.fallback) : *v;
}

int readHostTimeoutSeconds(const SettingsStore& store) {
    return keys::read(store, Prog::HostTimeout);
}

int readFormLockTimeoutSeconds(const SettingsStore& store) {
    return keys::read(store, Prog::FormLockTimeout);
}

int readFormLockStaleSeconds(const SettingsStore& store) {
    return keys::read(store, Prog::FormLockStale);
}

bool readFailureNotification(const SettingsStore& store) {
    // Only a clear "off" silences a failure.
    return parseFlag(keys::read(store, Prog::FailureNotification)).value_or(true);
}

QString versionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(DOZIDUVOV_VERSION_MAJOR)
        .arg(DOZIDUVOV_VERSION_MINOR)
        .arg(DOZIDUVOV_VERSION_PATCH);
}

QString provisionalCaption() {
    return common::applicationTitle() + QStringLiteral("  Version ") + versionText();
}

QString finalCaption(const LanguageTable& texts, const QString& lastUsedConfig) {
    return common::applicationTitle() + QStringLiteral("  ") +
           texts.text(QStringLiteral("frm_MainWindow"), 2) + QLatin1Char(' ') + versionText() +
           QStringLiteral("   ---   ") + lastUsedConfig;
}

QStringList readHeaderDataNames(const QString& path) {
    return readTextLines(path, systemCodePage()).value_or(QStringList());
}

} // namespace settings
