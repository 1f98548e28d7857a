// The port component over the Win32 line under Windows (or Wine), against the controller
// emulator reached as COM port UEGO_TEST_COM: its threads, the hand-over to the main
// thread and its errors, as the program uses them. The hang-up test runs only with
// UEGO_TEST_HANGUP set: it prints "far end: stop" and waits for the emulator to go.
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

// Not a time limit on the component: only what keeps a broken port from hanging the run.
constexpr int NeverMs = 20000;

int ComNumber() {
    const char* number = std::getenv("UEGO_TEST_COM");
    return number && *number ? std::atoi(number) : 5;
}

template <class Done> bool RunEventsUntil(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < NeverMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

const std::string LiveRequest("\xC0\x04\x26\x15", 4);

TEST(Win32Comm, DevicePathIsTheComNumber) {
    TVaComm comm;
    comm.SetPortNum(7);
    EXPECT_EQ(comm.DevicePath(), "\\\\.\\COM7");
    comm.SetPortNum(12);
    EXPECT_EQ(comm.DevicePath(), "\\\\.\\COM12");
}

TEST(Win32Comm, MissingPortIsNotFound) {
    TVaComm comm;
    comm.SetPortNum(199);
    try {
        comm.Open();
        FAIL() << "opened a port that does not exist";
    } catch (const EVaCommError& e) {
        EXPECT_STREQ(e.what(), "Specified device not found (\\\\.\\COM199).");
    }
    EXPECT_FALSE(comm.Active());
}

TEST(Win32Comm, LiveRequestsAnsweredThroughOnRxChar) {
    TVaComm comm;
    comm.SetPortNum(ComNumber());
    comm.SetBaudrate(br19200);
    std::string received;
    int closes = 0;
    comm.OnRxChar = [&](QObject*, std::uint32_t) { received += comm.ReadText(); };
    comm.OnClose = [&](QObject*) { ++closes; };
    comm.Open();
    ASSERT_TRUE(comm.Active());
    for (int round = 0; round < 5; ++round) {
        received.clear();
        ASSERT_TRUE(comm.WriteText(LiveRequest));
        ASSERT_TRUE(RunEventsUntil([&] { return received.size() >= 17; })) << "round " << round;
        ASSERT_EQ(received.size(), 17u);
        EXPECT_EQ(static_cast<unsigned char>(received[0]), 0xC0);
        EXPECT_EQ(received[1], 17);
        EXPECT_EQ(received[2], 0x27);
    }
    comm.Close();
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(closes, 1);
}

TEST(Win32Comm, OpenTwiceIsRefused) {
    TVaComm comm;
    comm.SetPortNum(ComNumber());
    comm.Open();
    try {
        comm.Open();
        FAIL() << "opened twice";
    } catch (const EVaCommError& e) {
        EXPECT_STREQ(e.what(), "Can't perform this operation while port is open");
    }
    EXPECT_TRUE(comm.Active());
}

TEST(Win32Comm, FarEndStoppedClosesThePort) {
    if (!std::getenv("UEGO_TEST_HANGUP"))
        GTEST_SKIP() << "needs UEGO_TEST_HANGUP and someone to stop the emulator";
    TVaComm comm;
    comm.SetPortNum(ComNumber());
    int closes = 0;
    int hangUps = 0;
    comm.OnClose = [&](QObject*) { ++closes; };
    comm.OnHangUp = [&](QObject*) { ++hangUps; };
    comm.Open();
    std::cout << "far end: stop" << std::endl;
    // The port raises its error from the event loop, as it does in the program.
    std::string error;
    QElapsedTimer clock;
    clock.start();
    while (comm.Active() && clock.elapsed() < NeverMs) {
        try {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        } catch (const EVaCommError& e) {
            error = e.what();
        }
    }
    ASSERT_FALSE(comm.Active());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(hangUps, 1);
    EXPECT_EQ(error, "Device disconnected (\\\\.\\COM" + std::to_string(ComNumber()) + ").");
}

} // namespace
