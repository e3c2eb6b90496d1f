#include "settings/LocaleText.h"

#include "common/NumberText.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <string_view>

namespace settings {

namespace {

QString plainDigits(double v, const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(v, 'f', QLocale::FloatingPointShortest);
}

} // namespace

NumberFormat::NumberFormat(const QLocale& locale)
    : m_locale(locale), m_point(locale.decimalPoint().at(0).unicode()) {}

int NumberFormat::asciiText(double value, char* buffer) const {
    if (value == 0.0) {
        buffer[0] = '0';
        return 1;
    }
    if (m_point >= 0x80 || !std::isfinite(value))
        return 0;
    return common::number::writeFiveDecimals(buffer, value, static_cast<char>(m_point));
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
        if (const int n = common::number::writeFiveDecimals(buf, value, static_cast<char>(m_point))) {
            out.append(QLatin1StringView(buf, n));
            return;
        }
    }
    const double v = common::number::round15(value);
    const double mag = std::fabs(v);
    if (mag >= 1e-5 && mag < 1e15) {
        out += plainDigits(v, m_locale);
        return;
    }
    // Exponent form as the Windows conversion writes it: 1,5E-06 or 1E+15. Mantissa and exponent
    // come from one correctly rounded conversion: a library's power of ten is not exact everywhere.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
    const std::size_t e = text.find('e');
    const double mantissa = common::number::parse(text.substr(0, e)).value_or(v);
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);
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
