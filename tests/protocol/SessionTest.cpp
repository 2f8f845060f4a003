// The router session against the simulated router behind a fake link: the
// pacing of the commands, routing through the intended map, and what it
// re-reads and finds after Connect.
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "../support/SessionSupport.h"
#include "SimRouter.h"
#include "protocol/Pacing.h"
#include "protocol/ResponseParser.h"
#include "settings/SalvoFile.h"

namespace corvane {
namespace {

// The session and the simulated router behind its link. The router takes at
// most `take` bytes a write, keeps its own route on stubborn outputs and
// answers every command `delay` ticks after it was written, or never while silent.
struct Rig : SessionRig, ByteSink {
    Rig() {
        session.onEvent.Subscribe([this](const SessionEvent& e) {
            if (e.kind >= SessionEvent::RouteChanged)
                events.push_back(e);
        });
        session.onRefresh.Subscribe([this] { ++refreshes; });
    }
    int Write(const void* bytes, std::size_t length) override {
        length = std::min(length, take);
        if (length == 0)
            return 0;
        const std::string command(static_cast<const char*>(bytes), length);
        writes.push_back({session.tick, command});
        if (command.starts_with("LINK=") && command != "LINK=?!" && lostLinks > 0) {
            --lostLinks;  // never reaches the router
            return static_cast<int>(length);
        }
        const sim::SimRouter before = router;
        std::vector<std::string> answers = sim::HandleCommand(router, command);
        for (int o = 1; o <= kChannelCount; ++o)
            router.route[o] = stubborn[o] ? before.route[o] : router.route[o];
        if (command.starts_with("LINK=") && !answers.empty())
            answers = {sim::LinkAnswer(router)};
        for (std::string& answer : answers) {
            if (!silent)
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
        EXPECT_TRUE(session.PollDone());
        Forget();
    }
    void Forget() {
        writes.clear();
        events.clear();
        screen.lines.clear();
        refreshes = 0;
    }
    // n ticks, and what was written in each, counted from 1.
    std::vector<std::pair<int, std::string>> RunTicks(int n) {
        std::vector<std::pair<int, std::string>> sent;
        for (int tick = 1; tick <= n; ++tick) {
            const std::size_t before = writes.size();
            Tick();
            if (writes.size() > before)
                sent.push_back({tick, writes.back().second});
        }
        return sent;
    }
    // Ticks until the log holds `text`; how many it took, or -1.
    int TicksUntilLogged(const std::string& text, int limit) {
        for (int t = 0; t <= limit; ++t) {
            if (LogCount(screen, text) > 0)
                return t;
            Tick();
        }
        return -1;
    }
    std::string Logged() const { return LogText(screen); }
    int Count(const std::string& text) const { return int(LogCount(screen, text)); }
    // The LINK commands that set routes.
    std::vector<std::string> LinkSets() const {
        std::vector<std::string> sets;
        for (const auto& [tick, command] : writes) {
            if (command.starts_with("LINK=") && command != "LINK=?!")
                sets.push_back(command);
        }
        return sets;
    }
    void Request(const std::vector<RouteChange>& changes) {
        session.RequestRoutes(changes);
        Tick(10);
    }
    bool Then(bool done) {  // after Undo or Redo
        Tick(10);
        return done;
    }
    int Routed(int output) const { return session.state.routedInput[output]; }

    sim::SimRouter router = sim::DefaultRouter();
    bool stubborn[kChannelTableSize] = {};
    int delay = 0;
    bool silent = false;
    int lostLinks = 0;  // route-setting LINK commands lost on the way
    std::size_t take = SIZE_MAX;
    std::vector<std::pair<long long, std::string>> inbox;   // due tick, answer
    std::vector<std::pair<long long, std::string>> writes;  // tick, command, as taken
    std::vector<SessionEvent> events;
    int refreshes = 0;
};

// Connected with the router's map (no routes) read and the poll done, no
// refresh; the router answers after about 150 ms.
struct RoutingRig : Rig {
    RoutingRig() {
        session.refreshEnabled = false;
        delay = 3;
        std::fill(std::begin(router.route), std::end(router.route), 0);
        ConnectPolled(session, this, router.route);
        Forget();
    }
};

class RoutingTest : public ::testing::Test, public RoutingRig {};

using Sent = std::vector<std::pair<int, std::string>>;  // tick, command

// The pacing on its own: a router that answers nothing unless told to.
class SessionTest : public ::testing::Test, public Rig {
protected:
    SessionTest() {
        session.refreshEnabled = false;
        silent = true;
    }
};

TEST_F(SessionTest, SilentRouterWaitsTwentyTicksUntilAnAnswerReleasesTheNext) {
    session.OnLinkOpened(this);
    EXPECT_EQ(RunTicks(41), (Sent{{1, "NET=?!"}, {21, "LINK=?!"}, {41, "VID=?!"}}));
    session.ParseResponse("NETIP=%s%n!");  // logged as it came, never used as a format
    EXPECT_EQ(session.connectionStatus, kConnected);
    EXPECT_EQ(Logged(),
              "-->Data[NET=?!]\n-->Data[LINK=?!]\n-->Data[VID=?!]\n<--Recv[NETIP=%s%n!]\n");
    EXPECT_EQ(RunTicks(1), (Sent{{1, StartupQueries[3]}}));
    // Once the wait is over an idle session sends a new command at once.
    session.commandQueue.clear();
    RunTicks(30);
    session.EnqueueCommand("MON=02!");
    EXPECT_EQ(RunTicks(1), (Sent{{1, "MON=02!"}}));
}

// Commands queued before Connect wait, then leave first; an answering router
// then gets the start-up queries one per tick in order. Routes asked for
// meanwhile wait for the poll, then go against the map it read: they change
// their own outputs and no other.
TEST_F(SessionTest, QueueWaitsUntilConnectThenGoesFirst) {
    for (int status : {kDisconnected, kConnectionFailed}) {
        session.OnLinkClosed();
        session.SetStatus(status);
        std::fill(std::begin(router.route), std::end(router.route), 1);
        session.EnqueueCommand("MON=02!");
        session.LinkOutput(3, 2);
        session.LinkOutput(3, 0);  // no such output: nothing asked
        session.LinkOutput(3, 17);
        EXPECT_TRUE(RunTicks(40).empty()) << status;
        session.ParseResponse("MON=03!");  // a late answer never revives the connection
        EXPECT_EQ(session.connectionStatus, status);
        session.OnLinkOpened(this);
        Sent expected = {{1, "MON=02!"}};
        for (int i = 0; i < kStartupQueryCount; ++i)
            expected.push_back({2 + i, StartupQueries[i]});
        int map[kChannelTableSize];
        std::fill(std::begin(map), std::end(map), 1);
        map[2] = 3;
        expected.push_back({44, "LINK=?!"});
        expected.push_back({45, BuildLinkCommand(map)});
        silent = false;  // an answer to each at once
        EXPECT_EQ(RunTicks(60), expected) << status;
        silent = true;
        EXPECT_TRUE(session.commandQueue.empty() && !session.routing.HasPending());
    }
}

TEST_F(SessionTest, RefusesOverLongCommandsAndKeepsUnsentOnes) {
    EXPECT_TRUE(session.EnqueueCommand("NETIP=" + std::string(248, '1') + "!"));  // 255
    EXPECT_FALSE(session.EnqueueCommand("NETIP=" + std::string(249, '1') + "!"));
    EXPECT_TRUE(Logged().starts_with("Command refused, 256 characters"));
    Forget();
    session.connectionStatus = kConnecting;
    session.activeLink = nullptr;  // no link to write to: nothing is lost
    RunTicks(2);
    EXPECT_EQ(session.commandQueue.size(), 3u);
    EXPECT_EQ(Logged(), "");
    // A link that takes nothing keeps the head, says so once, retries after the wait.
    session.activeLink = this;
    take = 0;
    RunTicks(1);
    EXPECT_EQ(session.commandQueue.size(), 4u);
    EXPECT_EQ(Logged(),
              "Send refused by the link, retrying: NETIP=" + std::string(248, '1') + "!\n");
    take = SIZE_MAX;
    const Sent sent = RunTicks(20);
    EXPECT_TRUE(sent.size() == 1 && sent[0].first == 20 && sent[0].second.starts_with("NETIP="));
}

// A serial port that takes a command in parts: nothing else goes, and the
// log shows it, until it is out whole. One that then takes nothing for 5 s
// fails the connection once.
TEST_F(SessionTest, PartWritesFinishFirstAndAStalledLinkFailsOnce) {
    session.OnLinkOpened(this);
    session.SkipStartupPoll();
    session.SetStatus(kConnected);
    session.EnqueueCommand("LINK=01^01!");  // typed: sent as it is
    session.EnqueueCommand("VID=?!");
    take = 4;
    EXPECT_EQ(RunTicks(23), (Sent{{1, "LINK"}, {2, "=01^"}, {3, "01!"}, {23, "VID="}}));
    EXPECT_EQ(Logged(), "-->Data[LINK=01^01!]\n");
    Forget();
    take = 0;
    EXPECT_TRUE(RunTicks(99).empty());
    EXPECT_EQ(session.connectionStatus, kConnected);
    RunTicks(200);
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    EXPECT_EQ(Logged(),
              "Send refused by the link, retrying: VID=?!\nRouter not answering\n"
              "Send stalled, the link took nothing for 5 s \n");
    EXPECT_EQ(session.commandQueue.front(), "VID=?!");
}

// Any number of requests made before or while the router is busy ends with
// every asked-for route on the router, in as few LINK commands as the pacing
// allows.
TEST_F(RoutingTest, BurstsEndWithEveryRouteInFewCommands) {
    for (const auto& [requests, ticksBetween, maxLinks] :
         {std::tuple{2, 0, 1u}, {16, 0, 1u}, {100, 0, 1u}, {16, 1, 6u}}) {
        SCOPED_TRACE(requests);
        RoutingRig rig;
        int expected[kChannelTableSize] = {};
        for (int r = 0; r < requests; ++r) {
            const int output = 1 + r % kChannelCount, input = 1 + (r * 7) % kChannelCount;
            rig.session.RequestRoutes({{output, input}});
            expected[output] = input;
            rig.Tick(ticksBetween);
        }
        rig.Tick(40);
        EXPECT_EQ(BuildLinkCommand(rig.session.state.routedInput), BuildLinkCommand(expected));
        EXPECT_LE(rig.LinkSets().size(), maxLinks);
    }
    // The unsent LINK command is rewritten in place; others keep their order.
    session.EnqueueCommand("MON=02!");
    session.RequestRoutes({{1, 4}});
    session.EnqueueCommand("VID=?!");
    session.RequestRoutes({{16, 9}});
    session.ClearAllLinks();
    EXPECT_EQ(session.commandQueue, (CommandQueue{"MON=02!", ClearAllLinksCommand(), "VID=?!"}));
}

// The click sequence that used to lose output 2: the second command is built
// from the intended map, not from a model still waiting for the answer.
TEST_F(RoutingTest, SecondClickWhileFirstIsInFlightKeepsTheFirst) {
    session.LinkOutput(3, 2);
    Tick();  // the first LINK leaves; its answer is 3 ticks away
    session.LinkOutput(3, 5);
    Tick(10);
    EXPECT_TRUE(LinkSets().size() == 2 && Routed(2) == 3 && Routed(5) == 3);
    // A click toggles against what was asked: output 5 comes off again.
    session.LinkOutput(3, 5);
    Tick(10);
    EXPECT_EQ(Routed(5), 0);
}

// What the router does with a request, and what the map makes of it: an
// unanswered LINK is sent once more; a router that answers and keeps its
// route has refused it, one that answers nothing keeps it waiting, asked for.
TEST_F(RoutingTest, ChangesAreConfirmedOrDroppedOnce) {
    // A command lost once goes again; a router that kept its route, or
    // answers nothing, is not asked twice.
    for (const auto& [stubbornRouter, silentRouter, lost, routedAfter, notTakenLines, linkCount] :
         {std::tuple{false, false, 0, 7, 0, 1u},
          {true, false, 0, 0, 1, 1u},
          {false, true, 0, 0, 0, 1u},
          {false, false, 1, 7, 0, 2u}}) {
        SCOPED_TRACE(testing::Message() << stubbornRouter << silentRouter << lost);
        RoutingRig rig;
        rig.stubborn[4] = stubbornRouter;
        rig.silent = silentRouter;
        rig.lostLinks = lost;
        rig.session.RequestRoutes({{4, 7}});
        rig.Tick(100);
        EXPECT_EQ(rig.Routed(4), routedAfter);
        EXPECT_EQ(rig.session.routing.HasPending(), silentRouter);
        EXPECT_EQ(rig.session.answering, !silentRouter);
        EXPECT_EQ(rig.Count("Route not taken: output 04"), notTakenLines);
        EXPECT_EQ(rig.LinkSets().size(), linkCount);
    }
    // A newer request is not dropped by the answer to an older one.
    stubborn[4] = true;
    session.RequestRoutes({{4, 7}});
    Tick();  // sent
    session.RequestRoutes({{4, 8}});
    Tick(2);  // the answer shows output 4 unchanged, but 8 is still to go
    stubborn[4] = false;
    Tick(10);
    EXPECT_TRUE(Routed(4) == 8 && Count("Route not taken") == 0);
    // A link that fails keeps what was asked for; it goes once the next link
    // has read the map.
    take = 0;
    session.RequestRoutes({{4, 7}});
    Tick();
    session.OnLinkFailed();
    take = SIZE_MAX;
    session.OnLinkOpened(this);
    Tick(400);
    EXPECT_TRUE(router.route[4] == 7 && Routed(4) == 7);
}

TEST_F(RoutingTest, UndoAndRedoRestoreConfirmedStepsAsOneCommand) {
    Request({{1, 5}, {2, 5}});
    session.ClearAllLinks();
    Tick(10);
    EXPECT_TRUE(Then(session.Undo()));
    EXPECT_TRUE(LinkSets().size() == 3 && Routed(1) == 5 && Routed(2) == 5);
    EXPECT_TRUE(Then(session.Undo()));
    EXPECT_EQ(Routed(1), 0);
    EXPECT_TRUE(Then(session.Redo()));
    EXPECT_EQ(Routed(2), 5);
    // A new step ends the redo history; a step the router refused is none.
    Request({{9, 1}});
    EXPECT_TRUE(session.routing.redoSteps.empty());
    stubborn[10] = true;
    Request({{10, 1}});
    EXPECT_EQ(session.routing.undoSteps.size(), 2u);
    // Undo puts back only outputs whose route is still the one its step set.
    Request({{1, 6}, {2, 6}});
    router.route[2] = 9;  // the front panel
    session.ParseResponse(sim::LinkAnswer(router).c_str());
    EXPECT_TRUE(Then(session.Undo()));
    EXPECT_TRUE(Routed(1) == 5 && Routed(2) == 9);
    EXPECT_EQ(Count("Output 02 changed since, not undone"), 1);
    session.connectionStatus = kConnecting;
    EXPECT_FALSE(session.Undo());
}

// Take mode stages clicks and sends them as one command; protected outputs
// keep their routes whatever asks, and saying so is logged.
TEST_F(RoutingTest, TakeSendsWhatIsStagedAndProtectedOutputsKeepTheirRoutes) {
    Request({{3, 2}});
    session.SetProtected(3, true);
    session.LinkOutput(9, 3);
    Salvo salvo;
    std::fill(std::begin(salvo.map), std::end(salvo.map), 6);
    session.RequestRoutes(SalvoChanges(salvo));
    session.routing.takeMode = true;
    for (int o = 1; o <= kChannelCount; ++o)
        session.LinkOutput(1 + o % 4, o);
    session.LinkOutput(2, 1);  // staged 2 already: toggles to no input
    EXPECT_EQ(session.routing.staged[3], kNoRoute);
    Tick(10);
    EXPECT_TRUE(LinkSets().size() == 2 && Routed(4) == 6);
    session.Take();
    Tick(10);
    EXPECT_TRUE(LinkSets().size() == 3 && Routed(1) == 0 && Routed(16) == 1 && Routed(3) == 2);
    EXPECT_FALSE(session.routing.HasStaged());
    session.LinkOutput(7, 7);
    session.routing.CancelStaged();
    session.Take();
    Tick(5);
    EXPECT_EQ(LinkSets().size(), 3u);
    // Three refusals in one second: one line and the count of its repeats.
    EXPECT_EQ(Count("Output 03 is protected"), 1);
    EXPECT_EQ(Count("last message repeated 2 times"), 1);
    // Undo of a step that touched it leaves it alone too.
    session.SetProtected(3, false);
    Request({{3, 8}});
    session.SetProtected(3, true);
    Then(session.Undo());
    EXPECT_EQ(Routed(3), 8);
}

// Idle for a minute: the routes about once a second, every lamp worth asking
// within 3 s (a router that takes 150 ms an answer slows that down), the slow
// queries within 30 s, never more than 12 queries in a second, and nothing
// logged or repainted while nothing changes.
TEST(LiveState, AnIdleRouterIsReReadWithinItsPeriodsAndBudget) {
    // A full router has more lamps than the budget lets through in 3 s.
    for (const auto& [delay, cards] : {std::pair{0, ""}, {3, ""}, {0, "0A,0A,0A,0A/0B,0B,0B,0B"}}) {
        SCOPED_TRACE(testing::Message() << delay << " " << cards);
        Rig rig;
        rig.delay = delay;
        ASSERT_TRUE(!*cards || sim::ApplyCardList(rig.router, cards, nullptr));
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
        const int lampSeconds = delay > 0 ? 6 : *cards ? 4 : 3;
        for (int n = 1; n <= kChannelCount; ++n) {
            for (const bool input : {true, false}) {
                const std::string query = (input ? "IN=" : "OUT=") + std::to_string(n) + "!";
                if (RefreshSchedule::LampWorthAsking(rig.session.state, input, n))
                    EXPECT_LE(longestGap(query), lampSeconds * kTicksPerSecond) << query;
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
    Rig rig;
    rig.session.refreshEnabled = false;
    rig.Connect();
    rig.Tick(100);
    EXPECT_TRUE(rig.writes.empty());
}

// A change on the router is logged with the exchange that found it and its
// own line, and reported once as an event, within the period of its query.
TEST(LiveState, ChangesOnTheRouterAreReportedOnceEach) {
    using E = SessionEvent;
    // the change on the router's own panel, its line, the event, within ticks
    const std::tuple<const char*, const char*, E::Kind, int, int, int> cases[] = {
        {"route 2 5", "Output 02 changed on the router: input 05", E::RouteChanged, 2, 5, 21},
        {"route 1 0", "Output 01 changed on the router: input 00", E::RouteChanged, 1, 0, 21},
        {"signal 1 off", "Input 01 signal lost", E::SignalChanged, 1, 0, 61},
        {"signal 2 1080p", "Input 02 signal back: 1080p", E::SignalChanged, 2, 1, 61},
        {"plug 1 0", "Output 01 unplugged", E::PlugChanged, 1, 0, 61},
        {"plug 16 1", "Output 16 plugged", E::PlugChanged, 16, 1, 61}};
    for (const auto& [change, line, kind, channel, value, withinTicks] : cases) {
        SCOPED_TRACE(line);
        Rig rig;
        rig.Connect();
        rig.Tick(7);  // somewhere in the rotation
        ASSERT_EQ(sim::PanelLine(rig.router, change), "ok");
        const int took = rig.TicksUntilLogged(line, 200);
        EXPECT_TRUE(took >= 0 && took <= withinTicks) << took;
        rig.Tick(3 * kSlowRefreshTicks / 2);  // every query comes round again
        const std::string logged = rig.Logged();
        EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 3) << logged;
        EXPECT_NE(logged.find("-->Data["), std::string::npos);
        ASSERT_EQ(rig.events.size(), 1u);
        const SessionEvent& e = rig.events[0];
        EXPECT_TRUE(e.kind == kind && e.channel == channel && e.value == value && e.text == line);
        EXPECT_EQ(rig.session.signalLostTick[1] >= 0, kind == E::SignalChanged && value == 0);
    }
}

// The front panel changes one output; a moment later this program routes
// another. Whenever the two meet in the refresh cycle and however slow the
// router, its last LINK command keeps the front panel's route; and the
// refresh takes only idle ticks: the request leaves on the next tick, or the
// one after when the map must be read first.
TEST(LiveState, ARouteMadeElsewhereIsNeverUndoneNorHeldUp) {
    for (int delay : {0, 3}) {
        for (int phase = 0; phase < kTicksPerSecond; ++phase) {
            for (int gap : {0, 2, 30}) {
                SCOPED_TRACE(testing::Message() << delay << " " << phase << " " << gap);
                Rig rig;
                rig.delay = delay;
                rig.Connect();
                rig.Tick(phase);
                rig.router.route[2] = 5;  // the front panel
                rig.Tick(gap);
                const long long asked = rig.session.tick;
                rig.session.RequestRoutes({{7, 9}});
                rig.Tick(40);
                EXPECT_TRUE(rig.router.route[2] == 5 && rig.router.route[7] == 9);
                ASSERT_EQ(rig.LinkSets().size(), 1u);
                EXPECT_FALSE(rig.session.routing.HasPending());
                for (const auto& [tick, command] : rig.writes)
                    EXPECT_TRUE(delay > 0 || command != rig.LinkSets()[0] || tick - asked <= 2);
            }
        }
    }
}

// A router that stops answering while the link stays open: said once within
// 3 s, one probe a second, requests kept waiting (not sent into the void);
// once it answers, it is read again and what was asked goes against the map
// it has now.
TEST(LiveState, ASilentRouterIsNoticedProbedAndRecovered) {
    Rig rig;
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

}  // namespace
}  // namespace corvane
