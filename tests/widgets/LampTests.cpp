// Lamps: state word, groups, modes, drawing, and the flash service behind them.
#include "serial/VaClasses.h"
#include "tests/support/BoxWatcher.h"
#include "tests/widgets/MainInstruments.h"
#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/AbFlashT.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace {

struct TLampForm {
    QWidget Window;
    TAbLED* Online_LED1 = new TAbLED(&Window);
    TAbLED* DiskLED = new TAbLED(&Window);

    TLampForm() {
        Window.resize(400, 100);
        ConfigureOnlineLamp(Online_LED1);
        DiskLED->move(250, 0);
        ConfigureDisk(DiskLED);
        ShowAndWait(Window);
    }
};

QRgb LampCentre(TAbLED* lamp) {
    return Render(lamp).pixel(lamp->LED()->Rect().center() + QPoint(1, 1));
}

bool Registered(QWidget* w, int* code = nullptr) {
    for (const TFlashEntry& e : FlashList())
        if (e.Control == w) {
            if (code)
                *code = e.Code;
            return true;
        }
    return false;
}

TEST(Lamp, DrawnInItsOnAndOffColours) {
    TLampForm form;
    EXPECT_EQ(form.Online_LED1->LED()->Rect().size(), QSize(18, 18));
    EXPECT_EQ(LampCentre(form.Online_LED1), ColorToQColor(clAppWorkSpace).rgb());
    EXPECT_EQ(LampCentre(form.DiskLED), ColorToQColor(clBtnFace).rgb());
    form.Online_LED1->SetChecked(true);
    form.DiskLED->SetChecked(true);
    EXPECT_EQ(LampCentre(form.Online_LED1), qRgb(0, 255, 0));
    EXPECT_EQ(LampCentre(form.DiskLED), qRgb(0, 255, 0));
    // The caption is written right of the lamp.
    const QImage image = Render(form.Online_LED1);
    const int captionLeft = form.Online_LED1->LED()->Rect().right() + 5;
    EXPECT_GT(CountPixels(image, QRect(captionLeft, 0, 200, 33), IsDark), 100);
}

TEST(Lamp, StateChangeRepaintsOnlyTheLamp) {
    TLampForm form;
    TPaintRecorder recorder;
    recorder.Watch(form.Online_LED1);
    int changes = 0;
    form.Online_LED1->OnStatusChanged = [&](QObject*) { ++changes; };
    form.Online_LED1->SetChecked(true);
    form.Online_LED1->SetChecked(true);
    ASSERT_EQ(recorder.Of(form.Online_LED1).size(), 1u);
    EXPECT_EQ(recorder.Of(form.Online_LED1)[0], form.Online_LED1->LED()->Rect());
    EXPECT_EQ(changes, 1);
}

TEST(Lamp, StatusBitMirrorsChecked) {
    TAbLED lamp(nullptr);
    lamp.SetStatusBit(3);
    lamp.SetChecked(true);
    EXPECT_EQ(lamp.StatusInt(), 8);
    EXPECT_EQ(lamp.FirstCheckedBit(), 3);
    lamp.SetStatusBit(32); // outside 0..31: ignored
    EXPECT_EQ(lamp.StatusBit(), 3);
    lamp.SetStatusInt(0x14); // bit 3 clear: unchecked
    EXPECT_FALSE(lamp.Checked());
    EXPECT_EQ(lamp.FirstCheckedBit(), 2);
    lamp.LED()->SetWidth(81); // outside 4..80: ignored
    EXPECT_EQ(lamp.LED()->Width(), 13);
}

TEST(Lamp, GroupSharesTheStateWord) {
    QWidget window;
    TAbLED a(&window), b(&window), other(&window);
    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    other.SetGroupIndex(2);
    for (TAbLED* lamp : {&a, &b, &other})
        lamp->Loaded();
    int bChanges = 0;
    b.OnStatusIntChanged = [&](QObject*) { ++bChanges; };
    a.SetStatusInt(5);
    EXPECT_EQ(b.StatusInt(), 5);
    EXPECT_TRUE(b.Checked());
    EXPECT_EQ(other.StatusInt(), 0);
    EXPECT_EQ(bChanges, 1);
    TAbLED late(&window);
    late.SetGroupIndex(1); // takes over the group's state
    EXPECT_EQ(late.StatusInt(), 5);
}

