#pragma once

#include "common/Message.h"
#include "settings/SettingsStore.h"
#include "settings/LanguageTable.h"

#include <QStringList>

#include <optional>

namespace settings {

// Language lines of our own messages, in section MessageBoxen.
namespace msgline {
constexpr int SettingsNotSaved = 10;
constexpr int SettingsUseCurrentUser = 11;
constexpr int LayoutWithoutHeader = 68;
constexpr int LayoutCheckSettings = 69;
constexpr int LayoutHeaderMismatch = 70;
constexpr int LayoutLoadOther = 71;
constexpr int LayoutHeaderNames = 72;
constexpr int LayoutRowsReversed = 73;
constexpr int ResultFolderProposal = 75;
constexpr int SettingsNoAccess = 76;
constexpr int SettingsDamaged = 77;
constexpr int BatchFileWritten = 78;
constexpr int PartProgramSaved = 79;
constexpr int BatchFileNeedsForm = 80;
constexpr int SelectionDiffers = 81;
constexpr int LayoutHeaderByPosition = 82;
} // namespace msgline

// The one message a failed settings write shows. When the machine-wide settings are not
// writable it names the way out: storing the settings for the current user.
void reportSettingsWriteError(const SettingsWriteError& error, const LanguageTable& texts,
                              const common::MessageFn& message);

// Writes the value; a failure is reported and false returned, the program goes on.
bool writeOrReport(const SettingsStore& store, const QString& section, const QString& key,
                   const QString& value, const LanguageTable& texts, const common::MessageFn& message);

// The settings export files in the program's folder: written whole (a failure reported with
// the file and the reason), read back (a file that cannot be opened reported as such).
bool exportSettingsFile(const QString& path, const QStringList& lines, const LanguageTable& texts,
                        const common::MessageFn& message);
std::optional<QStringList> importSettingsFile(const QString& path, const LanguageTable& texts,
                                              const common::MessageFn& message);

} // namespace settings
