// The emulator offers itself as port COMn through the alias, and takes the alias away when
// it ends, without touching aliases that are not its own.
#include "tests/tools/ToolPort.h"

#include "serial/ComPortPaths.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace simtest;
using sim::ControllerEmulator;
namespace fs = std::filesystem;

namespace {

sim::EmulatorOptions OnPort(int port) {
    sim::EmulatorOptions options = TestOptions();
    options.port = port;
    return options;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string Target(const std::string& link) {
    std::error_code ec;
    return fs::read_symlink(link, ec).string();
}

void PlaceLink(const std::string& alias, const std::string& target) {
    fs::create_directories(va::PortAliasDirectory());
    fs::remove(alias);
    fs::create_symlink(target, alias);
}

TEST(EmulatorAlias, PointsToTheTerminalWhileRunningAndIsGoneAfterStop) {
    const std::string alias = va::PortAliasPath(211);
    ControllerEmulator emulator(OnPort(211));
    EXPECT_EQ(emulator.AliasPath(), alias);
    emulator.Start();
    ASSERT_TRUE(Exists(alias));
    EXPECT_EQ(Target(alias), emulator.SlavePath());
    {
        ToolPort port(alias);
        port.Send(VersionRequest);
        EXPECT_EQ(port.Receive(5).size(), 5u);
    }
    emulator.Stop();
    EXPECT_FALSE(Exists(alias));
    emulator.Start();
    EXPECT_EQ(Target(alias), emulator.SlavePath()) << "offered again after a restart";
}

TEST(EmulatorAlias, DestructionRemovesTheAlias) {
    const std::string alias = va::PortAliasPath(212);
    {
        ControllerEmulator emulator(OnPort(212));
        emulator.Start();
        ASSERT_TRUE(Exists(alias));
    }
    EXPECT_FALSE(Exists(alias));
}

TEST(EmulatorAlias, PortZeroOffersNone) {
    ControllerEmulator emulator(OnPort(0));
    emulator.Start();
    EXPECT_TRUE(emulator.AliasPath().empty());
    EXPECT_FALSE(Exists(va::PortAliasPath(0)));
}

TEST(EmulatorAlias, StaleAliasIsReplaced) {
    const std::string alias = va::PortAliasPath(213);
    for (const char* stale : {"/nonexistent/device", "/dev/pts/987654"}) {
        PlaceLink(alias, stale);
        ControllerEmulator emulator(OnPort(213));
        emulator.Start();
        EXPECT_EQ(Target(alias), emulator.SlavePath()) << stale;
    }
}

TEST(EmulatorAlias, AUsersDeviceAliasIsLeftAlone) {
    const std::string alias = va::PortAliasPath(214);
    PlaceLink(alias, "/dev/null");
    ControllerEmulator emulator(OnPort(214));
    EXPECT_THROW(emulator.Start(), std::runtime_error);
    EXPECT_EQ(Target(alias), "/dev/null");
    EXPECT_TRUE(emulator.SlavePath().empty());
    fs::remove(alias);
}

TEST(EmulatorAlias, AliasTakenOverByAnotherIsNotRemoved) {
    const std::string alias = va::PortAliasPath(215);
    ControllerEmulator emulator(OnPort(215));
    emulator.Start();
    PlaceLink(alias, "/dev/pts/elsewhere");
    emulator.Stop();
    EXPECT_EQ(Target(alias), "/dev/pts/elsewhere");
    fs::remove(alias);
}

TEST(EmulatorAlias, FollowsTheLineThroughAHangUp) {
    const std::string alias = va::PortAliasPath(216);
    ControllerEmulator emulator(OnPort(216));
    emulator.Start();
    const std::string first = emulator.SlavePath();
    ToolPort held(alias); // keeps the first terminal's number from being reused at once
    emulator.SetFault(sim::Fault::HangUp, true);
    EXPECT_FALSE(Exists(alias)) << "gone with the terminal, as a pulled adapter's node";
    emulator.SetFault(sim::Fault::HangUp, false);
    EXPECT_NE(emulator.SlavePath(), first);
    EXPECT_EQ(Target(alias), emulator.SlavePath());
    ToolPort port(alias);
    port.Send(VersionRequest);
    EXPECT_EQ(port.Receive(5).size(), 5u);
    emulator.Stop();
    EXPECT_FALSE(Exists(alias));
}

} // namespace
