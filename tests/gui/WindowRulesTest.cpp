#include "gui/ChartColours.h"
#include "gui/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QPalette>

using namespace gui;

namespace {

std::string text(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

QPalette palette(const char* window, const char* base, const char* textColour, const char* highlight) {
    QPalette p;
    p.setColor(QPalette::Window, QColor(QLatin1String(window)));
    p.setColor(QPalette::Base, QColor(QLatin1String(base)));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, QColor(QLatin1String(textColour)));
    p.setColor(QPalette::Highlight, QColor(QLatin1String(highlight)));
    return p;
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

TEST(ChartColours, EveryInkStandsOutOnLightAndDarkGrounds) {
    // Worked values of the contrast ratio.
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(Qt::white, Qt::white), 1.0, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(contrastRatio(QColor(0xFF, 0xD7, 0x00), Qt::white), 1.40, 0.01);

    const struct {
        const char* what;
        QPalette palette;
    } grounds[] = {
        {"light", palette("#efefef", "#ffffff", "#000000", "#308cc6")},
        {"dark", palette("#353535", "#2a2a2a", "#eeeeee", "#2a82da")},
        // A dark theme whose selection colour is hardly lighter than its ground.
        {"dark, dim highlight", palette("#31363b", "#232629", "#eff0f1", "#3d5a75")},
        {"mid grey", palette("#808080", "#909090", "#000000", "#606060")},
    };
    for (const auto& g : grounds) {
        const QColor base = g.palette.color(QPalette::Base);
        const ChartInks i = chartInks(g.palette);
        for (const auto& [name, ink] :
             std::initializer_list<std::pair<const char*, QColor>>{{"values", i.values},
                                                                   {"bars", i.bars},
                                                                   {"text", i.text},
                                                                   {"warning", i.warning},
                                                                   {"out", i.out},
                                                                   {"control", i.control},
                                                                   {"centre", i.centre},
                                                                   {"rule", i.ruleBroken}})
            EXPECT_GE(contrastRatio(ink, base), kGraphicContrast) << g.what << " " << name;
        // The bars and the curve over them stay apart.
        EXPECT_GE(contrastRatio(i.text, i.bars), 1.5) << g.what;
        // Texts of meaning (red, green, amber, grey verdicts) on the window's ground.
        const QColor window = g.palette.color(QPalette::Window);
        for (const QColor c :
             {QColor(0xc0, 0, 0), QColor(0, 0x96, 0x3c), QColor(0xb8, 0x74, 0), QColor(0x70, 0x70, 0x70)})
            EXPECT_GE(contrastRatio(withContrast(c, window, kTextContrast), window), kTextContrast)
                << g.what << " " << c.name().toStdString();
    }
    // A colour that stands out already is kept as it is.
    EXPECT_EQ(withContrast(QColor(0x30, 0x8c, 0xc6), Qt::white, kGraphicContrast), QColor(0x30, 0x8c, 0xc6));
}
