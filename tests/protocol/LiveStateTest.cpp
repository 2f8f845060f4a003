// The session against the simulated router after Connect: what it re-reads,
// what it finds, and how it keeps routes made elsewhere.
#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "SimRouter.h"
#include "protocol/Pacing.h"
#include "protocol/RouterSession.h"
#include "settings/EventLog.h"

namespace corvane {
namespace {

// The session and the simulator's router behind its link, answering every
// command `delay` ticks after it was written (or not at all while silent).
struct LiveRig : Link {
    LiveRig() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
        session.onEvent = [this](const SessionEvent& e) {
            if (e.kind >= SessionEvent::RouteChanged)
                events.push_back(e);
        };
        session.refresh = [this] { ++refreshes; };
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    int Write(const void* bytes, std::size_t length) override {
        const std::string command(static_cast<const char*>(bytes), length);
        writes.push_back({session.tick, command});
        if (!silent) {
            for (std::string& answer : sim::HandleCommand(router, command))
                inbox.push_back({session.tick + delay, std::move(answer)});
        }
        return static_cast<int>(length);
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            session.OnSendTimer();
            while (!inbox.empty() && inbox.front().first <= session.tick) {
                const std::string answer = inbox.front().second;
                inbox.erase(inbox.begin());
                session.ParseResponse(answer.c_str());
            }
        }
    }
    // Connect and wait out the start-up poll; everything so far is forgotten.
    void Connect() {
        session.OnLinkOpened(this);
        for (int i = 0; i < 400 && !session.PollDone(); ++i)
            Tick();
        ASSERT_TRUE(session.PollDone());
        Forget();
    }
    void Forget() {
        writes.clear();
        events.clear();
        screen.lines.clear();
        refreshes = 0;
    }
    // Ticks until the log holds `text`; how many it took, or -1.
    int TicksUntilLogged(const std::string& text, int limit) {
        for (int t = 0; t <= limit; ++t) {
            if (Logged().find(text) != std::string::npos)
                return t;
            Tick();
        }
        return -1;
    }
    std::string Logged() const {
        std::string text;
        for (const std::string& line : screen.lines)
            text += line.substr(line.find(']') + 1) + "\n";
        return text;
    }
    std::vector<std::string> LinkSets() const {
        std::vector<std::string> sets;
        for (const auto& [tick, command] : writes) {
            if (command.starts_with("LINK=") && command != "LINK=?!")
                sets.push_back(command);
        }
        return sets;
    }

    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{2026, 12, 7, 9, 0, 0}; }};
    RouterSession session{log};
    sim::SimRouter router = sim::DefaultRouter();
    std::vector<std::pair<long long, std::string>> inbox;   // due tick, answer
    std::vector<std::pair<long long, std::string>> writes;  // tick, command
    std::vector<SessionEvent> events;
    int refreshes = 0;
    int delay = 0;
    bool silent = false;
};

// Idle for a minute: the routes about once a second, every lamp worth asking
// within 3 s (a router that takes 150 ms an answer slows that down), the slow
// queries within 30 s, never more than 12 queries in a second, and nothing
// logged or repainted while nothing changes.
TEST(LiveState, AnIdleRouterIsReReadWithinItsPeriodsAndBudget) {
    for (int delay : {0, 3}) {
        SCOPED_TRACE(delay);
        LiveRig rig;
        rig.delay = delay;
        rig.Connect();
        const int ticks = 61 * kTicksPerSecond;
        rig.Tick(ticks);
        std::map<std::string, std::vector<long long>> at;
        for (const auto& [tick, command] : rig.writes)
            at[command].push_back(tick);
        auto longestGap = [&](const std::string& query) {
            std::vector<long long> t = at[query];
            if (t.empty())
                return static_cast<long long>(ticks);
            long long gap = t.front() - rig.writes.front().first;
            for (std::size_t i = 1; i < t.size(); ++i)
                gap = std::max(gap, t[i] - t[i - 1]);
            return gap;
        };
        EXPECT_LE(longestGap("LINK=?!"), kTicksPerSecond + (delay > 0 ? 4 : 1));
        for (int n = 1; n <= kChannelCount; ++n) {
            for (const bool input : {true, false}) {
                const std::string query = (input ? "IN=" : "OUT=") + std::to_string(n) + "!";
                if (RefreshSchedule::LampWorthAsking(rig.session.state, input, n))
                    EXPECT_LE(longestGap(query), (delay > 0 ? 6 : 3) * kTicksPerSecond) << query;
                else
                    EXPECT_TRUE(at[query].empty()) << query;
            }
        }
        for (const char* query : RefreshSchedule::kSlowQueries)
            EXPECT_LE(longestGap(query), 30 * kTicksPerSecond) << query;
        for (std::size_t i = 0; i + kRefreshPerSecond < rig.writes.size(); ++i)
            ASSERT_GE(rig.writes[i + kRefreshPerSecond].first - rig.writes[i].first,
                      kTicksPerSecond);
        EXPECT_EQ(rig.Logged(), "");
        EXPECT_EQ(rig.refreshes, 0);
        EXPECT_TRUE(rig.events.empty());
    }
    // Not before the poll is done, and not at all when switched off.
    LiveRig rig;
    rig.session.refreshEnabled = false;
    rig.Connect();
    rig.Tick(100);
    EXPECT_TRUE(rig.writes.empty());
}

