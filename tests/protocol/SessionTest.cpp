// The router session against a router behind a fake link: the pacing of the
// commands, and routing through the intended map.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "../support/SessionSupport.h"
#include "base/EventLog.h"
#include "protocol/Commands.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterSession.h"
#include "settings/SalvoFile.h"

namespace corvane {
namespace {

// The session (connected with its start-up poll done and the router's map
// read, unless told otherwise; no refresh) and the router behind its link. The router takes at most
// `take` bytes a write, applies each LINK command it is given, keeping its own route on stubborn
// outputs, and answers `delay` ticks after a write with its whole map (-1: never).
struct Rig : ByteSink {
    explicit Rig(bool connected = true) {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
        session.refreshEnabled = false;
        session.activeLink = this;
        if (connected) {
            ConnectPolled(session, this, routes.routedInput);
            Logged();
        }
    }
    int Write(const void* bytes, std::size_t length) override {
        length = std::min(length, take);
        if (length == 0)
            return 0;
        const std::string command(static_cast<const char*>(bytes), length);
        writes.push_back(command);
        if (command.starts_with("LINK=") && command != "LINK=?!") {
            links.push_back(command);
            RouterState asked;
            ApplyResponse(asked, command.c_str());
            for (int o = 1; o <= kChannelCount; ++o)
                routes.routedInput[o] = stubborn[o] ? routes.routedInput[o] : asked.routedInput[o];
        }
        answerIn = delay;
        return static_cast<int>(length);
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            session.OnSendTimer();
            if (answerIn >= 0 && answerIn-- == 0)
                session.ParseResponse(BuildLinkCommand(routes.routedInput).c_str());
        }
    }
    // n ticks, and what was written in each, counted from 1.
    std::vector<std::pair<int, std::string>> RunTicks(int n) {
        std::vector<std::pair<int, std::string>> sent;
        for (int tick = 1; tick <= n; ++tick) {
            const std::size_t before = writes.size();
            Tick();
            if (writes.size() > before)
                sent.push_back({tick, writes.back()});
        }
        return sent;
    }
    // The log lines since the last call, without their time.
    std::string Logged() {
        std::string text;
        for (const std::string& line : std::exchange(screen.lines, {}))
            text += line.substr(line.find(']') + 1) + "\n";
        return text;
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
    int Count(const std::string& text) const {
        return int(std::count_if(screen.lines.begin(), screen.lines.end(),
                                 [&](auto& line) { return line.find(text) != std::string::npos; }));
    }

    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{2026, 12, 6, 14, 3, 7}; }};
    RouterSession session{log};
    RouterState routes;  // the router's
    bool stubborn[kChannelTableSize] = {};
    int delay = 3;  // about 150 ms; -1: no answer at all
    int answerIn = -1;
    std::size_t take = SIZE_MAX;
    std::vector<std::string> writes;  // as taken
    std::vector<std::string> links;   // the LINK commands that set routes
};

class RoutingTest : public ::testing::Test, public Rig {};

using Sent = std::vector<std::pair<int, std::string>>;  // tick, command

// The pacing on its own: a router that answers nothing unless told to.
class SessionTest : public ::testing::Test, public Rig {
protected:
    SessionTest() : Rig(false) { delay = -1; }
};

TEST_F(SessionTest, SilentRouterWaitsTwentyTicksUntilAnAnswerReleasesTheNext) {
    session.OnLinkOpened(this);
    EXPECT_EQ(RunTicks(41), (Sent{{1, "NET=?!"}, {21, "LINK=?!"}, {41, "VID=?!"}}));
    EXPECT_EQ(session.commandQueue.size(), 41u - 3u);
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
        std::fill(std::begin(routes.routedInput), std::end(routes.routedInput), 1);
        session.EnqueueCommand("MON=02!");
        session.LinkOutput(3, 2);
        session.LinkOutput(3, 0);  // no such output: nothing asked
        session.LinkOutput(3, 17);
        EXPECT_TRUE(RunTicks(40).empty()) << status;
        session.ParseResponse("MON=03!");  // a late answer never revives the connection
        EXPECT_EQ(session.connectionStatus, status);
        EXPECT_EQ(session.routing.pending[2], 3);
        session.OnLinkOpened(this);
        Sent expected = {{1, "MON=02!"}};
        for (int i = 0; i < kStartupQueryCount; ++i)
            expected.push_back({2 + i, StartupQueries[i]});
        int map[kChannelTableSize];
        std::fill(std::begin(map), std::end(map), 1);
        map[2] = 3;
        expected.push_back({44, "LINK=?!"});
        expected.push_back({45, BuildLinkCommand(map)});
        delay = 0;  // an answer to each at once
        EXPECT_EQ(RunTicks(60), expected) << status;
        delay = -1;
        EXPECT_TRUE(session.commandQueue.empty() && !session.routing.HasPending());
    }
}

