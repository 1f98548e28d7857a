// The design format is the main window's log byte for byte: the main window's link and the
// logger, each on its own emulated controller, see the same frames and one clock; their files
// must agree once runs of one record repeated are taken as one.
#include "logger/UegoLog.h"
#include "tests/link/LinkRig.h"
#include "tests/support/GermanNumbers.h"
#include "tests/support/LogFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TLambdas = std::array<double, 4>;

// Edge cases of the value format: rounding to three significant digits, the largest value,
// zero, and values that round up into the next decade.
const TLambdas Steps[] = {
    {0.98765, 1.0234, 0.85, 1.0},
    {65.535, 0.0, 0.05, 10.5},
    {0.001, 9.9995, 1.35, 0.65},
    {0.9995, 99.5 / 10, 2.0, 15.0},
};

// The bytes with each run of one line repeated taken as one: the two sides poll at their
// own rates, so each shows a frame a different number of times.
QByteArray Collapsed(const QByteArray& bytes) {
    QByteArray out;
    QByteArray previous;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line != previous)
            out += line + '\n';
        previous = line;
    }
    return out;
}

void SetBoth(sim::ControllerEmulator& a, sim::ControllerEmulator& b, const TLambdas& lambda) {
    // Silent while the values change, so that no frame carries half of them.
    a.SetFault(sim::Fault::Silent, true);
    b.SetFault(sim::Fault::Silent, true);
    WaitUntil([] { return false; }, 80); // lets a reply already on its way arrive
    for (int n = 1; n <= 4; ++n) {
        a.SetLambda(n, lambda[n - 1]);
        b.SetLambda(n, lambda[n - 1]);
    }
    a.SetFault(sim::Fault::Silent, false);
    b.SetFault(sim::Fault::Silent, false);
}

void CompareWithTheMainWindow() {
    constexpr TDateTime When = 46000.5;
    QTemporaryDir dir;
    LinkRig main;
    main.link->Now = [] { return When; };
    const TLambdas& first = Steps[0];
    sim::ControllerEmulator& mainController =
        main.StartEmulator(ConstantController(first[0], first[1], first[2], first[3]));
    sim::EmulatorOptions loggerOptions = ConstantController(first[0], first[1], first[2], first[3]);
    loggerOptions.port = LinkRig::Port + 1;
    sim::ControllerEmulator loggerController(loggerOptions);
    loggerController.Start();

    TLogOptions options;
    options.Port = LinkRig::Port + 1;
    options.Rate = 50;
    options.Out = dir.filePath("uego-log.csv");
    options.Quiet = true;
    TUegoLog logger(options);
    logger.Now = [] { return When; };
    QStringList said;
    logger.OnMessage = [&](const QString& line) { said << line; };
    int finished = -1;
    logger.OnFinished = [&](int status) { finished = status; };
    ASSERT_TRUE(logger.Start()) << said.join('\n').toStdString();
    main.link->LogStart(dir.filePath("main.csv"));

    for (const TLambdas& step : Steps) {
        SetBoth(mainController, loggerController, step);
        const int before = logger.RecordCount();
        main.link->Timer2Timer(nullptr);
        for (int tick = 0; tick < 3; ++tick) {
            ASSERT_TRUE(WaitUntil([&] { return main.link->State.RxIndex >= 18; }));
            main.link->Timer2Timer(nullptr);
        }
        ASSERT_TRUE(WaitUntil([&] { return logger.RecordCount() >= before + 3; }));
    }
    main.link->LogStop();
    logger.Finish(0);
    ASSERT_TRUE(WaitUntil([&] { return finished >= 0; }));
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();

    const QByteArray expected = Collapsed(FileBytes(dir.filePath("main.csv")));
    EXPECT_EQ(Collapsed(FileBytes(options.Out)), expected);
    EXPECT_EQ(expected.count("\r\n"), 2 + std::size(Steps)) << expected.toStdString();
}

TEST(LoggerDesignFormat, RecordsAreTheMainWindowsByteForByte) {
    CompareWithTheMainWindow();
}

TEST(LoggerDesignFormat, RecordsAreTheMainWindowsByteForByteWithADecimalComma) {
    WithGermanNumbers(CompareWithTheMainWindow);
}

} // namespace
