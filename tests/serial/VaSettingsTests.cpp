// The settings model, the line-settings record built from it, its termios translation,
// error texts and the device path; none of these needs a port.
#include "SerialTestSupport.h"
#include "serial/VaComm.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

// The main window's stored configuration of its port.
void ApplyStoredConfiguration(TVaComm& comm) {
    comm.SetPortNum(6);
    comm.SetBaudrate(br19200);
    TVaFlowControl flow;
    flow.SetControlDtr(dtrDisabled);
    flow.SetControlRts(rtsDisabled);
    comm.SetFlowControl(flow);
}

TEST(LineSettingsRecord, DefaultsGive1200Baud8N1AndBinaryModeOnly) {
    TVaComm comm;
    const TVaDCB dcb = comm.LineSettingsRecord();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 1200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.Flags, 0x0001u);
}

TEST(LineSettingsRecord, StoredConfiguration) {
    TVaComm comm;
    ApplyStoredConfiguration(comm);
    const TVaDCB dcb = comm.LineSettingsRecord();
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.Flags, 0x0001u);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    EXPECT_EQ(dcb.wReserved, 0);
    EXPECT_EQ(dcb.wReserved1, 0);
}

struct FlagCase {
    const char* name;
    std::function<void(TVaFlowControl&, TVaLineSettings&)> set;
    std::uint32_t flags;
};

TEST(LineSettingsRecord, FlagWordTable) {
    const FlagCase cases[] = {
        {"handshake example",
         [](TVaFlowControl& f, TVaLineSettings&) {
             f.SetControlDtr(dtrHandshake);
             f.SetControlRts(rtsToggle);
             f.SetXonXoffOut(true);
         },
         0x3121},
        {"all options",
         [](TVaFlowControl&, TVaLineSettings& l) {
             l.Options = {coErrorChar, coNullStrip, coParityCheck};
         },
         0x0C03},
        {"cts and dsr flow",
         [](TVaFlowControl& f, TVaLineSettings&) {
             f.SetOutCtsFlow(true);
             f.SetOutDsrFlow(true);
         },
         0x000D},
        {"dtr enabled, rts enabled",
         [](TVaFlowControl& f, TVaLineSettings&) {
             f.SetControlDtr(dtrEnabled);
             f.SetControlRts(rtsEnabled);
         },
         0x1011},
        {"rts handshake, dsr sensitivity, tx continue, xon/xoff in",
         [](TVaFlowControl& f, TVaLineSettings&) {
             f.SetControlRts(rtsHandshake);
             f.SetDsrSensitivity(true);
             f.SetTxContinueOnXoff(true);
             f.SetXonXoffIn(true);
         },
         0x22C1},
    };
    for (const FlagCase& c : cases) {
        TVaFlowControl flow;
        TVaLineSettings line;
        c.set(flow, line);
        const TVaDCB dcb = BuildDCB(line, flow, TVaEventChars{}, TVaBuffers{});
        EXPECT_EQ(dcb.Flags, c.flags) << c.name;
        EXPECT_EQ(dcb.Flags & 0x4000u, 0u) << c.name << ": abort-on-error is never set";
    }
}

TEST(LineSettingsRecord, UserBaudrateAndItsClearing) {
    TVaComm comm;
    comm.SetUserBaudrate(250000);
    EXPECT_EQ(comm.Baudrate(), brUser);
    EXPECT_EQ(comm.LineSettingsRecord().BaudRate, 250000u);
    comm.SetBaudrate(br9600);
    EXPECT_EQ(comm.UserBaudrate(), 0);
    EXPECT_EQ(comm.LineSettingsRecord().BaudRate, 9600u);
}

TEST(LineSettingsRecord, LimitsAreCutToSixteenBitsAndCharactersAreSeparate) {
    TVaComm comm;
    comm.Buffers()->SetXonLimit(70000);
    comm.EventChars()->SetEventChar(7);
    comm.EventChars()->SetEofChar(26);
    const TVaDCB dcb = comm.LineSettingsRecord();
    EXPECT_EQ(dcb.XonLim, 70000 & 0xFFFF);
    EXPECT_EQ(dcb.EofChar, 26);
    EXPECT_EQ(dcb.EvtChar, 7);
    EXPECT_EQ(comm.EventChars()->EofChar(), 26);
}

