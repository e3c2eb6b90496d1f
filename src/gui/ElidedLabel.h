#pragma once

#include <QLabel>

namespace gui {

// A line of text that never widens its window: shortened in the middle to the width the layout
// gives it, again whenever that width changes, and whole in its tooltip then.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    void setFullText(const QString& text);
    QString fullText() const { return m_full; }
    // A second tooltip line, shown whether the text is shortened or not.
    void setNote(const QString& note);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_full;
    QString m_note;
};

} // namespace gui
