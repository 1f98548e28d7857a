// The component's event rules against a scripted line that has what a pseudo-terminal
// lacks (modem lines, UART counters, driver queue counts, hold flags): each event is
// raised once, on the main thread, received bytes first, then line errors, then the rest
// in a fixed order; the status and the line and modem operations reach the line; purges,
// Close from a handler, and hang-ups.
#include "ScriptedLine.h"
#include "SerialTestSupport.h"
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

const TVaCommEvents AllEvents{ceBreak,   ceCts,    ceDsr,  ceError,    ceRing,   ceRlsd,  ceRxChar,
                              ceTxEmpty, ceRxFlag, cePErr, ceRx80Full, ceEvent1, ceEvent2};

// A port on a scripted line that records every event it raises, in order.
struct ScriptedPort {
    ScriptedPort()
        : script(std::make_shared<LineScript>()),
          comm(nullptr, std::make_unique<ScriptedLine>(script)) {
        comm.SetBaudrate(br19200);
        comm.SetMonitorEvents(AllEvents);
        const std::pair<const char*, std::function<void(QObject*)>*> named[] = {
            {"RxFlag", &comm.OnRxFlag}, {"Cts", &comm.OnCts},
            {"Dsr", &comm.OnDsr},       {"Ring", &comm.OnRing},
            {"Rlsd", &comm.OnRlsd},     {"TxEmpty", &comm.OnTxEmpty},
            {"Break", &comm.OnBreak},   {"Rx80Full", &comm.OnRx80Full},
            {"Close", &comm.OnClose},   {"HangUp", &comm.OnHangUp}};
        for (const auto& [boundName, event] : named) {
            const char* name = boundName; // clang 14 cannot capture a structured binding
            *event = [this, name](QObject* sender) { Record(sender, name); };
        }
        comm.OnRxChar = [this](QObject* sender, std::uint32_t count) {
            Record(sender, "RxChar " + std::to_string(count));
            if (readOnRxChar)
                comm.ReadText(); // as the link does
        };
        comm.OnError = [this](QObject* sender, std::uint32_t flags) {
            Record(sender, "Error " + std::to_string(flags));
        };
    }

    void Record(QObject* sender, std::string what) {
        EXPECT_EQ(sender, &comm) << what;
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread()) << what;
        events.push_back(std::move(what));
    }

    // The events once count of them have come and a while has passed for repeats.
    std::vector<std::string> Settled(std::size_t count) {
        RunEventsCollecting(errors, [&] { return events.size() >= count; });
        RunEventsCollecting(
            errors, [] { return false; }, 200ms);
        return events;
    }

    std::shared_ptr<LineScript> script;
    TVaComm comm;
    std::vector<std::string> events;
    std::vector<std::string> errors;
    bool readOnRxChar = true;
};

using Events = std::vector<std::string>;

TEST(ScriptedLineEvents, EveryEventOfOneBatchOnceBytesFirstThenErrorsThenTheRest) {
    ScriptedPort port;
    port.readOnRxChar = false; // the receive queue stays above 80 %
    port.comm.SetDirectWrite(true);
    port.comm.Buffers()->SetReadSize(100);
    port.comm.EventChars()->SetEventChar('!');
    port.comm.Open();

    port.script->Change([](LineScript& s) { s.SetOutQueue(3); });
    ASSERT_TRUE(port.comm.WriteText("abc"));
    EXPECT_EQ(port.script->Receive(3, 2s), "abc");
    RunEventsFor(100ms);
    EXPECT_EQ(port.events, Events{}) << "the driver still holds the bytes";

    const std::string bytes = std::string(40, 'x') + "!" + std::string(44, 'y');
    port.script->Send(bytes, [](LineScript& s) {
        s.SetInput(TIOCM_CTS, true);
        s.SetInput(TIOCM_DSR, true);
        s.Ring();
        s.SetInput(TIOCM_CAR, true);
        s.Break();
        s.Count(&TVaLineCounts::Frame);
        s.SetOutQueue(0);
    });
    const Events expected{"RxChar 85", "Error " + std::to_string(CE_FRAME | CE_BREAK),
                          "RxFlag",    "Cts",
                          "Dsr",       "Ring",
                          "Rlsd",      "TxEmpty",
                          "Break",     "Rx80Full"};
    EXPECT_EQ(port.Settled(expected.size()), expected);
}

