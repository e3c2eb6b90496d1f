#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Settings export files, one item per line as the Windows program's sequential files hold them:
// texts in double quotes (inner quotes not escaped), booleans as #TRUE# or #FALSE#, integers as
// plain digits.
namespace settings::sequential {

inline QString text(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}
inline QString boolean(bool value) {
    return value ? QStringLiteral("#TRUE#") : QStringLiteral("#FALSE#");
}
inline QString integer(int value) {
    return QString::number(value);
}

// Reading back; nothing when the line does not hold an item of that kind.
std::optional<QString> readText(const QString& line);
std::optional<bool> readBoolean(const QString& line);
std::optional<int> readInteger(const QString& line);

} // namespace settings::sequential
