#pragma once

#include "model/MerkmalTable.h"
#include "settings/SettingsStore.h"

#include "common/Rgb.h"
#include <QString>

#include <functional>
#include <vector>

namespace mainwindow {

// The three lamps of the main window.
enum class Lamp { Shape1, Shape2, Shape3 };

common::Rgb lampColour(Lamp lamp, bool lit);

struct ClassificationResult {
    bool WarnungGefunden = false;
    Lamp litLamp = Lamp::Shape1;
    QString lblAnzOK;
    QString lblAnzKritisch;
    QString lblAnzOOT;
};

// The warning percentage as stored: a missing, empty or non-numeric value counts as 90.
double warningPercent(const QString& tolProzentText);
// Reads TolProzent directly (no write-back), "90" when missing or empty.
QString readTolProzent(const settings::SettingsStore& store);

// Flags rows beyond the warning limit and adds to AnzOOT and AnzKritisch (the callers reset the
// counters with the table); sets AnzOK and tells which lamp to light.
ClassificationResult Klassifizieren(model::MerkmalTable& table, double warningPercent);

// The output selection: entry k of the characteristic list belongs to row k + 1.
using Selection = std::vector<bool>;
// The question before a rule adds to an existing selection; true (Yes) clears it first.
using AskClearFn = std::function<bool()>;

void MarkAll(Selection& selection);
void MarkDelete(Selection& selection);
void MarkAT(const model::MerkmalTable& table, Selection& selection, const AskClearFn& ask);
void MarkOK(const model::MerkmalTable& table, Selection& selection, const AskClearFn& ask);
void MarkKritisch(const model::MerkmalTable& table, Selection& selection, const AskClearFn& ask);
void MarkMarked(const model::MerkmalTable& table, Selection& selection);

// Rows the host sends to its report (output mode PROTOKOLL or BEIDE).
bool isReported(const model::MerkmalRow& row);

} // namespace mainwindow
