#include "gui/ChartColours.h"

#include <QPalette>

#include <algorithm>
#include <cmath>

namespace gui {

namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor withContrast(const QColor& colour, const QColor& background, double wanted) {
    const QColor opaque = colour.toRgb();
    if (contrastRatio(opaque, background) >= wanted)
        return opaque;
    const QColor white(Qt::white);
    const QColor black(Qt::black);
    const QColor towards =
        contrastRatio(white, background) >= contrastRatio(black, background) ? white : black;
    // The least step that reaches it: contrast grows steadily on the way to the far end.
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 24; ++i) {
        const double t = (low + high) / 2;
        (contrastRatio(mix(opaque, towards, t), background) >= wanted ? high : low) = t;
    }
    return mix(opaque, towards, high);
}

ChartInks chartInks(const QPalette& palette) {
    const QColor ground = palette.color(QPalette::Base);
    const auto ink = [&](const QColor& c) { return withContrast(c, ground, kGraphicContrast); };
    ChartInks i;
    i.values = ink(palette.color(QPalette::Highlight));
    i.bars = ink(mix(i.values, ground, 0.35));
    i.text = ink(palette.color(QPalette::Text));
    i.warning = ink(QColor(0xFF, 0xD7, 0x00));
    i.out = ink(QColor(0xE0, 0x10, 0x10));
    i.control = ink(QColor(0x1F, 0x5F, 0xD0));
    i.centre = ink(QColor(0x20, 0x90, 0x40));
    i.ruleBroken = ink(QColor(0xC0, 0x00, 0xC0));
    return i;
}

} // namespace gui
