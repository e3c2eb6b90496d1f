#include "common/NumberText.h"
#include "xlsx/Spreadsheet.h"

#include <cfloat>
#include <cmath>

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
    const auto parsed = common::number::parse(text);
    if (!parsed)
        return {};
    const double value = *parsed;
    // Far below what a spreadsheet holds: it would read back as 0.
    if (significant > 0 && std::fabs(value) < DBL_MIN)
        return {};
    return value == 0.0 ? 0.0 : value; // "-0" and "-0.00" are zero, never a negative zero
}

} // namespace excel
