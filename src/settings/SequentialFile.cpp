#include "settings/SequentialFile.h"

namespace settings::sequential {

std::optional<QString> readText(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')))
        return t.mid(1, t.size() - 2);
    // An unquoted item reads as the text it is, as the sequential-file reader took it.
    if (!t.startsWith(QLatin1Char('"')) && !t.startsWith(QLatin1Char('#')))
        return t;
    return std::nullopt;
}

std::optional<bool> readBoolean(const QString& line) {
    const QString t = line.trimmed().toUpper();
    if (t == QLatin1String("#TRUE#"))
        return true;
    if (t == QLatin1String("#FALSE#"))
        return false;
    return std::nullopt;
}

std::optional<int> readInteger(const QString& line) {
    bool ok = false;
    const int v = line.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

} // namespace settings::sequential
