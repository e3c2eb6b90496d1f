#include "excel/xlsx/NumberText.h"

#include <charconv>
#include <cmath>

namespace excel::xlsx {

namespace {

// The number as hundred-thousandths when it is one to within rounding; 0 when it is none.
long long hundredThousandths(double value) {
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-5 && magnitude < 1e9))
        return 0;
    const double scaled = value * 1e5;
    const double whole = std::nearbyint(scaled);
    // Close enough that 15 significant digits give exactly this decimal.
    if (std::fabs(scaled - whole) > std::fabs(scaled) * 4e-16)
        return 0;
    return static_cast<long long>(whole);
}

} // namespace

int writeNumber(char* buffer, double value) {
    if (value == 0.0) { // also negative zero
        buffer[0] = '0';
        return 1;
    }
    const long long scaled = hundredThousandths(value);
    if (scaled == 0)
        return static_cast<int>(std::to_chars(buffer, buffer + 32, value).ptr - buffer);
    char* p = buffer;
    if (scaled < 0)
        *p++ = '-';
    const long long magnitude = scaled < 0 ? -scaled : scaled;
    p = std::to_chars(p, buffer + 32, magnitude / 100000).ptr;
    long long fraction = magnitude % 100000;
    if (fraction != 0) {
        *p++ = '.';
        char digits[5];
        for (int i = 4; i >= 0; --i, fraction /= 10)
            digits[i] = static_cast<char>('0' + fraction % 10);
        int used = 5;
        while (digits[used - 1] == '0')
            --used;
        for (int i = 0; i < used; ++i)
            *p++ = digits[i];
    }
    return static_cast<int>(p - buffer);
}

QString shortestNumberText(double value) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, r.ptr - buffer);
}

} // namespace excel::xlsx