TEST_F(SessionTest, RefusesOverLongCommandsAndKeepsUnsentOnes) {
    EXPECT_TRUE(session.EnqueueCommand("NETIP=" + std::string(248, '1') + "!"));  // 255
    EXPECT_FALSE(session.EnqueueCommand("NETIP=" + std::string(249, '1') + "!"));
    EXPECT_TRUE(Logged().starts_with("Command refused, 256 characters"));
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
        Rig rig;
        int expected[kChannelTableSize] = {};
        for (int r = 0; r < requests; ++r) {
            const int output = 1 + r % kChannelCount, input = 1 + (r * 7) % kChannelCount;
            rig.session.RequestRoutes({{output, input}});
            expected[output] = input;
            rig.Tick(ticksBetween);
        }
        rig.Tick(40);
        EXPECT_EQ(BuildLinkCommand(rig.session.state.routedInput), BuildLinkCommand(expected));
        EXPECT_LE(rig.links.size(), maxLinks);
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
    EXPECT_TRUE(links.size() == 2 && Routed(2) == 3 && Routed(5) == 3);
    // A click toggles against what was asked: output 5 comes off again.
    session.LinkOutput(3, 5);
    Tick(10);
    EXPECT_EQ(Routed(5), 0);
}

// What the router does with a request, and what the map makes of it: an
// unanswered LINK is sent once more; a router that answers and keeps its
// route has refused it, one that answers nothing keeps it waiting, asked for.
TEST_F(RoutingTest, ChangesAreConfirmedOrDroppedOnce) {
    for (const auto& [stubbornRouter, silentRouter, routedAfter, notTakenLines, linkCount] :
         {std::tuple{false, false, 7, 0, 1u}, {true, false, 0, 1, 1u}, {false, true, 0, 0, 1u}}) {
        SCOPED_TRACE(testing::Message() << stubbornRouter << silentRouter);
        Rig rig;
        rig.stubborn[4] = stubbornRouter;
        rig.delay = silentRouter ? -1 : 3;
        rig.session.RequestRoutes({{4, 7}});
        rig.Tick(100);
        EXPECT_EQ(rig.Routed(4), routedAfter);
        EXPECT_EQ(rig.session.routing.HasPending(), silentRouter);
        EXPECT_EQ(rig.session.answering, !silentRouter);
        EXPECT_EQ(rig.Count("Route not taken: output 04"), notTakenLines);
        EXPECT_EQ(rig.links.size(), linkCount);
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
    // A disconnect drops what is in flight.
    session.RequestRoutes({{4, 7}});
    session.routing.DropPending();
    EXPECT_EQ(session.routing.Intended(session.state, 4), 8);
}

TEST_F(RoutingTest, UndoAndRedoRestoreConfirmedStepsAsOneCommand) {
    Request({{1, 5}, {2, 5}});
    session.ClearAllLinks();
    Tick(10);
    EXPECT_TRUE(Then(session.Undo()));
    EXPECT_TRUE(links.size() == 3 && Routed(1) == 5 && Routed(2) == 5);
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
    EXPECT_TRUE(links.size() == 2 && Routed(4) == 6);
    session.Take();
    Tick(10);
    EXPECT_TRUE(links.size() == 3 && Routed(1) == 0 && Routed(16) == 1 && Routed(3) == 2);
    EXPECT_FALSE(session.routing.HasStaged());
    session.LinkOutput(7, 7);
    session.routing.CancelStaged();
    session.Take();
    Tick(5);
    EXPECT_EQ(links.size(), 3u);
    // Three refusals in one second: one line and the count of its repeats.
    EXPECT_EQ(Count("Output 03 is protected"), 1);
    EXPECT_EQ(Count("last message repeated 2 times"), 1);
    // Undo of a step that touched it leaves it alone too.
    session.SetProtected(3, false);
    Request({{3, 8}});
    session.SetProtected(3, true);
    Then(session.Undo());
    EXPECT_EQ(Routed(3), 8);
    // A Videohub client's lock holds against the window and other clients, not its owner.
    RoutingMap& routing = session.routing;
    routing.lockOwner[5] = kFirstClient;
    EXPECT_FALSE(routing.MayChange(5, kOperator) || routing.MayChange(5, kFirstClient + 1));
    EXPECT_TRUE(routing.MayChange(5, kFirstClient));
    EXPECT_TRUE(routing.ReleaseLocks(kFirstClient) && routing.MayChange(5, kOperator));
}

}  // namespace
}  // namespace corvane
