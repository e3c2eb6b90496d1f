#pragma once

#include "common/Rgb.h"
#include "model/Classification.h"
#include "model/MerkmalTable.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>

// What the characteristic list, the value grid and the comment list show.
namespace gui {

// A lamp's colour, lit or dark.
common::Rgb lampColour(model::Lamp lamp, bool lit);

// Column 1 of the value grid for one row: index = grid row (1 to 23; 0 unused).
using GridValues = std::array<QString, 24>;
GridValues gridValues(const model::MerkmalRow& row, const QString& entryText,
                      const QLocale& locale = QLocale::system());

// The grid's background: right after a fill never yellow, after a click yellow for a critical row.
enum class GridColourRule { AfterFill, AfterClick };
common::Rgb gridColour(const model::MerkmalRow& row, GridColourRule rule);

} // namespace gui
