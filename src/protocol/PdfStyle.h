#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>

// What every PDF this program writes shares: the state colours and the font.
namespace protocol::pdf {

inline const QColor kGreen(0, 150, 60);
inline const QColor kAmber(230, 150, 0);
inline const QColor kRed(220, 0, 0);
inline const QColor kHeadFill(225, 225, 225);
inline const QColor kStripe(244, 244, 244);

inline QFont font(double points, bool bold = false) {
    QFont f;
    f.setFamilies(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    // Ligatures would reach the text layer as single characters: a search for "fi" would fail.
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

} // namespace protocol::pdf
