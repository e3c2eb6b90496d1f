#include "model/Classification.h"

#include <QStringList>

#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace model {

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

// Values carry five decimals, so they are compared on that grid, in hundred-thousandths: the
// same offset from a limit counts the same at nominal 20 and at nominal 20000. A limit computed
// in binary may miss its decimal by a few units of the last place; a limit that is a grid point
// on paper is that point, and a value equal to it is not beyond it.
double valueOnGrid(double value) {
    return std::nearbyint(value * 1e5);
}
double limitOnGrid(double limit) {
    const double scaled = limit * 1e5;
    const double whole = std::nearbyint(scaled);
    const double noise = std::max(1e-6, 8 * std::numeric_limits<double>::epsilon() * std::fabs(scaled));
    return std::fabs(scaled - whole) <= noise ? whole : scaled;
}
bool beyondUpper(double value, double limit) {
    return valueOnGrid(value) > limitOnGrid(limit);
}
bool beyondLower(double value, double limit) {
    return valueOnGrid(value) < limitOnGrid(limit);
}

void askAndMaybeClear(Selection& selection, const AskClearFn& ask) {
    const bool anySelected = std::find(selection.begin(), selection.end(), true) != selection.end();
    if (anySelected && ask && ask())
        MarkDelete(selection);
}

template <typename Pred> void selectWhere(const MerkmalTable& table, Selection& selection, Pred pred) {
    const int n = std::min(static_cast<int>(selection.size()), table.AnzMerkmale);
    for (int k = 0; k < n; ++k)
        if (pred(table.row(k + 1)))
            selection[static_cast<std::size_t>(k)] = true;
}

} // namespace

WarningLimits warningLimits(const QString& type, double nominal, double oTol, double uTol, double p) {
    const double w = oTol - uTol;
    if (w == 0.0 || typesWithoutWarningCheck().contains(type))
        return {};
    if (oneSidedTypes().contains(type))
        return {std::nullopt, nominal + oTol - (100.0 - p) * w / 100.0};
    return {nominal + uTol + (100.0 - p) * w / 100.0 / 2.0, nominal + oTol - (100.0 - p) * w / 100.0 / 2.0};
}

ClassificationResult Klassifizieren(MerkmalTable& table, double p) {
    ClassificationResult result;
    for (int i = 1; i <= table.AnzMerkmale; ++i) {
        MerkmalRow& r = table.row(i);
        if (isOutOfTolerance(r))
            ++table.AnzOOT;
        if (typesWithoutWarningCheck().contains(r.Typ))
            continue;

        if (r.OTol - r.UTol == 0.0) {
            // A zero-width band is always beyond the warning limit; out of tolerance it is
            // counted there alone, so that every row is counted once.
            result.WarnungGefunden = true;
            if (!isOutOfTolerance(r)) {
                ++table.AnzKritisch;
                r.Kritisch = true;
            }
            continue;
        }
        const WarningLimits l = warningLimits(r.Typ, r.Nennwert, r.OTol, r.UTol, p);
        const bool beyond =
            (l.lower && beyondLower(r.Messwert, *l.lower)) || (l.upper && beyondUpper(r.Messwert, *l.upper));
        if (beyond) {
            result.WarnungGefunden = true;
            if (!isOutOfTolerance(r)) {
                ++table.AnzKritisch;
                r.Kritisch = true;
            }
        }
    }

    table.AnzOK = table.AnzMerkmale - table.AnzKritisch - table.AnzOOT;
    result.AnzKritisch = table.AnzKritisch;
    result.AnzOK = table.AnzOK;
    result.AnzOOT = table.AnzOOT;
    if (table.AnzOOT < 1)
        result.litLamp = result.WarnungGefunden ? Lamp::Shape2 : Lamp::Shape1;
    else
        result.litLamp = Lamp::Shape3;
    return result;
}

bool isOutOfTolerance(const MerkmalRow& row) {
    return row.ATol != 0.0;
}

bool isOneSided(const MerkmalRow& row) {
    return isOneSidedType(row.Typ);
}

bool hasWarningLimit(const MerkmalRow& row) {
    return !typesWithoutWarningCheck().contains(row.Typ);
}

bool isOneSidedType(const QString& type) {
    return oneSidedTypes().contains(type);
}

bool isReported(const MerkmalRow& row) {
    return row.Ausgabe == QLatin1String("PROTOKOLL") || row.Ausgabe == QLatin1String("BEIDE");
}

void MarkAll(Selection& selection) {
    std::fill(selection.begin(), selection.end(), true);
}

void MarkDelete(Selection& selection) {
    std::fill(selection.begin(), selection.end(), false);
}

void MarkAT(const MerkmalTable& table, Selection& selection, const AskClearFn& ask) {
    askAndMaybeClear(selection, ask);
    // Below the lower limit the host reports a negative amount: out of tolerance all the same.
    selectWhere(table, selection, [](const MerkmalRow& r) { return isOutOfTolerance(r); });
}

void MarkOK(const MerkmalTable& table, Selection& selection, const AskClearFn& ask) {
    askAndMaybeClear(selection, ask);
    selectWhere(table, selection, [](const MerkmalRow& r) { return !isOutOfTolerance(r) && !r.Kritisch; });
}

void MarkKritisch(const MerkmalTable& table, Selection& selection, const AskClearFn& ask) {
    askAndMaybeClear(selection, ask);
    selectWhere(table, selection, [](const MerkmalRow& r) { return r.Kritisch; });
}

void MarkMarked(const MerkmalTable& table, Selection& selection) {
    MarkDelete(selection);
    selectWhere(table, selection, [](const MerkmalRow& r) { return r.Markiert && isReported(r); });
}

bool takeForOutput(const MerkmalRow& row, KommentarTable& comments) {
    if (row.Ausgabe == QLatin1String("KEINE") || row.Ausgabe == QLatin1String("STATISTIK"))
        return false;
    QString& first = comments.block(row.KommentarIndex).Zeile[1];
    if (first.startsWith(QLatin1String("<<#")))
        return false;
    if (first.startsWith(QLatin1String("<<")))
        first = first.mid(2).trimmed();
    return true;
}

QString listEntryText(const MerkmalRow& row) {
    return row.ID + QLatin1Char('.') + row.Achse;
}

QString UniqueIdText(const MerkmalRow& row) {
    return QString::number(row.UniqueId1) + QLatin1Char('|') + QString::number(row.UniqueId2);
}

QStringList listEntries(const MerkmalTable& table) {
    // Every row of the table is listed, also rows an online run added beyond the host's command
    // count: what is not in the list can never be written.
    QStringList entries;
    entries.reserve(table.AnzMerkmale);
    for (int y = 1; y <= table.AnzMerkmale; ++y) {
        const MerkmalRow& r = table.row(y);
        if (r.ID.isEmpty())
            break;
        entries.append(listEntryText(r));
    }
    return entries;
}

QStringList commentLines(const KommentarBlock& block) {
    QStringList lines;
    for (int i = 1; i <= KommentarBlock::kLines; ++i) {
        const QString& l = block.Zeile[static_cast<std::size_t>(i)];
        if (l.isEmpty())
            break;
        lines.append(l);
    }
    return lines;
}

} // namespace model
