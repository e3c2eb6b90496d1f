#include "history/History.h"

#include "common/NumberText.h"

#include "model/Classification.h"
#include "settings/TextCodec.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace history {

Limits limitsOf(const QString& type, double nominal, double upperTol, double lowerTol) {
    Limits l;
    l.upper = nominal + upperTol;
    if (!model::isOneSidedType(type))
        l.lower = nominal + lowerTol; // lowerTol is stored negative
    return l;
}

namespace {

// The separator and encoding of one CSV: the German Excel preset alone differs.
struct CsvForm {
    bool german = false;
    char sep() const { return german ? ';' : ','; }
    QStringView sepText() const { return german ? u";" : u","; }
};

QByteArray csvField(const QString& s, CsvForm f = {}) {
    const QString field = settings::csvField(s, f.sepText());
    return f.german ? settings::encodeAnsi(field, settings::CodePage::Windows1252) : field.toUtf8();
}

QByteArray number(double v) {
    return QByteArray::number(v, 'f', QLocale::FloatingPointShortest);
}

// ISO 8601 UTC with milliseconds, as Qt writes it, without its general formatter: a long series
// has a million of them.
void appendIsoTime(QByteArray& out, const QDateTime& t) {
    const qint64 ms = t.toMSecsSinceEpoch();
    const qint64 days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const QDate d = QDate::fromJulianDay(days + 2440588);
    if (!t.isValid() || d.year() < 1000 || d.year() > 9999) {
        out += t.toUTC().toString(Qt::ISODateWithMs).toUtf8();
        return;
    }
    const qint64 inDay = ms - days * 86400000;
    char text[25];
    const auto put = [&text](int at, qint64 v, int digits) {
        for (int i = digits - 1; i >= 0; --i, v /= 10)
            text[at + i] = static_cast<char>('0' + v % 10);
    };
    put(0, d.year(), 4);
    text[4] = '-';
    put(5, d.month(), 2);
    text[7] = '-';
    put(8, d.day(), 2);
    text[10] = 'T';
    put(11, inDay / 3600000, 2);
    text[13] = ':';
    put(14, inDay / 60000 % 60, 2);
    text[16] = ':';
    put(17, inDay / 1000 % 60, 2);
    text[19] = '.';
    put(20, inDay % 1000, 3);
    text[23] = 'Z';
    out.append(text, 24);
}

const char* classificationText(Classification c) {
    switch (c) {
    case Classification::BeyondWarning:
        return "beyond warning limit";
    case Classification::OutOfTolerance:
        return "out of tolerance";
    default:
        return "ok";
    }
}

} // namespace

void addHeaderNames(std::span<const SeriesPoint> points, QStringList& names) {
    for (const SeriesPoint& p : points)
        for (const auto& [name, value] : p.header)
            if (!names.contains(name))
                names << name;
}

QByteArray seriesCsvTitle(const QStringList& headerNames, settings::CsvPreset preset) {
    const CsvForm f{preset == settings::CsvPreset::GermanExcel};
    QByteArray out = preset == settings::CsvPreset::International ? "\xEF\xBB\xBF" : "";
    out += "program,characteristic,part,time_utc,measured,nominal,upper_tol,lower_tol,classification";
    if (f.german)
        out.replace(',', ';');
    for (const QString& n : headerNames)
        out += f.sep() + csvField(n, f);
    return out + "\r\n";
}

namespace {

// A field as csvField writes it, straight into the line: a plain ASCII text (a uuid, an ID) needs
// no conversion of its own.
void appendField(QByteArray& out, const QString& text, CsvForm f) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii || settings::csvNeedsQuotes(text, f.sepText())) {
        out += csvField(text, f);
        return;
    }
    for (const QChar c : text)
        out += static_cast<char>(c.unicode());
}

void appendNumber(QByteArray& out, double value, CsvForm f) {
    const qsizetype from = out.size();
    char buffer[32];
    if (const int n = common::number::writeShortestFixed(buffer, value))
        out.append(buffer, n);
    else
        out += number(value);
    if (f.german)
        for (qsizetype i = from; i < out.size(); ++i)
            if (out[i] == '.')
                out[i] = ',';
}

// German Excel reads "08.12.2026 06:35:34" as a date and time; it has no time zone, the column
// stays UTC so that the series keeps its order across a change to summer time.
void appendGermanTime(QByteArray& out, const QDateTime& t) {
    out += t.toUTC().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")).toLatin1();
}

} // namespace

QByteArray seriesCsvLines(const QString& program, const CharacteristicKey& key,
                          std::span<const SeriesPoint> points, const QStringList& headerNames,
                          settings::CsvPreset preset) {
    const CsvForm f{preset == settings::CsvPreset::GermanExcel};
    const char sep = f.sep();
    const QByteArray lead = csvField(program, f) + sep + csvField(key.text(), f) + sep;
    QByteArray out;
    out.reserve(static_cast<qsizetype>(points.size()) * (lead.size() + 120));
    for (const SeriesPoint& p : points) {
        out += lead;
        appendField(out, p.partUuid, f);
        out += sep;
        if (f.german)
            appendGermanTime(out, p.measuredUtc);
        else
            appendIsoTime(out, p.measuredUtc);
        for (double v : {p.measured, p.nominal, p.upperTol, p.lowerTol}) {
            out += sep;
            appendNumber(out, v, f);
        }
        out += sep;
        out += classificationText(p.classification);
        for (const QString& n : headerNames) {
            out += sep;
            for (const auto& [name, v] : p.header)
                if (name == n) {
                    appendField(out, v, f);
                    break;
                }
        }
        out += "\r\n";
    }
    return out;
}

QByteArray seriesCsv(const QString& program, const std::vector<std::pair<CharacteristicKey, Series>>& series,
                     settings::CsvPreset preset) {
    QStringList names;
    for (const auto& [key, points] : series)
        addHeaderNames(points, names);
    QByteArray out = seriesCsvTitle(names, preset);
    for (const auto& [key, points] : series)
        out += seriesCsvLines(program, key, points, names, preset);
    return out;
}

} // namespace history
