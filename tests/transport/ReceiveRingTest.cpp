#include "transport/ReceiveRing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

// Each case runs on a fresh ring and with both indices a few slots before the
// end of the storage, so the same rule is checked across the wrap.
class RingAtOffset : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        std::uint8_t b;
        for (int i = 0; i < GetParam(); ++i)
            ASSERT_TRUE(ring.Put(0xEE) && ring.Get(b));
    }
    ReceiveRing ring;
};

TEST_P(RingAtOffset, FullAndEmptyAreRefusedAndOrderHoldsAllTheWayRound) {
    std::uint8_t b = 0x5A;
    EXPECT_EQ(ring.Get(b), 0);
    EXPECT_EQ(b, 0x5A);
    EXPECT_EQ(ring.Free(), ReceiveRing::kCapacity);
    for (int i = 0; i < ReceiveRing::kCapacity; ++i)
        ASSERT_EQ(ring.Put(static_cast<std::uint8_t>(i)), 1) << "byte " << i;
    EXPECT_EQ(ring.Free(), 0);
    EXPECT_EQ(ring.Put(0xFF), 0);
    EXPECT_EQ(ring.Count(), ReceiveRing::kCapacity);
    for (int i = 0; i < ReceiveRing::kCapacity; ++i) {
        ASSERT_EQ(ring.Get(b), 1);
        ASSERT_EQ(b, static_cast<std::uint8_t>(i)) << "byte " << i;
    }
    EXPECT_EQ(ring.Get(b), 0);
    EXPECT_EQ(ring.Count(), 0);
    // Bytes keep their order all the way round.
    std::uint8_t next = 0, expected = 0;
    for (int round = 0; round < ReceiveRing::kSize / 97 + 2; ++round) {
        for (int i = 0; i < 97; ++i)
            ASSERT_EQ(ring.Put(next++), 1);
        ASSERT_EQ(ring.Count(), 97);
        for (int i = 0; i < 97; ++i) {
            ASSERT_EQ(ring.Get(b), 1);
            ASSERT_EQ(b, expected++);
        }
    }
    EXPECT_EQ(ring.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Start, RingAtOffset, ::testing::Values(0, ReceiveRing::kSize - 5));

}  // namespace
}  // namespace corvane
