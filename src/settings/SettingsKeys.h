#pragma once

#include "settings/SettingsStore.h"

#include <QString>

#include <array>
#include <optional>

// Every stored key of the program, one struct per settings section: the key's name, what a store
// without it reads and, for numbers, the range a stored value must lie in. Section and key names
// are what stations, administrators and settings files already hold; they never change.
namespace settings::keys {

// A text value. A key without a fallback takes it from where it is read (named at the key).
struct Key {
    const char* section;
    const char* name;
    const char* fallback = nullptr;
};

// A whole number (seconds, parts); a stored value that is no number or lies outside [least, most]
// reads as fallback.
struct NumberKey {
    const char* section;
    const char* name;
    int fallback;
    int least;
    int most;
};

struct Prog {
    static constexpr const char* section = "ProgSettings";
    static constexpr Key Top{section, "TOP", "1"}; // twips; with LEFT the main window's position
    static constexpr Key Left{section, "LEFT", "1"};
    // Start-up and output dialog "1", the reader and the ASCII writer "0".
    static constexpr Key Header{section, "HEADER"};
    static constexpr Key MultiLine{section, "MultiLine"}; // dialog "1", reader "0"
    static constexpr Key Minimize{section, "MINIMIZE", "0"};
    static constexpr Key TolProzent{section, "TolProzent", "90"};
    static constexpr Key LastUsedFolder{section, "LastUsedFolder"}; // the program's folder
    static constexpr Key LastLayoutFolder{section, "LastLayoutFolder"};
    // The program's windows above all others; "0" lets them go among them.
    static constexpr Key StayOnTop{section, "StayOnTop", "1"};
    // Most recent first, one path per line.
    static constexpr Key RecentForms{section, "RecentForms", ""};
    static constexpr Key RecentLayouts{section, "RecentLayouts", ""};
    static constexpr NumberKey HostTimeout{section, "HostTimeout", 30, 1, 3600};
    static constexpr NumberKey FormLockTimeout{section, "FormLockTimeout", 60, 0, 3600};
    // 0: never; up to a week.
    static constexpr NumberKey FormLockStale{section, "FormLockStale", 900, 0, 7 * 86400};
    // An unattended run that fails tells the desktop (a notification over the session bus).
    static constexpr Key FailureNotification{section, "FailureNotification", "1"};
};

struct Files {
    static constexpr const char* section = "FileSettings";
    // Both: the file system's root in the folder window, the program's folder for a run.
    static constexpr Key Drive{section, "DRIVE"};
    static constexpr Key Dir{section, "DIR"};
    static constexpr Key PartProgFolder{section, "PartProgFolder", "0"};
    static constexpr std::array<Key, 5> FileName{{{section, "FileName1", "0"},
                                                  {section, "FileName2", "1"},
                                                  {section, "FileName3", "1"},
                                                  {section, "FileName4", "1"},
                                                  {section, "FileName5", "1"}}};
    static constexpr Key Separator{section, "SEPERATOR", "1"};
    static constexpr Key FileCounter{section, "FileCounter", "0"};
    static constexpr Key SelectFolder{section, "SelectFolder", "0"};
    static constexpr Key DefaultFolder{section, "DefaultFolder", "1"};
    static constexpr Key Aqdef{section, "AQDEF", "0"};
    static constexpr Key Pdf{section, "PDF", "0"};
    static constexpr Key Qif{section, "QIF", "0"};
    static constexpr Key AqdefK0006{section, "AQDEF_K0006", ""};
    static constexpr Key AqdefK0008{section, "AQDEF_K0008", ""};
    // "locale", "international" or "german-excel"; see settings/CsvPreset.h.
    static constexpr Key CsvPreset{section, "CsvPreset", "locale"};
};

// The report layout's own keys are its file's field names, listed by the layout.
struct ExcelReport {
    static constexpr const char* section = "ExcelReportSettings";
    static constexpr Key LastUsedConfig{section, "LastUsedConfig", ""};
};

struct Language {
    static constexpr const char* section = "LanguageSettings";
    static constexpr Key Name{section, "Language", "German"};
};

struct Ascii {
    static constexpr const char* section = "ASCIISettings";
    // The result file's column switches in column order; a missing one is on.
    static constexpr std::array<const char*, 22> ColumnSwitches{
        "ID",      "SOLL", "OTOL", "UTOL", "BONUS", "IST",  "ABW",  "ATOL", "MIN",    "MAX",  "EINHEIT",
        "AUSGABE", "MARK", "ELE1", "ELE2", "ELE3",  "BEZ1", "BEZ2", "BEZ3", "LAENGE", "TYPE", "Kommentar"};
    static constexpr const char* ColumnPosition = "Label1_"; // followed by the column's index
    static constexpr Key Separator{section, "ASCII", ","};
    static constexpr Key Csv{section, "CSV"}; // never stored: .txt
    static constexpr Key Txt{section, "TXT"}; // never stored: the opposite of CSV
};

struct History {
    static constexpr const char* section = "HistorySettings";
    static constexpr Key Driver{section, "Driver", "QSQLITE"}; // or QPSQL
    static constexpr Key File{section, "File", ""};            // empty: the data folder's file
    static constexpr Key Host{section, "Host", ""};
    static constexpr Key Port{section, "Port", "5432"}; // 1 to 65535
    static constexpr Key Database{section, "Database", ""};
    static constexpr Key User{section, "User", ""};
    static constexpr Key Enabled{section, "Enabled", "-1"};
    static constexpr Key FailRunOnError{section, "FailRunOnError", "0"};
    // How long a run may spend storing its part; beyond it the part waits in the outbox.
    static constexpr NumberKey DeliveryTimeout{section, "DeliveryTimeout", 5, 1, 300};
    // The history window opens on the last N parts; 0: on all of them.
    static constexpr NumberKey WindowParts{section, "WindowParts", 50, 0, 1000000};
    static constexpr Key SslMode{section, "SslMode", ""};         // libpq's sslmode; empty: its default
    static constexpr Key SslRootCert{section, "SslRootCert", ""}; // the CA file for verify-ca/-full
};

// Directly under the root: which root the other keys are read from.
struct Root {
    static constexpr Key CurrentUser{"", "CurrentUser", "FALSE"};
};

// The stored value; a missing one gives the fallback, written back where the store allows it.
QString read(const SettingsStore& store, const Key& key, const QString& fallback);
QString read(const SettingsStore& store, const Key& key);
// The stored value or nothing, never writing back.
std::optional<QString> stored(const SettingsStore& store, const Key& key);
int read(const SettingsStore& store, const NumberKey& key);
// Throws SettingsWriteError.
void write(const SettingsStore& store, const Key& key, const QString& value);

inline QString section(const Key& key) {
    return QString::fromLatin1(key.section);
}
inline QString name(const Key& key) {
    return QString::fromLatin1(key.name);
}
inline QString name(const NumberKey& key) {
    return QString::fromLatin1(key.name);
}

} // namespace settings::keys
