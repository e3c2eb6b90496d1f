#pragma once

#include <QString>

namespace excel::xlsx {

// Shifts the relative references of a formula by a row and column offset, as copying a formula
// from one cell to another does. Texts in quotes and quoted sheet names are left alone.
QString shiftFormula(const QString& formula, int dRow, int dCol);

// A defined name's formula with references to one sheet turned into references to another.
QString retargetSheet(const QString& formula, const QString& from, const QString& to);

} // namespace excel::xlsx