TEST(Enumerations, RecordValues) {
    const std::pair<TVaBaudrate, std::uint32_t> rates[] = {
        {br110, 110},       {br300, 300},       {br600, 600},       {br1200, 1200},
        {br2400, 2400},     {br4800, 4800},     {br9600, 9600},     {br14400, 14400},
        {br19200, 19200},   {br38400, 38400},   {br56000, 56000},   {br57600, 57600},
        {br115200, 115200}, {br128000, 128000}, {br256000, 256000}, {brUser, 31250}};
    for (auto [rate, bps] : rates)
        EXPECT_EQ(BaudrateValue(rate, 31250), bps) << int(rate);
    EXPECT_EQ(ParityValue(paSpace), 4);
    EXPECT_EQ(DatabitsValue(db4), 4);
    EXPECT_EQ(DatabitsValue(db7), 7);
    EXPECT_EQ(StopbitsValue(sb15), 1);
    EXPECT_EQ(StopbitsValue(sb2), 2);
    EXPECT_EQ(CommEventsValue({ceError, ceRxChar, ceTxEmpty}), 0x85u);
    EXPECT_EQ(CommEventsValue({ceBreak, ceCts, ceDsr, ceRing, ceRlsd, ceRxFlag, cePErr, ceRx80Full,
                               ceEvent1, ceEvent2}),
              0x1F7Au);
}

TEST(SettingsGroups, FlowControlNotifiesOnlyOnChange) {
    TVaFlowControl flow;
    int changes = 0;
    flow.OnChange = [&](TVaPersistent*) { ++changes; };
    flow.SetOutCtsFlow(false);
    EXPECT_EQ(changes, 0);
    flow.SetOutCtsFlow(true);
    EXPECT_EQ(changes, 1);
}

TEST(SettingsGroups, EventCharsNotifyOnEverySet) {
    TVaEventChars chars;
    int changes = 0;
    chars.OnChange = [&](TVaPersistent*) { ++changes; };
    chars.SetXonChar(chars.XonChar());
    chars.SetXonChar(chars.XonChar());
    EXPECT_EQ(changes, 2);
}

TEST(SettingsGroups, AssignNotifiesOnceAndTimeoutsNotifyNobody) {
    TVaBuffers buffers;
    int changes = 0;
    buffers.OnChange = [&](TVaPersistent*) { ++changes; };
    buffers.SetReadTimeout(5);
    buffers.SetWriteTimeout(5);
    EXPECT_EQ(changes, 0);
    TVaBuffers other;
    other.SetReadSize(100);
    other.SetWriteSize(200);
    other.SetXonLimit(3);
    buffers.Assign(other);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(buffers.ReadSize(), 100);
    EXPECT_EQ(buffers.WriteSize(), 200);
    EXPECT_EQ(buffers.ReadTimeout(), 1000);
}

TEST(SettingsGroups, UpdateBracketDefersAndEndUpdateNeverGoesBelowZero) {
    TVaFlowControl flow;
    int changes = 0;
    flow.OnChange = [&](TVaPersistent*) { ++changes; };
    flow.BeginUpdate();
    flow.SetXonXoffIn(true);
    flow.SetXonXoffOut(true);
    EXPECT_EQ(changes, 0);
    flow.EndUpdate();
    EXPECT_EQ(changes, 1);
    flow.EndUpdate();
    flow.SetXonXoffIn(false);
    EXPECT_EQ(changes, 3);
}

TEST(SettingsGroups, CopyTakesValuesButNotTheOwnersHandler) {
    TVaComm comm;
    comm.FlowControl()->SetXonXoffOut(true);
    TVaFlowControl copy = *comm.FlowControl();
    EXPECT_TRUE(copy.XonXoffOut());
    EXPECT_FALSE(copy.OnChange);
}

TEST(SettingsStore, HoldsAndCopiesItsValues) {
    TVaComm comm;
    EXPECT_EQ(comm.SettingsStore()->Location, slINIFile);
    EXPECT_EQ(comm.SettingsStore()->RegRoot, rrCURRENTUSER);
    TSettingsStore store;
    store.Key = "k";
    store.Section = "s";
    store.Location = slRegistry;
    store.RegRoot = rrLOCALMACHINE;
    comm.SetSettingsStore(store);
    EXPECT_EQ(comm.SettingsStore()->Key, "k");
    EXPECT_EQ(comm.SettingsStore()->Section, "s");
    EXPECT_EQ(comm.SettingsStore()->Location, slRegistry);
    EXPECT_EQ(comm.SettingsStore()->RegRoot, rrLOCALMACHINE);
}

