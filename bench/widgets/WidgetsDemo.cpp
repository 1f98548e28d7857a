// Shows the main window's instruments at their places, with live-looking values.
//   widgets-demo                     animated, until the window is closed
//   widgets-demo --screenshot PATH   fixed values, saves the window as PNG and exits
#include "tests/widgets/MainWindowInstruments.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <array>
#include <cmath>

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
    ConfigureLamp(Online_LED1, "LAMBDA DATA ONLINE");
    LED2 = new TAbLED(&Window);
    LED2->move(624, 330);
    ConfigureLamp(LED2, "SENSOR WARMUP");
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
    parser.process(app);
    TDemoForm form;
    if (parser.isSet(screenshot))
        return Screenshot(form, parser.value(screenshot));
    return Animate(form);
}
