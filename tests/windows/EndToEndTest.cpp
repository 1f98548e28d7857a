// The live monitor end to end: the operator opens the port in the port window, the
// instruments follow the controller, a log is recorded through the save dialog, and
// closing the main window closes port and log.
#include "tests/windows/WindowsRig.h"

#include "link/LiveFrame.h"
#include "tests/support/LogFiles.h"
#include "tests/widgets/WidgetTestSupport.h"
#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
const std::vector<std::uint8_t> LiveDataRequest{0xC0, 0x04, 0x26, 0x15};

// Answers the save dialog with a name typed without its extension.
void AnswerSaveDialog(const QString& typedName) {
    QTimer::singleShot(50, [typedName] {
        auto* dialog = Form1->SaveTextFileDialog1;
        ASSERT_TRUE(dialog->isVisible());
        auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nameField, nullptr);
        nameField->setText(typedName);
        static_cast<QDialog*>(dialog)->accept();
    });
}

// Looks at each tick of the live timer just before it runs and counts what it will do
// with the frame that LiveBuf holds, so that tests compare exact counts, whatever the
// machine's load does to the timing.
class TickWatcher : public QObject {
public:
    int ticks = 0;   // every tick
    int sent = 0;    // ticks that send a live request (port open, live switch on)
    int corrupt = 0; // ticks that find a frame failing its checksum
    int shown = 0;   // ticks that show a valid frame
    int logged = 0;  // ticks that write a record

    TickWatcher() { Form1->Timer2->installEventFilter(this); }
    ~TickWatcher() override { Form1->Timer2->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Timer)
            return false;
        ++ticks;
        const TDeviceLink& link = Form1->Link();
        if (!Form1->VaComm1->Active() || !Form1->OnlineButton->Checked())
            return false;
        ++sent;
        if (!link.State.LiveArrived)
            return false;
        if (!LiveFrameValid(link.State.LiveBuf)) {
            ++corrupt;
            return false;
        }
        ++shown;
        const bool warmUp = link.State.LiveBuf[13] == 1;
        logged += !warmUp && link.State.LogActive ? 1 : 0;
        return false;
    }
};
} // namespace

