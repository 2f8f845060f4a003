#pragma once

#include <atomic>
#include <cstdint>

namespace corvane {

// Single-producer single-consumer byte ring between the serial watcher thread
// and the GUI thread. One slot stays empty so that full and empty differ.
class ReceiveRing {
public:
    static constexpr int kSize = 4192;
    static constexpr int kCapacity = kSize - 1;

    ReceiveRing() { Reset(); }

    void Reset();
    int Count() const;
    int Free() const { return kCapacity - Count(); }
    // 1 = stored, 0 = full (nothing changes).
    int Put(std::uint8_t byte);
    // 1 = a byte was taken, 0 = empty (out untouched).
    int Get(std::uint8_t& out);

private:
    std::uint8_t storage_[kSize];
    std::atomic<int> writeIndex_{0};  // written by the producer only
    std::atomic<int> readIndex_{0};   // written by the consumer only
};

}  // namespace corvane