// A change on the router is logged with the exchange that found it and its
// own line, and reported once as an event, within the period of its query.
TEST(LiveState, ChangesOnTheRouterAreReportedOnceEach) {
    struct Case {
        void (*change)(sim::SimRouter&);
        const char* line;
        SessionEvent::Kind kind;
        int channel, value, withinTicks;
    };
    const Case cases[] = {
        {[](sim::SimRouter& r) { r.route[2] = 5; }, "Output 02 changed on the router: input 05",
         SessionEvent::RouteChanged, 2, 5, 21},
        {[](sim::SimRouter& r) { r.route[1] = 0; }, "Output 01 changed on the router: input 00",
         SessionEvent::RouteChanged, 1, 0, 21},
        {[](sim::SimRouter& r) { r.inputSignal[1] = "Signal OFF"; }, "Input 01 signal lost",
         SessionEvent::SignalChanged, 1, 0, 61},
        {[](sim::SimRouter& r) { r.inputSignal[2] = "1920x1080p@60Hz"; },
         "Input 02 signal back: 1920x1080p@60Hz", SessionEvent::SignalChanged, 2, 1, 61},
        {[](sim::SimRouter& r) { r.outputPlugged[1] = false; }, "Output 01 unplugged",
         SessionEvent::PlugChanged, 1, 0, 61},
        {[](sim::SimRouter& r) { r.outputPlugged[16] = true; }, "Output 16 plugged",
         SessionEvent::PlugChanged, 16, 1, 61},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        LiveRig rig;
        rig.Connect();
        rig.Tick(7);  // somewhere in the rotation
        c.change(rig.router);
        const int took = rig.TicksUntilLogged(c.line, 200);
        EXPECT_GE(took, 0);
        EXPECT_LE(took, c.withinTicks);
        rig.Tick(3 * kSlowRefreshTicks / 2);  // every query comes round again
        const std::string logged = rig.Logged();
        EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 3) << logged;
        EXPECT_NE(logged.find("-->Data["), std::string::npos);
        ASSERT_EQ(rig.events.size(), 1u);
        const SessionEvent& e = rig.events[0];
        EXPECT_TRUE(e.kind == c.kind && e.channel == c.channel && e.value == c.value);
        EXPECT_EQ(e.text, c.line);
        EXPECT_EQ(rig.session.signalLostTick[1] >= 0,
                  c.kind == SessionEvent::SignalChanged && c.value == 0);
    }
}

// The front panel changes one output; a moment later this program routes
// another. Whenever the two meet in the refresh cycle and however slow the
// router, its last LINK command keeps the front panel's route.
TEST(LiveState, ARouteMadeElsewhereIsNeverUndone) {
    for (int delay : {0, 3}) {
        for (int phase = 0; phase < kTicksPerSecond; phase += 3) {
            for (int gap : {0, 2, 30}) {
                SCOPED_TRACE(testing::Message() << delay << " " << phase << " " << gap);
                LiveRig rig;
                rig.delay = delay;
                rig.Connect();
                rig.Tick(phase);
                rig.router.route[2] = 5;  // the front panel
                rig.Tick(gap);
                rig.session.RequestRoutes({{7, 9}});
                rig.Tick(40);
                EXPECT_EQ(rig.router.route[2], 5);
                EXPECT_EQ(rig.router.route[7], 9);
                EXPECT_EQ(rig.LinkSets().size(), 1u);
                EXPECT_FALSE(rig.session.routing.HasPending());
            }
        }
    }
}