// A cooked terminal with every flag the raw mode must clear.
termios CookedTerminal() {
    termios t{};
    t.c_iflag = IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                IXOFF | IXANY | IMAXBEL;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    return t;
}

TEST(TermiosTranslation, StoredConfigurationIsRaw19200EightNoneOne) {
    TVaComm comm;
    ApplyStoredConfiguration(comm);
    termios t = CookedTerminal();
    ASSERT_TRUE(DcbToTermios(comm.LineSettingsRecord(), t));
    EXPECT_EQ(t.c_iflag, tcflag_t(IGNBRK)) << "a break is counted, not read as a 0x00 byte";
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag, 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B19200));
}

TEST(TermiosTranslation, FramingAndHandshakeTable) {
    struct Case {
        const char* name;
        TVaParity parity;
        TVaDatabits databits;
        TVaStopbits stopbits;
        std::function<void(TVaFlowControl&)> flow;
        tcflag_t cflag;
        tcflag_t iflag;
    };
    const Case cases[] = {
        {"odd 7 2", paOdd, db7, sb2, [](TVaFlowControl&) {}, CS7 | PARENB | PARODD | CSTOPB, 0},
        {"even 6 1.5", paEven, db6, sb15, [](TVaFlowControl&) {}, CS6 | PARENB | CSTOPB, 0},
        {"mark 5", paMark, db5, sb1, [](TVaFlowControl&) {}, CS5 | PARENB | PARODD | CMSPAR, 0},
        {"space 8", paSpace, db8, sb1, [](TVaFlowControl&) {}, CS8 | PARENB | CMSPAR, 0},
        {"cts flow", paNone, db8, sb1, [](TVaFlowControl& f) { f.SetOutCtsFlow(true); },
         CS8 | CRTSCTS, 0},
        {"rts handshake", paNone, db8, sb1,
         [](TVaFlowControl& f) { f.SetControlRts(rtsHandshake); }, CS8 | CRTSCTS, 0},
        {"xon/xoff both ways", paNone, db8, sb1,
         [](TVaFlowControl& f) {
             f.SetXonXoffIn(true);
             f.SetXonXoffOut(true);
         },
         CS8, IXON | IXOFF},
    };
    const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    for (const Case& c : cases) {
        TVaLineSettings line;
        line.Parity = c.parity;
        line.Databits = c.databits;
        line.Stopbits = c.stopbits;
        TVaFlowControl flow;
        c.flow(flow);
        termios t = CookedTerminal();
        ASSERT_TRUE(DcbToTermios(BuildDCB(line, flow, {}, {}), t)) << c.name;
        EXPECT_EQ(t.c_cflag & framing, c.cflag) << c.name;
        EXPECT_EQ(t.c_iflag, c.iflag | IGNBRK) << c.name;
    }
}

TEST(TermiosTranslation, ParityCheckOptionChecksInput) {
    TVaLineSettings line;
    line.Parity = paEven;
    line.Options = {coParityCheck};
    termios t = CookedTerminal();
    ASSERT_TRUE(DcbToTermios(BuildDCB(line, {}, {}, {}), t));
    EXPECT_EQ(t.c_iflag, tcflag_t(INPCK | IGNBRK));
}

TEST(TermiosTranslation, RecordsLinuxCannotCarryAreRefused) {
    TVaLineSettings fourBits;
    fourBits.Databits = db4;
    termios t{};
    EXPECT_FALSE(DcbToTermios(BuildDCB(fourBits, {}, {}, {}), t));
    TVaLineSettings noSpeed;
    noSpeed.Baudrate = brUser;
    EXPECT_FALSE(DcbToTermios(BuildDCB(noSpeed, {}, {}, {}), t));
}

TEST(TermiosTranslation, SpeedsWithoutAConstantAreLeftForTheExactSetting) {
    EXPECT_EQ(StandardSpeed(19200), speed_t(B19200));
    EXPECT_EQ(StandardSpeed(115200), speed_t(B115200));
    EXPECT_EQ(StandardSpeed(14400), speed_t(B0));
    EXPECT_EQ(StandardSpeed(250000), speed_t(B0));
}

