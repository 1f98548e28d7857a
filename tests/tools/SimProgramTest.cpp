// The uego-sim program as a user runs it: help, refused options, and a run that serves
// the configured controller on its alias until SIGTERM.
#include "tests/tools/ToolPort.h"

#include "serial/ComPortPaths.h"
#include "tests/support/ChildProcess.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace simtest;
namespace fs = std::filesystem;

namespace {

std::string SimPath() {
    return BuildProgramPath("uego-sim");
}

// uego-sim run with the arguments.
struct SimProcess : ChildProcess {
    explicit SimProcess(const std::vector<std::string>& args) : ChildProcess(SimPath(), args) {}
};

TEST(SimProgram, HelpListsEveryOption) {
    ASSERT_TRUE(fs::exists(SimPath())) << SimPath() << " is missing; build the uego-sim target";
    SimProcess sim({"--help"});
    EXPECT_EQ(sim.End(), 0);
    for (const char* option :
         {"--port",       "--warmup",    "--firmware", "--pattern",        "--lambda",
          "--supply",     "--memory",    "--resistor", "--serial",         "--can",
          "--slave-can",  "--fault",     "--late-ms",  "--help",           "engine",
          "sweep",        "constant",    "silent",     "corrupt-checksum", "split-replies",
          "late-replies", "stray-bytes", "hang-up",    "--baud",           "--latency-timer",
          "--version"})
        EXPECT_NE(sim.stdoutText.find(option), std::string::npos) << option;
    EXPECT_TRUE(sim.stderrText.empty());
}

// The version is the build's, as the other programs and the package carry it.
TEST(SimProgram, VersionAnswersWithTheProgramsVersion) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, {"--port", "7", "--version", "--bogus"}}) {
        SimProcess sim(args);
        EXPECT_EQ(sim.End(), 0);
        EXPECT_EQ(sim.stdoutText, "uego-sim " UEGO_PROJECT_VERSION "\n");
        EXPECT_TRUE(sim.stderrText.empty());
        EXPECT_FALSE(fs::exists(fs::symlink_status(va::PortAliasPath(7))));
    }
}

TEST(SimProgram, BadOptionValuesAreRefusedWithExitCodeTwo) {
    const std::vector<std::vector<std::string>> cases{
        {"--port", "abc"},
        {"--port", "256"},
        {"--port", "-1"},
        {"--port"},
        {"--warmup", "soon"},
        {"--warmup", "-2"},
        {"--firmware", "256"},
        {"--pattern", "idle"},
        {"--lambda", "1,2"},
        {"--lambda", "1,2,3,x"},
        {"--lambda", "1,2,3,4,5"},
        {"--lambda", "1,1,1,70"},
        {"--supply", "0x100"},
        {"--memory", "0x10=3"},
        {"--memory", "0xFF=0102"},
        {"--memory", "0x10=GG"},
        {"--memory", "0x10"},
        {"--resistor", "5=959"},
        {"--resistor", "1=70000"},
        {"--serial", "1=TOOLONG"},
        {"--serial", "0=AB"},
        {"--can", "65536"},
        {"--slave-can", "x"},
        {"--fault", "melt"},
        {"--late-ms", "-1"},
        {"--baud", "0"},
        {"--baud", "fast"},
        {"--latency-timer", "-1"},
        {"--latency-timer", "256"},
        {"--bogus"},
        {"--port=x"},
    };
    for (const auto& args : cases) {
        SimProcess sim(args);
        const std::string shown = args[0] + (args.size() > 1 ? " " + args[1] : "");
        EXPECT_EQ(sim.End(), 2) << shown;
        EXPECT_TRUE(sim.stdoutText.empty()) << shown;
        const std::string name = args[0].substr(0, args[0].find('='));
        EXPECT_NE(sim.stderrText.find(name), std::string::npos) << shown << ": " << sim.stderrText;
        EXPECT_FALSE(fs::exists(fs::symlink_status(va::PortAliasPath(1)))) << shown;
    }
}

Bytes Ask(const ToolPort& port, const Bytes& request, std::size_t length) {
    port.Send(request);
    return port.Receive(length);
}

