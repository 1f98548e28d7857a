#pragma once
// The port's two byte queues: the receive queue, which only grows at its end and is
// taken from its front under the receiver's lock, and the write queue, a lock-free ring
// between the main thread and the write thread.
#include <atomic>
#include <cstdint>
#include <memory>

// A byte queue of fixed capacity that never reallocates.
class TVaCommBuffer {
public:
    explicit TVaCommBuffer(int capacity);

    void Write(const void* Buf, int Count); // the caller has made sure the bytes fit
    void Remove(int Count);
    void Read(void* Buf, int Count);
    void Peek(void* Buf, int Count) const;
    void Clear() { FSize = 0; }
    const std::uint8_t* DataPtr() const { return FData.get(); }
    int Size() const { return FSize; }
    int Capacity() const { return FCapacity; }
    int Free() const { return FCapacity - FSize; }

private:
    std::unique_ptr<std::uint8_t[]> FData;
    int FCapacity;
    int FSize = 0;
};

// The write queue: a ring of fixed capacity that the main thread appends to and the
// write thread takes from, without a lock, so that a byte-by-byte WriteChar costs a copy
// and a store. Each side owns one position; either may read the size.
class TVaWriteQueue {
public:
    explicit TVaWriteQueue(int capacity);

    int Size() const;
    int Capacity() const { return FCapacity; }

    // Main thread: false, and nothing queued, when the bytes do not fit.
    bool Append(const void* Buf, int Count);

    // Write thread.
    int Peek(void* Buf) const; // copies out every queued byte; returns the count
    void Remove(int Count);
    void Clear();

private:
    std::unique_ptr<std::uint8_t[]> FData;
    const int FCapacity;
    // Bytes ever appended and ever taken; their difference is the size.
    alignas(64) std::atomic<std::uint64_t> FTail = 0;
    std::uint64_t FHeadSeen = 0; // the main thread's last look at FHead
    int FTailAt = 0;             // where the next byte goes
    alignas(64) std::atomic<std::uint64_t> FHead = 0;
    int FHeadAt = 0; // where the oldest byte is
};
