// The controller's line as both programs set it up, seen on a scripted line that has modem
// lines: 19200 baud, 8 data bits, no parity, one stop bit, no handshake, and DTR and RTS
// held off, also where a program before left them on.
#include "link/ControllerPort.h"
#include "serial/VaComm.h"
#include "tests/serial/ScriptedLine.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

TEST(ControllerPort, NineteenTwoHundredEightNoneOneWithDtrAndRtsOff) {
    auto script = std::make_shared<LineScript>();
    script->Change([](LineScript& line) {
        line.SetInput(TIOCM_DTR, true);
        line.SetInput(TIOCM_RTS, true);
    });
    TVaComm port(nullptr, std::make_unique<ScriptedLine>(script));
    SetUpControllerPort(port);
    EXPECT_EQ(port.DeviceName(), "COM%d");
    port.SetPortNum(7);
    port.Open();
    const TVaDCB dcb = script->Applied();
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0) << "none";
    EXPECT_EQ(dcb.StopBits, 0) << "one";
    // DTR control 0x0030, RTS control 0x3000, CTS and DSR handshake 0x000C, XON/XOFF 0x0300.
    EXPECT_EQ(dcb.Flags & 0x333C, 0u) << std::hex << dcb.Flags;
    EXPECT_EQ(script->Lines() & TIOCM_DTR, 0) << "DTR raised";
    EXPECT_EQ(script->Lines() & TIOCM_RTS, 0) << "RTS raised";
    port.Close();
}
