// The headless loop's timer against times of the test's own: one tick per
// 50 ms however often it is asked, and no burst of ticks after a stall.

#include <gtest/gtest.h>

#include "transport/HeadlessLoop.h"

namespace corvane {
namespace {

TEST(TickTimer, DueOncePer50MsAndCarriesOnAfterAStall) {
    using namespace std::chrono;
    // asked every `step` for 2 s, with a stall of `stall` at 0.5 s: the ticks
    const std::tuple<milliseconds, milliseconds, int> cases[] = {
        {1ms, 0ms, 40},
        {8ms, 0ms, 40},
        {50ms, 0ms, 40},
        {80ms, 0ms, 25},  // asked less often than it is due: once a look, no more
        // a second lost: 10 ticks, one for the stall, then 9 in the last 0.5 s
        {1ms, 1000ms, 20}};
    for (const auto& [step, stall, expected] : cases) {
        const steady_clock::time_point start{};
        TickTimer timer(start);
        int ticks = 0;
        for (steady_clock::time_point now = start; now - start <= 2000ms; now += step) {
            if (stall > 0ms && now - start >= 500ms && now - start < 500ms + step)
                now += stall;
            ticks += timer.Due(now);
        }
        EXPECT_EQ(ticks, expected) << step.count() << " us a look";
    }
}

}  // namespace
}  // namespace corvane
