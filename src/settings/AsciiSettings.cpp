#include "settings/AsciiSettings.h"

#include <utility>
#include <vector>

namespace settings {

namespace {
const QString kSection = QStringLiteral("ASCIISettings");
} // namespace

const std::array<const char*, AsciiSettings::kColumns>& asciiSwitchKeys() {
    static const std::array<const char*, AsciiSettings::kColumns> keys = {
        "ID",      "SOLL", "OTOL", "UTOL", "BONUS", "IST",  "ABW",  "ATOL", "MIN",    "MAX",  "EINHEIT",
        "AUSGABE", "MARK", "ELE1", "ELE2", "ELE3",  "BEZ1", "BEZ2", "BEZ3", "LAENGE", "TYPE", "Kommentar"};
    return keys;
}

AsciiSettings readAsciiSettings(const SettingsStore& store) {
    AsciiSettings s;
    auto stored = [&store](const QString& key) { return store.ReadDirect(kSection, key); };
    for (int c = 0; c < AsciiSettings::kColumns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        s.on[i] = toFlag(stored(QString::fromLatin1(asciiSwitchKeys()[i])).value_or(QStringLiteral("1")));
        s.position[i] = stored(QStringLiteral("Label1_%1").arg(c));
    }
    s.separator = stored(QStringLiteral("ASCII")).value_or(QStringLiteral(","));
    if (const auto csv = stored(QStringLiteral("CSV")))
        s.csv = parseFlag(*csv);
    // The two options of one group: a station that never stored them has TXT.
    const auto txt = stored(QStringLiteral("TXT"));
    s.txt = txt ? toFlag(*txt) : !s.csv.value_or(false);
    return s;
}

void writeAsciiSettings(const SettingsStore& store, const AsciiSettings& s) {
    std::vector<std::pair<QString, QString>> values;
    for (int c = 0; c < AsciiSettings::kColumns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        values.emplace_back(QString::fromLatin1(asciiSwitchKeys()[i]),
                            s.on[i] ? QStringLiteral("1") : QStringLiteral("0"));
    }
    values.emplace_back(QStringLiteral("ASCII"), s.separator);
    values.emplace_back(QStringLiteral("CSV"), flagText(s.csv.value_or(false)));
    values.emplace_back(QStringLiteral("TXT"), flagText(s.txt));
    for (int c = 0; c < AsciiSettings::kColumns; ++c)
        values.emplace_back(QStringLiteral("Label1_%1").arg(c),
                            s.position[static_cast<std::size_t>(c)].value_or(QString()));
    store.WriteAll(kSection, values);
}

} // namespace settings
