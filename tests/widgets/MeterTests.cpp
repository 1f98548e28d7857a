// The round meter drawn offscreen, configured as the main window configures it.
#include "tests/widgets/MainInstruments.h"
#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/AbFlashT.h"

#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <set>

namespace {

struct TMeterForm {
    QWidget Window;
    TAb270Meter* Meter1 = new TAb270Meter(&Window);

    TMeterForm() {
        Window.resize(300, 260);
        Meter1->move(5, 5);
        ConfigureMeter(Meter1, 1);
        ShowAndWait(Window);
    }
    QPoint DialCentre() const {
        const QRect area = Meter1->PointerArea();
        return area.topLeft() + QPoint(area.width() / 2, area.width() / 2);
    }
    // What the window shows, as the backing store holds it.
    QImage Screen() const {
        return QGuiApplication::primaryScreen()
            ->grabWindow(Window.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32)
            .copy(Meter1->geometry());
    }
};

// Clockwise angle from 12 o'clock of the lime pointer pixels far from the hub.
double PointerAngle(const QImage& image, QPoint centre, int* farthest = nullptr) {
    double sx = 0, sy = 0;
    int far = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x - centre.x(), dy = y - centre.y();
            const double d = std::hypot(dx, dy);
            if (!IsLime(image.pixel(x, y)) || d < 30)
                continue;
            sx += dx / d;
            sy += dy / d;
            far = std::max(far, int(d));
        }
    if (farthest)
        *farthest = far;
    const double angle = std::atan2(sx, -sy) * 180 / std::numbers::pi;
    return angle < 0 ? angle + 360 : angle;
}

double AngleDifference(double a, double b) {
    return std::abs(std::remainder(a - b, 360.0));
}

TEST(Meter, PointerTipAtSevenThirtyTwelveAndFourThirty) {
    TMeterForm form;
    const struct {
        float Value;
        int PPT;
        double Angle;
    } cases[] = {
        {-92.9f, 0, 225}, {0.65f, 0, 225}, {1.0f, 500, 0}, {1.35f, 1000, 135}, {2.0f, 1000, 135}};
    const int tickRadius = form.Meter1->PointerArea().width() / 2;
    for (const auto& k : cases) {
        form.Meter1->SetValue(k.Value);
        ASSERT_EQ(form.Meter1->PPT(), k.PPT);
        int farthest = 0;
        const QImage image = Render(form.Meter1);
        EXPECT_LT(AngleDifference(PointerAngle(image, form.DialCentre(), &farthest), k.Angle), 2.0)
            << k.Value;
        EXPECT_GE(farthest, tickRadius * 85 / 100) << "the pointer reaches the ticks";
    }
}

TEST(Meter, FifteenLabelsAroundTheScale) {
    TMeterForm form;
    const TScaleSettings* scale = form.Meter1->ScaleSettings();
    EXPECT_EQ(scale->Text(), "0.65;0.70;0.75;0.80;0.85;0.90;0.95;1.00;1.05;1.10;1.15;1.20;1.25;"
                             "1.30;1.35;");
    const QImage image = Render(form.Meter1);
    const QPoint c = form.DialCentre();
    const int left = form.Meter1->PointerArea().left() - (scale->PenW1() == 1 ? 1 : 0);
    const int R = c.x() - left + scale->TextW() / 2 + scale->PenW1() / 2;
    for (int i = 0; i <= 14; ++i) {
        const QPoint at = RotatePoint(QPoint(c.x(), c.y() - R), c, 225.0f + float(i) * 270.0f / 14);
        const QRect box(at.x() - scale->TextW() / 2, at.y() - scale->TextH() / 2, scale->TextW(),
                        scale->TextH());
        EXPECT_GT(CountPixels(image, box, IsDark), 30) << "label " << i;
    }
    // The scale leaves the bottom of the dial free between its two ends.
    EXPECT_EQ(CountPixels(image, QRect(c.x() - 10, c.y() + R - 28, 20, 8), IsDark), 0);
}

