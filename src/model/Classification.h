#pragma once

#include "model/MerkmalTable.h"

#include <functional>
#include <optional>
#include <vector>

namespace model {

// The three lamps: green (inside), yellow (beyond the warning limit), red (out of tolerance).
enum class Lamp { Shape1, Shape2, Shape3 };

struct ClassificationResult {
    bool WarnungGefunden = false;
    Lamp litLamp = Lamp::Shape1;
    int AnzOK = 0;
    int AnzKritisch = 0;
    int AnzOOT = 0;
};

// The warning limits of a characteristic at this percentage of its tolerance band: upper only
// for one-sided types, none for types without a warning check and for a zero-width band (always
// critical). A value beyond a limit on the five-decimal grid is beyond the warning limit.
struct WarningLimits {
    std::optional<double> lower;
    std::optional<double> upper;
};
WarningLimits warningLimits(const QString& type, double nominal, double oTol, double uTol,
                            double warningPercent);

// Flags rows beyond the warning limit and adds to AnzOOT and AnzKritisch (the callers reset the
// counters with the table); sets AnzOK and tells which lamp to light.
ClassificationResult Klassifizieren(MerkmalTable& table, double warningPercent);

// The output selection: entry k of the characteristic list belongs to row k + 1.
using Selection = std::vector<bool>;
// The question before a rule adds to an existing selection; true (Yes) clears it first.
using AskClearFn = std::function<bool()>;

void MarkAll(Selection& selection);
void MarkDelete(Selection& selection);
void MarkAT(const MerkmalTable& table, Selection& selection, const AskClearFn& ask);
void MarkOK(const MerkmalTable& table, Selection& selection, const AskClearFn& ask);
void MarkKritisch(const MerkmalTable& table, Selection& selection, const AskClearFn& ask);
void MarkMarked(const MerkmalTable& table, Selection& selection);

// Out of tolerance: the host reports an amount, positive above the band and negative below it.
bool isOutOfTolerance(const MerkmalRow& row);

// Form and position types: their tolerance has an upper limit only.
bool isOneSidedType(const QString& type);
// Tolerances with an upper limit only (form and position): the lower one is no limit.
bool isOneSided(const MerkmalRow& row);
// Whether a row has a warning limit at all (the true-position axes have none).
bool hasWarningLimit(const MerkmalRow& row);

// Rows the host sends to its report (output mode PROTOKOLL or BEIDE).
bool isReported(const MerkmalRow& row);

// Whether the writers output a row at all: never rows of output mode STATISTIK or KEINE, nor rows
// whose first comment line starts with "<<#". A leading "<<" is taken off the comment line, as
// every writer does before it writes (also for rows that are not selected).
bool takeForOutput(const MerkmalRow& row, KommentarTable& comments);

// "ID.Achse"
QString listEntryText(const MerkmalRow& row);
// "12|345": the two halves of a row's unique id as one text, kept apart so that (1, 2345) differs.
QString UniqueIdText(const MerkmalRow& row);
// The list's entries: one per row in table order, ending at the first row without an ID.
QStringList listEntries(const MerkmalTable& table);
// The comment lines of a block up to the first empty one.
QStringList commentLines(const KommentarBlock& block);

} // namespace model
