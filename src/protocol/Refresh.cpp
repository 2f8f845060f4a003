#include "protocol/Refresh.h"

#include <string>

#include "protocol/Pacing.h"

namespace corvane {

namespace {

constexpr int kLampCount = 2 * kChannelCount;
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
