#include "settings/LocaleText.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

QString numberText(double value, const QLocale& locale) {
    if (value == 0.0) // also negative zero
        return QStringLiteral("0");
    if (!std::isfinite(value))
        return locale.toString(value);
    const double v = round15(value);
    const double mag = std::fabs(v);
    if (mag >= 1e-5 && mag < 1e15)
        return plainDigits(v, locale);

    // Exponent form as the Windows conversion writes it: 1,5E-06 or 1E+15.
    int exponent = static_cast<int>(std::floor(std::log10(mag)));
    double mantissa = round15(v / std::pow(10.0, exponent));
    if (std::fabs(mantissa) >= 10.0) {
        mantissa = round15(mantissa / 10.0);
        ++exponent;
    }
    const QString sign = exponent < 0 ? QStringLiteral("-") : QStringLiteral("+");
    return plainDigits(mantissa, locale) + QLatin1Char('E') + sign +
           QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
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