// The refresh takes only idle ticks: a request leaves on the next tick, or
// the one after when the map must be read first.
TEST(LiveState, RefreshNeverHoldsUpARequest) {
    for (int phase = 0; phase < kTicksPerSecond; ++phase) {
        SCOPED_TRACE(phase);
        LiveRig rig;
        rig.Connect();
        rig.Tick(phase);
        const long long asked = rig.session.tick;
        rig.session.RequestRoutes({{13, 2}});
        rig.Tick(3);
        ASSERT_EQ(rig.LinkSets().size(), 1u);
        long long sentAt = 0;
        for (const auto& [tick, command] : rig.writes) {
            if (command.starts_with("LINK=0"))
                sentAt = tick;
        }
        EXPECT_LE(sentAt - asked, 2);
    }
}

// A router that stops answering while the link stays open: said once within
// 3 s, one probe a second, requests kept waiting (not sent into the void);
// once it answers, it is read again and what was asked goes against the map
// it has now.
TEST(LiveState, ASilentRouterIsNoticedProbedAndRecovered) {
    LiveRig rig;
    rig.Connect();
    rig.silent = true;
    const int took = rig.TicksUntilLogged("Router not answering", 200);
    EXPECT_TRUE(took > 0 && took <= kSilentTicks + 2) << took;
    EXPECT_FALSE(rig.session.answering || rig.session.Live());
    rig.writes.clear();
    rig.session.RequestRoutes({{13, 2}});
    rig.Tick(5 * kTicksPerSecond);
    EXPECT_EQ(rig.session.routing.pending[13], 2);
    EXPECT_TRUE(rig.LinkSets().empty());
    EXPECT_LE(rig.writes.size(), 6u);
    for (const auto& [tick, command] : rig.writes)
        EXPECT_EQ(command, "LINK=?!");
    // Meanwhile the front panel moved output 4.
    rig.router.route[4] = 7;
    rig.silent = false;
    EXPECT_GE(rig.TicksUntilLogged("Router answering again", 2 * kTicksPerSecond), 0);
    rig.Tick(4 * kTicksPerSecond);
    EXPECT_TRUE(rig.session.Live());
    EXPECT_TRUE(rig.router.route[13] == 2 && rig.router.route[4] == 7);
    EXPECT_EQ(std::count_if(rig.writes.begin(), rig.writes.end(),
                            [](auto& w) { return w.second == "NET=?!"; }),
              1);
    ASSERT_EQ(rig.events.size(), 3u);  // silent, back, and output 4 seen
    EXPECT_TRUE(rig.events[0].kind == SessionEvent::Answering && rig.events[0].value == 0);
    EXPECT_TRUE(rig.events[1].kind == SessionEvent::Answering && rig.events[1].value == 1);
    EXPECT_EQ(rig.events[2].kind, SessionEvent::RouteChanged);
}

// Undo puts back only outputs whose route is still the one its step set.
TEST(LiveState, UndoLeavesAnOutputChangedElsewhere) {
    LiveRig rig;
    rig.Connect();
    rig.session.RequestRoutes({{1, 5}, {2, 5}});
    rig.Tick(10);
    rig.router.route[2] = 9;
    rig.Tick(2 * kTicksPerSecond);
    EXPECT_EQ(rig.session.state.routedInput[2], 9);
    EXPECT_TRUE(rig.session.Undo());
    rig.Tick(10);
    EXPECT_EQ(rig.router.route[1], sim::DefaultRouter().route[1]);
    EXPECT_EQ(rig.router.route[2], 9);
    EXPECT_NE(rig.Logged().find("Output 02 changed since, not undone"), std::string::npos);
}

}  // namespace
}  // namespace corvane
