#pragma once

#include "common/Rgb.h"

#include <QWidget>

namespace gui {

// A round signal lamp.
class LampWidget : public QWidget {
    Q_OBJECT

public:
    explicit LampWidget(QWidget* parent = nullptr);
    void setColour(const common::Rgb& colour);
    common::Rgb colour() const { return m_colour; }
    QSize sizeHint() const override { return {26, 26}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    common::Rgb m_colour;
};

} // namespace gui
