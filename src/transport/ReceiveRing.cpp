#include "transport/ReceiveRing.h"

#include <cstring>

namespace corvane {

void ReceiveRing::Reset() {
    std::memset(storage_, 0, sizeof storage_);
    writeIndex_.store(0, std::memory_order_relaxed);
    readIndex_.store(0, std::memory_order_relaxed);
}

int ReceiveRing::Count() const {
    const int w = writeIndex_.load(std::memory_order_acquire);
    const int r = readIndex_.load(std::memory_order_acquire);
    return (w - r + kSize) % kSize;
}

int ReceiveRing::Put(std::uint8_t byte) {
    const int w = writeIndex_.load(std::memory_order_relaxed);
    const int next = (w + 1) % kSize;
    // The consumer's index tells which slots it has finished with.
    if (next == readIndex_.load(std::memory_order_acquire))
        return 0;
    storage_[w] = byte;
    writeIndex_.store(next, std::memory_order_release);  // publishes the byte
    return 1;
}

int ReceiveRing::Get(std::uint8_t& out) {
    const int r = readIndex_.load(std::memory_order_relaxed);
    if (r == writeIndex_.load(std::memory_order_acquire))
        return 0;
    out = storage_[r];
    readIndex_.store((r + 1) % kSize, std::memory_order_release);  // frees the slot
    return 1;
}

}  // namespace corvane
