#pragma once

#include <QColor>

class QPalette;

namespace gui {

// The contrast of two colours as readers of a screen perceive it, from 1 (the same) to 21 (black
// on white), by their relative luminance in sRGB.
double contrastRatio(const QColor& a, const QColor& b);

// The colour itself when it reaches the contrast wanted against the background; else moved towards
// black or white (whichever the background is farther from) just far enough.
QColor withContrast(const QColor& colour, const QColor& background, double wanted);

// What a chart needs to stand out from its ground: 3:1 for lines, points and bars, 4.5:1 for text.
inline constexpr double kGraphicContrast = 3.0;
inline constexpr double kTextContrast = 4.5;

// The colours of the history charts on a palette's Base, each at least kGraphicContrast from it.
// The lamp colours stay recognisable: a yellow point stays yellowish, only darker on white.
struct ChartInks {
    QColor values;  // the points and their line, the bars' outline
    QColor bars;    // the bars' fill, lighter than their outline where the ground allows
    QColor text;    // the normal curve, the nominal line
    QColor warning; // the lamps' yellow and red
    QColor out;
    QColor control; // control limits and centre line
    QColor centre;
    QColor ruleBroken;
};

ChartInks chartInks(const QPalette& palette);

} // namespace gui
