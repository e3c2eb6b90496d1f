#pragma once

#include "settings/SettingsStore.h"
#include "settings/TextCodec.h"

#include <QLocale>
#include <QString>

namespace settings {

// How the CSV files are made for the spreadsheet program that opens them. A spreadsheet reads a
// CSV with its own locale's separator and decimal mark unless the file's form is fixed.
enum class CsvPreset {
    Locale,        // as before: the stored separator, this computer's decimal mark and code page
    International, // "," separator, decimal point, UTF-8 with byte order mark
    GermanExcel,   // ";" separator, decimal comma, Windows-1252
};

// The stored names; an unknown stored name reads as Locale, so the file stays as it was.
QString csvPresetName(CsvPreset preset);
CsvPreset csvPresetFromName(const QString& name);
CsvPreset readCsvPreset(const SettingsStore& store);
// Throws SettingsWriteError.
void writeCsvPreset(const SettingsStore& store, CsvPreset preset);

// What a preset makes of the result file's separator, number locale and encoding.
struct CsvFormat {
    QString separator;
    QLocale numbers;
    CodePage codePage;
    bool byteOrderMark = false;
};
CsvFormat csvFormat(CsvPreset preset, const QString& storedSeparator, const QLocale& locale);

} // namespace settings