// The tick at 12 o'clock stands on the dial's centre column: one column of black pixels
// on the dial's face, with no half-tone beside it.
TEST(Meter, TwelveOClockTickIsOnePixelColumnOfBlack) {
    TMeterForm form;
    const QImage image = Render(form.Meter1);
    const QPoint c = form.DialCentre();
    const QRect band(c.x() - 5, form.Meter1->PointerArea().top(), 11, 10);
    const QColor face = ColorToQColor(clBtnFace), black(0, 0, 0);
    std::set<int> blackColumns;
    int blackPixels = 0, others = 0;
    QString firstOther;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (IsColor(p, black)) {
                blackColumns.insert(x);
                ++blackPixels;
            } else if (!IsColor(p, face) && others++ == 0) {
                firstOther = QStringLiteral("%1,%2 is %3").arg(x).arg(y).arg(QColor(p).name());
            }
        }
    EXPECT_EQ(others, 0) << "neither black nor the face, first: " << firstOther.toStdString();
    ASSERT_EQ(blackColumns.size(), 1u) << "the tick is one pixel wide";
    EXPECT_EQ(*blackColumns.begin(), c.x());
    EXPECT_GE(blackPixels, 8) << "the tick runs down the band";
}

TEST(Meter, ValueUpdateRepaintsOnlyThePointerArea) {
    TMeterForm form;
    form.Meter1->SetValue(0.9f);
    form.Meter1->SetValue(1.1f); // both recorded as extremes: later updates draw once
    TPaintRecorder recorder;
    recorder.Watch(&form.Window);
    recorder.Watch(form.Meter1);
    form.Meter1->SetValue(1.0f);
    ASSERT_EQ(recorder.Of(form.Meter1).size(), 1u);
    EXPECT_TRUE(form.Meter1->PointerArea().contains(recorder.Of(form.Meter1)[0]));
    EXPECT_TRUE(recorder.Of(&form.Window).empty());
    recorder.Clear();
    form.Meter1->SetValue(1.0f);
    EXPECT_TRUE(recorder.Of(form.Meter1).empty());
}

TEST(Meter, PointerUpdatesLeaveWhatAFullRepaintShows) {
    TMeterForm form;
    for (float v : {0.9f, 1.3f, 0.7f, 1.0f})
        form.Meter1->SetValue(v);
    const QImage updated = form.Screen();
    form.Meter1->Invalidate();
    form.Meter1->repaint();
    const QImage repainted = form.Screen();
    ASSERT_FALSE(updated.isNull());
    EXPECT_EQ(updated, repainted);
    EXPECT_LT(AngleDifference(PointerAngle(updated, form.DialCentre() + QPoint(0, 0)), 0), 2.0);
}

TEST(Meter, HiddenMeterKeepsTheValueAndShowsItWhenShown) {
    TMeterForm form;
    TPaintRecorder recorder;
    recorder.Watch(form.Meter1);
    form.Meter1->hide();
    form.Meter1->SetValue(1.35f);
    EXPECT_EQ(form.Meter1->Value(), 1.35f);
    EXPECT_TRUE(recorder.Of(form.Meter1).empty());
    form.Meter1->show();
    QCoreApplication::processEvents();
    EXPECT_LT(AngleDifference(PointerAngle(Render(form.Meter1), form.DialCentre()), 135), 2.0);
}

// Dark pixels on the scale-line circle, sampled midway between the ticks' angles (the
// 70 gaps of 270 / 70 degrees from 225 degrees), where the ticks that meet the line do not.
int ScaleLinePixels(TAb270Meter* meter) {
    const QImage image = Render(meter);
    const QPoint* linePos = meter->ScaleSettings()->LinePos();
    const QPointF centre = QRectF(QRectF(linePos[0], linePos[1])).center();
    const double radius = (linePos[1].x() - linePos[0].x()) / 2.0;
    int dark = 0;
    for (int gap = 0; gap < 70; ++gap) {
        const double rad = (225 + (gap + 0.5) * 270 / 70) * std::numbers::pi / 180;
        const QPoint p(int(std::lround(centre.x() + radius * std::sin(rad))),
                       int(std::lround(centre.y() - radius * std::cos(rad))));
        dark += CountPixels(image, QRect(p - QPoint(1, 1), QSize(3, 3)), IsDark) > 0 ? 1 : 0;
    }
    return dark;
}