TEST(ScriptedLineEvents, EachChangeAloneRaisesItsEventOnce) {
    struct Case {
        const char* name;
        std::function<void(LineScript&)> change;
        Events expected;
    };
    const Case cases[] = {
        {"CTS on", [](LineScript& s) { s.SetInput(TIOCM_CTS, true); }, {"Cts"}},
        {"DSR on", [](LineScript& s) { s.SetInput(TIOCM_DSR, true); }, {"Dsr"}},
        {"a ring", [](LineScript& s) { s.Ring(); }, {"Ring"}},
        {"carrier on", [](LineScript& s) { s.SetInput(TIOCM_CAR, true); }, {"Rlsd"}},
        {"a break", [](LineScript& s) { s.Break(); }, {"Break"}},
        {"a parity error",
         [](LineScript& s) { s.Count(&TVaLineCounts::Parity); },
         {"Error " + std::to_string(CE_RXPARITY)}},
        {"an overrun",
         [](LineScript& s) { s.Count(&TVaLineCounts::Overrun); },
         {"Error " + std::to_string(CE_OVERRUN)}},
        {"a buffer overrun",
         [](LineScript& s) { s.Count(&TVaLineCounts::BufOverrun); },
         {"Error " + std::to_string(CE_RXOVER)}},
    };
    for (const Case& c : cases) {
        ScriptedPort port;
        port.comm.Open();
        port.script->Change(c.change);
        EXPECT_EQ(port.Settled(c.expected.size()), c.expected) << c.name;
    }
}

// Taking the bytes (ReadText, as every receive handler does) must not use up the error
// that came with them.
TEST(ScriptedLineEvents, LineErrorsThatComeWithBytesReachOnError) {
    const std::pair<int TVaLineCounts::*, std::uint32_t> cases[] = {
        {&TVaLineCounts::Frame, CE_FRAME},
        {&TVaLineCounts::Parity, CE_RXPARITY},
        {&TVaLineCounts::Overrun, CE_OVERRUN}};
    for (const auto& [counter, flag] : cases) {
        ScriptedPort port;
        port.comm.SetMonitorEvents({ceRxChar, ceError});
        port.comm.Open();
        const auto count = counter; // clang 14 cannot capture a structured binding
        port.script->Send("abc", [count](LineScript& s) { s.Count(count); });
        EXPECT_EQ(port.Settled(2), (Events{"RxChar 3", "Error " + std::to_string(flag)})) << flag;
    }
}

TEST(ScriptedLineEvents, WithoutCountersModemLinesAreWatchedByTheirState) {
    ScriptedPort port;
    port.script->SetHasCounts(false);
    port.comm.Open();
    port.script->Change([](LineScript& s) { s.SetInput(TIOCM_CTS, true); });
    EXPECT_EQ(port.Settled(1), Events{"Cts"});
    port.events.clear();
    port.script->Change([](LineScript& s) { s.SetInput(TIOCM_RNG, true); });
    EXPECT_EQ(port.Settled(0), Events{}) << "a ring counts when it ends";
    port.script->Change([](LineScript& s) {
        s.SetInput(TIOCM_RNG, false);
        s.SetInput(TIOCM_DSR, true);
        s.SetInput(TIOCM_CAR, true);
    });
    EXPECT_EQ(port.Settled(3), (Events{"Dsr", "Ring", "Rlsd"}));
}

TEST(ScriptedLineEvents, QueueEmptyIsReportedWhenTheDriverHasSentTheLastByte) {
    ScriptedPort port;
    port.comm.SetMonitorEvents({ceRxChar, ceError}); // the write thread reports it
    port.comm.Open();
    port.script->Change([](LineScript& s) { s.SetOutQueue(5); });
    ASSERT_TRUE(port.comm.WriteText("hello"));
    EXPECT_EQ(port.script->Receive(5, 2s), "hello");
    EXPECT_EQ(port.Settled(0), Events{}) << "the driver still holds the bytes";
    port.script->Change([](LineScript& s) { s.SetOutQueue(0); });
    EXPECT_EQ(port.Settled(1), Events{"TxEmpty"});
}

