// Handlers and the port's threads on a real pseudo-terminal: bytes that an operation takes
// from the driver still raise OnRxChar, the write thread's reports never run inside a
// receive handler, and without the hand-over Close waits for a worker's handler.
#include "SerialTestSupport.h"
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 153;

// Waits, without running the event loop, until done() holds or a while has passed.
bool WaitAwake(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override { home.Alias(kPort, pty.SlavePath()); }

    std::unique_ptr<TVaComm> NewPort() {
        auto comm = std::make_unique<TVaComm>();
        comm->SetPortNum(kPort);
        comm->SetBaudrate(br19200);
        return comm;
    }

    TempConfigHome home;
    PtyPair pty;
};

// A handler that the event thread handed over (OnRxFlag) takes bytes into the receive
// queue through one of the status or read operations, while the event thread waits for
// it and nothing else looks at the driver. Those bytes arrived after the last OnRxChar:
// one must follow, counting what is left of them.
TEST_F(HandlerTest, BytesThatAnOperationTookFromTheDriverStillRaiseOnRxChar) {
    struct Case {
        const char* name;
        std::string late;
        std::function<void(TVaComm&)> take;
        std::string left;
    };
    const Case cases[] = {
        {"ReadBufUsed", "B", [](TVaComm& c) { EXPECT_EQ(c.ReadBufUsed(), 1); }, "B"},
        {"GetCommStatus", "B", [](TVaComm& c) { EXPECT_EQ(c.GetCommStatus().InQue, 1u); }, "B"},
        {"ReadBuf", "BC",
         [](TVaComm& c) {
             std::uint8_t b = 0;
             EXPECT_EQ(c.ReadBuf(&b, 1), 1);
             EXPECT_EQ(b, 'B');
         },
         "C"},
    };
    for (const Case& c : cases) {
        auto comm = NewPort();
        comm->SetMonitorEvents({ceRxChar, ceRxFlag});
        comm->EventChars()->SetEventChar('!');
        std::vector<std::string> events;
        comm->OnRxChar = [&](QObject*, std::uint32_t count) {
            events.push_back("RxChar " + std::to_string(count) + " " + comm->ReadText());
        };
        comm->OnRxFlag = [&](QObject*) {
            events.push_back("RxFlag");
            pty.Write(c.late);
            ASSERT_TRUE(WaitAwake(
                [&] { return comm->UARTReadBufUsed() == static_cast<int>(c.late.size()); }));
            c.take(*comm);
        };
        comm->Open();
        pty.Write("!");
        EXPECT_TRUE(RunEventsUntil([&] { return events.size() >= 3; })) << c.name;
        const std::vector<std::string> expected{"RxChar 1 !", "RxFlag", "RxChar 1 " + c.left};
        EXPECT_EQ(events, expected) << c.name;
    }
}

// The write thread's queue-empty report comes while a receive handler runs a nested
// event loop: it waits for the handler to return.
TEST_F(HandlerTest, AWriteThreadReportWaitsForTheReceiveHandlersNestedLoop) {
    auto comm = NewPort();
    std::vector<std::string> events;
    bool inRxChar = false;
    comm->OnTxEmpty = [&](QObject*) {
        events.push_back(inRxChar ? "TxEmpty inside RxChar" : "TxEmpty");
    };
    comm->OnRxChar = [&](QObject*, std::uint32_t) {
        inRxChar = true;
        events.push_back("RxChar " + comm->ReadText());
        ASSERT_TRUE(comm->WriteChar('w'));
        EXPECT_EQ(pty.Read(1, 5s), "w");
        auto& handOver = TVaHandOver::Instance();
        EXPECT_TRUE(WaitAwake([&] { return handOver.PendingCount() > 0; }));
        while (handOver.PendingCount() > 0) // as a message box would run it
            QCoreApplication::processEvents();
        inRxChar = false;
    };
    comm->Open();
    pty.Write("r");
    EXPECT_TRUE(RunEventsUntil([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"RxChar r", "TxEmpty"}));
}

// Without the hand-over the handlers run on the port's threads. Close on the main thread
// stops the threads while one of them is inside a handler, and waits for it; Close from
// inside such a handler could never end and is refused.
TEST_F(HandlerTest, WithoutHandOverCloseWaitsForAWorkersHandlerAndIsRefusedInside) {
    ThreadCount();
    auto comm = NewPort();
    comm->SetSyncThreads(false);
    // Relaxed, so that a thread sanitizer sees no order between the handler's reads and
    // Close other than what the port itself provides.
    std::atomic<bool> inHandler = false;
    std::atomic<bool> writeThreadEnded = false;
    std::string refusedInside;
    comm->OnRxChar = [&](QObject*, std::uint32_t) {
        comm->ReadText();
        refusedInside = ErrorOf([&] { comm->Close(); });
        const int threads = ThreadCount();
        inHandler.store(true, std::memory_order_relaxed);
        // Close stops both threads before it waits for either: the write thread ends
        // while this one is still inside its handler, which can still read.
        writeThreadEnded = WaitAwake([&] { return ThreadCount() < threads; });
        comm->ReadText();
    };
    int closes = 0;
    comm->OnClose = [&](QObject*) { ++closes; };
    comm->Open();
    pty.Write("x");
    ASSERT_TRUE(WaitAwake([&] { return inHandler.load(std::memory_order_relaxed); }));
    EXPECT_EQ(ErrorOf([&] { comm->Close(); }), "(no error)");
    EXPECT_TRUE(writeThreadEnded);
    EXPECT_FALSE(comm->Active());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(refusedInside, sCloseInHandler);
}

} // namespace
