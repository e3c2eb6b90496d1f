#pragma once

#include "protocol/ProtocolRows.h"

#include <QDateTime>
#include <QStringList>

#include <vector>

namespace protocol {

// One measured part as statistics software imports it: the description part (part and
// characteristics) and the value part in one file.
struct AqdefContent {
    ProgramInfo program;
    const std::vector<ChosenRow>& rows;
    QDateTime measuredAt;
    QString batch;        // K0006: nothing leaves the field out
    QString operatorName; // K0008: an operator number, anything else leaves the field out
};

// The file's lines, without line ends, and how many texts were longer than their field allows.
struct AqdefFile {
    QStringList lines;
    int cutTexts = 0; // texts longer than their field, cut to it
};
AqdefFile aqdefFile(const AqdefContent& content);

// A text as one field can hold it: line breaks, the format's separators and other control
// characters become blanks, blanks at both ends go.
QString aqdefText(const QString& text);

// Numbers with a decimal point, never grouped, never in exponent form; as many digits as read back
// as the same double.
QString aqdefNumber(double value);

// Whether a text fits K0008, which holds operator numbers (a 32-bit whole number), not names.
bool isOperatorNumber(const QString& text);

// The unit as statistics software names it.
QString aqdefUnit(const QString& einheit);

} // namespace protocol
