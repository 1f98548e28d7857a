// The numeric readouts drawn offscreen, configured as the main window configures them.
#include "tests/widgets/MainInstruments.h"
#include "tests/widgets/WidgetTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct TReadoutForm {
    QWidget Window;
    TAbValueInd* ValueInd1 = new TAbValueInd(&Window);
    TAbValueInd* VoltsInd1 = new TAbValueInd(&Window);

    TReadoutForm() {
        Window.resize(300, 200);
        ValueInd1->move(5, 5);
        ConfigureChannelReadout(ValueInd1, 1);
        VoltsInd1->move(5, 100);
        ConfigureVolts(VoltsInd1);
        ShowAndWait(Window);
    }
};

bool SameWithinAPixel(const std::vector<std::pair<int, int>>& a,
                      const std::vector<std::pair<int, int>>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::abs(a[i].first - b[i].first) > 1 || std::abs(a[i].second - b[i].second) > 1)
            return false;
    return true;
}

TEST(Readout, StartsAtZeroInItsFormat) {
    TReadoutForm form;
    EXPECT_EQ(form.ValueInd1->ValueStr(), "0.000");
    EXPECT_EQ(form.VoltsInd1->ValueStr(), "0.0");
}

TEST(Readout, ShowsTheValueRightAlignedInTheBox) {
    TReadoutForm form;
    form.ValueInd1->SetValue(0.982f);
    EXPECT_EQ(form.ValueInd1->ValueStr(), "0.982");
    const QImage image = Render(form.ValueInd1);
    const QRect box = form.ValueInd1->ValueArea();
    EXPECT_GT(CountPixels(image, box, IsLime), 200);
    EXPECT_EQ(CountPixels(image, image.rect(), IsLime), CountPixels(image, box, IsLime));
    EXPECT_GT(CountPixels(image, QRect(box.right() - 4, box.top(), 5, box.height()), IsLime), 0);
    // The caption sits below the box.
    EXPECT_GT(CountPixels(image, QRect(0, box.bottom() + 4, image.width(), 30), IsDark), 20);
}

TEST(Readout, WideValueLosesItsLeadingCharacters) {
    TReadoutForm form;
    TAbValueInd* readout = form.ValueInd1;
    const QRect box = readout->ValueArea();
    readout->SetValue(2.9f);
    const QImage tail = Render(readout);
    readout->SetValue(-92.9f);
    const QImage clipped = Render(readout);
    EXPECT_EQ(readout->Value(), -92.9f);
    EXPECT_EQ(readout->ValueStr(), "-92.900");
    EXPECT_EQ(readout->ValueArea(), box); // the box does not grow
    const QFontMetrics metrics(readout->FontValue()->ToQFont());
    ASSERT_GT(metrics.horizontalAdvance("-92.900"), box.width());
    // Only the right-hand digits show, placed as 2.900 would be (to sub-pixel placement).
    const auto expected = GlyphColumns(tail, box);
    EXPECT_EQ(expected.size(), 5u) << "2 . 9 0 0";
    EXPECT_TRUE(SameWithinAPixel(GlyphColumns(clipped, box), expected));
    EXPECT_EQ(CountPixels(clipped, clipped.rect(), IsLime), CountPixels(clipped, box, IsLime));
}

// A channel carries up to 65.535: two whole digits show in full, inside the box's face.
TEST(Readout, ChannelValuesOfTwoWholeDigitsShowWhole) {
    TReadoutForm form;
    TAbValueInd* readout = form.ValueInd1;
    for (const char* text : {"65.535", "12.345", "10.000"}) {
        readout->SetValue(QString::fromLatin1(text).toFloat());
        ASSERT_EQ(readout->ValueStr().toStdString(), text);
        EXPECT_TRUE(ShowsValueWhole(readout));
    }
    // A value of one whole digit is back where the format puts it, at the area's right.
    readout->SetValue(1.5f);
    const QImage image = Render(readout);
    const QRect area = readout->ValueArea();
    EXPECT_EQ(CountPixels(image, image.rect(), IsLime), CountPixels(image, area, IsLime));
    EXPECT_GT(CountPixels(image, QRect(area.right() - 4, area.top(), 5, area.height()), IsLime), 0);
}

TEST(Readout, SupplyShowsOneDecimalAndTheUnit) {
    TReadoutForm form;
    form.VoltsInd1->SetValue(12.34f);
    EXPECT_EQ(form.VoltsInd1->ValueStr(), "12.3");
    const QImage image = Render(form.VoltsInd1);
    const QRect box = form.VoltsInd1->ValueArea();
    const QRect unit(box.right() + 1, box.top(), image.width() - box.right() - 1, box.height());
    EXPECT_GT(CountPixels(image, unit, IsDark), 20) << "the unit after the box";
    EXPECT_EQ(CountPixels(image, unit, IsLime), 0);
    EXPECT_GT(CountPixels(image, box, IsLime), 50);
}

TEST(Readout, ValueUpdateRepaintsOnlyTheCharactersThatChangeOnce) {
    TReadoutForm form;
    TAbValueInd* readout = form.ValueInd1;
    readout->SetValue(2.0f); // a new maximum: recorded, with one more redraw
    readout->SetValue(1.017f);
    TPaintRecorder recorder;
    recorder.Watch(&form.Window);
    recorder.Watch(readout);
    readout->SetValue(1.018f); // the last digit alone
    readout->SetValue(1.018f);
    readout->SetValue(1.0181f); // shows as "1.018" too
    const QRect box = readout->ValueArea();
    ASSERT_EQ(recorder.Of(readout).size(), 1u);
    const QRect painted = recorder.Of(readout)[0];
    EXPECT_TRUE(box.contains(painted)) << "inside the value box";
    EXPECT_LT(painted.width(), box.width() / 2) << "one digit, not the whole box";
    EXPECT_GT(painted.right(), box.center().x()) << "at the right-hand end";
    EXPECT_TRUE(recorder.Of(&form.Window).empty());
}

TEST(Readout, AutoSizeFollowsTheValueFont) {
    TReadoutForm form;
    const QSize before = form.ValueInd1->size();
    form.ValueInd1->FontValue()->SetHeight(-60);
    QCoreApplication::processEvents();
    EXPECT_GT(form.ValueInd1->width(), before.width());
    EXPECT_GT(form.ValueInd1->height(), before.height());
}

} // namespace
