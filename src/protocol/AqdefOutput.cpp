#include "protocol/AqdefOutput.h"

#include "common/NumberText.h"
#include "model/Classification.h"
#include "settings/LocaleText.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace protocol {

namespace {

// The longest texts the fields take, in characters. Statistics software cuts or refuses longer
// ones; the file's code page has one byte for every character.
namespace length {
constexpr int K1001 = 30; // part number
constexpr int K1002 = 80; // part description
constexpr int K1041 = 30; // drawing number
constexpr int K1042 = 20; // drawing revision
constexpr int K2001 = 40; // characteristic number
constexpr int K2002 = 80; // characteristic description
constexpr int K2142 = 20; // unit
constexpr int K0006 = 14; // batch
} // namespace length

// The text cut to at most `characters` characters; a character beyond the 16-bit range keeps
// both of its halves (it is one "?" in the file). Counts the cut texts.
QString fitted(const QString& text, int characters, int& cut) {
    qsizetype end = 0;
    for (int n = 0; n < characters && end < text.size(); ++n)
        end += text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate()
                   ? 2
                   : 1;
    if (end == text.size())
        return text;
    ++cut;
    return text.left(end).trimmed();
}

// A band of zero width (the axes of a true position) is no tolerance: limits there would put every
// value out of tolerance, so such a characteristic gets none.
bool hasTolerance(const model::MerkmalRow& r) {
    return r.OTol - r.UTol != 0.0;
}

// The kinds of a limit (K2120 lower, K2121 upper): a tolerance limit, or a natural boundary the
// values cannot pass.
const QString kToleranceLimit = QStringLiteral("1");
const QString kNaturalBoundary = QStringLiteral("2");

} // namespace

QString aqdefText(const QString& text) {
    QString out = text;
    // Control characters of both ranges: a 0x0F or 0x14 would split the compact value line, a
    // line end the file's line.
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return out.trimmed();
}

QString aqdefNumber(double value) {
    if (value == 0.0 || !std::isfinite(value))
        return QStringLiteral("0");
    char buf[32];
    // Limits computed from nominal and tolerance carry binary noise: five decimals are what the
    // host meant. Other values keep every digit that tells them apart.
    if (const int n = common::number::writeFiveDecimals(buf, value))
        return QString::fromLatin1(buf, n);
    if (const int n = common::number::writeShortestFixed(buf, value))
        return QString::fromLatin1(buf, n);
    // Only sizes no part has: 'f' keeps the exponent out, trailing zeros go.
    QString t = QString::number(value, 'f', 10);
    while (t.endsWith(QLatin1Char('0')))
        t.chop(1);
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    return t == QLatin1String("-0") ? QStringLiteral("0") : t;
}

bool isOperatorNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,10}$"));
    bool ok = false;
    return number.match(text).hasMatch() && text.toLongLong(&ok) <= 2147483647 && ok;
}

QString aqdefUnit(const QString& einheit) {
    if (einheit == QLatin1String("MM"))
        return QStringLiteral("mm");
    if (einheit == QLatin1String("ZOLL"))
        return QStringLiteral("inch");
    if (einheit == QLatin1String("GRAD"))
        return QStringLiteral("\u00b0");
    return aqdefText(einheit);
}

AqdefFile aqdefFile(const AqdefContent& c) {
    AqdefFile file;
    QStringList& lines = file.lines;
    int& cut = file.cutTexts;
    lines.reserve(8 + static_cast<int>(c.rows.size()) * 15);
    auto field = [&](const char* key, const QString& value) {
        lines.append(QLatin1String(key) + QLatin1Char(' ') + value);
    };
    auto indexed = [&](const char* key, int i, const QString& value) {
        lines.append(QLatin1String(key) + QLatin1Char('/') + QString::number(i) + QLatin1Char(' ') + value);
    };

    // A part number is required: the program file's name stands in for a missing part name.
    QString part = aqdefText(c.program.partName);
    if (part.isEmpty())
        part = aqdefText(c.program.fileName.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1));
    field("K0100", QString::number(c.rows.size()));
    field("K1001", fitted(part, length::K1001, cut));
    field("K1002", fitted(part, length::K1002, cut));
    if (const QString d = aqdefText(c.program.drawingNumber); !d.isEmpty())
        field("K1041", fitted(d, length::K1041, cut));
    if (const QString r = aqdefText(c.program.revision); !r.isEmpty())
        field("K1042", fitted(r, length::K1042, cut));

    int i = 0;
    for (const ChosenRow& chosen : c.rows) {
        const model::MerkmalRow& r = *chosen.row;
        ++i;
        const QString number = aqdefText(model::listEntryText(r));
        QString designation = aqdefText(chosen.comment);
        // The designation is required too: without a comment the number says what it is.
        if (designation.isEmpty())
            designation = number;
        indexed("K2001", i, fitted(number, length::K2001, cut));
        indexed("K2002", i, fitted(designation, length::K2002, cut));
        indexed("K2004", i, QStringLiteral("0")); // a measured (variable) characteristic
        indexed("K2101", i, aqdefNumber(r.Nennwert));
        if (hasTolerance(r)) {
            // Form and position deviations cannot fall below zero: a natural boundary there, not
            // a limit, so that capability is computed against the upper limit alone.
            const bool oneSided = model::isOneSided(r);
            indexed("K2110", i, oneSided ? QStringLiteral("0") : aqdefNumber(r.Nennwert + r.UTol));
            indexed("K2111", i, aqdefNumber(r.Nennwert + r.OTol));
            if (oneSided) {
                indexed("K2120", i, kNaturalBoundary);
                indexed("K2121", i, kToleranceLimit);
            }
        }
        if (const QString unit = aqdefUnit(r.Einheit); !unit.isEmpty())
            indexed("K2142", i, fitted(unit, length::K2142, cut));
    }

    const QString when = c.measuredAt.toString(QStringLiteral("dd.MM.yyyy/HH:mm:ss"));
    // One text on every value: cut (and counted) once.
    const QString batch = fitted(aqdefText(c.batch), length::K0006, cut);
    // A name in the number field would make the whole file unreadable for an importer.
    QString who = aqdefText(c.operatorName);
    if (!isOperatorNumber(who))
        who.clear();
    i = 0;
    for (const ChosenRow& chosen : c.rows) {
        ++i;
        // A value the host could not give is no zero: it keeps its place but is never shown or
        // counted.
        const bool measured = std::isfinite(chosen.row->Messwert);
        indexed("K0001", i, measured ? aqdefNumber(chosen.row->Messwert) : QStringLiteral("0"));
        indexed("K0002", i, measured ? QStringLiteral("0") : QStringLiteral("255"));
        indexed("K0004", i, when);
        if (!batch.isEmpty())
            indexed("K0006", i, batch);
        if (!who.isEmpty())
            indexed("K0008", i, who);
    }
    return file;
}

} // namespace protocol
