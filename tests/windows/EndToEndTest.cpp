// The live monitor end to end: the operator opens the port in the port window, the
// instruments follow the controller, a log is recorded through the save dialog, and
// closing the main window closes port and log.
#include "tests/windows/WindowsRig.h"

#include "tests/support/LogFiles.h"
#include <QAbstractButton>
#include <QAction>
#include <QDir>
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
} // namespace

TEST(EndToEnd, LiveMonitorFollowsTheControllerAndLogsEachValidFrame) {
    WindowsRig rig;
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
    EXPECT_TRUE(WaitUntil([] { return Form1->Config1->isEnabled(); }));
    for (const auto& request : emulator.Requests())
        EXPECT_EQ(request, LiveDataRequest);
    const std::size_t before = emulator.LiveRequestCount();
    WaitUntil([] { return false; }, 1000);
    const std::size_t perSecond = emulator.LiveRequestCount() - before;
    EXPECT_GE(perSecond, 7u) << "one request per 100 ms tick";
    EXPECT_LE(perSecond, 11u);
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

    // A corrupt frame changes nothing.
    emulator.SetFault(sim::Fault::CorruptChecksum, true);
    emulator.SetLambda(1, 1.3);
    WaitUntil([] { return false; }, 500);
    EXPECT_EQ(Form1->Meter1->Value(), 0.982f);
    EXPECT_TRUE(Form1->Online_LED1->Checked());
    emulator.SetFault(sim::Fault::CorruptChecksum, false);
    ASSERT_TRUE(WindowsRig::MetersShow({1.3f, 1.0f, 0.85f, 1.234f}));

    // Log through the save dialog: header, then one record per valid frame.
    QTemporaryDir dir;
    AnswerSaveDialog(dir.filePath(QStringLiteral("run")));
    QTest::mouseClick(Form1->LogStartButton, Qt::LeftButton);
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    ASSERT_EQ(Form1->Link().LogFileName, path) << "the default extension is added";
    EXPECT_TRUE(Form1->DiskLED->Checked());
    EXPECT_EQ(Form1->StaticText2->text(), path);
    const std::size_t requestsAtStart = emulator.LiveRequestCount();
    WaitUntil([] { return false; }, 1000);
    emulator.SetFault(sim::Fault::Silent, true); // no records for a silent controller
    const std::size_t requestsWhileLogging = emulator.LiveRequestCount() - requestsAtStart;
    ASSERT_TRUE(WaitUntil([] { return !Form1->Online_LED1->Checked(); }, 3000));
    EXPECT_FALSE(WaitUntil([] { return Form1->Config1->isEnabled(); }, 300));
    QTest::mouseClick(Form1->LogStopButton, Qt::LeftButton);
    EXPECT_FALSE(Form1->DiskLED->Checked());

    const QStringList lines = FileLines(path);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("VORLANX Log V1.0  ")));
    EXPECT_EQ(lines[1], QStringLiteral("Time, CH1, CH2, CH3, CH4"));
    const int records = int(lines.size()) - 2;
    EXPECT_GE(records, int(requestsWhileLogging) - 1);
    EXPECT_LE(records, int(requestsWhileLogging) + 1);
    for (int i = 2; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral(", 1.300, 1.000, 0.850, 1.230")))
            << lines[i].toStdString();

    // Closing the main window closes the port.
    Form1->close();
    EXPECT_FALSE(Form1->VaComm1->Active());
    EXPECT_FALSE(ComPortForm->ComPortLED->Checked());
    EXPECT_FALSE(Form1->Online_LED1->Checked());
}

TEST(EndToEnd, ClosingTheMainWindowWhileLoggingLeavesEveryRecordInTheFile) {
    WindowsRig rig;
    rig.StartEmulator(ConstantController(0.9, 0.9, 0.9, 0.9, 200));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WindowsRig::MetersShow({0.9f, 0.9f, 0.9f, 0.9f}));
    QTemporaryDir dir;
    AnswerSaveDialog(dir.filePath(QStringLiteral("closing.csv")));
    QTest::mouseClick(Form1->LogStartButton, Qt::LeftButton);
    ASSERT_TRUE(Form1->Link().State.LogActive);
    WaitUntil([] { return false; }, 500);
    Form1->close();
    EXPECT_FALSE(Form1->VaComm1->Active());
    const QStringList lines = FileLines(dir.filePath(QStringLiteral("closing.csv")));
    ASSERT_GE(lines.size(), 4);
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
    WaitUntil([] { return false; }, 350);
    EXPECT_FALSE(Form1->Config1->isEnabled());
}