TEST(EndToEnd, LiveMonitorFollowsTheControllerAndLogsEachValidFrame) {
    WindowsRig rig;
    TickWatcher watcher;
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.982, 1.0, 0.85, 1.234, 200));

    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(Form1->VaComm1->Active());
    EXPECT_TRUE(ComPortForm->ComPortLED->Checked());

    ASSERT_TRUE(WindowsRig::MetersShow({0.982f, 1.0f, 0.85f, 1.234f}));
    EXPECT_EQ(Form1->ValueInd1->Value(), 0.982f);
    EXPECT_EQ(Form1->ValueInd4->Value(), 1.234f);
    EXPECT_NEAR(Form1->VoltsInd1->Value(), 12.549, 0.001);
    EXPECT_TRUE(Form1->Online_LED1->Checked());
    EXPECT_FALSE(Form1->LED2->Checked());
    EXPECT_TRUE(WaitUntil([] { return Form1->Config1->isEnabled(); }, 10000));

    // One request per tick, and never more than one tick per 100 ms.
    QElapsedTimer clock;
    clock.start();
    const int ticksBefore = watcher.ticks;
    ASSERT_TRUE(WaitUntil([&] { return watcher.ticks - ticksBefore >= 10; }, 20000));
    // Ticks fall on 100 ms slots (coarse timers may shift a slot by 5 %); a late tick
    // never brings a second one closer than its slot.
    EXPECT_LE(watcher.ticks - ticksBefore, (clock.elapsed() + 100) / 95 + 2);
    const int sent = watcher.sent;
    ASSERT_TRUE(WaitUntil([&] { return int(emulator.LiveRequestCount()) >= sent; }, 10000));
    EXPECT_LE(int(emulator.LiveRequestCount()), watcher.sent) << "a request per tick, no more";
    for (const auto& request : emulator.Requests())
        EXPECT_EQ(request, LiveDataRequest);
    SaveScreenshot(Form1, "main-window.png");

    // Warm-up: every channel at 1.0 and the lamp lit; the supply still follows.
    emulator.SetStatus(1);
    emulator.SetSupplyRaw(255);
    ASSERT_TRUE(WindowsRig::MetersShow({1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_TRUE(Form1->LED2->Checked());
    EXPECT_EQ(Form1->ValueInd2->Value(), 1.0f);
    EXPECT_NEAR(Form1->VoltsInd1->Value(), 16.0, 0.001);
    emulator.SetStatus(0);
    ASSERT_TRUE(WindowsRig::MetersShow({0.982f, 1.0f, 0.85f, 1.234f}));
    EXPECT_FALSE(Form1->LED2->Checked());

    // Corrupt frames change nothing.
    emulator.SetFault(sim::Fault::CorruptChecksum, true);
    emulator.SetLambda(1, 1.3);
    const int corruptBefore = watcher.corrupt;
    ASSERT_TRUE(WaitUntil([&] { return watcher.corrupt - corruptBefore >= 3; }, 20000));
    EXPECT_EQ(Form1->Meter1->Value(), 0.982f);
    EXPECT_TRUE(Form1->Online_LED1->Checked());
    emulator.SetFault(sim::Fault::CorruptChecksum, false);
    ASSERT_TRUE(WindowsRig::MetersShow({1.3f, 1.0f, 0.85f, 1.234f}));

    // Log through the save dialog: header, then one record per valid frame.
    QTemporaryDir dir;
    AnswerSaveDialog(dir.filePath(QStringLiteral("run")));
    const int sentBeforeLog = watcher.sent;
    QTest::mouseClick(Form1->LogStartButton, Qt::LeftButton);
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    ASSERT_EQ(Form1->Link().LogFileName, path) << "the default extension is added";
    EXPECT_TRUE(Form1->DiskLED->Checked());
    EXPECT_EQ(Form1->StaticText2->text(), path);
    ASSERT_TRUE(WaitUntil([&] { return watcher.logged >= 8; }, 30000));
    emulator.SetFault(sim::Fault::Silent, true); // no records for a silent controller
    ASSERT_TRUE(WaitUntil([] { return !Form1->Online_LED1->Checked(); }, 10000));
    const int ticksWhenDark = watcher.ticks;
    ASSERT_TRUE(WaitUntil([&] { return watcher.ticks - ticksWhenDark >= 3; }, 10000));
    EXPECT_FALSE(Form1->Config1->isEnabled());
    QTest::mouseClick(Form1->LogStopButton, Qt::LeftButton);
    EXPECT_FALSE(Form1->DiskLED->Checked());
    const int sentWhileLogging = watcher.sent - sentBeforeLog;

    const QStringList lines = FileLines(path);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("VORLANX Log V1.0  ")));
    EXPECT_EQ(lines[1], QStringLiteral("Time, CH1, CH2, CH3, CH4"));
    const int records = int(lines.size()) - 2;
    EXPECT_EQ(records, watcher.logged) << "one record for each valid frame shown";
    // Each record answers its own request: the first the one sent before Log Start.
    EXPECT_LE(records, sentWhileLogging + 1);
    for (int i = 2; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral(", 1.300, 1.000, 0.850, 1.230")))
            << lines[i].toStdString();

    // Closing the main window closes the port.
    Form1->close();
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_FALSE(ComPortForm->ComPortLED->Checked());
    EXPECT_FALSE(Form1->Online_LED1->Checked());
}

// The controller's all-ones value, two whole digits and the full supply, as the operator
// reads them.
TEST(EndToEnd, ReadoutsShowTheWidestValuesWhole) {
    WindowsRig rig;
    rig.StartEmulator(ConstantController(65.535, 12.345, 10.0, 0.5, 255));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WaitUntil([] { return Form1->ValueInd4->ValueStr() == "0.500"; }, 10000));
    const std::pair<TAbValueInd*, const char*> shown[] = {{Form1->ValueInd1, "65.535"},
                                                          {Form1->ValueInd2, "12.345"},
                                                          {Form1->ValueInd3, "10.000"},
                                                          {Form1->ValueInd4, "0.500"},
                                                          {Form1->VoltsInd1, "16.0"}};
    for (auto [readout, text] : shown) {
        EXPECT_EQ(readout->ValueStr().toStdString(), text) << readout->objectName().toStdString();
        EXPECT_TRUE(ShowsValueWhole(readout)) << readout->objectName().toStdString();
    }
    SaveScreenshot(Form1, "main-window-widest-values.png");
}