TEST(Meter, ScaleLineOnlyWithTheSectorRing) {
    TMeterForm form;
    const int withoutRing = ScaleLinePixels(form.Meter1);
    form.Meter1->SetOptions({opBevelOuter, opName1, opSector}); // sectors 1..1: no pies
    QCoreApplication::processEvents();
    const int withRing = ScaleLinePixels(form.Meter1);
    EXPECT_LT(withoutRing, 10);
    EXPECT_GT(withRing, 60); // of 70 samples
}

TEST(Meter, PointerColorIsNotUsedByTheRoundMeter) {
    TMeterForm form;
    form.Meter1->SetValue(1.0f);
    const QImage before = Render(form.Meter1);
    form.Meter1->ScaleSettings()->SetPointerColor(clRed);
    EXPECT_EQ(Render(form.Meter1), before);
}

TEST(Meter, TooSmallDialDrawsFrameAndCaptionOnly) {
    TMeterForm form;
    // Room for the frame and the caption, and one pixel row of dial.
    const int frame = form.Meter1->BevelOuter()->TotalWidth();
    const int caption = QFontMetrics(form.Meter1->Font()->ToQFont()).height();
    form.Meter1->resize(200, 2 * frame + caption + 1);
    QCoreApplication::processEvents();
    const QImage image = Render(form.Meter1);
    EXPECT_TRUE(form.Meter1->isToSmall());
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0)) << "the outline";
    EXPECT_EQ(image.pixel(1, 1), ColorToQColor(clBtnHighlight).rgb()) << "the raised frame";
    // Inside the frame: the face colour everywhere but where the caption is written.
    const QRect inside = image.rect().adjusted(3, 3, -3, -3);
    const QRect captionBox(frame, inside.bottom() - frame - caption, 200 - 2 * frame,
                           caption + frame);
    int captionInk = 0, other = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const bool face = image.pixel(x, y) == ColorToQColor(clBtnFace).rgb();
            (captionBox.contains(x, y) ? captionInk : other) += face ? 0 : 1;
        }
    EXPECT_GT(captionInk, 20) << "the caption";
    EXPECT_EQ(other, 0) << "no scale, label or pointer";
    EXPECT_EQ(CountPixels(image, image.rect(), IsLime), 0);
    TPaintRecorder recorder;
    recorder.Watch(form.Meter1);
    form.Meter1->SetValue(1.2f);
    EXPECT_TRUE(recorder.Of(form.Meter1).empty());
}

TEST(Meter, DrawsNothingWhileUpdatesAreSuspended) {
    TMeterForm form;
    form.Meter1->BeginUpdate();
    form.Meter1->ScaleSettings()->SetSteps(7);
    form.Meter1->Invalidate();
    QImage image = Render(form.Meter1);
    EXPECT_EQ(CountPixels(image, image.rect(), IsDark), 0) << "no frame, scale or caption";
    EXPECT_EQ(CountPixels(image, image.rect(), IsLime), 0) << "no pointer";
    form.Meter1->SetValue(1.0f);
    EXPECT_EQ(CountPixels(Render(form.Meter1), image.rect(), IsLime), 0);
    form.Meter1->EndUpdate();
    QCoreApplication::processEvents();
    image = Render(form.Meter1);
    EXPECT_GT(CountPixels(image, image.rect(), IsDark), 500);
    EXPECT_GT(CountPixels(image, form.Meter1->PointerArea(), IsLime), 50);
    EXPECT_EQ(form.Meter1->ScaleSettings()->Text().count(';'), 8) << "drawn with the new steps";
}

