// The port component on real pseudo-terminals: open and its errors, line settings on
// the device, reading, writing, purges, close, and the line and modem operations.
#include "SerialTestSupport.h"
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 150; // outside the numbered ranges, so only the alias names it

class PortTest : public ::testing::Test {
protected:
    void SetUp() override { home.Alias(kPort, pty.SlavePath()); }

    // A port as the main window stores it, on the test's pseudo-terminal.
    std::unique_ptr<TVaComm> NewPort() {
        auto comm = std::make_unique<TVaComm>();
        comm->SetPortNum(kPort);
        comm->SetBaudrate(br19200);
        return comm;
    }

    // Sends one byte and returns once the write thread waits on its queue-empty report,
    // which it hands over for a handler and which only the main thread can run.
    void HoldWriteThreadOnItsReport(TVaComm& comm) {
        if (!comm.OnTxEmpty)
            comm.OnTxEmpty = [](QObject*) {};
        ASSERT_TRUE(comm.WriteChar('a'));
        EXPECT_EQ(pty.Read(1, 2s), "a");
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (TVaHandOver::Instance().PendingCount() == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_GT(TVaHandOver::Instance().PendingCount(), 0u);
    }

    termios FarTermios() const {
        termios t{};
        tcgetattr(pty.Master(), &t); // a master reports its slave's settings
        return t;
    }

    TempConfigHome home;
    PtyPair pty;
};

TEST_F(PortTest, OpenMakesTheLineRaw19200EightNoneOneAndWatchesRxCharAndErrors) {
    // Cooked settings left by an earlier user of the device.
    termios before = FarTermios();
    before.c_iflag |= IXON | ICRNL;
    before.c_lflag |= ICANON | ECHO;
    tcsetattr(pty.Master(), TCSANOW, &before);

    auto comm = NewPort();
    comm->Open();
    EXPECT_TRUE(comm->Active());
    EXPECT_EQ(comm->EventMask(), 0x81u);
    const termios t = FarTermios();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST_F(PortTest, EveryByteValuePassesBothWays) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    auto comm = NewPort();
    std::string received;
    comm->OnRxChar = [&](QObject*, std::uint32_t) { received += comm->ReadText(); };
    comm->Open();
    pty.Write(all);
    EXPECT_TRUE(RunEventsUntil([&] { return received.size() >= all.size(); }));
    EXPECT_EQ(received, all);
    EXPECT_TRUE(comm->WriteText(all));
    EXPECT_EQ(pty.Read(all.size(), 2s), all);
}

// A marker queued once the six have been reported sent follows them directly: nothing
// was repeated or lost before it.
TEST_F(PortTest, SixWriteCharsLeaveAsSixBytesInOrder) {
    auto comm = NewPort();
    bool empty = false;
    comm->OnTxEmpty = [&](QObject*) { empty = true; };
    comm->Open();
    const std::string frame = "\xC0\x04\x26\x15\x11\x13";
    for (char c : frame)
        EXPECT_TRUE(comm->WriteChar(static_cast<std::uint8_t>(c)));
    EXPECT_TRUE(RunEventsUntil([&] { return empty; }));
    EXPECT_TRUE(comm->WriteChar('!'));
    EXPECT_EQ(pty.Read(frame.size() + 1, 2s), frame + "!");
}

TEST_F(PortTest, LineSettersOnAnOpenPortApplyAtOnce) {
    auto comm = NewPort();
    comm->Open();
    comm->SetBaudrate(br9600);
    termios t = FarTermios();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    comm->SetStopbits(sb2); // a pseudo-terminal takes no parity or data bits, but stop bits
    t = FarTermios();
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));

    comm->SetUserBaudrate(250000);
    std::uint32_t input = 0;
    std::uint32_t output = 0;
    ASSERT_EQ(LineSpeeds(pty.Master(), input, output), 0);
    EXPECT_EQ(output, 250000u);
    EXPECT_EQ(input, 250000u);
}