// A write that fails at once is reported by the write thread as a line error. When that
// comes while a receive handler runs a nested event loop, OnError waits for the handler.
TEST(ScriptedLineEvents, AFailedWritesErrorWaitsForTheReceiveHandlersNestedLoop) {
    ScriptedPort port;
    port.comm.SetMonitorEvents({ceRxChar}); // line errors come only through the write thread
    bool inRxChar = false;
    port.comm.OnError = [&](QObject* sender, std::uint32_t errors) {
        port.Record(sender,
                    (inRxChar ? "Error inside RxChar " : "Error ") + std::to_string(errors));
    };
    port.comm.OnRxChar = [&](QObject* sender, std::uint32_t count) {
        inRxChar = true;
        port.Record(sender, "RxChar " + std::to_string(count) + " " + port.comm.ReadText());
        port.script->SetWriteError(EPERM);
        port.script->Change([](LineScript& s) { s.Count(&TVaLineCounts::Frame); });
        ASSERT_TRUE(port.comm.WriteChar('w'));
        auto& handOver = TVaHandOver::Instance();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (handOver.PendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        while (handOver.PendingCount() > 0) // as a message box would run it
            QCoreApplication::processEvents();
        inRxChar = false;
    };
    port.comm.Open();
    port.script->Send("r");
    EXPECT_EQ(port.Settled(2), (Events{"RxChar 1 r", "Error " + std::to_string(CE_FRAME)}));
    port.script->SetWriteError(0);
}

TEST(ScriptedLineStatus, QueueCountsAndHoldFlagsLeaveTheErrorsForTheStatusQuery) {
    ScriptedPort port;
    port.comm.SetMonitorEvents({ceRxChar}); // errors wait for the status query
    EXPECT_EQ(port.comm.UARTReadBufUsed(), 0) << "closed";
    EXPECT_FALSE(port.comm.CTSHold()) << "closed";
    port.comm.Open();
    port.script->Change([](LineScript& s) {
        s.SetInQueue(7);
        s.SetOutQueue(9);
        s.Count(&TVaLineCounts::Frame);
    });
    EXPECT_EQ(port.comm.UARTReadBufUsed(), 7);
    EXPECT_EQ(port.comm.UARTWriteBufUsed(), 9);

    const std::pair<std::uint32_t, std::function<bool()>> holds[] = {
        {HOLD_CTS, [&] { return port.comm.CTSHold(); }},
        {HOLD_DSR, [&] { return port.comm.DSRHold(); }},
        {HOLD_RLSD, [&] { return port.comm.RLSDHold(); }},
        {HOLD_XOFF, [&] { return port.comm.XOffHold(); }},
        {XOFF_SENT, [&] { return port.comm.XOffSent(); }}};
    for (const auto& [set, _] : holds) {
        const std::uint32_t flags = set; // clang 14 cannot capture a structured binding
        port.script->Change([flags](LineScript& s) { s.SetHoldFlags(flags); });
        for (const auto& [flag, read] : holds)
            EXPECT_EQ(read(), flag == set) << set << " read as " << flag;
    }
    EXPECT_EQ(port.comm.ReadBufUsed(), 0);

    const TVaCommStatus status = port.comm.GetCommStatus();
    EXPECT_EQ(status.Errors, CE_FRAME);
    EXPECT_EQ(status.Flags, XOFF_SENT);
    EXPECT_EQ(status.OutQue, 9u);
    EXPECT_EQ(port.comm.GetCommStatus().Errors, 0u) << "the query clears the errors";
}

TEST(ScriptedLineOperations, ModemLinesBreakAndXoffReachTheLine) {
    ScriptedPort port;
    port.comm.Open();
    EXPECT_EQ(port.script->Lines() & (TIOCM_DTR | TIOCM_RTS), 0) << "held off as stored";
    port.comm.SetDTR(true);
    port.comm.SetRTS(true);
    EXPECT_EQ(port.script->Lines() & (TIOCM_DTR | TIOCM_RTS), TIOCM_DTR | TIOCM_RTS);
    port.comm.SetDTR(false);
    EXPECT_EQ(port.script->Lines() & (TIOCM_DTR | TIOCM_RTS), TIOCM_RTS);

    port.script->Change([](LineScript& s) {
        s.SetInput(TIOCM_CTS, true);
        s.SetInput(TIOCM_CAR, true);
    });
    EXPECT_TRUE(port.comm.CTS());
    EXPECT_FALSE(port.comm.DSR());
    EXPECT_FALSE(port.comm.RING());
    EXPECT_TRUE(port.comm.RLSD());

    port.comm.SetBreak(true);
    EXPECT_TRUE(port.script->BreakOn());
    port.comm.SetBreak(false);
    EXPECT_FALSE(port.script->BreakOn());
    port.comm.SetXon(false);
    EXPECT_TRUE(port.comm.XOffHold());
    port.comm.SetXon(true);
    EXPECT_FALSE(port.comm.XOffHold());

    port.script->SetModemError(EPERM);
    EXPECT_EQ(ErrorOf([&] { port.comm.CTS(); }),
              "Error reading modem state (1), Operation not permitted");
    port.script->SetControlError(EPERM);
    EXPECT_EQ(ErrorOf([&] { port.comm.SetDTR(true); }),
              "Error calling comm function (1), Operation not permitted");
    EXPECT_EQ(ErrorOf([&] { port.comm.SetBreak(true); }),
              "Error calling comm function (1), Operation not permitted");
}

TEST(ScriptedLineOperations, PropertiesAndResetDevReachTheLineOnlyWhileOpen) {
    ScriptedPort port;
    EXPECT_EQ(ErrorOf([&] { port.comm.Properties(); }),
              "Can't perform this operation while port is closed");
    port.comm.ResetDev();
    EXPECT_EQ(port.script->Resets(), 0) << "closed: nothing happens";

    port.comm.Buffers()->SetReadSize(1000);
    port.comm.Buffers()->SetWriteSize(300);
    port.comm.Open();
    const TVaCommProp prop = port.comm.Properties();
    EXPECT_EQ(prop.PacketLength, 64);
    EXPECT_EQ(prop.ServiceMask, 0x0001u);
    EXPECT_EQ(prop.ProvSubType, 0x0001u);
    EXPECT_EQ(prop.MaxBaud, 0x00020000u);
    EXPECT_EQ(prop.CurrentRxQueue, 1000u);
    EXPECT_EQ(prop.CurrentTxQueue, 300u);

    port.comm.SetBreak(true);
    port.comm.SetXon(false);
    port.comm.ResetDev();
    EXPECT_EQ(port.script->Resets(), 1);
    EXPECT_FALSE(port.script->BreakOn());
    EXPECT_FALSE(port.comm.XOffHold());

    port.script->SetPropertiesError(EPERM);
    EXPECT_EQ(ErrorOf([&] { port.comm.Properties(); }),
              "Error reading port properties (1), Operation not permitted");
    port.script->SetControlError(EPERM);
    EXPECT_EQ(ErrorOf([&] { port.comm.ResetDev(); }),
              "Error calling comm function (1), Operation not permitted");
    EXPECT_EQ(port.script->Resets(), 1);
}

TEST(ScriptedLineOperations, DtrEnabledIsRaisedAtOpenAndTheRecordIsApplied) {
    ScriptedPort port;
    port.comm.FlowControl()->SetControlDtr(dtrEnabled);
    port.comm.Open();
    EXPECT_EQ(port.script->Lines() & (TIOCM_DTR | TIOCM_RTS), TIOCM_DTR);
    EXPECT_EQ(port.script->Applied().BaudRate, 19200u);
    EXPECT_EQ(port.script->Applied().Flags, 0x0011u);
}

TEST(ScriptedLineOperations, EachPurgeFlushesTheDriverOnce) {
    const std::pair<const char*, std::function<void(TVaComm&)>> purges[] = {
        {"read", [](TVaComm& c) { c.PurgeRead(); }},
        {"write", [](TVaComm& c) { c.PurgeWrite(); }},
        {"both", [](TVaComm& c) { c.PurgeReadWrite(); }}};
    const std::vector<int> flushed[] = {{TCIFLUSH}, {TCOFLUSH}, {TCIOFLUSH}};
    for (std::size_t i = 0; i < std::size(purges); ++i) {
        ScriptedPort port;
        port.readOnRxChar = false;
        port.comm.Open();
        port.script->Send("abc");
        ASSERT_TRUE(RunEventsUntil([&] { return port.comm.ReadBufUsed() == 3; }));
        purges[i].second(port.comm);
        EXPECT_EQ(port.script->Flushes(), flushed[i]) << purges[i].first;
        EXPECT_EQ(port.comm.ReadBufUsed(), i == 1 ? 3 : 0) << purges[i].first;
        EXPECT_EQ(port.comm.WriteBufUsed(), 0) << purges[i].first;
    }
}

// The thread that handed the event over waits for its handler, so Close there could
// never stop it; it is refused and the port stays as it was.
TEST(ScriptedLineOperations, CloseFromAHandedOverHandlerIsRefused) {
    struct Case {
        const char* name;
        std::function<void(QObject*)> TVaComm::*event;
        std::function<void(ScriptedPort&)> cause;
    };
    const Case cases[] = {
        {"OnCts", &TVaComm::OnCts,
         [](ScriptedPort& p) {
             p.script->Change([](LineScript& s) { s.SetInput(TIOCM_CTS, true); });
         }},
        {"OnTxEmpty", &TVaComm::OnTxEmpty, [](ScriptedPort& p) { p.comm.WriteChar('x'); }},
        {"OnRxFlag", &TVaComm::OnRxFlag, [](ScriptedPort& p) { p.script->Send("\n"); }},
    };
    for (const Case& c : cases) {
        ScriptedPort port;
        port.comm.EventChars()->SetEventChar('\n');
        std::string refused;
        bool activeAfter = false;
        port.comm.*c.event = [&](QObject*) {
            refused = ErrorOf([&] { port.comm.Close(); });
            activeAfter = port.comm.Active();
        };
        port.comm.Open();
        c.cause(port);
        EXPECT_TRUE(RunEventsUntil([&] { return !refused.empty(); })) << c.name;
        EXPECT_EQ(refused, sCloseInHandler) << c.name;
        EXPECT_TRUE(activeAfter) << c.name;
        port.comm.*c.event = nullptr;
        port.comm.Close();
        EXPECT_FALSE(port.comm.Active()) << c.name;
    }
}

TEST(ScriptedLineHangUp, ThePortClosesItselfRaisesOnCloseThenOnHangUpAndOneError) {
    ScriptedPort port;
    port.comm.Open();
    const std::string path = port.comm.DevicePath();
    port.script->HangUp();
    EXPECT_EQ(port.Settled(2), (Events{"Close", "HangUp"}));
    EXPECT_EQ(port.errors, std::vector<std::string>{"Device disconnected (" + path + ")."});
    EXPECT_FALSE(port.comm.Active());
    EXPECT_FALSE(port.comm.WriteChar('x'));

    port.events.clear();
    port.comm.Open();
    port.script->Send("again");
    EXPECT_EQ(port.Settled(1), Events{"RxChar 5"});
    EXPECT_EQ(port.script->Opens(), 2);
}

// A hang-up seen while a handler runs a nested event loop waits for the handler.
TEST(ScriptedLineHangUp, AHangUpDuringAHandlerClosesThePortAfterIt) {
    ScriptedPort port;
    bool activeThroughout = true;
    port.comm.OnRxChar = [&](QObject*, std::uint32_t) {
        port.script->HangUp();
        port.comm.WriteChar('x'); // the write thread finds the line gone
        RunEventsFor(200ms);
        activeThroughout = port.comm.Active();
        port.events.push_back("RxChar");
    };
    port.comm.Open();
    port.script->Send("x");
    EXPECT_EQ(port.Settled(3), (Events{"RxChar", "Close", "HangUp"}));
    EXPECT_TRUE(activeThroughout);
    EXPECT_EQ(port.errors.size(), 1u);
    EXPECT_FALSE(port.comm.Active());
}

} // namespace
