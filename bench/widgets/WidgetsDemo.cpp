// Shows the main window's instruments at their places, with live-looking values.
//   widgets-demo                     animated, until the window is closed
//   widgets-demo --screenshot PATH   fixed values, saves the window as PNG and exits
//   widgets-demo --states DIR        a fixed series of states (new extremes, overflow, alarm
//                                    flash, a changed range), saved as DIR/state-N.png
#include "tests/widgets/MainInstruments.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <array>
#include <cmath>
#include <functional>

namespace {

struct TDemoForm {
    QWidget Window;
    std::array<TAb270Meter*, 4> Meter{};
    std::array<TAbValueInd*, 4> ValueInd{};
    TAbValueInd* VoltsInd1 = nullptr;
    TAbLED* Online_LED1 = nullptr;
    TAbLED* LED2 = nullptr;
    TAbLED* DiskLED = nullptr;

    TDemoForm();
    void Show(const std::array<float, 4>& lambda, float volts);
};

TDemoForm::TDemoForm() {
    Window.setWindowTitle("VORLANX UEGO INTERFACE");
    Window.setFixedSize(894, 534);
    Window.setAutoFillBackground(true);
    Window.setPalette(QPalette(ColorToQColor(clBtnFace)));
    QFont font("MS Sans Serif");
    font.setPixelSize(11);
    font.setBold(true);
    Window.setFont(font);
    const QPoint meterAt[4] = {{17, 9}, {296, 8}, {16, 256}, {296, 256}};
    const QPoint readoutAt[4] = {{582, 8}, {736, 8}, {584, 96}, {738, 96}};
    for (int i = 0; i < 4; ++i) {
        Meter[i] = new TAb270Meter(&Window);
        Meter[i]->move(meterAt[i]);
        ConfigureMeter(Meter[i], i + 1);
        ValueInd[i] = new TAbValueInd(&Window);
        ValueInd[i]->move(readoutAt[i]);
        ConfigureChannelReadout(ValueInd[i], i + 1);
    }
    VoltsInd1 = new TAbValueInd(&Window);
    VoltsInd1->move(621, 182);
    ConfigureVolts(VoltsInd1);
    DiskLED = new TAbLED(&Window);
    DiskLED->move(761, 174);
    ConfigureDisk(DiskLED);
    Online_LED1 = new TAbLED(&Window);
    Online_LED1->move(624, 304);
    ConfigureOnlineLamp(Online_LED1);
    LED2 = new TAbLED(&Window);
    LED2->move(624, 330);
    ConfigureWarmupLamp(LED2);
}

void TDemoForm::Show(const std::array<float, 4>& lambda, float volts) {
    for (int i = 0; i < 4; ++i) {
        Meter[i]->SetValue(lambda[i]);
        ValueInd[i]->SetValue(Meter[i]->Value());
    }
    VoltsInd1->SetValue(volts);
    Online_LED1->SetChecked(true);
}

int Screenshot(TDemoForm& form, const QString& path) {
    form.Window.show();
    form.Show({0.982f, 1.047f, 0.85f, -92.9f}, 12.34f);
    form.DiskLED->SetChecked(true);
    QApplication::processEvents();
    return form.Window.grab().save(path) ? 0 : 1;
}

int Save(TDemoForm& form, const QString& path) {
    QApplication::processEvents();
    return form.Window.grab().save(path) ? 0 : 1;
}

// Channel 4's dial with everything the main window leaves off: sector ring, min/max marks,
// inner bevel, second name.
void ShowAllParts(TAb270Meter* meter) {
    meter->SignalSettings()->SetName2("ALL PARTS");
    TSectorSettings* sectors = meter->SectorSettings();
    sectors->SetSector1Color(clYellow);
    sectors->SetSector1To(333);
    sectors->SetSector1From(0);
    sectors->SetSector2To(666);
    sectors->SetSector2From(334);
    sectors->SetSector3Color(clRed);
    sectors->SetSector3To(1000);
    sectors->SetSector3From(667);
    meter->MinMax()->SetUseSectorCol(true);
    meter->MinMax()->SetMinVisible(true);
    meter->MinMax()->SetMaxVisible(true);
    meter->SetOptions({opBevelOuter, opBevelInner, opName1, opName2, opSector});
}

// Each step after the first changes what the value model reports (min/max marks, overflow
// and limit state, sectors, the range) so that each is drawn once.
int States(TDemoForm& form, const QString& dir) {
    form.Window.show();
    const std::function<void()> steps[] = {
        [&] {
            form.Show({0.982f, 1.047f, 0.85f, -92.9f}, 12.34f);
        },
        [&] {
            ShowAllParts(form.Meter[3]);
            form.Show({1.21f, 0.7f, 1.0f, 1.0f}, 13.9f);
        },
        [&] {
            form.Show({1.1f, 0.9f, 1.0f, 0.8f}, 13.9f);
            form.Show({1.1f, 0.9f, 1.0f, 1.2f}, 13.9f);
            form.Show({1.1f, 0.9f, 1.0f, 1.05f}, 13.9f);
        },
        [&] {
            form.Show({2.4f, 0.3f, 1.35f, 2.4f}, 9.5f);
            form.LED2->SetChecked(true);
        },
        [&] {
            form.Show({2.4f, 0.3f, 1.35f, 0.75f}, 9.5f);
            form.Meter[3]->ResetMinMax();
        },
        [&] {
            form.Meter[2]->SignalSettings()->SetValueTo(2.65f);
            form.Meter[3]->SignalSettings()->SetValueFrom(0.5f);
            form.ValueInd[3]->SignalSettings()->SetValueFormat("#0.00");
            form.Show({1.0f, 1.1f, 2.0f, 0.9f}, 14.1f);
            form.Online_LED1->SetChecked(false);
        },
    };
    int n = 0;
    for (const auto& step : steps) {
        step();
        if (Save(form, QString("%1/state-%2.png").arg(dir).arg(++n)) != 0)
            return 1;
    }
    return 0;
}

int Animate(TDemoForm& form) {
    form.Window.show();
    QTimer timer;
    int tick = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++tick;
        std::array<float, 4> lambda;
        for (int i = 0; i < 4; ++i)
            lambda[i] = float(std::round(1000 * (1.0 + 0.25 * std::sin(tick / 20.0 + i))) / 1000);
        form.Show(lambda, float(std::round(10 * (13.8 + 0.3 * std::sin(tick / 50.0))) / 10));
        form.LED2->SetChecked(tick % 100 < 20);
    });
    timer.start(100);
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot("screenshot", "Save the window to PATH and exit.", "PATH");
    parser.addOption(screenshot);
    const QCommandLineOption states("states", "Save a series of states to DIR and exit.", "DIR");
    parser.addOption(states);
    parser.process(app);
    TDemoForm form;
    if (parser.isSet(screenshot))
        return Screenshot(form, parser.value(screenshot));
    if (parser.isSet(states))
        return States(form, parser.value(states));
    return Animate(form);
}