TEST(SimProgram, ServesTheConfiguredControllerUntilTerminated) {
    const std::string alias = va::PortAliasPath(221);
    SimProcess sim({"--port", "221", "--warmup", "0", "--firmware", "42", "--resistor", "2=1042",
                    "--serial", "3=AB123", "--can", "2046", "--slave-can=100", "--memory",
                    "0x60=C0FFEE", "--lambda", "1,0.5,1.25,2", "--supply", "200"});
    ASSERT_TRUE(sim.WaitFor(alias + ")\n", sim.stdoutText)) << sim.stdoutText;
    const std::string& out = sim.stdoutText;
    const std::string slave = fs::read_symlink(alias).string();
    EXPECT_NE(out.find("controller on " + slave + "\n"), std::string::npos) << out;

    ToolPort port(alias);
    EXPECT_EQ(Ask(port, VersionRequest, 5), WithChecksum({0xC0, 0x05, 0x25, 42}));
    const Bytes sensor2 = Ask(port, {0xC0, 0x06, 0x60, 0x20, 0x10, 0xA9}, 22);
    ASSERT_EQ(sensor2.size(), 22u);
    EXPECT_EQ(Bytes(sensor2.begin() + 5, sensor2.begin() + 7), (Bytes{0x04, 0x12}));
    const Bytes sensor3 = Ask(port, {0xC0, 0x06, 0x60, 0x30, 0x20, 0x89}, 38);
    ASSERT_EQ(sensor3.size(), 38u);
    EXPECT_EQ(std::string(sensor3.begin() + 13, sensor3.begin() + 18), "AB123");
    const Bytes config = Ask(port, {0xC0, 0x06, 0x60, 0x00, 0x20, 0xB9}, 38);
    ASSERT_EQ(config.size(), 38u);
    EXPECT_EQ(Bytes(config.begin() + 7, config.begin() + 9), (Bytes{0x07, 0xFE}));
    EXPECT_EQ(Bytes(config.begin() + 15, config.begin() + 17), (Bytes{0x00, 0x64}));
    EXPECT_EQ(Ask(port, WithChecksum({0xC0, 0x06, 0x60, 0x60, 0x03}), 9),
              WithChecksum({0xC0, 0x09, 0x61, 0x60, 0x03, 0xC0, 0xFF, 0xEE}));
    EXPECT_EQ(Ask(port, LiveDataRequest, 17),
              WithChecksum({0xC0, 0x11, 0x27, 0x03, 0xE8, 0x01, 0xF4, 0x04, 0xE2, 0x07, 0xD0, 0, 0,
                            0, 0, 200}));

    EXPECT_EQ(sim.End(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(alias)));
}

// The device the program says it serves on its first line; empty when it says none.
std::string SlavePath(SimProcess& sim) {
    const std::string prefix = "uego-sim: controller on ";
    if (!sim.WaitFor("\n", sim.stdoutText) || !sim.stdoutText.starts_with(prefix))
        return {};
    return sim.stdoutText.substr(prefix.size(), sim.stdoutText.find('\n') - prefix.size());
}

TEST(SimProgram, FaultOptionsAreOnFromTheStart) {
    SimProcess sim({"--port", "0", "--fault", "corrupt-checksum", "--fault", "stray-bytes"});
    const std::string slave = SlavePath(sim);
    ASSERT_FALSE(slave.empty()) << sim.stdoutText;
    ToolPort port(slave);
    const Bytes reply = Ask(port, VersionRequest, 3 + 5); // junk, then the reply
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(Bytes(reply.end() - 5, reply.end() - 1), (Bytes{0xC0, 0x05, 0x25, 0x17}));
    EXPECT_NE(reply.back(), 0xFE);
    EXPECT_EQ(sim.End(SIGINT), 0);
}

// The option reaches the emulator: a reply asked for just after a tick of the 100 ms timer
// comes no earlier than the next.
TEST(SimProgram, LatencyTimerOptionHoldsRepliesToItsTicks) {
    constexpr auto Period = 100ms;
    SimProcess sim({"--port", "0", "--latency-timer", "100"});
    const std::string slave = SlavePath(sim);
    ASSERT_FALSE(slave.empty()) << sim.stdoutText;
    ToolPort port(slave);
    const auto sent = SendJustAfterTick(port, VersionRequest, Period);
    const TimedBytes reply = port.ReceiveTimed(5);
    EXPECT_EQ(reply.bytes, WithChecksum({0xC0, 0x05, 0x25, 0x17}));
    ASSERT_FALSE(reply.times.empty());
    EXPECT_GE(reply.times.front(), TickAtOrAfter(sent, Period));
    EXPECT_EQ(sim.End(SIGTERM), 0);
}

} // namespace
