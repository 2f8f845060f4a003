#include "protocol/Refresh.h"

#include <string>

#include "protocol/Pacing.h"

namespace corvane {

namespace {

constexpr int kLampCount = 2 * kChannelCount;
// Every signal and plug lamp is re-read within 3 s: the lamp queries are
// spread over 2.7 s, the rest of the time goes to the routes and the others.
constexpr int kLampPaceTicks = 3 * kTicksPerSecond * 9 / 10;
// One slow query this often, so each of them comes round every kSlowRefreshTicks.
constexpr int kSlowEvery = kSlowRefreshTicks / RefreshSchedule::kSlowQueryCount;

}  // namespace

const char* const RefreshSchedule::kSlowQueries[kSlowQueryCount] = {
    "SLOT=?!", "EDID=?!", "LOCK=?!", "VID=?!", "MON=?!", "QUAD=?!", "RS232=?!", "NET=?!",
};

void RefreshSchedule::Reset(long long now) {
    recent.clear();
    lastLink = now;
    lastSlow = now;
    lampRoundStart = now;
    lampsThisRound = 0;
    nextSlow = 0;
    nextLamp = 0;
}

bool RefreshSchedule::LampWorthAsking(const RouterState& state, bool input, int channel) {
    const int slot = SlotOfChannel(channel);
    if (!state.known.cards[slot])
        return true;
    const int card = input ? state.inputCardType[slot] : state.outputCardType[slot];
    if (card == 0)
        return false;
    if (input)
        return true;
    switch (card) {
        case kFiber1Output:
        case kFiber2Output:
        case kQuadMultiViewer:
            return false;
        default:
            return true;
    }
}

std::string RefreshSchedule::Next(long long now, const RouterState& state) {
    while (!recent.empty() && recent.front() <= now - kTicksPerSecond)
        recent.pop_front();
    if (static_cast<int>(recent.size()) >= kRefreshPerSecond)
        return {};
    std::string query;
    if (now - lastLink >= kTicksPerSecond) {
        query = "LINK=?!";
        lastLink = now;
    } else if (now - lastSlow >= kSlowEvery) {
        query = kSlowQueries[nextSlow];
        nextSlow = (nextSlow + 1) % kSlowQueryCount;
        lastSlow = now;
    } else {
        // The lamps are spread over the round, no faster: a router with
        // empty slots is asked less.
        int lamps = 0;
        for (int n = 0; n < kLampCount; ++n)
            lamps += LampWorthAsking(state, n % 2 == 0, n / 2 + 1);
        if (lampsThisRound >= lamps) {
            lampRoundStart = now;
            lampsThisRound = 0;
        }
        if (lamps == 0 || (now - lampRoundStart) * lamps < lampsThisRound * kLampPaceTicks)
            return {};
        ++lampsThisRound;
        for (int tried = 0; tried < kLampCount && query.empty(); ++tried) {
            const bool input = nextLamp % 2 == 0;
            const int channel = nextLamp / 2 + 1;
            nextLamp = (nextLamp + 1) % kLampCount;
            if (LampWorthAsking(state, input, channel))
                query = (input ? "IN=" : "OUT=") + std::to_string(channel) + "!";
        }
        // No lamp worth asking about: nothing this tick.
        if (query.empty())
            return {};
    }
    recent.push_back(now);
    return query;
}

}  // namespace corvane