TEST(ErrorTexts, SystemTextLosesTrailingBlanksControlCharsAndFullStops) {
    EXPECT_EQ(SystemErrorText(EIO), "Input/output error");
    try {
        RaiseCommError(sErrorWritingDcb, EIO);
        FAIL() << "no error raised";
    } catch (const EVaCommError& e) {
        EXPECT_STREQ(e.what(), "Error writing dcb (5), Input/output error");
    }
    try {
        RaiseCommError(sErrorClearBuffers, EINVAL);
        FAIL() << "no error raised";
    } catch (const EVaCommError& e) {
        EXPECT_STREQ(e.what(), "Error clearing buffers (22), Invalid argument");
    }
}

TEST(ErrorTexts, DisconnectedNamesTheDevice) {
    EXPECT_STREQ(DisconnectedError("/dev/ttyUSB0").what(), "Device disconnected (/dev/ttyUSB0).");
}

TEST(ErrorTexts, OpenFailuresNameThePath) {
    try {
        RaiseOpenError("/dev/ttyS5", ENOENT);
        FAIL() << "no error raised";
    } catch (const EVaCommError& e) {
        EXPECT_STREQ(e.what(), "Specified device not found (/dev/ttyS5).");
    }
    try {
        RaiseOpenError("/dev/ttyS5", EACCES);
        FAIL() << "no error raised";
    } catch (const EVaCommError& e) {
        EXPECT_STREQ(e.what(),
                     "Can't open specified device /dev/ttyS5 (Error 13, Permission denied)");
    }
}

TEST(DevicePath, PatternFilledWithThePortNumberThenMapped) {
    TempConfigHome home;
    home.Alias(7, "/dev/null");
    TVaComm comm;
    const std::pair<std::string, TVaPortInt> cases[] = {
        {"/dev/ttyS5", 6},      {"/dev/ttyUSB2", 35},       {"/dev/ttyACM0", 65},
        {home.AliasPath(7), 7}, {home.AliasPath(200), 200}, {home.AliasPath(0), 0}};
    for (const auto& [path, port] : cases) {
        comm.SetPortNum(port);
        EXPECT_EQ(comm.DevicePath(), path) << port;
    }
}

TEST(DevicePath, OnlyOneIntegerPlaceholderIsUnderstood) {
    TVaComm comm;
    comm.SetPortNum(3);
    const std::pair<std::string, std::string> cases[] = {{"/dev/ttyUSB%d", "/dev/ttyUSB3"},
                                                         {"/tmp/%s%d%d", "/tmp/%s3%d"},
                                                         {"/tmp/100%%-%d", "/tmp/100%-3"},
                                                         {"/tmp/end%", "/tmp/end%"}};
    for (const auto& [pattern, path] : cases) {
        comm.SetDeviceName(pattern);
        EXPECT_EQ(comm.DevicePath(), path) << pattern;
    }
}

TEST(ClosedPort, SettersOnlyStoreAndOperationsDoNothing) {
    TVaComm comm;
    comm.SetPortNum(9);
    comm.SetDeviceName("COM%d");
    comm.SetMonitorEvents({ceRxChar});
    comm.SetDirectWrite(true);
    comm.SetUpdateDCB(false);
    comm.Buffers()->SetReadSize(128);
    comm.SetBuffers(TVaBuffers{});
    comm.EventChars()->SetXonChar(1);
    EXPECT_EQ(comm.PortNum(), 9);
    EXPECT_FALSE(comm.Active());
    EXPECT_FALSE(comm.WriteChar('x'));
    EXPECT_EQ(comm.WriteBuf("abc", 3), 0);
    EXPECT_EQ(comm.ReadText(), "");
    EXPECT_EQ(comm.ReadBufUsed(), 0);
    EXPECT_EQ(comm.WriteBufUsed(), 0);
    comm.PurgeRead();
    comm.PurgeReadWrite();
    int closes = 0;
    comm.OnClose = [&](QObject*) { ++closes; };
    EXPECT_LT(MillisecondsOf([&] { comm.Close(); }), 200.0) << "no pause on a closed port";
    EXPECT_EQ(closes, 0);
}

} // namespace
