#include "protocol/RoutingMap.h"

#include <algorithm>
#include <cstdint>

#include "protocol/Pacing.h"

namespace corvane {

namespace {

// The second unanswered LINK in a row gives its changes up.
constexpr int kLinkAttempts = 2;

void Cap(std::vector<RouteStep>& steps) {
    if (steps.size() > static_cast<std::size_t>(kUndoDepth))
        steps.erase(steps.begin(), steps.end() - kUndoDepth);
}

}  // namespace

RouteStep::RouteStep() {
    std::fill(std::begin(before), std::end(before), kNoRoute);
    std::fill(std::begin(after), std::end(after), kNoRoute);
}

bool RouteStep::Empty() const {
    return std::all_of(std::begin(after), std::end(after), [](int a) { return a == kNoRoute; });
}

RoutingMap::RoutingMap() {
    std::fill(std::begin(pending), std::end(pending), kNoRoute);
    std::fill(std::begin(staged), std::end(staged), kNoRoute);
}

int RoutingMap::Intended(const RouterState& state, int output) const {
    if (!InTable(output))
        return 0;
    return pending[output] != kNoRoute ? pending[output] : state.routedInput[output];
}

bool RoutingMap::HasPending() const {
    return std::any_of(std::begin(pending) + 1, std::end(pending),
                       [](int p) { return p != kNoRoute; });
}

bool RoutingMap::HasStaged() const {
    return std::any_of(std::begin(staged) + 1, std::end(staged),
                       [](int s) { return s != kNoRoute; });
}

bool RoutingMap::MayChange(int output, int requester) const {
    if (!InTable(output))
        return false;
    const int owner = lockOwner[output];
    return owner == 0 || (owner >= kFirstClient && owner == requester);
}

std::vector<int> RoutingMap::Apply(const RouterState& state,
                                   const std::vector<RouteChange>& changes, int requester,
                                   int stepKind) {
    std::vector<int> refused;
    RouteStep step;
    step.kind = stepKind;
    for (const RouteChange& change : changes) {
        const int o = change.output;
        if (!InTable(o) || change.input < 0 || change.input > kChannelCount ||
            !MayChange(o, requester)) {
            refused.push_back(o);
            continue;
        }
        int before = Intended(state, o);
        // A newer request takes the output over from a step still in flight;
        // undoing the newer one goes back to where the older one started.
        for (RouteStep& open : openSteps) {
            if (open.after[o] != kNoRoute && !open.confirmed[o]) {
                before = open.before[o];
                open.before[o] = open.after[o] = kNoRoute;
            }
        }
        if (stepKind != kNoStep && before != change.input) {
            step.before[o] = before;
            step.after[o] = change.input;
        } else {
            step.before[o] = step.after[o] = kNoRoute;
        }
        pending[o] = change.input;
        carried[o] = false;
    }
    if (stepKind != kNoStep && !step.Empty())
        openSteps.push_back(step);
    CloseFinishedSteps();
    return refused;
}

void RoutingMap::OnLinkSent() {
    for (int o = 1; o <= kChannelCount; ++o)
        carried[o] = pending[o] != kNoRoute;
    linkOutstanding = true;
    linkWaitTicks = 0;
}

std::vector<int> RoutingMap::OnLinkAnswer(const RouterState& state,
                                          const bool (&named)[kChannelTableSize]) {
    std::vector<int> dropped;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (pending[o] == kNoRoute)
            continue;
        if (state.routedInput[o] == pending[o]) {
            pending[o] = kNoRoute;
            carried[o] = false;
            Resolve(o, true);
        } else if (linkOutstanding && carried[o] && named[o]) {
            // The router answered our command and kept its own route.
            Drop(o);
            dropped.push_back(o);
        }
    }
    linkOutstanding = false;
    linkWaitTicks = 0;
    unansweredLinks = 0;
    return dropped;
}

RoutingMap::TickResult RoutingMap::OnTick(bool answeredSinceSent) {
    TickResult result;
    if (!linkOutstanding || ++linkWaitTicks < kAnswerWaitTicks)
        return result;
    linkOutstanding = false;
    linkWaitTicks = 0;
    if (++unansweredLinks < kLinkAttempts) {
        result.resend = HasPending();
        return result;
    }
    unansweredLinks = 0;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (!carried[o])
            continue;
        if (answeredSinceSent) {
            Drop(o);
            result.dropped.push_back(o);
        } else {
            carried[o] = false;
        }
    }
    return result;
}

void RoutingMap::Unsend() {
    std::fill(std::begin(carried), std::end(carried), false);
    linkOutstanding = false;
    linkWaitTicks = 0;
    unansweredLinks = 0;
}

void RoutingMap::DropPending() {
    std::fill(std::begin(pending), std::end(pending), kNoRoute);
    std::fill(std::begin(carried), std::end(carried), false);
    linkOutstanding = false;
    linkWaitTicks = 0;
    unansweredLinks = 0;
    openSteps.clear();
}

void RoutingMap::Stage(int output, int input) {
    if (InTable(output) && input >= 0 && input <= kChannelCount)
        staged[output] = input;
}

std::vector<RouteChange> RoutingMap::TakeStaged() {
    std::vector<RouteChange> changes;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (staged[o] != kNoRoute)
            changes.push_back({o, staged[o]});
    }
    CancelStaged();
    return changes;
}

void RoutingMap::CancelStaged() {
    std::fill(std::begin(staged), std::end(staged), kNoRoute);
}

bool RoutingMap::ReleaseLocks(int owner) {
    bool any = false;
    for (int o = 1; o <= kChannelCount; ++o) {
        if (lockOwner[o] == owner) {
            lockOwner[o] = 0;
            any = true;
        }
    }
    return any;
}

int RoutingMap::AddClient(const std::string& protocol) {
    const int id = nextClient_;
    nextClient_ = nextClient_ < INT32_MAX ? nextClient_ + 1 : kFirstClient;
    clients[id] = protocol;
    return id;
}

bool RoutingMap::RemoveClient(int id) {
    clients.erase(id);
    return ReleaseLocks(id);
}

std::string RoutingMap::ClientName(int id) const {
    const auto it = clients.find(id);
    return (it != clients.end() ? it->second + " client " : "client ") + std::to_string(id);
}

void RoutingMap::Drop(int output) {
    pending[output] = kNoRoute;
    carried[output] = false;
    Resolve(output, false);
}

void RoutingMap::Resolve(int output, bool confirmed) {
    for (RouteStep& step : openSteps) {
        if (step.after[output] == kNoRoute || step.confirmed[output])
            continue;
        if (confirmed)
            step.confirmed[output] = true;
        else
            step.before[output] = step.after[output] = kNoRoute;
    }
    CloseFinishedSteps();
}

void RoutingMap::CloseFinishedSteps() {
    for (auto it = openSteps.begin(); it != openSteps.end();) {
        bool waiting = false;
        for (int o = 1; o <= kChannelCount; ++o)
            waiting = waiting || (it->after[o] != kNoRoute && !it->confirmed[o]);
        if (waiting) {
            ++it;
            continue;
        }
        if (!it->Empty()) {
            if (it->kind == kUndoStep) {
                redoSteps.push_back(*it);
                Cap(redoSteps);
            } else {
                if (it->kind == kNewStep)
                    redoSteps.clear();
                undoSteps.push_back(*it);
                Cap(undoSteps);
            }
        }
        it = openSteps.erase(it);
    }
}

}  // namespace corvane
