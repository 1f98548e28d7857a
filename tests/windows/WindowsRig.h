#pragma once
// The program's windows as start-up creates them, with the controller emulator offered as
// a port number, driven the way an operator drives them.
#include "serial/VaComm.h"
#include "tests/support/BoxWatcher.h"
#include "tests/support/LinkControls.h"
#include "tools/ControllerEmulator.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"
#include "windows/Forms.h"
#include "windows/SpinEdit.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

struct WindowsRig {
    static constexpr int Port = 7;

    WindowsRig() {
        CreateForms();
        Form1->show();
    }
    ~WindowsRig() {
        Form1->close();
        DestroyForms();
    }

    sim::ControllerEmulator& StartEmulator(sim::EmulatorOptions options) {
        options.port = Port;
        emulator = std::make_unique<sim::ControllerEmulator>(options);
        emulator->Start();
        return *emulator;
    }

    // Types the number into the port window's field and presses "Open Port".
    static void OpenPortThroughWindow(int number) { TypeAndOpen(QString::number(number)); }

    // As an operator: the port window shown and active, a click into the field, its text
    // replaced by typing, then a click on "Open Port", which takes the focus from the field.
    static void TypeAndOpen(const QString& typed) {
        Form1->ComPortMenu->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(ComPortForm));
        TSpinEdit* edit = ComPortForm->ComPortEdit1;
        QLineEdit* field = edit->findChild<QLineEdit*>();
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_TRUE(edit->hasFocus());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
        QTest::mouseClick(ComPortForm->Button1, Qt::LeftButton);
        ASSERT_FALSE(edit->hasFocus());
    }

    static bool MetersShow(const std::array<float, 4>& values, int timeoutMs = 10000) {
        return WaitUntil(
            [&] {
                return Form1->Meter1->Value() == values[0] && Form1->Meter2->Value() == values[1] &&
                       Form1->Meter3->Value() == values[2] && Form1->Meter4->Value() == values[3];
            },
            timeoutMs);
    }

    std::unique_ptr<sim::ControllerEmulator> emulator;
};

// Saves a picture of the window into $UEGO_SCREENSHOT_DIR when that is set.
inline void SaveScreenshot(QWidget* window, const char* name) {
    const QByteArray dir = qgetenv("UEGO_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        window->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
}
