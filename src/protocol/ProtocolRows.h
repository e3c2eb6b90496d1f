#pragma once

#include "model/Classification.h"
#include "model/MerkmalTable.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace protocol {

// What the protocols say about the part program.
struct ProgramInfo {
    QString fileName;
    QString partName;
    QString revision;
    QString drawingNumber;
};

// A row chosen for output, with its comment's first line.
struct ChosenRow {
    const model::MerkmalRow* row = nullptr;
    QString comment;
};

// The tolerance state a row is shown with: the three lamps.
enum class RowState { Ok, Warning, OutOfTolerance };
RowState rowState(const model::MerkmalRow& row);

// The rows every writer outputs: selected, and taken by the one "row is written" rule (which
// also takes a leading "<<" off the comment).
std::vector<ChosenRow> chosenRows(const model::MerkmalTable& table, model::KommentarTable& comments,
                                  const model::Selection& selection);

} // namespace protocol
