#include "protocol/RouterSession.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/Commands.h"
#include "settings/EventLog.h"

namespace corvane {
namespace {

// Records what it takes: at most `take` bytes a write, none when 0.
struct FakeLink : Link {
    void Close() override {}
    bool IsOpen() const override { return true; }
    int Write(const void* bytes, std::size_t length) override {
        const std::size_t n = std::min(length, take);
        if (n > 0)
            writes.emplace_back(static_cast<const char*>(bytes), n);
        return static_cast<int>(n);
    }
    std::size_t take = SIZE_MAX;
    std::vector<std::string> writes;
};

using Sent = std::pair<int, std::string>;  // tick, command

class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
    }

    void Connect(int status = kConnecting) {
        session.connectionStatus = status;
        session.pollIndex = 0;
        session.activeLink = &link;
    }
    void Feed(const std::string& bytes) {
        session.FeedResponseBytes(bytes.data(), static_cast<int>(bytes.size()));
    }
    // Runs n ticks; an answering router replies after every command it gets.
    std::vector<Sent> Run(int n, bool answering) {
        std::vector<Sent> sent;
        for (int tick = 1; tick <= n; ++tick) {
            const std::size_t before = link.writes.size();
            session.OnSendTimer();
            if (link.writes.size() > before) {
                sent.push_back({tick, link.writes.back()});
                // A LINK command reads as the router's answer to it.
                if (answering)
                    Feed(sent.back().second.starts_with("LINK=") ? sent.back().second : "MON=01!");
            }
        }
        return sent;
    }

    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{2026, 12, 6, 14, 3, 7}; }};
    FakeLink link;
    RouterSession session{log};
};

TEST_F(SessionTest, SilentRouterWaitsTwentyTicksUntilAnAnswerReleasesTheNext) {
    Connect();
    const std::vector<Sent> expected = {
        {1, "NET=?!"}, {21, "LINK=?!"}, {41, "VID=?!"}, {61, "MON=?!"}, {81, "EDID=?!"}};
    EXPECT_EQ(Run(81, false), expected);
    EXPECT_EQ(session.commandQueue.size(), 41u - 5u);
    Feed("NETIP=%s%n!");  // logged as it came, never used as a format
    EXPECT_EQ(session.connectionStatus, kConnected);
    ASSERT_EQ(screen.lines.size(), 6u);
    EXPECT_EQ(screen.lines[0], "[2026/12/06 14:03:07]-->Data[NET=?!]");
    EXPECT_EQ(screen.lines[5], "[2026/12/06 14:03:07]<--Recv[NETIP=%s%n!]");
    EXPECT_EQ(Run(1, false), (std::vector<Sent>{{1, StartupQueries[5]}}));

    // Once the wait is over an idle session sends a new command at once.
    session.commandQueue.clear();
    Run(30, false);
    session.EnqueueCommand("MON=02!");
    EXPECT_EQ(Run(1, false), (std::vector<Sent>{{1, "MON=02!"}}));
}

// Commands queued before Connect wait, then leave first; an answering router
// then gets the start-up queries one per tick in order.
TEST_F(SessionTest, QueueWaitsUntilConnectThenGoesFirst) {
    for (int status : {kDisconnected, kConnectionFailed}) {
        session.commandQueue.clear();
        Connect(status);
        session.LinkOutput(3, 2);
        session.LinkOutput(3, 0);  // no such output: nothing queued
        session.LinkOutput(3, 17);
        session.ClearAllLinks();
        EXPECT_TRUE(Run(40, false).empty()) << status;
        EXPECT_EQ(session.pollIndex, 0u) << status;
        Feed("MON=03!");  // a late answer never revives the connection
        EXPECT_EQ(session.connectionStatus, status);

        Connect();
        const std::vector<Sent> sent = Run(60, true);
        // The clear rewrote the unsent route: one LINK command carries both.
        ASSERT_EQ(sent.size(), 42u) << status;
        EXPECT_EQ(sent[0], (Sent{1, ClearAllLinksCommand()}));
        for (int i = 0; i < kStartupQueryCount; ++i)
            EXPECT_EQ(sent[1 + i], (Sent{2 + i, StartupQueries[i]}));
        EXPECT_TRUE(session.commandQueue.empty());
    }
}

TEST_F(SessionTest, RefusesOverLongCommandsAndKeepsUnsentOnes) {
    EXPECT_TRUE(session.EnqueueCommand("NETIP=" + std::string(248, '1') + "!"));  // 255
    EXPECT_FALSE(session.EnqueueCommand("NETIP=" + std::string(249, '1') + "!"));
    EXPECT_NE(screen.lines.at(0).find("refused"), std::string::npos);

    Connect();
    session.activeLink = nullptr;  // no link to write to: nothing is lost
    Run(2, false);
    EXPECT_EQ(session.commandQueue.size(), 3u);
    EXPECT_EQ(screen.lines.size(), 1u);

    // A link that takes nothing keeps the head, says so once, retries after the wait.
    session.activeLink = &link;
    link.take = 0;
    Run(1, false);
    EXPECT_EQ(session.commandQueue.size(), 4u);
    ASSERT_EQ(screen.lines.size(), 2u);
    EXPECT_NE(screen.lines[1].find("Send refused by the link, retrying: NETIP="),
              std::string::npos);
    link.take = SIZE_MAX;
    const std::vector<Sent> sent = Run(20, false);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, 20);
    EXPECT_EQ(sent[0].second.substr(0, 6), "NETIP=");
}

// A serial port that takes a command in parts: nothing else goes, and the
// log shows it, until it is out whole. One that then takes nothing for 5 s
// fails the connection once.
TEST_F(SessionTest, PartWritesFinishFirstAndAStalledLinkFailsOnce) {
    Connect(kConnected);
    session.pollIndex = kStartupQueryCount;
    session.EnqueueCommand("LINK=01^01!");
    session.EnqueueCommand("VID=?!");
    link.take = 4;
    const std::vector<Sent> parts = {{1, "LINK"}, {2, "=01^"}, {3, "01!"}, {23, "VID="}};
    EXPECT_EQ(Run(23, false), parts);
    ASSERT_EQ(screen.lines.size(), 1u);
    EXPECT_EQ(screen.lines[0], "[2026/12/06 14:03:07]-->Data[LINK=01^01!]");

    link.take = 0;
    EXPECT_TRUE(Run(99, false).empty());
    EXPECT_EQ(session.connectionStatus, kConnected);
    Run(200, false);
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    ASSERT_EQ(screen.lines.size(), 3u);
    EXPECT_NE(screen.lines[1].find("Send refused by the link, retrying: VID=?!"),
              std::string::npos);
    EXPECT_NE(screen.lines[2].find("Send stalled, the link took nothing for 5 s"),
              std::string::npos);
    EXPECT_EQ(session.commandQueue.front(), "VID=?!");
}

}  // namespace
}  // namespace corvane
