// The Win32 line layer and the wait beside it, run under Windows (or Wine) against the
// controller emulator reached as a COM port: UEGO_TEST_COM names its number (Wine's
// dosdevices/comN links to the emulator's pseudo-terminal). The far-end test runs only
// when UEGO_TEST_HANGUP is set: it prints "far end: stop" and waits for whoever runs it
// to stop the emulator.
#include "serial/ComPortPaths.h"
#include "serial/VaLine.h"
#include "serial/VaObjects.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// A wait that should end at once; its limit only keeps a broken line from hanging the run.
constexpr std::uint32_t NeverMs = 20000;

std::string ComPath() {
    const char* number = std::getenv("UEGO_TEST_COM");
    return va::ComNameToDevicePath(std::string("COM") + (number && *number ? number : "5"));
}

bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

TVaDCB Line19200() {
    TVaDCB dcb;
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Flags = dcb_Binary;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

const std::vector<std::uint8_t> LiveRequest = {0xC0, 0x04, 0x26, 0x15};

// Waits for the line and reads until count bytes came, or the line hung up.
std::vector<std::uint8_t> ReadFrame(TVaLine& line, std::size_t count, bool& hungUp) {
    std::vector<std::uint8_t> bytes;
    TVaWaitEvent stop;
    hungUp = false;
    while (bytes.size() < count && !hungUp) {
        TVaLineWait wait{line, TVaLineReady::Input};
        if (WaitForMultiple({&stop}, NeverMs, &wait) != 1)
            break;
        hungUp = wait.HungUp;
        std::uint8_t chunk[64];
        const TVaIoResult read = line.Read(chunk, sizeof chunk);
        if (read.Status() == TVaIoStatus::HungUp)
            hungUp = true;
        bytes.insert(bytes.end(), chunk, chunk + read.Count);
    }
    return bytes;
}

class Win32LineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(line.Open(ComPath()), 0) << ComPath();
        ASSERT_EQ(line.ApplySettings(Line19200()), 0);
    }
    TVaWin32Line line;
};

TEST(Win32Paths, PortNumberIsTheComNumber) {
    EXPECT_EQ(va::ComNameToDevicePath("COM5"), "\\\\.\\COM5");
    EXPECT_EQ(va::ComNameToDevicePath("COM12"), "\\\\.\\COM12");
}

TEST(Win32Errors, Classification) {
    struct Case {
        int code;
        bool hangUp;
        bool nothingToReport;
    };
    const Case cases[] = {
        {21, true, true},    {5, true, true},     {22, true, true},  {995, true, true},
        {1167, true, true},  {1617, true, true},  {433, true, true}, {1, false, true},
        {50, false, true},   {87, false, true},   {31, false, true}, {2, false, false},
        {997, false, false}, {121, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsHangUpError(c.code), c.hangUp) << c.code;
        EXPECT_EQ(NothingToReport(c.code), c.nothingToReport) << c.code;
    }
    EXPECT_EQ((TVaIoResult{0, 997}.Status()), TVaIoStatus::Waiting);
    EXPECT_EQ((TVaIoResult{0, 21}.Status()), TVaIoStatus::HungUp);
    EXPECT_EQ((TVaIoResult{0, 87}.Status()), TVaIoStatus::Failed);
    EXPECT_EQ((TVaIoResult{3, 0}.Status()), TVaIoStatus::Done);
}

TEST(Win32Errors, SystemTextWithoutTrailingFullStop) {
    const std::string text = SystemErrorText(2);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.find("ile"), std::string::npos) << text; // "File not found" under Wine
}

TEST(Win32Open, MissingPortIsNotFound) {
    TVaWin32Line line;
    EXPECT_EQ(line.Open(va::ComNameToDevicePath("COM199")), 2);
    EXPECT_EQ(line.Handle(), -1);
}

// Wine opens a COM device for a second program as it opens any Unix device: without
// sharing it refuses only on Windows itself (error 5, access denied).
TEST_F(Win32LineTest, HeldExclusively) {
    EXPECT_GE(line.Handle(), 0);
    EXPECT_EQ(line.PollDescriptor(), -1);
    TVaWin32Line second;
    if (!UnderWine()) {
        EXPECT_EQ(second.Open(ComPath()), 5);
        EXPECT_EQ(second.Handle(), -1);
    }
    line.Close();
    EXPECT_EQ(line.Handle(), -1);
    EXPECT_EQ(second.Open(ComPath()), 0) << "free again once closed";
}

