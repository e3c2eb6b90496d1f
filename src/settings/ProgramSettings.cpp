#include "settings/ProgramSettings.h"

#include "common/Message.h"
#include "settings/SettingsMessages.h"
#include "settings/TextCodec.h"

namespace settings {

StartupKeys readLanguageKey(const SettingsStore& store) {
    StartupKeys k;
    k.language =
        store.Read(QStringLiteral("LanguageSettings"), QStringLiteral("Language"), QStringLiteral("German"));
    return k;
}

void readStartupKeys(const SettingsStore& store, StartupKeys& k) {
    const QString prog = QStringLiteral("ProgSettings");
    k.topTwips = positionTwips(store.Read(prog, QStringLiteral("TOP"), QStringLiteral("1")));
    k.leftTwips = positionTwips(store.Read(prog, QStringLiteral("LEFT"), QStringLiteral("1")));
    k.partProgFolder = toFlag(
        store.Read(QStringLiteral("FileSettings"), QStringLiteral("PartProgFolder"), QStringLiteral("0")));
    k.header = readHeaderSwitch(store, true);
    k.lastUsedConfig =
        store.Read(QStringLiteral("ExcelReportSettings"), QStringLiteral("LastUsedConfig"), QString());
}

namespace {
const QString kProg = QStringLiteral("ProgSettings");
const QString kFilesSection = QStringLiteral("FileSettings");
const QString kReport = QStringLiteral("ExcelReportSettings");
} // namespace

QString readLastUsedConfig(const SettingsStore& store) {
    return store.ReadDirect(kReport, QStringLiteral("LastUsedConfig")).value_or(QString());
}

bool writeLastUsedConfig(const SettingsStore& store, const QString& file, const LanguageTable& texts,
                         const common::MessageFn& message) {
    return writeOrReport(store, kReport, QStringLiteral("LastUsedConfig"), file, texts, message);
}

QString readLastUsedFolder(const SettingsStore& store, const QString& fallback) {
    return store.Read(kProg, QStringLiteral("LastUsedFolder"), fallback);
}

bool writeLastUsedFolder(const SettingsStore& store, const QString& folder, const LanguageTable& texts,
                         const common::MessageFn& message) {
    return writeOrReport(store, kProg, QStringLiteral("LastUsedFolder"), folder, texts, message);
}

FolderChoice readFolderChoice(const SettingsStore& store, const QString& fallback) {
    return {store.Read(kFilesSection, QStringLiteral("DRIVE"), fallback),
            store.Read(kFilesSection, QStringLiteral("DIR"), fallback)};
}

bool writeFolderChoice(const SettingsStore& store, const FolderChoice& choice, const LanguageTable& texts,
                       const common::MessageFn& message) {
    return writeOrReport(store, kFilesSection, QStringLiteral("DRIVE"), choice.drive, texts, message) &&
           writeResultFolder(store, choice.folder, texts, message);
}

bool writeResultFolder(const SettingsStore& store, const QString& folder, const LanguageTable& texts,
                       const common::MessageFn& message) {
    return writeOrReport(store, kFilesSection, QStringLiteral("DIR"), folder, texts, message);
}

std::optional<std::pair<QString, QString>> readWindowPosition(const SettingsStore& store) {
    const auto top = store.ReadDirect(kProg, QStringLiteral("TOP"));
    const auto left = store.ReadDirect(kProg, QStringLiteral("LEFT"));
    if (!top || !left)
        return std::nullopt;
    return std::pair{*top, *left};
}

bool writeWindowPosition(const SettingsStore& store, const QString& top, const QString& left,
                         const LanguageTable& texts, const common::MessageFn& message) {
    return writeOrReport(store, kProg, QStringLiteral("TOP"), top, texts, message) &&
           writeOrReport(store, kProg, QStringLiteral("LEFT"), left, texts, message);
}

std::optional<QString> readReportLayoutValue(const SettingsStore& store, const QString& key) {
    return store.ReadDirect(kReport, key);
}

void writeReportLayoutValues(const SettingsStore& store,
                             const std::vector<std::pair<QString, QString>>& values) {
    store.WriteAll(kReport, values);
}

bool writeLanguage(const SettingsStore& store, const QString& language, const LanguageTable& texts,
                   const common::MessageFn& message) {
    return writeOrReport(store, QStringLiteral("LanguageSettings"), QStringLiteral("Language"), language,
                         texts, message);
}

double positionTwips(const QString& text) {
    return parseNumber(text).value_or(1.0);
}

namespace {
bool readSwitch(const SettingsStore& store, const char* key, bool defaultOn) {
    return toFlag(store.Read(QStringLiteral("ProgSettings"), QString::fromLatin1(key),
                             defaultOn ? QStringLiteral("1") : QStringLiteral("0")));
}
} // namespace

bool readHeaderSwitch(const SettingsStore& store, bool defaultOn) {
    return readSwitch(store, "HEADER", defaultOn);
}

bool readMultiLine(const SettingsStore& store, bool defaultOn) {
    return readSwitch(store, "MultiLine", defaultOn);
}

bool readMinimize(const SettingsStore& store) {
    return readSwitch(store, "MINIMIZE", false);
}

double warningPercent(const QString& tolProzentText) {
    return parseNumber(tolProzentText).value_or(90.0);
}

QString readTolProzent(const SettingsStore& store) {
    const auto v = store.ReadDirect(QStringLiteral("ProgSettings"), QStringLiteral("TolProzent"));
    return (!v || v->trimmed().isEmpty()) ? QStringLiteral("90") : *v;
}

namespace {
int readSeconds(const SettingsStore& store, const char* key, int defaultSeconds, int least, int most = 3600) {
    const auto v = store.ReadDirect(QStringLiteral("ProgSettings"), QString::fromLatin1(key));
    if (!v)
        return defaultSeconds;
    bool ok = false;
    const int seconds = v->trimmed().toInt(&ok);
    return ok && seconds >= least && seconds <= most ? seconds : defaultSeconds;
}
} // namespace

int readHostTimeoutSeconds(const SettingsStore& store) {
    return readSeconds(store, "HostTimeout", 30, 1);
}

int readFormLockTimeoutSeconds(const SettingsStore& store) {
    return readSeconds(store, "FormLockTimeout", 60, 0);
}

int readFormLockStaleSeconds(const SettingsStore& store) {
    return readSeconds(store, "FormLockStale", 900, 0, 7 * 86400);
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