// An earlier program left the line with an input speed of its own (CIBAUD): Open and a
// later change of speed set it along with the output speed.
TEST_F(PortTest, BothSpeedsAreSetWhateverInputSpeedWasLeftBefore) {
    constexpr int kInputSpeedShift = 16; // where the input speed sits in c_cflag
    struct Case {
        const char* name;
        std::function<void(TVaComm&)> change;
        std::uint32_t bps;
    };
    const Case cases[] = {
        {"Open", [](TVaComm&) {}, 19200},
        {"a standard speed", [](TVaComm& c) { c.SetBaudrate(br57600); }, 57600},
        {"a speed of its own", [](TVaComm& c) { c.SetUserBaudrate(250000); }, 250000},
    };
    for (const Case& c : cases) {
        termios split = FarTermios();
        cfsetospeed(&split, B9600);
        split.c_cflag = (split.c_cflag & ~tcflag_t(CIBAUD)) | (B2400 << kInputSpeedShift);
        ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &split), 0);
        std::uint32_t input = 0;
        std::uint32_t output = 0;
        ASSERT_EQ(LineSpeeds(pty.Master(), input, output), 0);
        ASSERT_EQ(input, 2400u) << "the line starts with a split speed";

        auto comm = NewPort();
        comm->Open();
        if (c.bps != 19200) {
            ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &split), 0);
            c.change(*comm);
        }
        ASSERT_EQ(LineSpeeds(pty.Master(), input, output), 0);
        EXPECT_EQ(output, c.bps) << c.name;
        EXPECT_EQ(input, c.bps) << c.name;
    }
}

TEST_F(PortTest, EventCharsRewriteTheRecordEvenUnchangedFlowControlOnlyWhenChanged) {
    auto comm = NewPort();
    comm->Open();
    const auto setFarIxon = [&] {
        termios t = FarTermios();
        t.c_iflag |= IXON;
        tcsetattr(pty.Master(), TCSANOW, &t);
    };
    setFarIxon();
    comm->FlowControl()->SetOutCtsFlow(false); // unchanged: nothing written
    EXPECT_NE(FarTermios().c_iflag & IXON, 0u);
    comm->EventChars()->SetXonChar(17); // unchanged, yet written again
    EXPECT_EQ(FarTermios().c_iflag & IXON, 0u);
}

TEST_F(PortTest, ARecordTheDeviceCannotTakeFailsWithTheDcbMessage) {
    auto comm = NewPort();
    comm->Open();
    EXPECT_EQ(ErrorOf([&] { comm->SetDatabits(db4); }), "Error writing dcb (22), Invalid argument");
    EXPECT_EQ(comm->Databits(), db4) << "the value stays stored";
    EXPECT_TRUE(comm->Active());
    comm->Close();

    const int threads = ThreadCount();
    EXPECT_EQ(ErrorOf([&] { comm->Open(); }), "Error writing dcb (22), Invalid argument");
    EXPECT_FALSE(comm->Active());
    EXPECT_EQ(ThreadCount(), threads);
    comm->SetDatabits(db8);
    comm->Open();
    EXPECT_TRUE(comm->Active());
}

TEST_F(PortTest, OpenFailuresGiveTheirExactTexts) {
    auto holder = NewPort();
    holder->Open();
    const std::string path = home.AliasPath(kPort);
    // TIOCEXCL turns away a second opener unless it is root; the lock turns away root.
    const int busy = geteuid() == 0 ? EWOULDBLOCK : EBUSY;

    auto second = NewPort();
    EXPECT_EQ(ErrorOf([&] { second->Open(); }), "Can't open specified device " + path + " (Error " +
                                                    std::to_string(busy) + ", " +
                                                    SystemErrorText(busy) + ")");
    EXPECT_FALSE(second->Active());

    second->SetPortNum(200);
    EXPECT_EQ(ErrorOf([&] { second->Open(); }),
              "Specified device not found (" + home.AliasPath(200) + ").");

    second->SetDeviceName("/dev/null");
    EXPECT_EQ(ErrorOf([&] { second->Open(); }),
              "Can't open specified device /dev/null (Error 25, Inappropriate ioctl for device)");
    EXPECT_FALSE(second->Active());

    EXPECT_EQ(ErrorOf([&] { holder->Open(); }), "Can't perform this operation while port is open");
    EXPECT_TRUE(holder->Active());
    EXPECT_TRUE(holder->WriteChar('k'));
    EXPECT_EQ(pty.Read(1, 2s), "k");
}