TEST(Lamp, ModesUnderTheMouse) {
    QWidget window;
    window.resize(200, 50);
    TAbLED lamp(&window);
    ShowAndWait(window);
    const QPoint at = lamp.LED()->Rect().center();
    const struct {
        TMode Mode;
        bool AfterPress, AfterRelease, AfterSecondClick;
    } cases[] = {{mIndicator, false, false, false},
                 {mSwitch, true, true, false},
                 {mButton, true, false, false}};
    for (const auto& k : cases) {
        lamp.SetMode(k.Mode);
        lamp.SetChecked(false);
        QTest::mousePress(&lamp, Qt::LeftButton, {}, at);
        EXPECT_EQ(lamp.Checked(), k.AfterPress) << k.Mode;
        QTest::mouseRelease(&lamp, Qt::LeftButton, {}, at);
        EXPECT_EQ(lamp.Checked(), k.AfterRelease) << k.Mode;
        EXPECT_FALSE(lamp.MouseIsDown());
        QTest::mouseClick(&lamp, Qt::LeftButton, {}, at);
        EXPECT_EQ(lamp.Checked(), k.AfterSecondClick) << k.Mode;
        QTest::mouseClick(&lamp, Qt::RightButton, {}, at); // other buttons do nothing
        EXPECT_EQ(lamp.Checked(), k.AfterSecondClick) << k.Mode;
    }
    lamp.SetMode(mRadioButton);
    EXPECT_EQ(lamp.StatusInt(), 1);
    lamp.SetStatusBit(2);
    QTest::mouseClick(&lamp, Qt::LeftButton, {}, at);
    EXPECT_EQ(lamp.StatusInt(), 4);
}

TEST(Lamp, FlashingFollowsChecked) {
    TLampForm form;
    TAbLED* lamp = form.Online_LED1;
    lamp->SetFlashing(true);
    EXPECT_FALSE(Registered(lamp));
    lamp->SetChecked(true);
    int code = 0;
    ASSERT_TRUE(Registered(lamp, &code));
    EXPECT_EQ(code, FlashCode(ff1Hz));
    EXPECT_EQ(code, 5);
    EXPECT_NE(FlashTimer(), nullptr);
    TFlashMessage off(0, 0), on(0, 1);
    QCoreApplication::sendEvent(lamp, &off);
    EXPECT_EQ(LampCentre(lamp), ColorToQColor(clAppWorkSpace).rgb());
    QCoreApplication::sendEvent(lamp, &on);
    EXPECT_EQ(LampCentre(lamp), qRgb(0, 255, 0));
    lamp->SetFrequency(ff4Hz);
    ASSERT_TRUE(Registered(lamp, &code));
    EXPECT_EQ(code, 3);
    lamp->SetChecked(false);
    EXPECT_FALSE(Registered(lamp));
    EXPECT_EQ(LampCentre(lamp), ColorToQColor(clAppWorkSpace).rgb());
}

// Records the flash messages a control receives.
class TFlashRecorder : public QObject {
public:
    std::vector<std::pair<quint32, qint32>> Messages;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == TFlashMessage::EventType()) {
            const auto* m = static_cast<TFlashMessage*>(e);
            Messages.push_back({m->WParam, m->LParam});
        }
        return false;
    }
};

TEST(Flash, PhaseIsABitOfTheSharedCounter) {
    QWidget window;
    std::vector<std::unique_ptr<TAbLED>> lamps;
    std::vector<std::unique_ptr<TFlashRecorder>> recorders;
    const TFlashFreq frequencies[] = {ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz};
    for (TFlashFreq f : frequencies) {
        lamps.push_back(std::make_unique<TAbLED>(&window));
        recorders.push_back(std::make_unique<TFlashRecorder>());
        lamps.back()->installEventFilter(recorders.back().get());
        lamps.back()->SetFrequency(f);
        lamps.back()->SetFlashing(true);
        lamps.back()->SetChecked(true);
    }
    const int ticks = 512;
    for (int i = 0; i < ticks; ++i)
        FlashTick(nullptr);
    for (size_t k = 0; k < lamps.size(); ++k) {
        const int code = FlashCode(frequencies[k]);
        const auto& messages = recorders[k]->Messages;
        // A message on the first tick, then one at every change of the phase bit.
        EXPECT_NEAR(double(messages.size()), 1.0 + ticks / double(1 << code), 1.0) << code;
        for (size_t i = 0; i < messages.size(); ++i) {
            EXPECT_EQ(messages[i].second, qint32(messages[i].first >> code & 1)) << code;
            if (i > 0) {
                EXPECT_NE(messages[i].second, messages[i - 1].second);
            }
        }
    }
}

TEST(Flash, TimerThreadTicksOnTheUiThread) {
    QWidget window;
    TAbLED lamp(&window);
    TFlashRecorder recorder;
    lamp.installEventFilter(&recorder);
    lamp.SetFrequency(ff8Hz);
    lamp.SetFlashing(true);
    lamp.SetChecked(true);
    const quint32 start = FlashCounter();
    // 8 Hz blinking: a phase change every 4 ticks.
    EXPECT_TRUE(WaitUntil([&] { return FlashCounter() - start >= 10; }, 20000));
    EXPECT_GE(recorder.Messages.size(), 3u);
    lamp.SetChecked(false);
    const size_t received = recorder.Messages.size();
    const quint32 stopped = FlashCounter();
    EXPECT_TRUE(WaitUntil([&] { return FlashCounter() - stopped >= 16; }, 20000));
    EXPECT_EQ(recorder.Messages.size(), received) << "an unchecked lamp gets no phases";
}

