#include "mainwindow/Klassifizierung.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace mainwindow {

namespace {

const QSet<QString>& typesWithoutWarningCheck() {
    static const QSet<QString> set = {
        QStringLiteral("TRUE_X_LOCATION"),  QStringLiteral("TRUE_Y_LOCATION"),
        QStringLiteral("TRUE_Z_LOCATION"),  QStringLiteral("TRUE_PR_LOCATION"),
        QStringLiteral("TRUE_PA_LOCATION"),
    };
    return set;
}

const QSet<QString>& oneSidedTypes() {
    static const QSet<QString> set = {
        QStringLiteral("ANGULARITY"),
        QStringLiteral("COAXIALITY"),
        QStringLiteral("FLATNESS"),
        QStringLiteral("FLATNESS_LOCATION"),
        QStringLiteral("PARALLELISM"),
        QStringLiteral("PERPENDICULARITY"),
        QStringLiteral("ROUNDNESS"),
        QStringLiteral("ROUNDNESS_LOCATION"),
        QStringLiteral("RUNOUT"),
        QStringLiteral("STRAIGHTNESS"),
        QStringLiteral("STRAIGHTNESS_LOCATION"),
        QStringLiteral("TRUE_DIAM_LOCATION"),
        QStringLiteral("CONCENTRICITY"),
        QStringLiteral("SYMMETRY"),
    };
    return set;
}

// Values carry five decimals; a limit computed in binary may miss the decimal limit by a few
// units of the last place. A value equal to the limit on paper must not count as beyond it.
bool beyondUpper(double value, double limit) {
    return value > limit + 1e-9 * std::max(1.0, std::fabs(limit));
}
bool beyondLower(double value, double limit) {
    return value < limit - 1e-9 * std::max(1.0, std::fabs(limit));
}

void askAndMaybeClear(Selection& selection, const AskClearFn& ask) {
    const bool anySelected = std::find(selection.begin(), selection.end(), true) != selection.end();
    if (anySelected && ask && ask())
        MarkDelete(selection);
}

template <typename Pred> void selectWhere(const model::MerkmalTable& table, Selection& selection, Pred pred) {
    const int n = std::min(static_cast<int>(selection.size()), table.AnzMerkmale);
    for (int k = 0; k < n; ++k)
        if (pred(table.row(k + 1)))
            selection[static_cast<std::size_t>(k)] = true;
}

} // namespace

common::Rgb lampColour(Lamp lamp, bool lit) {
    switch (lamp) {
    case Lamp::Shape1:
        return lit ? common::Rgb{0, 255, 0} : common::Rgb{0, 64, 0};
    case Lamp::Shape2:
        return lit ? common::Rgb{255, 255, 0} : common::Rgb{64, 64, 0};
    case Lamp::Shape3:
        return lit ? common::Rgb{255, 0, 0} : common::Rgb{64, 0, 0};
    }
    return {};
}

double warningPercent(const QString& tolProzentText) {
    return settings::parseNumber(tolProzentText).value_or(90.0);
}

QString readTolProzent(const settings::SettingsStore& store) {
    const auto v = store.ReadDirect(QStringLiteral("ProgSettings"), QStringLiteral("TolProzent"));
    return (!v || v->trimmed().isEmpty()) ? QStringLiteral("90") : *v;
}

ClassificationResult Klassifizieren(model::MerkmalTable& table, double p) {
    ClassificationResult result;
    for (int i = 1; i <= table.AnzMerkmale; ++i) {
        model::MerkmalRow& r = table.row(i);
        if (r.ATol != 0.0)
            ++table.AnzOOT;
        if (typesWithoutWarningCheck().contains(r.Typ))
            continue;

        const double w = r.OTol - r.UTol;
        bool beyond = false;
        if (w == 0.0) {
            // A zero-width band is always critical, even when also out of tolerance.
            result.WarnungGefunden = true;
            ++table.AnzKritisch;
            r.Kritisch = true;
            continue;
        }
        if (oneSidedTypes().contains(r.Typ)) {
            const double limit = r.Nennwert + r.OTol - (100.0 - p) * w / 100.0;
            beyond = beyondUpper(r.Messwert, limit);
        } else {
            const double upper = r.Nennwert + r.OTol - (100.0 - p) * w / 100.0 / 2.0;
            const double lower = r.Nennwert + r.UTol + (100.0 - p) * w / 100.0 / 2.0;
            beyond = beyondLower(r.Messwert, lower) || beyondUpper(r.Messwert, upper);
        }
        if (beyond) {
            result.WarnungGefunden = true;
            if (r.ATol == 0.0) {
                ++table.AnzKritisch;
                r.Kritisch = true;
            }
        }
    }

    table.AnzOK = table.AnzMerkmale - table.AnzKritisch - table.AnzOOT;
    result.lblAnzKritisch = QString::number(table.AnzKritisch);
    result.lblAnzOK = QString::number(table.AnzOK);
    if (table.AnzOOT < 1) {
        result.lblAnzOOT = QStringLiteral("0");
        result.litLamp = result.WarnungGefunden ? Lamp::Shape2 : Lamp::Shape1;
    } else {
        result.lblAnzOOT = QString::number(table.AnzOOT);
        result.litLamp = Lamp::Shape3;
    }
    return result;
}

bool isReported(const model::MerkmalRow& row) {
    return row.Ausgabe == QLatin1String("PROTOKOLL") || row.Ausgabe == QLatin1String("BEIDE");
}

void MarkAll(Selection& selection) {
    std::fill(selection.begin(), selection.end(), true);
}

void MarkDelete(Selection& selection) {
    std::fill(selection.begin(), selection.end(), false);
}

void MarkAT(const model::MerkmalTable& table, Selection& selection, const AskClearFn& ask) {
    askAndMaybeClear(selection, ask);
    selectWhere(table, selection, [](const model::MerkmalRow& r) { return r.ATol > 0.0; });
}

void MarkOK(const model::MerkmalTable& table, Selection& selection, const AskClearFn& ask) {
    askAndMaybeClear(selection, ask);
    selectWhere(table, selection, [](const model::MerkmalRow& r) { return r.ATol == 0.0 && !r.Kritisch; });
}

void MarkKritisch(const model::MerkmalTable& table, Selection& selection, const AskClearFn& ask) {
    askAndMaybeClear(selection, ask);
    selectWhere(table, selection, [](const model::MerkmalRow& r) { return r.Kritisch; });
}

void MarkMarked(const model::MerkmalTable& table, Selection& selection) {
    MarkDelete(selection);
    selectWhere(table, selection, [](const model::MerkmalRow& r) { return r.Markiert && isReported(r); });
}

} // namespace mainwindow
