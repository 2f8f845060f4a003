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

// A router behind the session: it applies each LINK command it is given and
// answers, after `delay` ticks, with its whole map (or not at all, or keeping
// some outputs as they were).
struct FakeRouter : Link {
    void Close() override {}
    bool IsOpen() const override { return true; }
    int Write(const void* bytes, std::size_t length) override {
        writes.emplace_back(static_cast<const char*>(bytes), length);
        if (writes.back().starts_with("LINK=") && writes.back() != "LINK=?!") {
            RouterState asked;
            ApplyResponse(asked, writes.back().c_str());
            for (int o = 1; o <= kChannelCount; ++o) {
                if (!stubborn[o])
                    routes.routedInput[o] = asked.routedInput[o];
            }
        }
        if (!silent)
            answerIn = delay;
        return static_cast<int>(length);
    }
    std::string Answer() const { return BuildLinkCommand(routes.routedInput); }
    std::vector<std::string> LinkWrites() const {
        std::vector<std::string> links;
        for (const std::string& w : writes) {
            if (w.starts_with("LINK=") && w != "LINK=?!")
                links.push_back(w);
        }
        return links;
    }

    RouterState routes;
    bool stubborn[kChannelTableSize] = {};  // keeps its own route
    bool silent = false;
    int delay = 3;  // ticks: about 150 ms
    int answerIn = -1;
    std::vector<std::string> writes;
};

class RoutingTest : public ::testing::Test {
protected:
    RoutingTest() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
        session.connectionStatus = kConnected;
        session.pollIndex = kStartupQueryCount;  // the start-up poll is done
        session.activeLink = &router;
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            session.OnSendTimer();
            if (router.answerIn >= 0 && router.answerIn-- == 0) {
                const std::string answer = router.Answer();
                session.FeedResponseBytes(answer.data(), int(answer.size()));
            }
        }
    }
    int Routed(int output) const { return session.state.routedInput[output]; }
    int Count(const std::string& text) const {
        int n = 0;
        for (const std::string& line : screen.lines)
            n += line.find(text) != std::string::npos;
        return n;
    }

    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{2026, 12, 6, 14, 3, 7}; }};
    FakeRouter router;
    RouterSession session{log};
};

// Any number of requests made before or while the router is busy ends with
// every asked-for route on the router, in as few LINK commands as the pacing
// allows.
TEST_F(RoutingTest, BurstsEndWithEveryRouteInFewCommands) {
    struct Case {
        int requests, ticksBetween;
        std::size_t maxLinks;
    };
    for (const Case c : {Case{2, 0, 1}, Case{16, 0, 1}, Case{100, 0, 1}, Case{16, 1, 6}}) {
        SCOPED_TRACE(c.requests);
        session.routing = RoutingMap();
        session.state = RouterState();
        router = FakeRouter();
        session.commandQueue.clear();
        int expected[kChannelTableSize] = {};
        for (int r = 0; r < c.requests; ++r) {
            const int output = 1 + r % kChannelCount, input = 1 + (r * 7) % kChannelCount;
            session.RequestRoutes({{output, input}});
            expected[output] = input;
            Tick(c.ticksBetween);
        }
        EXPECT_LE(session.commandQueue.size(), 1u);
        Tick(40);
        for (int o = 1; o <= kChannelCount; ++o)
            EXPECT_EQ(Routed(o), expected[o]) << o;
        EXPECT_LE(router.LinkWrites().size(), c.maxLinks);
        EXPECT_FALSE(session.routing.HasPending());
    }
}

// The click sequence that used to lose output 2: the second command is built
// from the intended map, not from a model still waiting for the answer.
TEST_F(RoutingTest, SecondClickWhileFirstIsInFlightKeepsTheFirst) {
    session.LinkOutput(3, 2);
    Tick();  // the first LINK leaves; its answer is 3 ticks away
    session.LinkOutput(3, 5);
    EXPECT_EQ(session.routing.Intended(session.state, 2), 3);
    Tick(10);
    ASSERT_EQ(router.LinkWrites().size(), 2u);
    EXPECT_NE(router.LinkWrites()[1].find("03^02"), std::string::npos);
    EXPECT_EQ(Routed(2), 3);
    EXPECT_EQ(Routed(5), 3);
    // A click toggles against what was asked: output 5 comes off again.
    session.LinkOutput(3, 5);
    Tick(10);
    EXPECT_EQ(Routed(5), 0);
}

