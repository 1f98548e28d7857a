// The write thread's ring: appends and takes across the end of the block, and refusal of
// bytes that do not fit, which leaves the queue as it was.
#include "serial/VaComm.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Queued(const TVaWriteQueue& queue) {
    std::string bytes(static_cast<std::size_t>(queue.Capacity()), '\0');
    bytes.resize(static_cast<std::size_t>(queue.Peek(bytes.data())));
    return bytes;
}

// Moves an empty ring on so that its next byte goes to offset at.
void StartAt(TVaWriteQueue& queue, int at) {
    const std::string filler(static_cast<std::size_t>(at), '.');
    ASSERT_TRUE(queue.Append(filler.data(), at));
    queue.Remove(at);
}

TEST(WriteQueue, AppendsAcrossTheEndOfTheBlockKeepTheirBytesInOrder) {
    struct Case {
        int at;
        std::string bytes;
    };
    const Case cases[] = {
        {5, "ABCDEF"},   // three before the end, three after
        {7, "ABCDEFGH"}, // one before the end, the whole ring
        {3, "ABCDE"},    // ends exactly at the end of the block
        {6, "AB"},       // ends exactly at the end, the next append starts at 0
    };
    for (const Case& c : cases) {
        TVaWriteQueue queue(8);
        StartAt(queue, c.at);
        ASSERT_TRUE(queue.Append(c.bytes.data(), static_cast<int>(c.bytes.size()))) << c.at;
        EXPECT_EQ(queue.Size(), static_cast<int>(c.bytes.size())) << c.at;
        EXPECT_EQ(Queued(queue), c.bytes) << "from offset " << c.at;
    }
}

TEST(WriteQueue, SingleBytesAndRemovalsWrapToo) {
    TVaWriteQueue queue(8);
    StartAt(queue, 6);
    for (char c : std::string("uvwxyz"))
        ASSERT_TRUE(queue.Append(&c, 1));
    queue.Remove(2);
    EXPECT_EQ(Queued(queue), "wxyz");
    ASSERT_TRUE(queue.Append("1234", 4));
    EXPECT_EQ(Queued(queue), "wxyz1234");
    queue.Remove(5);
    EXPECT_EQ(Queued(queue), "234");
    queue.Clear();
    EXPECT_EQ(queue.Size(), 0);
    ASSERT_TRUE(queue.Append("PQRSTUVW", 8));
    EXPECT_EQ(Queued(queue), "PQRSTUVW");
}

TEST(WriteQueue, BytesThatDoNotFitAreRefusedAndNothingOfThemIsQueued) {
    TVaWriteQueue queue(8);
    StartAt(queue, 5);
    ASSERT_TRUE(queue.Append("abcdef", 6));
    EXPECT_FALSE(queue.Append("xyz", 3)) << "two bytes free";
    EXPECT_EQ(Queued(queue), "abcdef");
    ASSERT_TRUE(queue.Append("gh", 2));
    EXPECT_EQ(queue.Size(), 8);
    EXPECT_FALSE(queue.Append("i", 1)) << "full";
    EXPECT_EQ(Queued(queue), "abcdefgh");
    queue.Remove(1);
    EXPECT_TRUE(queue.Append("i", 1)) << "room made by the taker";
    EXPECT_EQ(Queued(queue), "bcdefghi");
    EXPECT_FALSE(TVaWriteQueue(8).Append("123456789", 9)) << "more than the capacity";
}

} // namespace
