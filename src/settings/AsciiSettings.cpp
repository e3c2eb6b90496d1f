#include "settings/AsciiSettings.h"

#include "settings/SettingsKeys.h"

#include <utility>
#include <vector>

namespace settings {

namespace {
using keys::Ascii;

QString positionKey(int column) {
    return QString::fromLatin1(Ascii::ColumnPosition) + QString::number(column);
}
} // namespace

AsciiSettings readAsciiSettings(const SettingsStore& store) {
    AsciiSettings s;
    const QString section = QString::fromLatin1(Ascii::section);
    for (int c = 0; c < AsciiSettings::kColumns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        s.on[i] = toFlag(store.ReadDirect(section, QString::fromLatin1(Ascii::ColumnSwitches[i]))
                             .value_or(QStringLiteral("1")));
        s.position[i] = store.ReadDirect(section, positionKey(c));
    }
    s.separator =
        keys::stored(store, Ascii::Separator).value_or(QString::fromLatin1(Ascii::Separator.fallback));
    if (const auto csv = keys::stored(store, Ascii::Csv))
        s.csv = parseFlag(*csv);
    // The two options of one group: a station that never stored them has TXT.
    const auto txt = keys::stored(store, Ascii::Txt);
    s.txt = txt ? toFlag(*txt) : !s.csv.value_or(false);
    return s;
}

void writeAsciiSettings(const SettingsStore& store, const AsciiSettings& s) {
    std::vector<std::pair<QString, QString>> values;
    for (int c = 0; c < AsciiSettings::kColumns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        values.emplace_back(QString::fromLatin1(Ascii::ColumnSwitches[i]),
                            s.on[i] ? QStringLiteral("1") : QStringLiteral("0"));
    }
    values.emplace_back(keys::name(Ascii::Separator), s.separator);
    values.emplace_back(keys::name(Ascii::Csv), flagText(s.csv.value_or(false)));
    values.emplace_back(keys::name(Ascii::Txt), flagText(s.txt));
    for (int c = 0; c < AsciiSettings::kColumns; ++c)
        values.emplace_back(positionKey(c), s.position[static_cast<std::size_t>(c)].value_or(QString()));
    store.WriteAll(QString::fromLatin1(Ascii::section), values);
}

} // namespace settings