TEST_F(Win32LineTest, LiveRequestAnsweredThroughTheWait) {
    for (int round = 0; round < 5; ++round) {
        const TVaIoResult written = line.Write(LiveRequest.data(), LiveRequest.size());
        ASSERT_EQ(written.Status(), TVaIoStatus::Done);
        ASSERT_EQ(written.Count, LiveRequest.size());
        bool hungUp = false;
        const std::vector<std::uint8_t> frame = ReadFrame(line, 17, hungUp);
        ASSERT_FALSE(hungUp);
        ASSERT_EQ(frame.size(), 17u) << "round " << round;
        EXPECT_EQ(frame[0], 0xC0);
        EXPECT_EQ(frame[1], 17);
        EXPECT_EQ(frame[2], 0x27) << "the live data answer";
        unsigned sum = 0;
        for (std::uint8_t b : frame)
            sum += b;
        EXPECT_EQ(sum & 0xFF, 0xFFu) << "ones' complement checksum";
    }
}

// Bytes already waiting make the wait end at once, as poll() does for a level.
TEST_F(Win32LineTest, BytesWaitingEndTheWaitAtOnce) {
    ASSERT_EQ(line.Write(LiveRequest.data(), LiveRequest.size()).Status(), TVaIoStatus::Done);
    int waiting = 0;
    for (int i = 0; i < 200 && waiting < 17; ++i) {
        TVaLineWait wait{line, TVaLineReady::Input};
        ASSERT_EQ(WaitForMultiple({}, NeverMs, &wait), 0);
        ASSERT_EQ(line.InQueue(waiting), 0);
        if (waiting < 17)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(waiting, 17);
    for (int i = 0; i < 3; ++i) {
        TVaLineWait wait{line, TVaLineReady::Input};
        EXPECT_EQ(WaitForMultiple({}, NeverMs, &wait), 0);
        EXPECT_FALSE(wait.HungUp);
    }
    ASSERT_EQ(line.Flush(TCIFLUSH), 0);
    ASSERT_EQ(line.InQueue(waiting), 0);
    EXPECT_EQ(waiting, 0);
    std::uint8_t byte = 0;
    const TVaIoResult read = line.Read(&byte, 1);
    EXPECT_EQ(read.Status(), TVaIoStatus::Done);
    EXPECT_EQ(read.Count, 0u) << "a read returns at once with nothing";
}

TEST_F(Win32LineTest, WakeUpEndsAnIdleWait) {
    TVaWaitEvent stop;
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        stop.SetEvent();
    });
    TVaLineWait wait{line, TVaLineReady::Input};
    const int woken = WaitForMultiple({nullptr, &stop}, INFINITE, &wait);
    waker.join();
    EXPECT_EQ(woken, 1);
    EXPECT_FALSE(wait.HungUp);
    EXPECT_EQ(stop.WaitFor(0), wrSignaled);
    stop.ResetEvent();
    EXPECT_EQ(stop.WaitFor(0), wrTimeout);
    EXPECT_EQ(WaitForMultiple({&stop}, 30), wmTimeout);
}

TEST_F(Win32LineTest, OutputReadyWhenNoWriteIsUnderWay) {
    TVaLineWait wait{line, TVaLineReady::Output};
    EXPECT_EQ(WaitForMultiple({}, NeverMs, &wait), 0);
    EXPECT_FALSE(wait.HungUp);
    int sending = -1;
    EXPECT_EQ(line.OutQueue(sending), 0);
    EXPECT_GE(sending, 0);
}

TEST_F(Win32LineTest, PseudoTerminalHasNoModemLinesToReport) {
    TVaLineCounts counts;
    EXPECT_EQ(line.Counts(counts), 0) << "the error counters are kept by the line";
    int lines = 0;
    if (const int error = line.ModemLines(lines)) {
        EXPECT_TRUE(NothingToReport(error)) << error;
    }
    if (const int error = line.SetModemLines(TIOCM_DTR, false)) {
        EXPECT_TRUE(NothingToReport(error)) << error;
    }
    std::uint32_t flags = 0xFF;
    EXPECT_EQ(line.HoldFlags(flags), 0);
    EXPECT_EQ(flags, 0u);
}

TEST_F(Win32LineTest, FarEndStoppedIsAHangUp) {
    if (!std::getenv("UEGO_TEST_HANGUP"))
        GTEST_SKIP() << "needs UEGO_TEST_HANGUP and someone to stop the emulator";
    std::cout << "far end: stop" << std::endl;
    TVaWaitEvent stop;
    bool hungUp = false;
    for (int i = 0; i < 100 && !hungUp; ++i) {
        TVaLineWait wait{line, TVaLineReady::Input};
        WaitForMultiple({&stop}, NeverMs, &wait);
        std::uint8_t byte = 0;
        hungUp = wait.HungUp || line.Read(&byte, 1).Status() == TVaIoStatus::HungUp;
    }
    EXPECT_TRUE(hungUp);
    int waiting = 0;
    EXPECT_TRUE(IsHangUpError(line.InQueue(waiting)));
}

} // namespace
