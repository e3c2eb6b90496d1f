#pragma once

#include "model/MerkmalTable.h"

#include <QString>
#include <QStringList>

namespace settings {

QString headerDataFile();

// A name as the list takes it: trimmed; nothing for an empty or blank text.
std::optional<QString> headerNameToAdd(const QString& typed);

// The grid rows for a new list of names: the values stay in their rows.
void applyHeaderNames(model::HeaderRows& rows, const QStringList& names);

} // namespace settings
