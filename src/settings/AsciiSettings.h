#pragma once

#include "settings/SettingsStore.h"

#include <QString>

#include <array>
#include <optional>

namespace settings {

// The settings section ASCIISettings as stored: the result file's 22 columns, their order, the
// separator and the file type. Read and written only here; the layout dialog and the writer build
// their views of it from this one reading.
struct AsciiSettings {
    static constexpr int kColumns = 22;
    // The switch of each column (keys ID, SOLL, ... Kommentar); a missing one is on.
    std::array<bool, kColumns> on{};
    // Label1_<column>: the column's position as stored; nothing when it was never stored.
    std::array<std::optional<QString>, kColumns> position{};
    QString separator = QStringLiteral(","); // ASCII
    // CSV: true for .csv, false for .txt; false when never stored (a fresh station writes .txt, as
    // unattended runs always did); nothing when the stored text is no flag.
    std::optional<bool> csv = false;
    bool txt = true; // TXT, the dialog's second option; when never stored, the opposite of CSV
};

AsciiSettings readAsciiSettings(const SettingsStore& store);
// Writes every key with one write; throws SettingsWriteError.
void writeAsciiSettings(const SettingsStore& store, const AsciiSettings& s);

} // namespace settings
