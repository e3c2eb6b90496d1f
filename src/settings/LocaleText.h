#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace settings {

// The locale's own text for values in result files and windows.

// Shortest text with at most 15 significant digits, the locale's decimal separator, no
// thousands separator; exponent form only below 0.00001 and from 10^15 on; "0" for zero.
QString numberText(double value, const QLocale& locale = QLocale::system());

// The same for many numbers in a row: the locale is asked once.
class NumberFormat {
public:
    explicit NumberFormat(const QLocale& locale = QLocale::system());
    void append(QString& out, double value) const;
    QString text(double value) const;
    // The common case of five decimals straight into a byte buffer: the length written, or 0
    // when the value needs text().
    int asciiText(double value, char* buffer) const;

private:
    QLocale m_locale;
    char16_t m_point;
};

// The locale's words for true and false (German "Wahr"/"Falsch"; English for unknown languages).
QString boolText(bool value, const QLocale& locale = QLocale::system());

// The short date with a four-digit year (German 06.12.2026).
QString shortDateText(const QDate& date, const QLocale& locale = QLocale::system());
QString shortDateFormat(const QLocale& locale = QLocale::system());

} // namespace settings
