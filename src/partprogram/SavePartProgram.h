#pragma once

#include <QDateTime>
#include <QString>

namespace partprogram {

// The dated copy's name: the program's file name without its extension, date, time and the
// part identification, joined by "__", with ".sav".
QString copyName(const QString& programName, const QString& date, const QString& time,
                 const QString& partNumber);

QString dateText(const QDate& date); // dd-mm-yyyy
QString timeText(const QTime& time); // hh-mm-ss

// A part identification file names can hold: none of \ / : * ? " < > | nor control characters.
bool isValidPartNumber(const QString& partNumber);

// Copies the file over an existing one; the old copy stays until the new one is complete.
// Throws settings::FileError.
void copyOverwriting(const QString& source, const QString& target);

} // namespace partprogram
