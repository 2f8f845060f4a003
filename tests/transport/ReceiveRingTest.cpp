#include "transport/ReceiveRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace corvane {
namespace {

// Every case runs once on a fresh ring and once with both indices a few slots
// before the end of the storage, so that the same rule is checked across the wrap.
class RingAtOffset : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        for (int i = 0; i < GetParam(); ++i) {
            ASSERT_EQ(ring.Put(0xEE), 1);
            std::uint8_t b;
            ASSERT_EQ(ring.Get(b), 1);
        }
        ASSERT_EQ(ring.Count(), 0);
    }
    ReceiveRing ring;
};

TEST_P(RingAtOffset, EmptyRingHandsOutNothing) {
    std::uint8_t out = 0x5A;
    EXPECT_EQ(ring.Get(out), 0);
    EXPECT_EQ(out, 0x5A);
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_EQ(ring.Free(), ReceiveRing::kCapacity);
}

TEST_P(RingAtOffset, FullRingRefusesAndKeepsItsBytes) {
    for (int i = 0; i < ReceiveRing::kCapacity; ++i)
        ASSERT_EQ(ring.Put(static_cast<std::uint8_t>(i)), 1) << "byte " << i;
    EXPECT_EQ(ring.Count(), ReceiveRing::kCapacity);
    EXPECT_EQ(ring.Free(), 0);
    EXPECT_EQ(ring.Put(0xFF), 0);
    EXPECT_EQ(ring.Count(), ReceiveRing::kCapacity);

    for (int i = 0; i < ReceiveRing::kCapacity; ++i) {
        std::uint8_t b = 0;
        ASSERT_EQ(ring.Get(b), 1);
        ASSERT_EQ(b, static_cast<std::uint8_t>(i)) << "byte " << i;
    }
    std::uint8_t b = 0x11;
    EXPECT_EQ(ring.Get(b), 0);
    EXPECT_EQ(b, 0x11);
}

TEST_P(RingAtOffset, FullStorageCyclePassesBytesInOrder) {
    // Interleaved puts and gets that move the indices all the way round.
    std::uint8_t next = 0, expected = 0;
    for (int round = 0; round < ReceiveRing::kSize / 97 + 2; ++round) {
        for (int i = 0; i < 97; ++i)
            ASSERT_EQ(ring.Put(next++), 1);
        ASSERT_EQ(ring.Count(), 97);
        for (int i = 0; i < 97; ++i) {
            std::uint8_t b;
            ASSERT_EQ(ring.Get(b), 1);
            ASSERT_EQ(b, expected++);
        }
        ASSERT_EQ(ring.Count(), 0);
    }
}

TEST_P(RingAtOffset, ResetEmptiesTheRing) {
    for (int i = 0; i < 10; ++i)
        ring.Put(1);
    ring.Reset();
    EXPECT_EQ(ring.Count(), 0);
    std::uint8_t b = 7;
    EXPECT_EQ(ring.Get(b), 0);
    EXPECT_EQ(b, 7);
}

INSTANTIATE_TEST_SUITE_P(Start, RingAtOffset, ::testing::Values(0, ReceiveRing::kSize - 5),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("AtZero")
                                                    : std::string("AcrossWrap");
                         });

TEST(ReceiveRingThreads, EveryByteArrivesOnceAndInOrder) {
    constexpr long kBytes = 300000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto late = [&] { return std::chrono::steady_clock::now() > deadline; };
    ReceiveRing ring;
    std::atomic<bool> stop{false};

    std::thread producer([&] {
        for (long i = 0; i < kBytes && !stop;) {
            if (ring.Put(static_cast<std::uint8_t>(i * 7 + (i >> 8)))) {
                ++i;
            } else if (late()) {
                return;
            } else {
                std::this_thread::yield();
            }
        }
    });

    long received = 0, mismatches = 0;
    while (received < kBytes && !late()) {
        std::uint8_t b;
        if (!ring.Get(b)) {
            std::this_thread::yield();
            continue;
        }
        if (b != static_cast<std::uint8_t>(received * 7 + (received >> 8)))
            ++mismatches;
        ++received;
    }
    stop = true;
    producer.join();
    EXPECT_EQ(received, kBytes);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(ring.Count(), 0);
}

}  // namespace
}  // namespace corvane
