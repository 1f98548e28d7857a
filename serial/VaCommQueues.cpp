#include "serial/VaCommQueues.h"

#include <algorithm>
#include <cstring>

TVaCommBuffer::TVaCommBuffer(int capacity)
    : FData(std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(std::max(capacity, 0)))),
      FCapacity(std::max(capacity, 0)) {}

void TVaCommBuffer::Write(const void* Buf, int Count) {
    std::memcpy(FData.get() + FSize, Buf, static_cast<std::size_t>(Count));
    FSize += Count;
}

void TVaCommBuffer::Remove(int Count) {
    Count = std::clamp(Count, 0, FSize);
    std::memmove(FData.get(), FData.get() + Count, static_cast<std::size_t>(FSize - Count));
    FSize -= Count;
}

void TVaCommBuffer::Read(void* Buf, int Count) {
    Peek(Buf, Count);
    Remove(Count);
}

void TVaCommBuffer::Peek(void* Buf, int Count) const {
    std::memcpy(Buf, FData.get(), static_cast<std::size_t>(std::clamp(Count, 0, FSize)));
}

TVaWriteQueue::TVaWriteQueue(int capacity)
    : FData(std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(std::max(capacity, 0)))),
      FCapacity(std::max(capacity, 0)) {}

int TVaWriteQueue::Size() const {
    const std::uint64_t head = FHead.load(); // first, so the tail read after is never behind
    return static_cast<int>(FTail.load() - head);
}

bool TVaWriteQueue::Append(const void* Buf, int Count) {
    const std::uint64_t tail = FTail.load(std::memory_order_relaxed);
    const auto fits = [&] {
        return tail - FHeadSeen + std::uint64_t(Count) <= std::uint64_t(FCapacity);
    };
    if (!fits()) {
        FHeadSeen = FHead.load();
        if (!fits())
            return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(Buf);
    if (Count == 1) {
        FData[static_cast<std::size_t>(FTailAt)] = *bytes;
    } else {
        const int first = std::min(Count, FCapacity - FTailAt);
        std::memcpy(FData.get() + FTailAt, bytes, static_cast<std::size_t>(first));
        std::memcpy(FData.get(), bytes + first, static_cast<std::size_t>(Count - first));
    }
    FTailAt += Count;
    if (FTailAt >= FCapacity)
        FTailAt -= FCapacity;
    // Sequentially consistent, like the event's state: the write thread, which resets
    // FWriteEvent and then looks at the queue, and this side, which queues and then looks
    // at the event, cannot both miss the other.
    FTail.store(tail + std::uint64_t(Count));
    return true;
}

int TVaWriteQueue::Peek(void* Buf) const {
    const int count = static_cast<int>(FTail.load() - FHead.load(std::memory_order_relaxed));
    auto* bytes = static_cast<std::uint8_t*>(Buf);
    const int first = std::min(count, FCapacity - FHeadAt);
    std::memcpy(bytes, FData.get() + FHeadAt, static_cast<std::size_t>(first));
    std::memcpy(bytes + first, FData.get(), static_cast<std::size_t>(count - first));
    return count;
}

void TVaWriteQueue::Remove(int Count) {
    Count = std::clamp(Count, 0, Size());
    FHeadAt += Count;
    if (FHeadAt >= FCapacity)
        FHeadAt -= FCapacity;
    FHead.store(FHead.load(std::memory_order_relaxed) + std::uint64_t(Count));
}

void TVaWriteQueue::Clear() {
    Remove(Size());
}