TEST_F(RoutingTest, UnsentLinkIsRewrittenInPlaceAndOthersKeepTheirOrder) {
    session.connectionStatus = kDisconnected;
    session.EnqueueCommand("MON=02!");
    session.RequestRoutes({{1, 4}});
    session.EnqueueCommand("VID=?!");
    session.RequestRoutes({{2, 6}});
    session.ClearAllLinks();
    session.RequestRoutes({{16, 9}});
    ASSERT_EQ(session.commandQueue.size(), 3u);
    EXPECT_EQ(session.commandQueue[0], "MON=02!");
    int map[kChannelTableSize] = {};
    map[16] = 9;
    EXPECT_EQ(session.commandQueue[1], BuildLinkCommand(map));
    EXPECT_EQ(session.commandQueue[2], "VID=?!");
}

// What the router does with a request, and what the map makes of it.
TEST_F(RoutingTest, ChangesAreConfirmedOrDroppedOnce) {
    struct Case {
        const char* name;
        bool stubborn, silent;
        int routedAfter, notTakenLines;
    };
    const Case cases[] = {
        {"taken", false, false, 7, 0},
        {"router keeps its route", true, false, 0, 1},
        {"no answer, twice", false, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session.routing = RoutingMap();
        session.state = RouterState();
        session.commandQueue.clear();
        router = FakeRouter();
        screen.lines.clear();
        router.stubborn[4] = c.stubborn;
        router.silent = c.silent;
        session.RequestRoutes({{4, 7}});
        Tick(100);
        EXPECT_EQ(Routed(4), c.routedAfter);
        EXPECT_FALSE(session.routing.HasPending());
        EXPECT_EQ(Count("Route not taken: output 04"), c.notTakenLines);
        // An unanswered LINK is sent once more before it is given up.
        EXPECT_EQ(router.LinkWrites().size(), c.silent ? 2u : 1u);
    }
}

TEST_F(RoutingTest, NewerRequestIsNotDroppedByTheAnswerToAnOlderOne) {
    router.stubborn[4] = true;
    session.RequestRoutes({{4, 7}});
    Tick();  // sent
    session.RequestRoutes({{4, 8}});
    Tick(2);  // the answer shows output 4 unchanged, but 8 is still to go
    EXPECT_EQ(session.routing.pending[4], 8);
    router.stubborn[4] = false;
    Tick(10);
    EXPECT_EQ(Routed(4), 8);
    EXPECT_EQ(Count("Route not taken"), 0);
}

TEST_F(RoutingTest, DisconnectDropsWhatIsInFlight) {
    session.RequestRoutes({{4, 7}});
    session.routing.DropPending();
    EXPECT_EQ(session.routing.Intended(session.state, 4), 0);
}

TEST_F(RoutingTest, UndoAndRedoRestoreConfirmedStepsAsOneCommand) {
    session.RequestRoutes({{1, 5}, {2, 5}});
    Tick(10);
    session.ClearAllLinks();
    Tick(10);
    ASSERT_EQ(session.routing.undoSteps.size(), 2u);
    const std::size_t links = router.LinkWrites().size();
    EXPECT_TRUE(session.Undo());
    Tick(10);
    EXPECT_EQ(router.LinkWrites().size(), links + 1);
    EXPECT_EQ(Routed(1), 5);
    EXPECT_EQ(Routed(2), 5);
    EXPECT_TRUE(session.Undo());
    Tick(10);
    EXPECT_EQ(Routed(1), 0);
    EXPECT_TRUE(session.Redo());
    Tick(10);
    EXPECT_EQ(Routed(2), 5);
    // A new step ends the redo history; a step the router refused is none.
    session.RequestRoutes({{9, 1}});
    Tick(10);
    EXPECT_TRUE(session.routing.redoSteps.empty());
    router.stubborn[10] = true;
    const std::size_t steps = session.routing.undoSteps.size();
    session.RequestRoutes({{10, 1}});
    Tick(10);
    EXPECT_EQ(session.routing.undoSteps.size(), steps);

    session.connectionStatus = kConnecting;
    EXPECT_FALSE(session.Undo());
}

// Protected outputs keep their routes whatever asks, and saying so is logged.
TEST_F(RoutingTest, ProtectedOutputsKeepTheirRoutes) {
    session.RequestRoutes({{3, 2}});
    Tick(10);
    session.SetProtected(3, true);
    session.LinkOutput(9, 3);
    session.ClearAllLinks();
    Salvo salvo;
    std::fill(std::begin(salvo.map), std::end(salvo.map), 6);
    session.RequestRoutes(SalvoChanges(salvo));
    session.routing.takeMode = true;
    session.LinkOutput(9, 3);
    EXPECT_FALSE(session.routing.HasStaged());
    session.routing.takeMode = false;
    Tick(20);
    EXPECT_EQ(Routed(3), 2);
    EXPECT_EQ(Routed(4), 6);
    // Four refusals in one second: one line and the count of its repeats.
    EXPECT_EQ(Count("Output 03 is protected"), 1);
    EXPECT_EQ(Count("last message repeated 3 times"), 1);

    // Undo of a step that touched it leaves it alone too.
    session.SetProtected(3, false);
    session.RequestRoutes({{3, 8}});
    Tick(10);
    session.SetProtected(3, true);
    session.Undo();
    Tick(10);
    EXPECT_EQ(Routed(3), 8);

    // A client's lock blocks everyone but that client.
    session.routing.lockOwner[5] = kFirstClient;
    EXPECT_FALSE(session.routing.MayChange(5, kOperator));
    EXPECT_TRUE(session.routing.MayChange(5, kFirstClient));
    EXPECT_FALSE(session.routing.MayChange(5, kFirstClient + 1));
    EXPECT_TRUE(session.routing.ReleaseLocks(kFirstClient));
    EXPECT_TRUE(session.routing.MayChange(5, kOperator));
}

TEST_F(RoutingTest, TakeSendsEverythingStagedAsOneCommand) {
    session.routing.takeMode = true;
    for (int o = 1; o <= kChannelCount; ++o)
        session.LinkOutput(1 + o % 4, o);
    session.LinkOutput(2, 1);  // staged 2 already: toggles to no input
    Tick(5);
    EXPECT_TRUE(router.LinkWrites().empty());
    session.Take();
    Tick(10);
    ASSERT_EQ(router.LinkWrites().size(), 1u);
    EXPECT_EQ(Routed(1), 0);
    EXPECT_EQ(Routed(16), 1);
    EXPECT_FALSE(session.routing.HasStaged());

    session.LinkOutput(7, 7);
    session.routing.CancelStaged();
    session.Take();
    Tick(5);
    EXPECT_EQ(router.LinkWrites().size(), 1u);
}

TEST(RouteEntryTest, ReadsInputSeparatorOutput) {
    struct Case {
        const char* text;
        std::optional<RouteChange> change;
    };
    const Case cases[] = {
        {"3.5", RouteChange{5, 3}}, {"16>16", RouteChange{16, 16}}, {" 0 12 ", RouteChange{12, 0}},
        {"3-5", RouteChange{5, 3}}, {"35", std::nullopt},           {"3.", std::nullopt},
        {"17.1", std::nullopt},     {"1.0", std::nullopt},          {"1.17", std::nullopt},
        {"a.b", std::nullopt},      {"1.2.3", std::nullopt},        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseRouteEntry(c.text), c.change) << c.text;
}

class SalvoFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir =
            std::filesystem::temp_directory_path() /
            ("corvane-salvo-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "salvos.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    std::filesystem::path dir;
    std::string path;
};

TEST_F(SalvoFileTest, SavesAndReadsBackSalvosAndProtection) {
    SalvoFile file;
    int map[kChannelTableSize] = {};
    for (int n = 0; n < 64; ++n) {
        map[1 + n % 16] = n % 17;
        ASSERT_TRUE(file.Store("Salvo " + std::to_string(n), map));
    }
    EXPECT_TRUE(file.Rename("Salvo 0", "Studio A \xe9"));
    EXPECT_FALSE(file.Rename("Salvo 1", "Salvo 2"));
    EXPECT_TRUE(file.Remove("Salvo 5"));
    EXPECT_FALSE(file.Store("a=b", map));
    file.protectedOutput[2] = file.protectedOutput[16] = true;
    ASSERT_TRUE(file.Save(path));

    SalvoFile back;
    std::string problem;
    ASSERT_TRUE(back.Load(path, problem)) << problem;
    ASSERT_EQ(back.salvos.size(), 63u);
    EXPECT_EQ(back.salvos[0].name, "Studio A \xe9");
    EXPECT_TRUE(back.protectedOutput[16]);
    EXPECT_FALSE(back.protectedOutput[3]);
    ASSERT_NE(back.Matching(map), nullptr);
    EXPECT_EQ(back.Matching(map)->name, "Salvo 63");
}

TEST_F(SalvoFileTest, DamagedFileGivesNothingAndIsKeptAside) {
    const std::string good = "01,02,03,04,05,06,07,08,09,10,11,12,13,14,15,16";
    for (const std::string& bad : std::vector<std::string>{
             "[SALVO]\nA=" + good + "\nB=01,02\n", "[SALVO]\nA=" + good + ",17\n",
             "[PROTECT]\nOutputs=0\n", "[SALVO]\nno equals sign\n",
             "[SALVO]\nA=" + good + "\nA=" + good, std::string("[SALVO]\nA=\x01\x02\n", 13)}) {
        Write(bad);
        SalvoFile file;
        std::string problem;
        EXPECT_FALSE(file.Load(path, problem)) << bad;
        EXPECT_TRUE(file.salvos.empty());
        EXPECT_TRUE(std::filesystem::exists(path + ".bad"));
    }
    std::filesystem::remove(path);
    SalvoFile missing;
    std::string problem;
    EXPECT_TRUE(missing.Load(path, problem));
}

}  // namespace
}  // namespace corvane
