#pragma once

#include <QString>

namespace excel::xlsx {

// The text of a number as a cell stores it: values with at most five decimals (as the reader
// gives them) as that decimal, anything else as the shortest text that reads back as the same
// double; "0" for zero. buffer holds at least 32 bytes; returns the length, no terminator.
int writeNumber(char* buffer, double value);

// The shortest text that reads back as the same double, as cell values are shown.
QString shortestNumberText(double value);

} // namespace excel::xlsx
