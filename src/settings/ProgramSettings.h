#pragma once

#include "settings/LanguageTable.h"
#include "settings/SettingsStore.h"

#include "common/Message.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace settings {

// The keys the main window's start-up reads, in its order (the root switch comes first).
struct StartupKeys {
    QString language;
    double topTwips = 1;
    double leftTwips = 1;
    bool partProgFolder = false;
    bool header = true;
    QString lastUsedConfig;
};

StartupKeys readLanguageKey(const SettingsStore& store);
// TOP, LEFT, PartProgFolder, HEADER (default "1") and LastUsedConfig, in this order.
void readStartupKeys(const SettingsStore& store, StartupKeys& keys);

// A stored window position; a text that is not a number counts as 1.
double positionTwips(const QString& text);

// Twips to pixels at 96 dpi, and back.
inline int twipsToPixels(double twips) {
    return static_cast<int>(twips / 15.0);
}
inline double pixelsToTwips(int pixels) {
    return pixels * 15.0;
}

// The switches of ProgSettings the logic uses, each read in one way; where callers differ in the
// default (the start-up shows the header data unless told otherwise, the reader and the ASCII
// writer use it only when told), the caller gives it.
bool readHeaderSwitch(const SettingsStore& store, bool defaultOn);
bool readMultiLine(const SettingsStore& store, bool defaultOn);
bool readMinimize(const SettingsStore& store);

// ProgSettings/StayOnTop: the program's windows stay above all others (on unless "0").
bool readStayOnTop(const SettingsStore& store);
bool writeStayOnTop(const SettingsStore& store, bool on, const LanguageTable& texts,
                    const common::MessageFn& message);

// The forms and layouts used last, most recent first; files that are gone are left out.
enum class RecentKind { Form, Layout };
QStringList readRecentFiles(const SettingsStore& store, RecentKind kind);
// Puts the file first (once) and keeps the newest kMaxRecent; a store that takes nothing is ignored.
void rememberRecentFile(const SettingsStore& store, RecentKind kind, const QString& file);
constexpr int kMaxRecent = 6;
// The folder a file dialog of layouts opens in: the last one used, else the fallback.
QString readLastLayoutFolder(const SettingsStore& store, const QString& fallback);

// The warning limit as stored: a missing, empty or non-numeric value counts as 90.
double warningPercent(const QString& tolProzentText);
// Reads TolProzent directly (no write-back), "90" when missing or empty.
QString readTolProzent(const SettingsStore& store);

// ProgSettings/HostTimeout: seconds one host answer may take before the host counts as hung
// (30 when unset or not a number from 1 to 3600).
int readHostTimeoutSeconds(const SettingsStore& store);

// ProgSettings/FormLockTimeout: seconds a run waits for a form another run or a spreadsheet
// program holds (60 when unset or not a number from 0 to 3600).
int readFormLockTimeoutSeconds(const SettingsStore& store);

// ProgSettings/FormLockStale: seconds after which the lock of a run on another host, or one that
// does not say whose it is, counts as left behind by a station that was switched off or killed
// (900 when unset or not a number from 0 to a week; 0: never).
int readFormLockStaleSeconds(const SettingsStore& store);

// ProgSettings/FailureNotification: whether an unattended run that fails sends a desktop
// notification (on unless it reads as off, "0").
bool readFailureNotification(const SettingsStore& store);

// What the windows remember, each under one key, read and written only here. A write that does
// not reach the store is reported (the user's message function) and gives false.
// ExcelReportSettings/LastUsedConfig: the layout file last loaded or saved; "" when none.
QString readLastUsedConfig(const SettingsStore& store);
bool writeLastUsedConfig(const SettingsStore& store, const QString& file, const LanguageTable& texts,
                         const common::MessageFn& message);
// ProgSettings/LastUsedFolder: where the form dialog opens; fallback when none.
QString readLastUsedFolder(const SettingsStore& store, const QString& fallback);
bool writeLastUsedFolder(const SettingsStore& store, const QString& folder, const LanguageTable& texts,
                         const common::MessageFn& message);
// FileSettings/DRIVE and DIR: the result folder as the folder window shows and stores it.
struct FolderChoice {
    QString drive;
    QString folder;
};
FolderChoice readFolderChoice(const SettingsStore& store, const QString& fallback);
bool writeFolderChoice(const SettingsStore& store, const FolderChoice& choice, const LanguageTable& texts,
                       const common::MessageFn& message);
// FileSettings/DIR alone: the result folder.
bool writeResultFolder(const SettingsStore& store, const QString& folder, const LanguageTable& texts,
                       const common::MessageFn& message);
// ProgSettings/TOP and LEFT as typed (twips); nothing unless both are stored.
std::optional<std::pair<QString, QString>> readWindowPosition(const SettingsStore& store);
bool writeWindowPosition(const SettingsStore& store, const QString& top, const QString& left,
                         const LanguageTable& texts, const common::MessageFn& message);
// LanguageSettings/Language.
bool writeLanguage(const SettingsStore& store, const QString& language, const LanguageTable& texts,
                   const common::MessageFn& message);

// ExcelReportSettings: the report layout's values by key, for the layout's own reader and writer.
std::optional<QString> readReportLayoutValue(const SettingsStore& store, const QString& key);
// All of them with one write; throws SettingsWriteError.
void writeReportLayoutValues(const SettingsStore& store,
                             const std::vector<std::pair<QString, QString>>& values);

QString versionText(); // major.minor.revision
QString provisionalCaption();
QString finalCaption(const LanguageTable& texts, const QString& lastUsedConfig);

// The header data names of "HeaderData.cfg", one per line; none when the file cannot be read.
QStringList readHeaderDataNames(const QString& path);

} // namespace settings
