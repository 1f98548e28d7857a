// Colour values: the byte order, the system colours and the blend steps.
#include "widgets/GColors.h"

#include <QApplication>
#include <QPalette>
#include <gtest/gtest.h>

namespace {

TEST(Colors, LowByteIsRedAndSystemColoursComeFromThePalette) {
    EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(clLime), QColor(0, 255, 0));
    EXPECT_EQ(ColorToQColor(clAqua), QColor(0, 255, 255));
    EXPECT_EQ(ColorToQColor(RGBColor(1, 2, 3)), QColor(1, 2, 3));
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(ColorToQColor(clBtnFace), palette.color(QPalette::Button));
    EXPECT_EQ(ColorToQColor(clAppWorkSpace), palette.color(QPalette::Mid));
    EXPECT_EQ(ColorToQColor(clWindowText), palette.color(QPalette::WindowText));
    EXPECT_EQ(ColorToRGB(clBtnHighlight),
              RGBColor(palette.color(QPalette::Light).red(), palette.color(QPalette::Light).green(),
                       palette.color(QPalette::Light).blue()));
}

TEST(Colors, BlendColorStepsEachChannel) {
    // From RGB 210, 210, 210 to white in 4 steps: step 1 adds Round(45 / 4) = 11.
    EXPECT_EQ(BlendColor(RGBColor(210, 210, 210), clWhite, 4, 1), RGBColor(221, 221, 221));
    EXPECT_EQ(BlendColor(RGBColor(210, 210, 210), clWhite, 4, 4), clWhite);
    EXPECT_EQ(BlendColor(clBlack, RGBColor(100, 50, 0), 0, 1), RGBColor(100, 50, 0));
    EXPECT_EQ(BlendColor(clBtnFace, clBtnFace, 2, 1), clBtnFace); // same colour: `from` itself
}

} // namespace
