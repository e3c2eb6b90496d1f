#pragma once

#include "settings/SettingsStore.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The ASCII result file's columns: which of the 22 are written, in which order, with which
// separator and as which file type.
namespace ascii {

inline constexpr int kColumns = 22;

// The column's title in the result file; column 0 is two fields, "ID" and "Achse".
QString columnTitle(int column, const QString& separator);

struct AsciiLayout {
    std::array<bool, kColumns> on{};
    // "" when the column is not written, else its position 1 to 22.
    std::array<QString, kColumns> position{};
    QString separator = QStringLiteral(",");
    bool csv = false;
    bool txt = false;

    // The dialog's switching rules keep the positions dense: on appends at the end, off closes
    // the gap.
    void switchOn(int column);
    void switchOff(int column);
    void setSwitch(int column, bool value) { value ? switchOn(column) : switchOff(column); }
    void allOn();
    void allOff();
};

// The separator is a character numbers are written with in this locale (the decimal comma
// with a "," separator): such numbers are then quoted, and the user is told.
bool separatorInNumbers(const QString& separator, const QLocale& locale);

// The layout as the dialog loads it from the store.
AsciiLayout loadLayout(const settings::SettingsStore& store);
// The layout as the writer uses it, read once before a file is written.
struct OutputLayout {
    // The position 1 to 22 of each column, 0 when it is not written; a layout never stored
    // writes every column in column order, as the layout dialog shows it.
    std::array<int, kColumns> position{};
    QString separator;
    // CSV (true) or TXT (false); nothing when the stored switch cannot be read.
    std::optional<bool> csv;
};
OutputLayout readOutputLayout(const settings::SettingsStore& store);

// Writes every key; throws settings::SettingsWriteError.
void saveLayout(const settings::SettingsStore& store, const AsciiLayout& layout);

// "ASCII_Settings.cfg": 47 lines.
QStringList exportLines(const AsciiLayout& layout);
// Reads the lines into the layout; unreadable items are skipped, a short file leaves the rest.
void importLines(AsciiLayout& layout, const QStringList& lines);

QString asciiSettingsFile();

} // namespace ascii
