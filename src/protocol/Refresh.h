#pragma once

#include <deque>
#include <string>

#include "protocol/RouterState.h"

namespace corvane {

// What to re-ask the router while it is connected and idle, so that the picture
// stays true: the routes about once a second, every signal and plug lamp in
// turn, and the slow-changing rest (cards, EDID modes, settings) in rotation.
// It only chooses; the session sends, and only on a tick with nothing else to do.
struct RefreshSchedule {
    static constexpr int kSlowQueryCount = 8;
    static const char* const kSlowQueries[kSlowQueryCount];

    // Ticks of the sends in the last second, oldest first.
    std::deque<long long> recent;
    long long lastLink = 0;
    long long lastSlow = 0;
    long long lampRoundStart = 0;
    int lampsThisRound = 0;
    int nextSlow = 0;
    int nextLamp = 0;  // 0..31: IN=1, OUT=1, IN=2, OUT=2, ...

    // Starts the rotation over; the first routes refresh falls due a second
    // after now.
    void Reset(long long now);
    // The query to send at tick now (and counts it as sent), or "" when the
    // budget of this second is spent.
    std::string Next(long long now, const RouterState& state);
    // Whether a lamp query tells anything: channels in a slot known to be
    // empty have no lamp, and fiber and multiviewer outputs are always lit.
    static bool LampWorthAsking(const RouterState& state, bool input, int channel);
};

}  // namespace corvane
