#include "excel/xlsx/NumberText.h"

#include "excel/Spreadsheet.h"

#include <cfloat>
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

namespace excel {

std::optional<double> invariantNumber(QStringView text) {
    const qsizetype n = text.size();
    const auto isDigit = [&](qsizetype i) { return i < n && text[i] >= u'0' && text[i] <= u'9'; };
    qsizetype i = text.startsWith(u'-') ? 1 : 0;
    const qsizetype digitsFrom = i;
    while (isDigit(i))
        ++i;
    // "0815" is an identifier: as a number its zero would be lost.
    if (i == digitsFrom || (i - digitsFrom > 1 && text[digitsFrom] == u'0'))
        return {};
    if (i < n && text[i] == u'.') {
        const qsizetype point = i++;
        while (isDigit(i))
            ++i;
        if (i == point + 1)
            return {};
    }
    if (i != n)
        return {};
    // A cell keeps 15 digits: a longer one (a serial number, say) would come back changed.
    int significant = 0;
    for (qsizetype k = digitsFrom; k < n; ++k)
        if (text[k] != u'.' && (significant > 0 || text[k] != u'0') && ++significant > 15)
            return {};
    const QByteArray latin = text.toLatin1();
    double value = 0;
    const auto r = std::from_chars(latin.constData(), latin.constData() + latin.size(), value);
    if (r.ec != std::errc() || r.ptr != latin.constData() + latin.size())
        return {};
    // Far below what a spreadsheet holds: it would read back as 0.
    if (significant > 0 && std::fabs(value) < DBL_MIN)
        return {};
    return value == 0.0 ? 0.0 : value; // "-0" and "-0.00" are zero, never a negative zero
}

} // namespace excel
