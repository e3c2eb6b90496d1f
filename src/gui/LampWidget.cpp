#include "gui/LampWidget.h"

#include <QPainter>
#include <QRadialGradient>

namespace gui {

LampWidget::LampWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(26, 26);
}

void LampWidget::setColour(const common::Rgb& colour) {
    m_colour = colour;
    update();
}

void LampWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base(m_colour.red, m_colour.green, m_colour.blue);
    const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
    QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() / 1.4);
    g.setColorAt(0, base.lighter(160));
    g.setColorAt(1, base);
    p.setBrush(g);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawEllipse(r);
}

} // namespace gui
