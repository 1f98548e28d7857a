// The window format is the main window's log: its two header lines, then one line per
// record, no record while the controller warms up. The sheet format is for spreadsheets:
// a header row, then the date and time in one cell, the lambdas and the supply voltage,
// with ";" and the decimal comma under German settings, "," and the point elsewhere.
// The logger polls an emulated controller whose values step through edge cases of the
// value format on a frozen clock; its file, with each run of one line repeated taken as
// one, must read exactly as written out here.
#include "logger/UegoLog.h"
#include "tests/support/CLocale.h"
#include "tests/support/GermanNumbers.h"
#include "tests/support/LinkControls.h"
#include "tests/support/LogFiles.h"
#include "tests/support/WaitUntil.h"
#include "tools/ControllerEmulator.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int Port = 38;
constexpr TDateTime When = 46000.5; // 9 December 2025, noon
// The same, 120 ms later.
constexpr TDateTime WhenWithMs = 46000.5 + 0.120 / 86400;

struct Step {
    std::array<double, 4> lambda;
    bool warmingUp;
    int supplyRaw; // 200: 12.55 V, 255: 16.00 V, 191: 11.98 V
};

// Rounding to three significant digits, the largest value, zero, values that round up
// into the next decade, and a warm-up in between whose values must never show.
const Step Steps[] = {
    {{0.98765, 1.0234, 0.85, 1.0}, false, 200}, {{65.535, 0.0, 0.05, 10.56}, false, 255},
    {{1.5, 1.5, 1.5, 1.5}, true, 200},          {{0.001, 9.996, 1.357, 0.65}, false, 191},
    {{12.34, 2.0, 15.0, 0.999}, false, 200},
};

const char* const PointLines = "VORLANX Log V1.0  12/09/25\r\n"
                               "Time, CH1, CH2, CH3, CH4\r\n"
                               "12:00:00, 0.988, 1.020, 0.850, 1.000\r\n"
                               "12:00:00, 65.500, 0.000, 0.050, 10.600\r\n"
                               "12:00:00, 0.001, 10.000, 1.360, 0.650\r\n"
                               "12:00:00, 12.300, 2.000, 15.000, 0.999\r\n";

const char* const CommaLines = "VORLANX Log V1.0  12/09/25\r\n"
                               "Time, CH1, CH2, CH3, CH4\r\n"
                               "12:00:00, 0,988, 1,020, 0,850, 1,000\r\n"
                               "12:00:00, 65,500, 0,000, 0,050, 10,600\r\n"
                               "12:00:00, 0,001, 10,000, 1,360, 0,650\r\n"
                               "12:00:00, 12,300, 2,000, 15,000, 0,999\r\n";

// Three decimals as the controller sends them, not three significant digits.
const char* const SheetPointLines = "Time,CH1 lambda,CH2 lambda,CH3 lambda,CH4 lambda,Supply V\r\n"
                                    "12/09/2025 12:00:00.120,0.988,1.023,0.850,1.000,12.55\r\n"
                                    "12/09/2025 12:00:00.120,65.535,0.000,0.050,10.560,16.00\r\n"
                                    "12/09/2025 12:00:00.120,0.001,9.996,1.357,0.650,11.98\r\n"
                                    "12/09/2025 12:00:00.120,12.340,2.000,15.000,0.999,12.55\r\n";

const char* const SheetCommaLines = "Time;CH1 lambda;CH2 lambda;CH3 lambda;CH4 lambda;Supply V\r\n"
                                    "09.12.2025 12:00:00,120;0,988;1,023;0,850;1,000;12,55\r\n"
                                    "09.12.2025 12:00:00,120;65,535;0,000;0,050;10,560;16,00\r\n"
                                    "09.12.2025 12:00:00,120;0,001;9,996;1,357;0,650;11,98\r\n"
                                    "09.12.2025 12:00:00,120;12,340;2,000;15,000;0,999;12,55\r\n";

// The bytes with each run of one line repeated taken as one: the logger shows each frame
// as often as it polls while the values hold.
QByteArray Collapsed(const QByteArray& bytes) {
    QByteArray out;
    QByteArray previous;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line != previous && !line.isEmpty())
            out += line + '\n';
        previous = line;
    }
    return out;
}

// The controller answers nothing while its values change, so no frame carries half of them.
void Set(sim::ControllerEmulator& controller, const Step& step) {
    controller.SetFault(sim::Fault::Silent, true);
    for (int n = 1; n <= 4; ++n)
        controller.SetLambda(n, step.lambda[n - 1]);
    controller.SetStatus(step.warmingUp ? 1 : 0);
    controller.SetSupplyRaw(std::uint8_t(step.supplyRaw));
    controller.SetFault(sim::Fault::Silent, false);
}

void LogTheSteps(const char* expected, TLogFormat format = TLogFormat::Window,
                 TDateTime when = When) {
    QTemporaryDir dir;
    sim::EmulatorOptions controllerOptions = ConstantController(1, 1, 1, 1);
    controllerOptions.port = Port;
    sim::ControllerEmulator controller(controllerOptions);
    Set(controller, Steps[0]);
    controller.Start();

    TLogOptions options;
    options.Port = Port;
    options.Rate = 50;
    options.Out = dir.filePath("uego-log.csv");
    options.Quiet = true;
    options.Format = format;
    TUegoLog logger(options);
    logger.Now = [when] { return when; };
    QStringList said;
    logger.OnMessage = [&](const QString& line) { said << line; };
    int finished = -1;
    logger.OnFinished = [&](int status) { finished = status; };
    ASSERT_FALSE(logger.Start()) << said.join('\n').toStdString();

    for (const Step& step : Steps) {
        Set(controller, step);
        const int records = logger.RecordCount();
        const std::size_t polls = controller.LiveRequestCount();
        if (step.warmingUp) // answered several times, recorded never
            ASSERT_TRUE(WaitUntil([&] { return controller.LiveRequestCount() >= polls + 5; }));
        else
            ASSERT_TRUE(WaitUntil([&] { return logger.RecordCount() >= records + 3; }));
    }
    logger.Finish(ExitDone);
    ASSERT_TRUE(WaitUntil([&] { return finished >= 0; }));
    EXPECT_EQ(finished, ExitDone);
    EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();
    EXPECT_EQ(Collapsed(FileBytes(options.Out)).toStdString(), expected);
}

// The date and time as "12/09/25" and "12:00:00".
TEST(LoggerWindowFormat, LinesAreTheMainWindowsLogLines) {
    const CLocaleScope c;
    LogTheSteps(PointLines);
}

TEST(LoggerWindowFormat, LinesAreTheMainWindowsLogLinesWithADecimalComma) {
    const CLocaleScope c;
    WithGermanNumbers([] { LogTheSteps(CommaLines); });
}

TEST(LoggerSheetFormat, LinesForASpreadsheetWithTheDecimalPoint) {
    const CLocaleScope c;
    LogTheSteps(SheetPointLines, TLogFormat::Sheet, WhenWithMs);
}

TEST(LoggerSheetFormat, LinesForASpreadsheetWithTheDecimalComma) {
    const CLocaleScope c;
    WithGermanNumbersAndDates([] { LogTheSteps(SheetCommaLines, TLogFormat::Sheet, WhenWithMs); });
}

} // namespace
