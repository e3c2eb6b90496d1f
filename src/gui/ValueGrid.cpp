#include "gui/ValueGrid.h"

#include "settings/LocaleText.h"

namespace gui {

common::Rgb lampColour(model::Lamp lamp, bool lit) {
    switch (lamp) {
    case model::Lamp::Shape1:
        return lit ? common::Rgb{0, 255, 0} : common::Rgb{0, 64, 0};
    case model::Lamp::Shape2:
        return lit ? common::Rgb{255, 255, 0} : common::Rgb{64, 64, 0};
    case model::Lamp::Shape3:
        return lit ? common::Rgb{255, 0, 0} : common::Rgb{64, 0, 0};
    }
    return {};
}

GridValues gridValues(const model::MerkmalRow& r, const QString& entryText, const QLocale& locale) {
    auto num = [&](double v) { return settings::numberText(v, locale); };
    GridValues g;
    g[1] = entryText;
    g[2] = r.Typ;
    g[3] = num(r.Nennwert);
    g[4] = num(r.OTol);
    g[5] = num(r.UTol);
    g[6] = num(r.Messwert);
    g[7] = num(r.Abweichung);
    g[8] = num(r.ATol);
    g[9] = r.Zusatztext;
    g[10] = g[9].isEmpty() ? QString() : num(r.Bonus);
    g[11] = num(r.Min);
    g[12] = num(r.Max);
    g[13] = r.Element1;
    g[14] = r.Element2;
    g[15] = r.Element3;
    g[16] = r.Bezug1;
    g[17] = r.Bezug2;
    g[18] = r.Bezug3;
    g[19] = r.Einheit;
    g[20] = r.Ausgabe;
    g[21] = settings::boolText(r.Markiert, locale);
    g[22] = num(r.Bezugslaenge);
    g[23] = model::UniqueIdText(r);
    return g;
}

common::Rgb gridColour(const model::MerkmalRow& row, GridColourRule rule) {
    if (row.ATol != 0.0)
        return {255, 0, 0};
    if (row.Kritisch && rule == GridColourRule::AfterClick)
        return {255, 255, 0};
    return {0, 255, 0};
}

} // namespace gui
