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

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
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
    static void OpenPortThroughWindow(int number) {
        Form1->ComPortMenu->trigger();
        QLineEdit* field = ComPortForm->ComPortEdit1->findChild<QLineEdit*>();
        field->selectAll();
        QTest::keyClicks(field, QString::number(number));
        QTest::mouseClick(ComPortForm->Button1, Qt::LeftButton);
    }

    static bool MetersShow(const std::array<float, 4>& values, int timeoutMs = 3000) {
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