// A lamp whose flash handler fails with the error given.
template <class Error> class TFailingLamp : public TAbLED {
public:
    using TAbLED::TAbLED;

protected:
    void Flash(bool) override { throw Error("lamp out of order"); }
};

TEST(Flash, AnArithmeticOrRangeErrorOfOneControlDoesNotStopTheTick) {
    QWidget window;
    TFailingLamp<std::overflow_error> overflowing(&window);
    TFailingLamp<std::range_error> outOfRange(&window);
    TFailingLamp<std::out_of_range> pastTheEnd(&window);
    TAbLED lamp(&window);
    TFlashRecorder recorder;
    lamp.installEventFilter(&recorder);
    for (TAbLED* l : {static_cast<TAbLED*>(&overflowing), static_cast<TAbLED*>(&outOfRange),
                      static_cast<TAbLED*>(&pastTheEnd), &lamp}) {
        l->SetFrequency(ff8Hz);
        l->SetFlashing(true);
        l->SetChecked(true);
    }
    for (int i = 0; i < 8; ++i)
        EXPECT_NO_THROW(FlashTick(nullptr));
    EXPECT_GE(recorder.Messages.size(), 2u) << "the lamp after the failing ones still blinks";
}

TEST(Flash, OtherErrorsOfAControlReachTheCaller) {
    QWidget window;
    TFailingLamp<std::runtime_error> failing(&window);
    failing.SetFrequency(ff8Hz);
    failing.SetFlashing(true);
    failing.SetChecked(true);
    EXPECT_THROW(
        {
            for (int i = 0; i < 8; ++i)
                FlashTick(nullptr);
        },
        std::runtime_error);
}

TEST(Flash, ThreadPriorityIsTheOneOfEveryFrameworkThread) {
    // One type for the port's threads and the flash timer's: both headers in one unit.
    static_assert(std::is_same_v<decltype(std::declval<TAbFlash&>().ThreadPriority()),
                                 decltype(std::declval<TVaThread&>().Priority())>);
    TAbFlash flash;
    flash.SetThreadPriority(tpHigher);
    EXPECT_EQ(flash.ThreadPriority(), tpHigher);
}

TEST(Flash, SecondFlashTimerIsRefused) {
    QWidget window;
    TAbLED lamp(&window);
    lamp.SetFlashing(true);
    lamp.SetChecked(true); // makes sure the process's timer exists
    ASSERT_NE(FlashTimer(), nullptr);
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->windowTitle() + ": " + box->text();
            box->accept();
        }
    });
    TAbFlashTimer second;
    EXPECT_EQ(shown, "Error Message: Only one TAbFlashTimer per Application!\rRemove it...");
    EXPECT_FALSE(second.OnTimer());
    EXPECT_NE(FlashTimer(), &second);
}

TEST(Lamp, CaptionStartsAsTheComponentNameAndKeepsItsOwnText) {
    QWidget window;
    TAbLED lamp(&window);
    EXPECT_EQ(lamp.Caption(), QString());
    lamp.setObjectName(QStringLiteral("ComPortLED"));
    EXPECT_EQ(lamp.Caption(), QStringLiteral("ComPortLED"));
    lamp.setObjectName(QStringLiteral("PortLamp"));
    EXPECT_EQ(lamp.Caption(), QStringLiteral("PortLamp")) << "renamed while showing its name";
    lamp.SetCaption(QStringLiteral("Port Open"));
    lamp.setObjectName(QStringLiteral("ComPortLED"));
    EXPECT_EQ(lamp.Caption(), QStringLiteral("Port Open")) << "a caption of its own stays";
}

TEST(Lamp, TwoLineCaptionIsCentredOnTheLamp) {
    QWidget window;
    window.resize(200, 60);
    TAbLED lamp(&window);
    lamp.resize(120, 60);
    lamp.SetCaption("SENSOR|WARMUP");
    lamp.Font()->SetHeight(-16);
    lamp.Loaded();
    ShowAndWait(window);
    const QImage image = Render(&lamp);
    const int left = lamp.LED()->Rect().right() + 3;
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (CountPixels(image, QRect(left, y, image.width() - left, 1), IsDark) > 0)
            rows.push_back(y);
    ASSERT_FALSE(rows.empty());
    const int lineHeight = QFontMetrics(lamp.Font()->ToQFont()).height();
    EXPECT_GT(rows.back() - rows.front(), lineHeight); // two lines
    const double middle = (rows.front() + rows.back()) / 2.0;
    EXPECT_NEAR(middle, lamp.LED()->Rect().center().y(), 3.0);
    // A blank gap separates the lines.
    bool gap = false;
    for (size_t i = 1; i < rows.size(); ++i)
        gap = gap || rows[i] - rows[i - 1] > 1;
    EXPECT_TRUE(gap);
}

} // namespace
