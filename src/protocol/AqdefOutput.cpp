#include "protocol/AqdefOutput.h"

#include "common/NumberText.h"
#include "model/Classification.h"
#include "settings/LocaleText.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace protocol {

QString aqdefText(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return out.trimmed();
}

QString aqdefNumber(double value) {
    if (value == 0.0 || !std::isfinite(value))
        return QStringLiteral("0");
    char buf[32];
    if (const int n = common::number::writeFiveDecimals(buf, value))
        return QString::fromLatin1(buf, n);
    // 'f' keeps the exponent out; trailing zeros of the fixed form are dropped.
    QString t = QString::number(value, 'f', 10);
    while (t.endsWith(QLatin1Char('0')))
        t.chop(1);
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    return t;
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

QStringList aqdefLines(const AqdefContent& c) {
    QStringList lines;
    lines.reserve(8 + static_cast<int>(c.rows.size()) * 13);
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
    field("K1001", part);
    field("K1002", part);
    if (const QString d = aqdefText(c.program.drawingNumber); !d.isEmpty())
        field("K1041", d);
    if (const QString r = aqdefText(c.program.revision); !r.isEmpty())
        field("K1042", r);

    int i = 0;
    for (const ChosenRow& chosen : c.rows) {
        const model::MerkmalRow& r = *chosen.row;
        ++i;
        const QString number = aqdefText(model::listEntryText(r));
        QString designation = aqdefText(chosen.comment);
        // The designation is required too: without a comment the number says what it is.
        if (designation.isEmpty())
            designation = number;
        indexed("K2001", i, number);
        indexed("K2002", i, designation);
        indexed("K2004", i, QStringLiteral("0")); // a measured (variable) characteristic
        indexed("K2101", i, aqdefNumber(r.Nennwert));
        // A form or position tolerance has no lower limit: zero there is no limit at all.
        if (!model::isOneSided(r))
            indexed("K2110", i, aqdefNumber(r.Nennwert + r.UTol));
        indexed("K2111", i, aqdefNumber(r.Nennwert + r.OTol));
        if (const QString unit = aqdefUnit(r.Einheit); !unit.isEmpty())
            indexed("K2142", i, unit);
    }

    const QString when = c.measuredAt.toString(QStringLiteral("dd.MM.yyyy/HH:mm:ss"));
    const QString batch = aqdefText(c.batch);
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
    return lines;
}

} // namespace protocol
