#include "settings/LocaleText.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace settings {

namespace {

// Rounds to 15 significant digits, so that binary noise such as 0.30000000000000004 reads 0.3.
double round15(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return std::strtod(buf, nullptr);
}

QString plainDigits(double v, const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(v, 'f', QLocale::FloatingPointShortest);
}

} // namespace

// Values the reader rounded to five decimals, written without the general machinery (a result
// file holds hundreds of thousands of them). 0 when the value is not such a number; buf holds at
// least 32 bytes.
int fiveDecimalText(double v, char point, char* buf) {
    const double mag = std::fabs(v);
    if (!(mag >= 1e-5 && mag < 1e9))
        return 0;
    const double scaled = v * 1e5;
    const double r = std::nearbyint(scaled);
    // Close enough that rounding to 15 significant digits gives exactly r / 10^5.
    if (std::fabs(scaled - r) > std::fabs(scaled) * 4e-16)
        return 0;
    const auto n = static_cast<long long>(std::fabs(r));
    long long frac = n % 100000;
    char* p = buf;
    if (v < 0)
        *p++ = '-';
    p = std::to_chars(p, buf + 32, n / 100000).ptr;
    if (frac != 0) {
        int digits = 5;
        while (frac % 10 == 0) {
            frac /= 10;
            --digits;
        }
        *p++ = point;
        char f[8];
        char* fe = std::to_chars(f, f + sizeof f, frac).ptr;
        for (int pad = digits - static_cast<int>(fe - f); pad > 0; --pad)
            *p++ = '0';
        for (char* q = f; q < fe; ++q)
            *p++ = *q;
    }
    return static_cast<int>(p - buf);
}

NumberFormat::NumberFormat(const QLocale& locale)
    : m_locale(locale), m_point(locale.decimalPoint().at(0).unicode()) {}

int NumberFormat::asciiText(double value, char* buffer) const {
    if (value == 0.0) {
        buffer[0] = '0';
        return 1;
    }
    if (m_point >= 0x80 || !std::isfinite(value))
        return 0;
    return fiveDecimalText(value, static_cast<char>(m_point), buffer);
}

QString NumberFormat::text(double value) const {
    QString s;
    append(s, value);
    return s;
}

void NumberFormat::append(QString& out, double value) const {
    if (value == 0.0) { // also negative zero
        out += QLatin1Char('0');
        return;
    }
    if (!std::isfinite(value)) {
        out += m_locale.toString(value);
        return;
    }
    if (m_point < 0x80) {
        char buf[32];
        if (const int n = fiveDecimalText(value, static_cast<char>(m_point), buf)) {
            out.append(QLatin1StringView(buf, n));
            return;
        }
    }
    // Rounding the largest numbers to 15 digits can carry them past the largest double.
    const double rounded = round15(value);
    const double v = std::isfinite(rounded) ? rounded : value;
    const double mag = std::fabs(v);
    if (mag >= 1e-5 && mag < 1e15) {
        out += plainDigits(v, m_locale);
        return;
    }
    // Exponent form as the Windows conversion writes it: 1,5E-06 or 1E+15.
    int exponent = static_cast<int>(std::floor(std::log10(mag)));
    double mantissa = round15(v / std::pow(10.0, exponent));
    if (std::fabs(mantissa) >= 10.0) {
        mantissa = round15(mantissa / 10.0);
        ++exponent;
    }
    out += plainDigits(mantissa, m_locale) + QLatin1Char('E') +
           (exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
}

QString numberText(double value, const QLocale& locale) {
    return NumberFormat(locale).text(value);
}

QString boolText(bool value, const QLocale& locale) {
    struct Words {
        QLocale::Language language;
        const char* yes;
        const char* no;
    };
    static const Words table[] = {
        {QLocale::German, "Wahr", "Falsch"},          {QLocale::French, "Vrai", "Faux"},
        {QLocale::Italian, "Vero", "Falso"},          {QLocale::Spanish, "Verdadero", "Falso"},
        {QLocale::Portuguese, "Verdadeiro", "Falso"}, {QLocale::Czech, "Pravda", "Nepravda"},
        {QLocale::Hungarian, "Igaz", "Hamis"},
    };
    for (const Words& w : table)
        if (w.language == locale.language())
            return QString::fromLatin1(value ? w.yes : w.no);
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString shortDateFormat(const QLocale& locale) {
    QString fmt = locale.dateFormat(QLocale::ShortFormat);
    // Widen a two-digit year; a four-digit one stays.
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    fmt.replace(twoDigitYear, QStringLiteral("yyyy"));
    return fmt;
}

QString shortDateText(const QDate& date, const QLocale& locale) {
    return locale.toString(date, shortDateFormat(locale));
}

} // namespace settings
