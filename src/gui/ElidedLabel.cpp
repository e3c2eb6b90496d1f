#include "gui/ElidedLabel.h"

#include <QResizeEvent>

namespace gui {

void ElidedLabel::setFullText(const QString& text) {
    m_full = text;
    elide();
}

void ElidedLabel::setNote(const QString& note) {
    m_note = note;
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    // Not laid out yet: the first width it gets shortens it.
    const int room = contentsRect().width();
    const QString shown = room > 0 ? fontMetrics().elidedText(m_full, Qt::ElideMiddle, room) : m_full;
    if (shown != text())
        setText(shown);
    QStringList tip;
    if (shown != m_full)
        tip << m_full;
    if (!m_note.isEmpty())
        tip << m_note;
    setToolTip(tip.join(QLatin1Char('\n')));
}

} // namespace gui
