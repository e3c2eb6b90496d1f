#include "gui/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QRect>

using namespace gui;

namespace {

std::string text(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

} // namespace

TEST(WindowPlacement, AFrameIsMovedOntoTheAvailableAreaAndCutToIt) {
    const QRect laptop(0, 0, 1366, 740);     // a panel below
    const QRect second(1920, 30, 1280, 690); // right of the first, a panel above
    const QRect scaled(0, 0, 1280, 690);     // 1920 x 1080 at 150 %
    const struct {
        const char* what;
        QRect wanted, available, expected;
    } rows[] = {
        {"fits where wanted", {100, 100, 800, 600}, laptop, {100, 100, 800, 600}},
        {"title bar above the screen", {0, -20, 800, 600}, laptop, {0, 0, 800, 600}},
        {"beyond the right edge", {1000, 100, 800, 600}, laptop, {566, 100, 800, 600}},
        {"below the panel", {10, 500, 800, 600}, laptop, {10, 140, 800, 600}},
        {"taller than the screen", {40, 13, 1187, 747}, scaled, {40, 0, 1187, 690}},
        {"larger both ways", {-10, 20, 1500, 900}, laptop, laptop},
        {"on a second screen", {1900, 0, 800, 600}, second, {1920, 30, 800, 600}},
        {"no screen known", {-50, -50, 300, 200}, QRect(), {-50, -50, 300, 200}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(text(fitIntoScreen(r.wanted, r.available)), text(r.expected)) << r.what;
}
