#include "xlsx/Formula.h"

#include "xlsx/Xml.h"

#include <QRegularExpression>

namespace excel::xlsx {

namespace {

QString quotedSheet(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + n + QLatin1Char('\'');
}

} // namespace

QString shiftFormula(const QString& f, int dRow, int dCol) {
    static const QRegularExpression ref(
        QStringLiteral("(\\$?)([A-Z]{1,3})(\\$?)([0-9]{1,7})(?![0-9A-Za-z_(])"));
    QString out;
    qsizetype i = 0;
    while (i < f.size()) {
        const QChar c = f[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = f.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? f.size() : end + 1;
            out += f.mid(i, stop - i);
            i = stop;
            continue;
        }
        const bool boundary = i == 0 || !(f[i - 1].isLetterOrNumber() || f[i - 1] == QLatin1Char('_') ||
                                          f[i - 1] == QLatin1Char('.'));
        if (boundary) {
            const QRegularExpressionMatch m = ref.match(f, i, QRegularExpression::NormalMatch,
                                                        QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch()) {
                int col = columnNumber(m.captured(2));
                int row = m.captured(4).toInt();
                if (m.captured(1).isEmpty())
                    col += dCol;
                if (m.captured(3).isEmpty())
                    row += dRow;
                if (col >= 1 && row >= 1) {
                    out += m.captured(1) + columnLetters(col) + m.captured(3) + QString::number(row);
                    i += m.capturedLength();
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

QString retargetSheet(const QString& formula, const QString& from, const QString& to) {
    // Pages are copied from one template: its pattern is compiled once, not once a page.
    thread_local QString lastFrom;
    thread_local QRegularExpression re;
    if (re.pattern().isEmpty() || from != lastFrom) {
        QString quotedFrom = from;
        quotedFrom.replace(QLatin1Char('\''), QStringLiteral("''"));
        re = QRegularExpression(
            QStringLiteral("(^|[^A-Za-z0-9_.'])('%1'|%2)!")
                .arg(QRegularExpression::escape(quotedFrom), QRegularExpression::escape(from)),
            QRegularExpression::CaseInsensitiveOption);
        lastFrom = from;
    }
    QString out = formula;
    out.replace(re, QStringLiteral("\\1") + quotedSheet(to) + QLatin1Char('!'));
    return out;
}

} // namespace excel::xlsx