TEST_F(PortTest, APortLockedByAnotherProcessIsBusy) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string path = pty.SlavePath();
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    auto comm = NewPort();
    EXPECT_EQ(ErrorOf([&] { comm->Open(); }), "Can't open specified device " +
                                                  home.AliasPath(kPort) +
                                                  " (Error 11, Resource temporarily unavailable)");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    comm->Open();
    EXPECT_TRUE(comm->Active());
}

TEST_F(PortTest, AfterAFailedOpenNoThreadRunsAndALaterOpenWorks) {
    auto comm = NewPort();
    comm->SetPortNum(201);
    const int threads = ThreadCount();
    const int descriptors = OpenDescriptorCount();
    EXPECT_NE(ErrorOf([&] { comm->Open(); }), "(no error)");
    EXPECT_FALSE(comm->Active());
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    comm->SetPortNum(kPort);
    comm->Open();
    EXPECT_TRUE(comm->Active());
    EXPECT_EQ(ThreadCount(), threads + 2) << "an event thread and a write thread";
}

TEST_F(PortTest, PropertiesRefusedWhileOpenKeepOrStoreAsTheyShould) {
    auto comm = NewPort();
    comm->Open();
    const std::string refused = "Can't perform this operation while port is open";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"PortNum", [&] { comm->SetPortNum(7); }},
        {"DeviceName", [&] { comm->SetDeviceName("/dev/ttyUSB%d"); }},
        {"MonitorEvents", [&] { comm->SetMonitorEvents({ceRxChar}); }},
        {"DirectWrite", [&] { comm->SetDirectWrite(true); }},
        {"UpdateDCB", [&] { comm->SetUpdateDCB(false); }},
        {"Buffers", [&] { comm->SetBuffers(TVaBuffers{}); }},
        {"XonLimit", [&] { comm->Buffers()->SetXonLimit(10); }},
        {"ReadSize", [&] { comm->Buffers()->SetReadSize(100); }},
    };
    for (const auto& [name, set] : cases)
        EXPECT_EQ(ErrorOf(set), refused) << name;
    EXPECT_EQ(comm->PortNum(), kPort);
    EXPECT_EQ(comm->DeviceName(), "COM%d");
    EXPECT_FALSE(comm->DirectWrite());
    EXPECT_TRUE(comm->UpdateDCB());
    EXPECT_EQ(comm->Buffers()->ReadSize(), 100) << "stored for the next Open";
    EXPECT_NO_THROW(comm->Buffers()->SetReadTimeout(10));
    EXPECT_NO_THROW(comm->SetEventPriority(tpLower));

    comm->Close();
    comm->Open();
    EXPECT_EQ(comm->ReadBufFree(), 100);
}

TEST_F(PortTest, CloseFiresOnCloseOnceWithActiveFalseAndReturnsAfterThePause) {
    auto comm = NewPort();
    int closes = 0;
    bool activeInside = true;
    comm->OnClose = [&](QObject* sender) {
        ++closes;
        activeInside = static_cast<TVaComm*>(sender)->Active();
    };
    comm->Open();
    EXPECT_GE(MillisecondsOf([&] { comm->Close(); }), 300.0);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(activeInside);
    EXPECT_FALSE(comm->Active());
    EXPECT_LT(MillisecondsOf([&] { comm->Close(); }), 200.0);
    EXPECT_EQ(closes, 1);
}

TEST_F(PortTest, DestroyingAnOpenPortReleasesItWithoutOnClose) {
    int closes = 0;
    {
        auto comm = NewPort();
        comm->OnClose = [&](QObject*) { ++closes; };
        comm->Open();
    }
    EXPECT_EQ(closes, 0);
    auto again = NewPort();
    again->Open();
    EXPECT_TRUE(again->Active());
}

