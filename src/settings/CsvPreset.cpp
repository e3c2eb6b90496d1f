#include "settings/CsvPreset.h"

#include "settings/SettingsKeys.h"

namespace settings {

QString csvPresetName(CsvPreset preset) {
    switch (preset) {
    case CsvPreset::International:
        return QStringLiteral("international");
    case CsvPreset::GermanExcel:
        return QStringLiteral("german-excel");
    default:
        return QStringLiteral("locale");
    }
}

CsvPreset csvPresetFromName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("international"))
        return CsvPreset::International;
    if (n == QLatin1String("german-excel"))
        return CsvPreset::GermanExcel;
    return CsvPreset::Locale;
}

CsvPreset readCsvPreset(const SettingsStore& store) {
    return csvPresetFromName(keys::stored(store, keys::Files::CsvPreset).value_or(QString()));
}

void writeCsvPreset(const SettingsStore& store, CsvPreset preset) {
    keys::write(store, keys::Files::CsvPreset, csvPresetName(preset));
}

CsvFormat csvFormat(CsvPreset preset, const QString& storedSeparator, const QLocale& locale) {
    switch (preset) {
    case CsvPreset::International:
        return {QStringLiteral(","), QLocale::c(), CodePage::Utf8, true};
    case CsvPreset::GermanExcel:
        return {QStringLiteral(";"), QLocale(QLocale::German, QLocale::Germany), CodePage::Windows1252,
                false};
    default:
        return {storedSeparator, locale, systemCodePage(), false};
    }
}

} // namespace settings
