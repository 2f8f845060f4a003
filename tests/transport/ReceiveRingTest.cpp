#include "transport/ReceiveRing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

// Each case starts with both indices `offset` slots into the storage, so that
// the full and empty rules are also checked across the wrap.
TEST(ReceiveRing, FullAndEmptyAreRefusedAndOrderHoldsAcrossTheWrap) {
    for (int offset : {0, ReceiveRing::kSize - 5}) {
        SCOPED_TRACE(offset);
        ReceiveRing ring;
        std::uint8_t b = 0x5A;
        for (int i = 0; i < offset; ++i)
            ASSERT_TRUE(ring.Put(0xEE) && ring.Get(b));
        b = 0x5A;
        EXPECT_TRUE(ring.Get(b) == 0 && b == 0x5A);
        EXPECT_EQ(ring.Free(), ReceiveRing::kCapacity);
        for (int i = 0; i < ReceiveRing::kCapacity; ++i)
            ASSERT_EQ(ring.Put(static_cast<std::uint8_t>(i)), 1) << "byte " << i;
        EXPECT_TRUE(ring.Free() == 0 && ring.Put(0xFF) == 0);
        EXPECT_EQ(ring.Count(), ReceiveRing::kCapacity);
        for (int i = 0; i < ReceiveRing::kCapacity; ++i)
            ASSERT_TRUE(ring.Get(b) == 1 && b == static_cast<std::uint8_t>(i)) << "byte " << i;
        EXPECT_TRUE(ring.Get(b) == 0 && ring.Count() == 0);
    }
}

}  // namespace
}  // namespace corvane