TEST_F(PortTest, ReadTextTakesWaitingBytesAndPurgeReadDiscardsThem) {
    auto comm = NewPort();
    comm->Open();
    pty.Write("hello");
    EXPECT_TRUE(RunEventsUntil([&] { return comm->ReadBufUsed() == 5; }));
    EXPECT_EQ(comm->ReadText(), "hello");
    EXPECT_EQ(comm->ReadText(), "");
    pty.Write("stale");
    EXPECT_TRUE(RunEventsUntil([&] { return comm->ReadBufUsed() == 5; }));
    comm->PurgeRead();
    EXPECT_EQ(comm->ReadBufUsed(), 0);
    EXPECT_EQ(comm->ReadText(), "");
    pty.Write("ab");
    std::uint8_t ch = 0;
    EXPECT_TRUE(RunEventsUntil([&] { return comm->ReadChar(ch); }));
    EXPECT_EQ(ch, 'a');
    char rest[4] = {};
    EXPECT_EQ(comm->ReadBuf(rest, 4), 1);
    EXPECT_EQ(rest[0], 'b');
}

TEST_F(PortTest, OnRxCharCountIsTheWaitingBytesAndNeverZero) {
    auto comm = NewPort();
    std::vector<std::uint32_t> counts;
    std::string received;
    comm->OnRxChar = [&](QObject*, std::uint32_t count) {
        counts.push_back(count);
        // Bytes still on their way through the pseudo-terminal may have joined since.
        EXPECT_LE(count, static_cast<std::uint32_t>(comm->ReadBufUsed()));
        received += comm->ReadText();
    };
    comm->Open();
    std::string sent;
    for (int i = 0; i < 50; ++i) {
        const std::string piece(1 + i % 7, static_cast<char>('a' + i % 26));
        pty.Write(piece);
        sent += piece;
        if (i % 5 == 0) {
            // Bytes taken early by another reader leave an event with nothing to report.
            RunEventsFor(1ms);
            received += comm->ReadText();
        }
    }
    EXPECT_TRUE(RunEventsUntil([&] { return received.size() >= sent.size(); }));
    RunEventsFor(50ms);
    EXPECT_EQ(received, sent);
    for (std::uint32_t c : counts)
        EXPECT_GT(c, 0u);
}

TEST_F(PortTest, UnreadBytesRaiseNoFurtherEventUntilTheNextByteArrives) {
    auto comm = NewPort();
    std::vector<std::uint32_t> counts;
    comm->OnRxChar = [&](QObject*, std::uint32_t count) { counts.push_back(count); };
    comm->Open();
    pty.Write("abc");
    EXPECT_TRUE(RunEventsUntil([&] { return !counts.empty() && counts.back() == 3; }));
    const std::size_t events = counts.size();
    RunEventsFor(200ms);
    EXPECT_EQ(counts.size(), events);
    pty.Write("d");
    EXPECT_TRUE(RunEventsUntil([&] { return counts.size() == events + 1; }));
    EXPECT_EQ(counts.back(), 4u);
    RunEventsFor(100ms);
    EXPECT_EQ(counts.size(), events + 1);
}

TEST_F(PortTest, ABurstDuringTheHandlerRaisesOneEventAfterItWithoutReentry) {
    auto comm = NewPort();
    std::vector<std::uint32_t> counts;
    int depth = 0;
    int maxDepth = 0;
    std::string received;
    comm->OnRxChar = [&](QObject*, std::uint32_t count) {
        maxDepth = std::max(maxDepth, ++depth);
        counts.push_back(count);
        received += comm->ReadText();
        if (counts.size() == 1) {
            pty.Write("XYZ");
            std::this_thread::sleep_for(50ms);
            QCoreApplication::processEvents(); // a nested loop must not re-enter
        }
        --depth;
    };
    comm->Open();
    pty.Write("a");
    EXPECT_TRUE(RunEventsUntil([&] { return received == "aXYZ"; }));
    EXPECT_EQ(maxDepth, 1);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[1], 3u);
}

