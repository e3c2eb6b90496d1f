#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <string_view>

// Numbers as machines read and write them: XML, AQDEF, settings, the history, the host's values.
// Always a decimal point and never the process locale, which Qt sets from LANG (a German desktop
// would otherwise read "25.01235" as 25). Texts for people are formatted elsewhere, from the
// exact values these functions give.
namespace common::number {

// The whole text as a number ("12", "-0.5", "1e-7", "inf" refused); nothing for anything else,
// trailing characters included.
std::optional<double> parse(std::string_view text);
std::optional<double> parse(QStringView text);

// The shortest text that reads back as the same double ("0.1", "1e+20"); "0" for either zero.
std::string shortest(double value);
QString shortestText(double value);
// The same into buffer (at least 32 bytes); the length written, no terminator.
int writeShortest(char* buffer, double value);

// The shortest digits without an exponent ("0.0000001", "25.01235"), as Qt's 'f' format with
// the shortest precision writes them, into buffer (at least 32 bytes): the length, or 0 when the
// text needs more room or the value is 2^53 or more in size (Qt pads such digits with zeros).
int writeShortestFixed(char* buffer, double value);

// A value with at most five decimals (as the reader stores them) written with the given decimal
// point into buffer (at least 32 bytes): its length, or 0 when the value is no such number.
int writeFiveDecimals(char* buffer, double value, char point = '.');

// A number as a cell stores it: five decimals when it has no more, else the shortest text.
int writeCellNumber(char* buffer, double value);

// x rounded to the given decimals, halves away from zero, on the decimal the value stands for:
// 1.000005 (stored as 1.00000499999...) gives 1.00001.
double roundDecimal(double x, int decimals);

// x rounded to 15 significant digits, so that binary noise such as 0.30000000000000004 reads 0.3.
double round15(double x);

// A round step for an axis (1, 2 or 5 times a power of ten, at least minStep) that cuts span
// into at most maxTicks - 1 pieces; 1 where the span gives none.
double niceStep(double span, int maxTicks, double minStep = 0.0);

} // namespace common::number
