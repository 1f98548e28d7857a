// The line layer's reads and writes: they return the bytes moved or the error that
// stopped them, and the error's meaning is told in one place.
#include "SerialTestSupport.h"
#include "serial/VaComm.h"
#include "serial/VaLine.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>

namespace {

TEST(LineIoResult, EachErrorHasOneMeaning) {
    struct Case {
        TVaIoResult result;
        TVaIoStatus status;
    };
    const Case cases[] = {
        {{5, 0}, TVaIoStatus::Done},         {{0, 0}, TVaIoStatus::Done},
        {{0, EAGAIN}, TVaIoStatus::Waiting}, {{0, EIO}, TVaIoStatus::HungUp},
        {{0, ENXIO}, TVaIoStatus::HungUp},   {{0, ENODEV}, TVaIoStatus::HungUp},
        {{0, EPIPE}, TVaIoStatus::Failed},   {{0, EBADF}, TVaIoStatus::Failed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result.Status(), c.status) << "error " << c.result.Error;
}

TEST(LineQueryErrors, OnlyAMissingLineOrAGoneDeviceHasNothingToReport) {
    for (int error : {ENOTTY, EINVAL, EIO, ENXIO, ENODEV})
        EXPECT_TRUE(NothingToReport(error)) << error;
    for (int error : {EBADF, EPERM, EAGAIN})
        EXPECT_FALSE(NothingToReport(error)) << error;
}

bool Readable(int fd) {
    pollfd port{fd, POLLIN, 0};
    return ::poll(&port, 1, 5000) == 1;
}

TEST(TermiosLine, ReadsAndWritesReturnTheirCountOrTheirError) {
    PtyPair pty;
    TVaTermiosLine line;
    ASSERT_EQ(line.Open(pty.SlavePath()), 0);
    TVaComm defaults;
    ASSERT_EQ(line.ApplySettings(defaults.LineSettingsRecord()), 0);
    char buf[16] = {};

    // A raw line (no minimum, no time) answers an empty read with none, not an error.
    const TVaIoResult empty = line.Read(buf, sizeof buf);
    EXPECT_EQ(empty.Count, 0u);
    EXPECT_EQ(empty.Error, 0);

    pty.Write(std::string("a\x11\x13\0b", 5));
    ASSERT_TRUE(Readable(line.Handle()));
    const TVaIoResult read = line.Read(buf, sizeof buf);
    EXPECT_EQ(read.Error, 0);
    EXPECT_EQ(std::string(buf, read.Count), std::string("a\x11\x13\0b", 5));

    const TVaIoResult written = line.Write("xyz", 3);
    EXPECT_EQ(written.Count, 3u);
    EXPECT_EQ(written.Error, 0);
    EXPECT_EQ(pty.Read(3, std::chrono::seconds(5)), "xyz");

    // The far end gone: a read still finds nothing (poll tells the hang-up), a write fails.
    pty.HangUp();
    const TVaIoResult after = line.Read(buf, sizeof buf);
    EXPECT_EQ(after.Count, 0u);
    EXPECT_NE(after.Status(), TVaIoStatus::Failed);
    const TVaIoResult refused = line.Write("x", 1);
    EXPECT_EQ(refused.Count, 0u);
    EXPECT_EQ(refused.Error, EIO);
    EXPECT_EQ(refused.Status(), TVaIoStatus::HungUp);
}

} // namespace