// A paint device that draws nothing and counts the lines and texts painted on it.
class TDrawCounter : public QPaintDevice {
public:
    int Lines() const { return FEngine.Lines; }
    int Texts() const { return FEngine.Texts; }
    QPaintEngine* paintEngine() const override { return &FEngine; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
        case PdmHeight:
            return 400;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    struct TEngine : QPaintEngine {
        TEngine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawLines(const QLine*, int count) override { Lines += count; }
        void drawLines(const QLineF*, int count) override { Lines += count; }
        void drawTextItem(const QPointF&, const QTextItem&) override { ++Texts; }
        Type type() const override { return User; }
        int Lines = 0, Texts = 0;
    };
    mutable TEngine FEngine;
};

TEST(Scale, AFullCircleLeavesOutItsLastLabelButNotItsLastTick) {
    const struct {
        float sweep;
        int labels;
    } cases[] = {{270, 15}, {360, 14}};
    for (const auto& c : cases) {
        TScaleSettings scale;
        scale.SetSteps(14);
        scale.SetSubSteps(5);
        scale.CalcRSize(0.65f, 1.35f);
        TDrawCounter device;
        {
            QPainter canvas(&device);
            TRect r{0, 0, 273, 241};
            scale.RoundScala(canvas, r, 225, c.sweep);
        }
        EXPECT_EQ(device.Texts(), c.labels) << c.sweep;
        EXPECT_EQ(device.Lines(), 15 + 14 * 4) << c.sweep << ": 15 major and 56 minor ticks";
    }
}

bool Registered(QWidget* w) {
    for (const TFlashEntry& e : FlashList())
        if (e.Control == w)
            return true;
    return false;
}

TEST(Meter, ConfiguredMetersDoNotFlash) {
    TMeterForm form; // value -92.9 below the scale, but opOverflow and opLimit are off
    EXPECT_FALSE(form.Meter1->Flashing());
    EXPECT_FALSE(Registered(form.Meter1));
}

TEST(Meter, OverflowAlarmFlashesThePointer) {
    TMeterForm form;
    form.Meter1->SetOptions({opBevelOuter, opName1, opOverflow});
    EXPECT_TRUE(form.Meter1->Flashing());
    ASSERT_TRUE(Registered(form.Meter1));
    TFlashMessage on(0, 1);
    QCoreApplication::sendEvent(form.Meter1, &on);
    QImage image = Render(form.Meter1);
    EXPECT_EQ(CountPixels(image, form.Meter1->PointerArea(), IsLime), 0);
    EXPECT_GT(CountPixels(image, form.Meter1->PointerArea(),
                          [](QRgb p) { return IsColor(p, Qt::red, 10); }),
              50);
    TFlashMessage off(0, 0);
    QCoreApplication::sendEvent(form.Meter1, &off);
    image = Render(form.Meter1);
    EXPECT_GT(CountPixels(image, form.Meter1->PointerArea(),
                          [](QRgb p) { return IsColor(p, Qt::yellow, 10); }),
              50);
    form.Meter1->SetValue(1.0f);
    EXPECT_FALSE(form.Meter1->Flashing());
    EXPECT_FALSE(Registered(form.Meter1));
    EXPECT_GT(CountPixels(Render(form.Meter1), form.Meter1->PointerArea(), IsLime), 50);
}

TEST(Bevel, RaisedOuterBevelLeavesEightPixels) {
    TAbSBevel bevel(bsRaised, 5, blOuter);
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    TRect r{0, 0, 100, 100};
    {
        QPainter canvas(&image);
        bevel.PaintFilledBevel(canvas, r);
    }
    EXPECT_EQ(r.Left, 8);
    EXPECT_EQ(r.Top, 8);
    EXPECT_EQ(r.Right, 92);
    EXPECT_EQ(r.Bottom, 92);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(99, 50), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(1, 1), ColorToQColor(clBtnHighlight).rgb());
    EXPECT_EQ(image.pixel(98, 98), ColorToQColor(clBtnShadow).rgb());
    EXPECT_EQ(image.pixel(50, 50), ColorToQColor(clBtnFace).rgb());
}

TEST(Geometry, RotatePointTurnsClockwiseOnScreen) {
    const QPoint c(0, 0), top(0, -100);
    EXPECT_EQ(RotatePoint(top, c, 90), QPoint(100, 0));
    EXPECT_EQ(RotatePoint(top, c, 180), QPoint(0, 100));
    EXPECT_EQ(RotatePoint(top, c, 225), QPoint(-71, 71));
    EXPECT_EQ(RotatePoint(top, c, 495), QPoint(71, 71));
}

} // namespace
