#pragma once

#include <QPushButton>
#include <QString>

namespace common {

// A dialog's button, named after its control. Enter presses only the dialog's default button,
// not whichever button last had the focus.
inline QPushButton* dialogButton(const QString& objectName, const QString& text,
                                 const QString& toolTip = {}) {
    auto* b = new QPushButton(text);
    b->setObjectName(objectName);
    b->setToolTip(toolTip);
    b->setAutoDefault(false);
    return b;
}

} // namespace common
