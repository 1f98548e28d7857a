// A port number and its alias: an alias whose device is gone is "not there", with a message
// naming the alias and its target; once a number was opened through its alias, that alias
// alone names it, gone or not, and never the numbered device behind it.
#include "SerialTestSupport.h"
#include "serial/ComPortPaths.h"
#include "serial/VaComm.h"
#include "tests/support/StandInLine.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

constexpr int Port = 3; // its numbered device is /dev/ttyS2

struct AliasRig {
    AliasRig() : asked(std::make_shared<std::vector<std::string>>()) {
        comm = std::make_unique<TVaComm>(nullptr,
                                         std::make_unique<StandInLine>(asked, standIn.SlavePath()));
        comm->SetPortNum(Port);
    }
    // Open's error text; empty when it opened.
    std::string OpenError() {
        try {
            comm->Open();
            return {};
        } catch (const EVaCommError& e) {
            return e.what();
        }
    }
    void PointAliasAt(const std::string& target) const {
        std::filesystem::remove(config.AliasPath(Port));
        config.Alias(Port, target);
    }

    TempConfigHome config;
    StandInTerminal standIn;
    std::shared_ptr<std::vector<std::string>> asked;
    std::unique_ptr<TVaComm> comm;
};

// A pseudo-terminal that was there and is gone, its number held so that no other takes it.
struct VanishedTerminal {
    VanishedTerminal() : pair(std::make_unique<PtyPair>()), path(pair->SlavePath()), held(path) {
        pair.reset();
    }
    std::unique_ptr<PtyPair> pair;
    std::string path;
    HeldNumber held;
};

} // namespace

TEST(PortAlias, AnAliasWhoseDeviceIsGoneIsNotThereAtTheFirstOpen) {
    AliasRig rig;
    const VanishedTerminal gone;
    ASSERT_GE(gone.held.fd, 0);
    ASSERT_FALSE(std::filesystem::exists(gone.path));
    rig.PointAliasAt(gone.path);
    const std::string alias = rig.config.AliasPath(Port);
    EXPECT_EQ(rig.OpenError(), "Specified device not found (" + alias + " -> " + gone.path + ").");
    EXPECT_FALSE(rig.comm->Active());
    EXPECT_EQ(*rig.asked, std::vector<std::string>{alias});

    // Without an alias the number is the numbered device, which is there.
    std::filesystem::remove(alias);
    EXPECT_EQ(rig.OpenError(), "");
    EXPECT_EQ(rig.asked->back(), "/dev/ttyS2");
}

// The device behind the alias goes away: the alias is removed (the emulator stopped) or
// left pointing at nothing (an unplugged adapter's /dev/serial/by-id link).
TEST(PortAlias, ANumberOpenedThroughItsAliasNeverOpensTheNumberedDeviceAfterwards) {
    for (const bool removed : {true, false}) {
        SCOPED_TRACE(removed ? "alias removed" : "alias left dangling");
        AliasRig rig;
        const std::string alias = rig.config.AliasPath(Port);
        auto device = std::make_unique<PtyPair>();
        const std::string devicePath = device->SlavePath();
        const HeldNumber held(devicePath);
        rig.PointAliasAt(devicePath);
        ASSERT_EQ(rig.OpenError(), "");
        device.reset(); // the far end is gone: the port hangs up and closes itself
        std::vector<std::string> errors;
        ASSERT_TRUE(RunEventsCollecting(errors, [&] { return !rig.comm->Active(); }));
        if (removed)
            std::filesystem::remove(alias);
        for (int tries = 0; tries < 3; ++tries) {
            EXPECT_EQ(rig.OpenError(), "Specified device not found (" + alias +
                                           (removed ? std::string() : " -> " + devicePath) + ").");
            EXPECT_FALSE(rig.comm->Active());
        }
        EXPECT_EQ(rig.comm->DevicePath(), alias);

        PtyPair back; // the device is back behind the alias
        rig.PointAliasAt(back.SlavePath());
        ASSERT_EQ(rig.OpenError(), "");
        back.Write("x");
        std::uint8_t got = 0;
        EXPECT_TRUE(RunEventsUntil([&] { return rig.comm->ReadChar(got); }));
        EXPECT_EQ(got, 'x');
        for (const std::string& path : *rig.asked)
            EXPECT_EQ(path, alias) << "opened another device";
        rig.comm->Close();
    }
}

// Another number, opened through no alias, is numbered as ever.
TEST(PortAlias, AnotherNumberIsStillNumbered) {
    AliasRig rig;
    PtyPair device;
    rig.PointAliasAt(device.SlavePath());
    ASSERT_EQ(rig.OpenError(), "");
    rig.comm->Close();
    rig.comm->SetPortNum(Port + 1);
    EXPECT_EQ(rig.OpenError(), "");
    EXPECT_EQ(rig.asked->back(), "/dev/ttyS3");
}
