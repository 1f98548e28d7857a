// The two-state colour button: its state as the live-stream switch, and its drawing.
#include "tests/widgets/MainInstruments.h"
#include "tests/widgets/WidgetTestSupport.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

TEST(ColourButton, InvisibleSwitchKeepsItsStateWithoutDrawing) {
    QWidget window;
    window.resize(200, 60);
    TAbColBitBtn OnlineButton(&window);
    OnlineButton.setVisible(false);
    ConfigureButton(&OnlineButton);
    ShowAndWait(window);
    EXPECT_TRUE(OnlineButton.Checked());
    EXPECT_EQ(OnlineButton.StatusInt(), 1);
    TPaintRecorder recorder;
    recorder.Watch(&OnlineButton);
    recorder.Watch(&window);
    OnlineButton.SetChecked(false);
    EXPECT_EQ(OnlineButton.StatusInt(), 0);
    OnlineButton.SetChecked(true);
    EXPECT_EQ(OnlineButton.StatusInt(), 1);
    EXPECT_TRUE(recorder.Of(&OnlineButton).empty());
    EXPECT_TRUE(recorder.Of(&window).empty());
}

struct TButtonForm {
    QWidget Window;
    TAbColBitBtn* OnlineButton = new TAbColBitBtn(&Window);
    TButtonForm() {
        Window.resize(200, 60);
        ConfigureButton(OnlineButton);
        ShowAndWait(Window);
    }
};

TEST(ColourButton, CheckedShowsLimeTextWithTheBevelDown) {
    TButtonForm form;
    TAbColBitBtn* button = form.OnlineButton;
    const QColor up = ColorToQColor(BlendColor(RGBColor(210, 210, 210), clBtnHighlight, 4, 1));
    const QColor down = ColorToQColor(BlendColor(clBtnShadow, clBlack, 4, 1));
    const QRect face = button->rect().adjusted(4, 4, -4, -4);
    QImage image = Render(button);
    EXPECT_EQ(image.pixel(0, 0), down.rgb());
    EXPECT_GT(CountPixels(image, face, IsLime), 20);
    button->SetChecked(false);
    image = Render(button);
    EXPECT_EQ(image.pixel(0, 0), up.rgb());
    EXPECT_EQ(CountPixels(image, face, IsLime), 0);
    EXPECT_GT(CountPixels(image, face, [](QRgb p) { return qGray(p) < 30; }), 20);
}

// Bounding box of the pixels in r for which pred holds.
template <class Pred> QRect Bounds(const QImage& image, const QRect& r, Pred pred) {
    QRect box;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (pred(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(ColourButton, PressedContentMovesByOffsetDown) {
    TButtonForm form;
    TAbColBitBtn* button = form.OnlineButton;
    button->SetTextOff(""); // both states show TextOn
    button->SetCheckedOptions({coBevel});
    const QRect face = button->rect().adjusted(4, 4, -4, -4);
    auto text = [](QRgb p) { return qGray(p) < 30; };
    const QRect down = Bounds(Render(button), face, text);
    button->SetChecked(false);
    const QRect up = Bounds(Render(button), face, text);
    ASSERT_FALSE(up.isEmpty());
    EXPECT_EQ(down, up.translated(1, 1));
}

TEST(ColourButton, HorizontalGradientBands) {
    TAbGradSettings grad(RGBColor(240, 240, 240), RGBColor(105, 105, 105), true);
    QImage image(10, 100, QImage::Format_RGB32);
    {
        QPainter canvas(&image);
        grad.PaintGradient(canvas, TRect{0, 0, 10, 100});
    }
    // 135 levels over 100 rows: one-row bands stepping by 1.35, truncated.
    EXPECT_EQ(image.pixel(5, 0), qRgb(240, 240, 240));
    EXPECT_EQ(image.pixel(5, 1), qRgb(239, 239, 239));
    EXPECT_EQ(image.pixel(5, 99), qRgb(107, 107, 107));
    for (int y = 1; y < 100; ++y)
        EXPECT_LE(qRed(image.pixel(0, y)), qRed(image.pixel(0, y - 1)));
}

TEST(ColourButton, GlyphFrameCountSetBeforeTheGlyphIsKept) {
    QWidget window;
    TAbColBitBtn button(&window);
    button.SetNumGlyph(3); // the form's order: the frame count, then the strip
    QImage strip(30, 10, QImage::Format_ARGB32);
    strip.fill(Qt::red);
    button.SetGlyph(strip);
    EXPECT_EQ(button.NumGlyph(), 3);
    button.SetNumGlyph(0);
    EXPECT_EQ(button.NumGlyph(), 3) << "counts below 1 are ignored";
    button.SetGlyph(QImage());
    EXPECT_EQ(button.NumGlyph(), 1) << "an empty glyph forces one frame";
}

} // namespace