// A handler that leaves its bytes while more arrive than the receive queue holds: the
// main thread stays idle (it must not spin on a port it cannot read), and once the
// handler reads again, every byte arrives once and in order.
TEST_F(PortTest, AFullReceiveQueueLeavesTheMainThreadIdleAndLosesNothing) {
    auto comm = NewPort();
    comm->Buffers()->SetReadSize(16);
    bool reading = false;
    std::string received;
    comm->OnRxChar = [&](QObject*, std::uint32_t) {
        if (reading)
            received += comm->ReadText();
    };
    comm->Open();
    std::string sent;
    for (int i = 0; i < 64; ++i)
        sent += static_cast<char>('0' + i % 43);
    pty.Write(sent);
    EXPECT_TRUE(RunEventsUntil([&] { return comm->ReadBufUsed() == 16; }));
    const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    const auto before = cpu();
    QEventLoop idle; // a real wait in the event loop, as the program's main loop waits
    QTimer::singleShot(300ms, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LT(cpu() - before, 100ms) << "the main thread kept waking for the full queue";
    reading = true;
    received += comm->ReadText();
    EXPECT_TRUE(RunEventsUntil([&] { return received.size() >= sent.size(); }));
    EXPECT_EQ(received, sent);
}

TEST_F(PortTest, ClosedPortWriteCharIsFalseAndReadTextEmpty) {
    auto comm = NewPort();
    comm->Open();
    comm->Close();
    EXPECT_FALSE(comm->WriteChar('x'));
    EXPECT_EQ(comm->ReadText(), "");
    EXPECT_EQ(pty.ReadUntilQuiet(50ms), "");
}

TEST_F(PortTest, BytesQueuedButNotSentAtCloseAreDropped) {
    auto comm = NewPort();
    comm->Open();
    HoldWriteThreadOnItsReport(*comm); // only Close runs the report now
    for (char c : std::string("bcdef"))
        ASSERT_TRUE(comm->WriteChar(static_cast<std::uint8_t>(c)));
    EXPECT_EQ(comm->WriteBufUsed(), 5);
    comm->Close();
    EXPECT_EQ(pty.ReadUntilQuiet(100ms), "");
}

// The write thread waits on its queue-empty report while the main thread, busy and not
// back in its event loop, queues more than the queue holds: the report is out of date
// then and must not keep the writer from making room.
TEST_F(PortTest, AWriterOutrunningAPendingQueueEmptyReportIsNotRefused) {
    auto comm = NewPort();
    comm->Open();
    HoldWriteThreadOnItsReport(*comm);
    std::string sent;
    for (int i = 0; i < comm->Buffers()->WriteSize() * 3 / 2; ++i)
        sent += static_cast<char>('A' + i % 26);
    std::string refused = "(no error)";
    for (std::size_t i = 0; i < sent.size() && refused == "(no error)"; ++i)
        refused = ErrorOf([&] { comm->WriteChar(static_cast<std::uint8_t>(sent[i])); });
    ASSERT_EQ(refused, "(no error)");
    EXPECT_EQ(pty.Read(sent.size(), 5s), sent);
}

// Byte by byte, several hundred a turn, many times round the queue, with the far end
// reading as it comes: every byte once and in order, and one queue-empty report after
// the last.
TEST_F(PortTest, RunsOfSingleBytesLongerThanTheQueueArriveWholeAndInOrder) {
    auto comm = NewPort();
    int empties = 0;
    comm->OnTxEmpty = [&](QObject*) { ++empties; };
    comm->Open();
    std::string sent;
    for (int i = 0; i < 20000; ++i)
        sent += static_cast<char>(i * 7 % 251);
    std::string received;
    std::thread reader([&] { received = pty.Read(sent.size(), 20s); });
    std::size_t at = 0;
    QTimer producer;
    QObject::connect(&producer, &QTimer::timeout, [&] {
        for (int n = 0; n < 700 && at < sent.size(); ++n, ++at)
            ASSERT_TRUE(comm->WriteChar(static_cast<std::uint8_t>(sent[at])));
    });
    producer.start(0);
    EXPECT_TRUE(RunEventsUntil([&] { return at == sent.size(); }, 20s));
    producer.stop();
    reader.join(); // the main thread runs no hand-over meanwhile
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "bytes lost, repeated or out of order";
    const int before = empties;
    RunEventsFor(200ms);
    EXPECT_EQ(empties, before + 1) << "one report after the last byte";
}

// Without a handler for it, an emptied queue costs no hand-over: the main thread, not
// running its event loop here, finds nothing queued for it.
TEST_F(PortTest, AnEmptiedQueueWithoutAHandlerHandsNothingOver) {
    auto comm = NewPort();
    comm->Open();
    ASSERT_TRUE(comm->WriteText("abcd"));
    EXPECT_EQ(pty.Read(4, 2s), "abcd");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(TVaHandOver::Instance().PendingCount(), 0u);
    bool reported = false;
    comm->OnTxEmpty = [&](QObject*) { reported = true; };
    ASSERT_TRUE(comm->WriteText("efgh"));
    EXPECT_EQ(pty.Read(4, 2s), "efgh");
    EXPECT_TRUE(RunEventsUntil([&] { return reported; }));
}

TEST_F(PortTest, AQueueThatStaysFullRaisesOutputBufferFull) {
    auto comm = NewPort();
    comm->Open();
    const std::string chunk(1024, 'q');
    std::string error = "(no error)";
    double lastCallMs = 0;
    for (int i = 0; i < 200 && error == "(no error)"; ++i)
        lastCallMs = MillisecondsOf([&] { error = ErrorOf([&] { comm->WriteText(chunk); }); });
    EXPECT_EQ(error, "Output buffer is full. Please check comm status.");
    EXPECT_GE(lastCallMs, 990.0) << "the queue was given WriteTimeout to make room";
    EXPECT_EQ(ErrorOf([&] { comm->WriteText(std::string(4096, 'x')); }),
              "Output buffer is full. Please check comm status.")
        << "more than WriteSize never fits";
}

TEST_F(PortTest, PurgeWriteEmptiesTheQueueAndNoLateCompletionTouchesIt) {
    auto comm = NewPort();
    comm->Open();
    // Fill the device until the write thread has to wait for room.
    const std::string chunk(512, 'A');
    std::size_t queued = 0;
    for (int i = 0; i < 400; ++i) {
        comm->WriteText(chunk);
        queued += chunk.size();
        RunEventsFor(2ms);
        if (comm->WriteBufUsed() > 0) {
            RunEventsFor(50ms);
            if (comm->WriteBufUsed() > 0)
                break;
        }
    }
    const int waiting = comm->WriteBufUsed();
    ASSERT_GT(waiting, 0) << "the device never filled up";
    const std::size_t accepted = queued - static_cast<std::size_t>(waiting);
    comm->PurgeWrite();
    EXPECT_EQ(comm->WriteBufUsed(), 0);
    ASSERT_TRUE(comm->WriteText("ZZZ"));
    const std::string far = pty.ReadUntilQuiet(300ms);
    ASSERT_GE(far.size(), 3u);
    EXPECT_EQ(far.substr(far.size() - 3), "ZZZ");
    EXPECT_EQ(far.find('Z'), far.size() - 3) << "nothing queued before the purge comes after";
    EXPECT_LE(far.size() - 3, accepted);
    EXPECT_TRUE(RunEventsUntil([&] { return comm->WriteBufUsed() == 0; }));
}

TEST_F(PortTest, PurgeWriteRightAfterWritingDropsTheQueueWithoutStalling) {
    auto comm = NewPort();
    comm->Open();
    HoldWriteThreadOnItsReport(*comm);
    comm->WriteText("bcdef");
    EXPECT_LT(MillisecondsOf([&] { comm->PurgeWrite(); }), 1000.0);
    EXPECT_EQ(comm->WriteBufUsed(), 0);
    RunEventsFor(50ms);
    EXPECT_EQ(pty.ReadUntilQuiet(100ms), "");
    comm->WriteText("g");
    EXPECT_EQ(pty.Read(1, 2s), "g");
}

// PurgeWrite from the queue-empty handler, which the write thread waits for, cannot be
// acknowledged and gives up after its wait: the bytes queued after it are sent, not
// dropped by a flush acknowledged later.
TEST_F(PortTest, APurgeWriteThatWasNeverAcknowledgedLeavesLaterBytesQueued) {
    auto comm = NewPort();
    bool purged = false;
    comm->OnTxEmpty = [&](QObject*) {
        if (purged)
            return;
        purged = true;
        comm->PurgeWrite();
        ASSERT_TRUE(comm->WriteText("after"));
    };
    comm->Open();
    ASSERT_TRUE(comm->WriteChar('a'));
    EXPECT_EQ(pty.Read(1, 5s), "a");
    EXPECT_TRUE(RunEventsUntil([&] { return purged; }));
    EXPECT_EQ(pty.Read(5, 5s), "after");
    comm->PurgeWrite();
    ASSERT_TRUE(comm->WriteText("later"));
    EXPECT_EQ(pty.Read(5, 5s), "later") << "a purge acknowledged in time still works";
}

// The far end starts reading only once the driver is full, so that from then on the
// driver takes writes only in part as room appears: every byte arrives once and in order.
TEST_F(PortTest, WritesTheDriverTakesInPartSendEveryByteOnce) {
    auto comm = NewPort();
    comm->Buffers()->SetWriteTimeout(60000); // the far end is slow on purpose
    comm->Open();
    std::string sent;
    for (int i = 0; i < 300000; ++i)
        sent += static_cast<char>((i * 131 + i / 251) % 256);
    std::atomic<bool> full = false;
    std::string received;
    std::thread reader([&] {
        while (!full)
            std::this_thread::yield();
        while (received.size() < sent.size()) {
            const std::string piece = pty.Read(1, 10s);
            if (piece.empty())
                return;
            received += piece;
        }
    });
    const auto driverFull = [&] {
        pollfd port{comm->Handle(), POLLOUT, 0};
        return ::poll(&port, 1, 0) == 0;
    };
    bool sawFull = false;
    std::string refused = "(no error)";
    for (std::size_t at = 0; at < sent.size() && refused == "(no error)"; at += 1000) {
        sawFull = sawFull || driverFull();
        full = full || sawFull;
        refused = ErrorOf([&] { comm->WriteText(sent.substr(at, 1000)); });
    }
    full = true;
    reader.join();
    EXPECT_EQ(refused, "(no error)");
    EXPECT_TRUE(sawFull) << "the driver never pushed back";
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "bytes lost, repeated or out of order";
}

TEST_F(PortTest, AnEmptiedQueueIsReportedOnceOnTheMainThread) {
    auto comm = NewPort();
    int empties = 0;
    comm->OnTxEmpty = [&](QObject*) {
        ++empties;
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    };
    comm->Open();
    comm->WriteText("frame");
    EXPECT_EQ(pty.Read(5, 2s), "frame");
    EXPECT_TRUE(RunEventsUntil([&] { return empties > 0; }));
    RunEventsFor(50ms);
    EXPECT_EQ(empties, 1);
}

TEST_F(PortTest, DirectWriteSendsAtOnceWithoutAWriteThread) {
    auto comm = NewPort();
    comm->SetDirectWrite(true);
    int empties = 0;
    comm->OnTxEmpty = [&](QObject*) { ++empties; };
    const int threads = ThreadCount();
    comm->Open();
    EXPECT_EQ(ThreadCount(), threads + 1);
    EXPECT_EQ(comm->EventMask(), 0x85u) << "the event thread reports transmit-empty";
    EXPECT_TRUE(comm->WriteText("direct"));
    EXPECT_EQ(pty.Read(6, 2s), "direct");
    EXPECT_TRUE(RunEventsUntil([&] { return empties > 0; }));
    RunEventsFor(100ms);
    EXPECT_EQ(empties, 1);
}

// The modem lines themselves are tested on a scripted line (VaCommEventTests).
TEST_F(PortTest, APseudoTerminalHasNoModemLinesAndXonStillHoldsOutput) {
    auto comm = NewPort();
    comm->Open();
    // No modem lines: they read as off, and setting them or a break is harmless.
    EXPECT_NO_THROW(comm->SetDTR(true));
    EXPECT_NO_THROW(comm->SetRTS(true));
    EXPECT_FALSE(comm->CTS());
    EXPECT_FALSE(comm->DSR());
    EXPECT_FALSE(comm->RING());
    EXPECT_FALSE(comm->RLSD());
    EXPECT_NO_THROW(comm->SetBreak(true));
    EXPECT_NO_THROW(comm->SetBreak(false));
    EXPECT_EQ(comm->UARTReadBufUsed(), 0);
    EXPECT_FALSE(comm->CTSHold());

    comm->SetXon(false); // as if XOFF had been received: output stops
    EXPECT_TRUE(comm->XOffHold());
    comm->WriteText("held");
    EXPECT_EQ(pty.ReadUntilQuiet(100ms), "");
    comm->SetXon(true);
    EXPECT_FALSE(comm->XOffHold());
    EXPECT_EQ(pty.Read(4, 2s), "held");

    comm->FlowControl()->SetControlDtr(dtrHandshake);
    EXPECT_EQ(ErrorOf([&] { comm->SetDTR(false); }),
              "DTR line updates not allowed when flowcontrol is set to Handshake.");
    comm->FlowControl()->SetControlRts(rtsToggle);
    EXPECT_EQ(ErrorOf([&] { comm->SetRTS(false); }),
              "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
}

// A pseudo-terminal has no modem lines: no RTS/CTS handshake or carrier among its
// capabilities; any speed, 5 to 8 data bits, every parity.
TEST_F(PortTest, APseudoTerminalsPropertiesAndResetDev) {
    auto comm = NewPort();
    comm->Open();
    const TVaCommProp prop = comm->Properties();
    EXPECT_EQ(prop.PacketLength, 64);
    EXPECT_EQ(prop.ServiceMask, 0x0001u);
    EXPECT_EQ(prop.ProvSubType, 0x0000u);
    EXPECT_EQ(prop.MaxBaud, 0x10000000u);
    EXPECT_EQ(prop.ProvCapabilities, 0x0038u);
    EXPECT_EQ(prop.SettableParams, 0x003Fu);
    EXPECT_EQ(prop.SettableBaud, 0x1007FFFFu);
    EXPECT_EQ(prop.SettableData, 0x000F);
    EXPECT_EQ(prop.SettableStopParity, 0x1F05);
    EXPECT_EQ(prop.CurrentRxQueue, 4096u);
    EXPECT_EQ(prop.CurrentTxQueue, 2048u);

    comm->SetXon(false); // output held, as if XOFF had been received
    ASSERT_TRUE(comm->WriteText("held"));
    comm->ResetDev();
    EXPECT_FALSE(comm->XOffHold());
    EXPECT_EQ(pty.Read(4, 2s), "held") << "output goes on";
}

// Bytes the driver still holds at Close are dropped with it, not read after the next
// Open (nor, for output, waited for by close on a stalled line).
TEST_F(PortTest, CloseDropsWhatTheDriverStillHolds) {
    auto comm = NewPort();
    comm->SetMonitorEvents({}); // no event thread takes the bytes in
    comm->Open();
    pty.Write("stale");
    EXPECT_TRUE(RunEventsUntil([&] { return comm->UARTReadBufUsed() == 5; }));
    comm->Close();
    comm->Open();
    pty.Write("fresh");
    EXPECT_TRUE(RunEventsUntil([&] { return comm->UARTReadBufUsed() == 5; }));
    EXPECT_EQ(comm->ReadText(), "fresh");
}

TEST_F(PortTest, UpdateDcbOffLeavesTheDriverSettingsAlone) {
    termios cooked = FarTermios();
    cooked.c_lflag |= ICANON;
    cfsetospeed(&cooked, B4800);
    tcsetattr(pty.Master(), TCSANOW, &cooked);
    auto comm = NewPort();
    comm->SetUpdateDCB(false);
    comm->Open();
    const termios t = FarTermios();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    EXPECT_NE(t.c_lflag & ICANON, 0u);
}

TEST_F(PortTest, AutoOpenOpensAtTheEndOfLoading) {
    auto comm = NewPort();
    comm->BeginLoading();
    comm->SetAutoOpen(true);
    EXPECT_FALSE(comm->Active());
    comm->Loaded();
    EXPECT_TRUE(comm->Active());
    EXPECT_FALSE(comm->Loading());
}

} // namespace