TEST(EndToEnd, ClosingTheMainWindowWhileLoggingLeavesEveryRecordInTheFile) {
    WindowsRig rig;
    TickWatcher watcher;
    rig.StartEmulator(ConstantController(0.9, 0.9, 0.9, 0.9, 200));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WindowsRig::MetersShow({0.9f, 0.9f, 0.9f, 0.9f}));
    QTemporaryDir dir;
    AnswerSaveDialog(dir.filePath(QStringLiteral("closing.csv")));
    QTest::mouseClick(Form1->LogStartButton, Qt::LeftButton);
    ASSERT_TRUE(Form1->Link().State.LogActive);
    ASSERT_TRUE(WaitUntil([&] { return watcher.logged >= 3; }, 20000));
    // The port closes first, while the log is still open: no record is left half done.
    const QString path = dir.filePath(QStringLiteral("closing.csv"));
    int logOpenAtPortClose = -1;
    const auto portClosed = Form1->VaComm1->OnClose;
    Form1->VaComm1->OnClose = [&](QObject* sender) {
        logOpenAtPortClose = OpenDescriptorsOf(path);
        portClosed(sender);
    };
    Form1->close();
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_EQ(logOpenAtPortClose, 1) << "the log is open when the port closes";
    EXPECT_EQ(OpenDescriptorsOf(path), 0) << "and closed after";
    const QStringList lines = FileLines(path);
    EXPECT_EQ(lines.size(), 2 + watcher.logged);
    for (int i = 2; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral(", 0.900, 0.900, 0.900, 0.900")))
            << lines[i].toStdString();
}

TEST(EndToEnd, ChoosingAnExistingFileAsksAndThenReplacesIt) {
    WindowsRig rig;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.csv"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("yesterday's records\r\n1\r\n2\r\n3\r\n");
    }
    QString question;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible() && box->button(QMessageBox::Yes)) {
                question = box->text();
                box->button(QMessageBox::Yes)->click();
            }
        }
    });
    answerer.start(10);
    AnswerSaveDialog(path);
    QTest::mouseClick(Form1->LogStartButton, Qt::LeftButton);
    answerer.stop();
    EXPECT_FALSE(question.isEmpty()) << "the dialog asks before an existing file is overwritten";
    ASSERT_TRUE(Form1->Link().State.LogActive);
    QTest::mouseClick(Form1->LogStopButton, Qt::LeftButton);
    const QStringList lines = FileLines(path);
    ASSERT_EQ(lines.size(), 2) << "only the two header lines";
    EXPECT_EQ(lines[1], QStringLiteral("Time, CH1, CH2, CH3, CH4"));
}

TEST(EndToEnd, CancellingTheSaveDialogChangesNothing) {
    WindowsRig rig;
    QTimer::singleShot(50, [] { Form1->SaveTextFileDialog1->reject(); });
    QTest::mouseClick(Form1->LogStartButton, Qt::LeftButton);
    EXPECT_FALSE(Form1->Link().State.LogActive);
    EXPECT_FALSE(Form1->DiskLED->Checked());
    EXPECT_TRUE(Form1->LogStartButton->isEnabled());
    EXPECT_FALSE(Form1->LogStopButton->isEnabled());
    EXPECT_TRUE(Form1->Link().LogFileName.isEmpty());
}

TEST(EndToEnd, StartStateOfTheMainWindow) {
    WindowsRig rig;
    for (TAb270Meter* meter : {Form1->Meter1, Form1->Meter2, Form1->Meter3, Form1->Meter4})
        EXPECT_EQ(meter->Value(), -92.9f);
    EXPECT_EQ(Form1->ValueInd1->Value(), 0.0f);
    EXPECT_EQ(Form1->VoltsInd1->Value(), 0.0f);
    EXPECT_FALSE(Form1->Online_LED1->Checked());
    EXPECT_FALSE(Form1->LED2->Checked());
    EXPECT_FALSE(Form1->DiskLED->Checked());
    EXPECT_TRUE(Form1->OnlineButton->Checked());
    EXPECT_FALSE(Form1->OnlineButton->isVisible());
    EXPECT_EQ(Form1->OnlineButton->StatusInt(), 1);
    EXPECT_EQ(Form1->VaComm1->PortNum(), 6);
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_EQ(ComPortForm->ComPortEdit1->value(), 1);
    EXPECT_TRUE(Form1->StaticText2->text().isEmpty());
    // With the port never opened, nothing is polled and Config stays disabled.
    TickWatcher watcher;
    ASSERT_TRUE(WaitUntil([&] { return watcher.ticks >= 3; }, 10000));
    EXPECT_EQ(watcher.sent, 0);
    EXPECT_FALSE(Form1->Config1->isEnabled());
}
