#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/Commands.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterSession.h"
#include "settings/EventLog.h"
#include "settings/SalvoFile.h"

namespace corvane {
namespace {

// The session, connected with its start-up poll done, and the router behind
// it: that applies each LINK command it is given and answers `delay` ticks
// later with its whole map, keeping its own route on stubborn outputs.
struct Rig : Link {
    Rig() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
        session.connectionStatus = kConnected;
        session.pollIndex = kStartupQueryCount;
        session.activeLink = this;
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    int Write(const void* bytes, std::size_t length) override {
        const std::string command(static_cast<const char*>(bytes), length);
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
    std::vector<std::string> links;  // the LINK commands that set routes
};

class RoutingTest : public ::testing::Test, public Rig {};

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
    session.connectionStatus = kDisconnected;
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

// What the router does with a request, and what the map makes of it; an
// unanswered LINK is sent once more before it is given up.
TEST_F(RoutingTest, ChangesAreConfirmedOrDroppedOnce) {
    for (const auto& [stubbornRouter, silentRouter, routedAfter, notTakenLines, linkCount] :
         {std::tuple{false, false, 7, 0, 1u}, {true, false, 0, 1, 1u}, {false, true, 0, 1, 2u}}) {
        SCOPED_TRACE(testing::Message() << stubbornRouter << silentRouter);
        Rig rig;
        rig.stubborn[4] = stubbornRouter;
        rig.delay = silentRouter ? -1 : 3;
        rig.session.RequestRoutes({{4, 7}});
        rig.Tick(100);
        EXPECT_EQ(rig.Routed(4), routedAfter);
        EXPECT_FALSE(rig.session.routing.HasPending());
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
}

TEST(RouteEntryTest, ReadsInputSeparatorOutput) {
    const std::pair<const char*, RouteChange> good[] = {
        {"3.5", {5, 3}}, {"16>16", {16, 16}}, {" 0 12 ", {12, 0}}, {"3-5", {5, 3}}};
    for (const auto& [text, change] : good)
        EXPECT_EQ(ParseRouteEntry(text), change) << text;
    for (const char* text : {"35", "3.", "17.1", "1.0", "1.17", "a.b", "1.2.3", ""})
        EXPECT_EQ(ParseRouteEntry(text), std::nullopt) << text;
}

TEST(SalvoFileTest, SavesAndReadsBackAndKeepsADamagedFileAside) {
    const std::string path = ::testing::TempDir() + "corvane-salvos-" +
                             std::to_string(::testing::UnitTest::GetInstance()->random_seed());
    SalvoFile file;
    int map[kChannelTableSize] = {};
    for (int n = 0; n < 64; ++n) {
        map[1 + n % 16] = n % 17;
        ASSERT_TRUE(file.Store("Salvo " + std::to_string(n), map));
    }
    EXPECT_TRUE(file.Rename("Salvo 0", "Studio A \xe9") && file.Remove("Salvo 5"));
    EXPECT_FALSE(file.Rename("Salvo 1", "Salvo 2") || file.Store("a=b", map));
    file.protectedOutput[2] = file.protectedOutput[16] = true;
    ASSERT_TRUE(file.Save(path));
    SalvoFile back;
    std::string problem;
    ASSERT_TRUE(back.Load(path, problem)) << problem;
    ASSERT_EQ(back.salvos.size(), 63u);
    EXPECT_EQ(back.salvos[0].name, "Studio A \xe9");
    EXPECT_TRUE(back.protectedOutput[16] && !back.protectedOutput[3]);
    EXPECT_EQ(back.Matching(map) ? back.Matching(map)->name : "", "Salvo 63");

    const std::string good = "01,02,03,04,05,06,07,08,09,10,11,12,13,14,15,16";
    for (const std::string& bad : std::vector<std::string>{
             "[SALVO]\nA=" + good + "\nB=01,02\n", "[SALVO]\nA=" + good + ",17\n",
             "[PROTECT]\nOutputs=0\n", "[SALVO]\nno equals sign\n",
             "[SALVO]\nA=" + good + "\nA=" + good, std::string("[SALVO]\nA=\x01\x02\n", 13)}) {
        std::ofstream(path, std::ios::binary) << bad;
        EXPECT_FALSE(back.Load(path, problem)) << bad;
        EXPECT_TRUE(back.salvos.empty() && std::filesystem::exists(path + ".bad"));
    }
    std::filesystem::remove(path);
    EXPECT_TRUE(SalvoFile().Load(path, problem));  // missing: empty, no error
    std::filesystem::remove(path + ".bad");
}

}  // namespace
}  // namespace corvane
