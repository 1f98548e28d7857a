// A value update draws what a full repaint draws: the readouts' numbers composed from
// pictures of their characters, and the lamps' faces drawn once and copied. The window's
// screen is read after the update and again after a full repaint of the same widget.
#include "tests/support/GermanNumbers.h"
#include "tests/widgets/MainInstruments.h"
#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/GlyphBitmap.h"

#include <QPainter>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

// What the window's screen shows of `w`.
QImage OnScreen(QWidget* w) {
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    return w->screen()
        ->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage AfterFullRepaint(TAbGraphicControl* w) {
    w->Invalidate();
    w->repaint();
    return OnScreen(w);
}

// ---- The character pictures against drawText itself

struct TTextCase {
    const char* Family;
    bool Italic;
    int Width; // of the bitmap
    const char* Before;
    const char* Text;
    bool Pictures; // composed from character pictures rather than laid out
};

void PrintTo(const TTextCase& c, std::ostream* os) {
    *os << c.Family << (c.Italic ? " italic" : "") << ", " << c.Width << " px: \"" << c.Before
        << "\" then \"" << c.Text << '"';
}

class GlyphBitmapText : public ::testing::TestWithParam<TTextCase> {};

TEST_P(GlyphBitmapText, DrawsWhatDrawTextDraws) {
    const TTextCase& c = GetParam();
    QFont font(c.Family);
    font.setPixelSize(40);
    font.setItalic(c.Italic);
    const QString text = QString::fromUtf8(c.Text);
    const QSize size(c.Width, QFontMetrics(font).height());
    TGlyphBitmap bitmap;
    bitmap.Setup(font, QColor(0, 255, 0), Qt::black, size, 1);
    bitmap.ShowRightAligned(QString::fromUtf8(c.Before));
    bitmap.ShowRightAligned(text);
    EXPECT_EQ(bitmap.FromPictures(), c.Pictures);

    QImage expected(size, QImage::Format_RGB32);
    expected.fill(Qt::black);
    QPainter painter(&expected);
    painter.setFont(font);
    painter.setPen(QColor(0, 255, 0));
    const QFontMetrics metrics = painter.fontMetrics();
    painter.drawText(size.width() - metrics.horizontalAdvance(text), metrics.ascent(), text);
    painter.end();
    EXPECT_EQ(bitmap.Bitmap(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GlyphBitmapText,
    ::testing::Values(
        // The readouts' numbers, each after another one.
        TTextCase{"Arial", false, 110, "", "0.982", true},
        TTextCase{"Arial", false, 110, "0.982", "1.017", true},
        TTextCase{"Arial", false, 110, "1.017", "1.018", true},
        TTextCase{"Arial", false, 110, "1.017", "0,982", true},
        // Wider than the bitmap: the leading characters fall off its left edge.
        TTextCase{"Arial", false, 110, "0.982", "-92.900", true},
        TTextCase{"Arial", false, 110, "-92.900", "1.5", true},
        TTextCase{"Arial", false, 110, "12.3", "", true},
        // Kerned pairs; pairs kerned into each other, ligatures, a character beyond ASCII
        // and slanted glyphs reaching over their neighbours take the text layout.
        TTextCase{"Arial", false, 200, "8.888", "11.11", true},
        TTextCase{"Arial", false, 200, "8.888", "P.F,", true},
        TTextCase{"Arial", false, 200, "8.888", "r.r,y.", false},
        TTextCase{"DejaVu Sans", false, 200, "0.5", "office -1.0", false},
        TTextCase{"Arial", false, 200, "0.5",
                  "12.5 \xc2\xb0"
                  "C",
                  false},
        TTextCase{"Arial", true, 200, "0.5", "fff 0.982 VA", false}));

// ---- Readouts and lamps in their window

struct TInstrumentForm {
    QWidget Window;
    TAbValueInd* ValueInd1 = new TAbValueInd(&Window);
    TAbValueInd* VoltsInd1 = new TAbValueInd(&Window);
    TAbLED* Online_LED1 = new TAbLED(&Window);
    TAbLED* DiskLED = new TAbLED(&Window);

    TInstrumentForm() {
        Window.resize(400, 200);
        ValueInd1->move(5, 5);
        ConfigureChannelReadout(ValueInd1, 1);
        VoltsInd1->move(5, 100);
        ConfigureVolts(VoltsInd1);
        Online_LED1->move(160, 5);
        ConfigureOnlineLamp(Online_LED1);
        DiskLED->move(160, 100);
        ConfigureDisk(DiskLED);
        ShowAndWait(Window);
    }
};

struct TReadoutCase {
    bool Volts;
    float From, To;
};

void PrintTo(const TReadoutCase& c, std::ostream* os) {
    *os << (c.Volts ? "VoltsInd1 " : "ValueInd1 ") << c.From << " to " << c.To;
}

// A new value on the screen, and the same screen after a full repaint.
void ExpectUpdateAsRepaint(TAbValueInd* readout, const TReadoutCase& c) {
    readout->SetValue(c.From);
    const QImage before = OnScreen(readout);
    readout->SetValue(c.To);
    const QImage updated = OnScreen(readout);
    EXPECT_NE(updated, before) << "the update drew nothing";
    EXPECT_EQ(updated, AfterFullRepaint(readout)) << readout->ValueStr().toStdString();
}

class ReadoutUpdate : public ::testing::TestWithParam<TReadoutCase> {};

TEST_P(ReadoutUpdate, DrawsWhatAFullRepaintDraws) {
    TInstrumentForm form;
    const TReadoutCase& c = GetParam();
    ExpectUpdateAsRepaint(c.Volts ? form.VoltsInd1 : form.ValueInd1, c);
}

const TReadoutCase ReadoutCases[] = {
    {false, 0.982f, 1.017f}, {false, 1.017f, 1.018f}, {false, 1.35f, 0},    {false, 1.0f, -92.9f},
    {false, -92.9f, -0.5f},  {true, 12.34f, 12.46f},  {true, 12.3f, -1.5f}, {true, 9.9f, 100}};

INSTANTIATE_TEST_SUITE_P(Values, ReadoutUpdate, ::testing::ValuesIn(ReadoutCases));

TEST(ReadoutUpdateWithDecimalComma, DrawsWhatAFullRepaintDraws) {
    WithGermanNumbers([] {
        TInstrumentForm form;
        for (const TReadoutCase& c : ReadoutCases) {
            TAbValueInd* readout = c.Volts ? form.VoltsInd1 : form.ValueInd1;
            ExpectUpdateAsRepaint(readout, c);
            EXPECT_TRUE(readout->ValueStr().contains(',')) << readout->ValueStr().toStdString();
        }
    });
}

// A new extreme runs the value change a second time from inside the first; the readout
// and the meter still draw once.
TEST(ValueUpdate, NewExtremeDrawsOnce) {
    TInstrumentForm form;
    TAb270Meter* meter = new TAb270Meter(&form.Window);
    meter->move(0, 0);
    ConfigureMeter(meter, 1);
    meter->show();
    QCoreApplication::processEvents();
    for (TAbAnalogGControl* control :
         std::initializer_list<TAbAnalogGControl*>{form.ValueInd1, meter}) {
        control->SetValue(1.0f);
        int changes = 0;
        control->OnValueChange = [&](QObject*) { ++changes; };
        TPaintRecorder recorder;
        recorder.Watch(control);
        control->SetValue(1.2f);
        EXPECT_EQ(changes, 2);
        EXPECT_EQ(recorder.Of(control).size(), 1u);
    }
}

TEST(LampUpdate, DrawsWhatAFullRepaintDraws) {
    TInstrumentForm form;
    for (TAbLED* lamp : {form.Online_LED1, form.DiskLED}) {
        for (bool state : {true, false, true}) {
            const QImage before = OnScreen(lamp);
            lamp->SetChecked(state);
            const QImage updated = OnScreen(lamp);
            EXPECT_NE(updated, before) << "the state change drew nothing";
            EXPECT_EQ(updated, AfterFullRepaint(lamp)) << "checked " << state;
        }
    }
}

} // namespace
