// The port's byte queues. The write thread's ring: appends and takes across the end of the
// block, refusal of bytes that do not fit (which leaves the queue as it was), and a writer
// and a taker on two threads. The receive queue: taken from its front in order.
#include "serial/VaCommQueues.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <thread>

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
        {0, "ABCDEFGH"}, // the whole ring from its start
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

TEST(WriteQueue, RemovingMoreThanIsQueuedEmptiesItAndTheRingGoesOn) {
    TVaWriteQueue queue(8);
    StartAt(queue, 4);
    ASSERT_TRUE(queue.Append("abc", 3));
    queue.Remove(100);
    EXPECT_EQ(queue.Size(), 0);
    EXPECT_EQ(Queued(queue), "");
    ASSERT_TRUE(queue.Append("0123456", 7));
    EXPECT_EQ(Queued(queue), "0123456");
}

// The taker sees every byte the writer queued, in order, however the two interleave;
// the writer waits while the ring is full, as the main thread does.
TEST(WriteQueue, AWriterAndATakerOnTwoThreadsPassEveryByteInOrder) {
    constexpr int total = 200000;
    TVaWriteQueue queue(64);
    std::thread writer([&] {
        int next = 0;
        for (int chunk = 1; next < total; chunk = chunk % 13 + 1) {
            std::uint8_t bytes[13];
            const int count = std::min(chunk, total - next);
            for (int i = 0; i < count; ++i)
                bytes[i] = static_cast<std::uint8_t>((next + i) % 251);
            while (!queue.Append(bytes, count))
                std::this_thread::yield();
            next += count;
        }
    });
    int taken = 0;
    int wrong = 0;
    std::uint8_t out[64];
    while (taken < total) {
        const int count = queue.Peek(out);
        for (int i = 0; i < count; ++i)
            wrong += out[i] != static_cast<std::uint8_t>((taken + i) % 251);
        queue.Remove(count);
        taken += count;
        if (count == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(taken, total);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(queue.Size(), 0);
}

TEST(ReceiveQueue, BytesAreTakenFromTheFrontInOrder) {
    TVaCommBuffer buffer(8);
    buffer.Write("abcdef", 6);
    char out[8] = {};
    buffer.Peek(out, 2);
    EXPECT_EQ(std::string(out, 2), "ab");
    EXPECT_EQ(buffer.Size(), 6);
    buffer.Read(out, 3);
    EXPECT_EQ(std::string(out, 3), "abc");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.DataPtr()), 3), "def");
    EXPECT_EQ(buffer.Free(), 5);
    buffer.Write("ghijk", 5);
    EXPECT_EQ(buffer.Free(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.DataPtr()), 8), "defghijk");
    buffer.Remove(10);
    EXPECT_EQ(buffer.Size(), 0);
    buffer.Write("xy", 2);
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Capacity(), 8);
}

TEST(ReceiveQueue, APeekOfMoreThanIsQueuedCopiesOnlyWhatIsThere) {
    TVaCommBuffer buffer(8);
    buffer.Write("xyz", 3);
    char out[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
    buffer.Peek(out, 8);
    EXPECT_EQ(std::string(out, 8), "xyz-----");
    EXPECT_EQ(buffer.Size(), 3);
}

} // namespace
