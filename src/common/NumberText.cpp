#include "common/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace common::number {

std::optional<double> parse(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    double value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> parse(QStringView text) {
    const QByteArray latin = text.toLatin1();
    return parse(std::string_view(latin.constData(), static_cast<std::size_t>(latin.size())));
}

int writeShortest(char* buffer, double value) {
    if (value == 0.0) { // also negative zero
        buffer[0] = '0';
        return 1;
    }
    return static_cast<int>(std::to_chars(buffer, buffer + 32, value).ptr - buffer);
}

int writeShortestFixed(char* buffer, double value) {
    if (value == 0.0) { // also negative zero
        buffer[0] = '0';
        return 1;
    }
    if (!(std::fabs(value) < 9007199254740992.0))
        return 0;
    const auto r = std::to_chars(buffer, buffer + 32, value, std::chars_format::fixed);
    return r.ec == std::errc() ? static_cast<int>(r.ptr - buffer) : 0;
}

std::string shortest(double value) {
    char buffer[32];
    return std::string(buffer, static_cast<std::size_t>(writeShortest(buffer, value)));
}

QString shortestText(double value) {
    char buffer[32];
    return QString::fromLatin1(buffer, writeShortest(buffer, value));
}

int writeFiveDecimals(char* buffer, double value, char point) {
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-5 && magnitude < 1e9))
        return 0;
    const double scaled = value * 1e5;
    const double whole = std::nearbyint(scaled);
    // Close enough that 15 significant digits give exactly this decimal.
    if (std::fabs(scaled - whole) > std::fabs(scaled) * 4e-16)
        return 0;
    const auto n = static_cast<long long>(std::fabs(whole));
    char* p = buffer;
    if (value < 0)
        *p++ = '-';
    p = std::to_chars(p, buffer + 32, n / 100000).ptr;
    long long fraction = n % 100000;
    if (fraction != 0) {
        *p++ = point;
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

int writeCellNumber(char* buffer, double value) {
    if (value == 0.0) {
        buffer[0] = '0';
        return 1;
    }
    if (const int n = writeFiveDecimals(buffer, value))
        return n;
    return writeShortest(buffer, value);
}

double roundDecimal(double x, int decimals) {
    if (!std::isfinite(x) || decimals < 0)
        return x;
    // The shortest text that reads back as x is the decimal the host meant.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    std::string digits(buf, res.ptr);
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative)
        digits.erase(0, 1);
    const std::size_t dot = digits.find('.');
    const auto kept = static_cast<std::size_t>(decimals);
    if (dot == std::string::npos || digits.size() - dot - 1 <= kept)
        return x;
    const bool up = digits[dot + kept + 1] >= '5';
    std::string whole = digits.substr(0, dot) + digits.substr(dot + 1, kept); // all digits kept
    if (up) {
        int i = static_cast<int>(whole.size()) - 1;
        while (i >= 0 && whole[static_cast<std::size_t>(i)] == '9')
            whole[static_cast<std::size_t>(i--)] = '0';
        if (i < 0)
            whole.insert(whole.begin(), '1');
        else
            ++whole[static_cast<std::size_t>(i)];
    }
    if (kept > 0)
        whole.insert(whole.size() - kept, 1, '.');
    const double v = parse(whole).value_or(0.0);
    return negative ? -v : v;
}

double round15(double x) {
    if (!std::isfinite(x))
        return x;
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
    // Rounding the largest numbers can carry them past the largest double.
    return parse(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf))).value_or(x);
}

double niceStep(double span, int maxTicks, double minStep) {
    const double raw = std::max(span / (std::max(maxTicks, 2) - 1), minStep);
    if (!(raw > 0.0) || !std::isfinite(raw))
        return 1.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double f : {1.0, 2.0, 5.0})
        if (magnitude * f >= raw * (1.0 - 1e-12))
            return magnitude * f;
    return magnitude * 10.0;
}

} // namespace common::number
