// The port window's "Open Port": errors in the error box, reopening, busy devices.
#include "serial/ComPortPaths.h"
#include "tests/support/FarEnd.h"
#include "tests/windows/WindowsRig.h"

#include <gtest/gtest.h>

TEST(PortWindow, NumberWithoutDeviceShowsNotFoundWithThePath) {
    WindowsRig rig;
    BoxWatcher watcher(20);
    WindowsRig::OpenPortThroughWindow(200);
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 1; }));
    ASSERT_EQ(watcher.seen.size(), 1u);
    EXPECT_EQ(watcher.seen[0].title, QStringLiteral("4CH Uego Interface"));
    EXPECT_EQ(watcher.seen[0].text, QStringLiteral("Specified device not found (%1).")
                                        .arg(QString::fromStdString(va::PortAliasPath(200))));
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_FALSE(ComPortForm->ComPortLED->Checked());
    EXPECT_EQ(Form1->VaComm1->PortNum(), 200) << "the new number is kept";
}

TEST(PortWindow, OpenPortAgainClosesFirstAndReopens) {
    WindowsRig rig;
    rig.StartEmulator(ConstantController(1, 1, 1, 1, 200));
    int closes = 0;
    bool ledWasOffAtClose = false;
    const auto previous = Form1->VaComm1->OnClose;
    Form1->VaComm1->OnClose = [&](QObject* sender) {
        previous(sender);
        ++closes;
        ledWasOffAtClose = !ComPortForm->ComPortLED->Checked() && !Form1->Online_LED1->Checked();
    };
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WaitUntil([] { return Form1->Online_LED1->Checked(); }));
    QTest::mouseClick(ComPortForm->Button1, Qt::LeftButton);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(ledWasOffAtClose);
    EXPECT_TRUE(Form1->VaComm1->Active());
    EXPECT_TRUE(ComPortForm->ComPortLED->Checked());

    // A failing second port leaves no port open.
    BoxWatcher watcher(20);
    WindowsRig::OpenPortThroughWindow(201);
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 1; }));
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_FALSE(ComPortForm->ComPortLED->Checked());
    EXPECT_FALSE(Form1->Online_LED1->Checked());
}

TEST(PortWindow, BusyDeviceShowsTheSecondText) {
    WindowsRig rig;
    rig.StartEmulator(ConstantController(1, 1, 1, 1, 200));
    TVaComm holder;
    holder.SetPortNum(WindowsRig::Port);
    holder.Open();
    BoxWatcher watcher(20);
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WaitUntil([&] { return watcher.closed == 1; }));
    ASSERT_EQ(watcher.seen.size(), 1u);
    const QString prefix = QStringLiteral("Can't open specified device %1 (Error ")
                               .arg(QString::fromStdString(va::PortAliasPath(WindowsRig::Port)));
    EXPECT_TRUE(watcher.seen[0].text.startsWith(prefix)) << watcher.seen[0].text.toStdString();
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_FALSE(ComPortForm->ComPortLED->Checked());
    holder.Close();
}

TEST(PortWindow, FieldIsClampedWhenItLosesTheFocusAndTextThatIsNotANumberOpensPortOne) {
    WindowsRig rig;
    EXPECT_EQ(ComPortForm->ComPortEdit1->minimum(), 1);
    EXPECT_EQ(ComPortForm->ComPortEdit1->maximum(), 255);
    const struct {
        const char* typed;
        int port;
    } cases[] = {{"", 1}, {"0", 1}, {"-", 1}, {"-3", 1}, {"300", 255}, {"42", 42}, {"007", 7}};
    BoxWatcher watcher(20); // a wrong number's error box must not stop the test
    for (const auto& c : cases) {
        FarEnd device(c.port); // a device behind the expected number, so the open succeeds
        ComPortForm->ComPortEdit1->setValue(9); // the number shown before
        WindowsRig::TypeAndOpen(QString::fromLatin1(c.typed));
        EXPECT_EQ(Form1->VaComm1->PortNum(), c.port) << '"' << c.typed << '"';
        EXPECT_TRUE(Form1->VaComm1->Active()) << '"' << c.typed << '"';
        EXPECT_EQ(ComPortForm->ComPortEdit1->text().toStdString(), std::to_string(c.port))
            << '"' << c.typed << "\" is shown clamped";
        Form1->VaComm1->Close();
    }
}
