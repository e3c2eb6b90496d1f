#pragma once

#include <QString>

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace settings {

// A write to the settings store that did not reach the disk.
class SettingsWriteError : public std::runtime_error {
public:
    enum class Cause { NoAccess, Damaged, NotOurs };

    SettingsWriteError(const QString& path, Cause cause, const QString& file = {});
    const QString& path() const { return m_path; }
    Cause cause() const { return m_cause; }
    // The settings file that refused the value; empty for a path of no settings file.
    const QString& file() const { return m_file; }
    // "Section\Key", as a user finds it in the settings file.
    QString key() const;
    // True when the value was meant for the machine-wide root, where ordinary users cannot write.
    bool onLocalMachine() const;

private:
    QString m_path;
    Cause m_cause;
    QString m_file;
};

// Registry-style settings: every value is text at "<root><Section>\<Key>". The two roots map to
// the two QSettings scopes (local machine = system scope, current user = user scope) with
// organisation "NORTAVE", application "Korvex_Zirirezu_DOZIDUVOV" and the key "Settings/S/K".
// Each call opens its own QSettings, so a value written by another process is seen at once.
class SettingsStore {
public:
    static const QString LocalMachineRoot;
    static const QString CurrentUserRoot;
    static const QString RootSwitchPath;

    SettingsStore() = default;

    const QString& SettingsRoot() const { return m_root; }
    void setSettingsRoot(const QString& root) { m_root = root; }
    bool usesCurrentUser() const { return m_root == CurrentUserRoot; }

    // Root selection at start-up: the switch "CurrentUser" of the user scope (created as "False"
    // when missing) selects the current-user root when it reads "TRUE" in any case.
    // When the settings for all users cannot be written, they stay the administrator's: every key
    // is read from them unless the user changed it, and what the user changes goes into the
    // user's own store, for that key alone. Nothing is copied and no switch is set, so a later
    // change of the machine-wide file reaches every key the user left alone.
    void selectRoot();
    bool changesGoToCurrentUser() const { return m_userOverlay; }

    // The value at root & section & "\" & key; a missing value gives the default, which is
    // written back when the store allows it (silently not, when it does not).
    QString Read(const QString& section, const QString& key, const QString& defaultValue) const;
    QString ReadPath(const QString& path, const QString& defaultValue) const;

    // A direct read: the stored value, or nothing, never writing back.
    std::optional<QString> ReadDirect(const QString& section, const QString& key) const;
    std::optional<QString> ReadDirectPath(const QString& path) const;

    // Stores the value; throws SettingsWriteError when it could not be stored.
    void Write(const QString& section, const QString& key, const QString& value) const;
    void WritePath(const QString& path, const QString& value) const;
    // Stores several values of one section with one write of the file: all of them or, on a
    // failure, the error.
    void WriteAll(const QString& section, const std::vector<std::pair<QString, QString>>& values) const;

    QString valuePath(const QString& section, const QString& key) const;

private:
    // The user's path of a machine-wide one, when the user's changes go there.
    std::optional<QString> overlayPath(const QString& path) const;

    QString m_root = LocalMachineRoot;
    bool m_userOverlay = false;
};

// Flags as the settings hold them: "True"/"False" in any case, or a number (non-zero is true).
// Anything else cannot be read as a flag.
std::optional<bool> parseFlag(const QString& text);
// A flag that cannot be read counts as false.
bool toFlag(const QString& text);

// Numbers as typed by a user or stored by the program: the locale's decimal separator or a
// full stop, blanks around ignored. Anything else is not a number.
std::optional<double> parseNumber(const QString& text);
// Whole numbers; a fractional value rounds half away from zero, as the settings' integer
// conversions did.
std::optional<int> parseInteger(const QString& text);

// The text the settings store writes for a boolean.
inline QString flagText(bool value) {
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}

} // namespace settings
