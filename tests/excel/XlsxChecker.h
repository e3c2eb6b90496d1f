#pragma once

#include <QString>
#include <QStringList>

// Structural faults that make a spreadsheet program repair a workbook although other readers
// accept it. An empty list means none were found.
QStringList checkWorkbookStructure(const QString& path);
