// What goes to the router, how its answers are framed and read, and the
// session's pacing of the commands in between.
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "../support/ModelText.h"
#include "protocol/Commands.h"
#include "protocol/ResponseParser.h"
#include "protocol/RouterSession.h"
#include "protocol/TextFormat.h"
#include "settings/EventLog.h"

namespace corvane {
namespace {

// The full map written out independently: outputs not named get no link.
std::string Map(const std::map<int, int>& inputForOutput) {
    std::string s = "LINK=";
    for (int o = 1; o <= 16; ++o)
        s += Format("%02d^%02d%c", inputForOutput.count(o) ? inputForOutput.at(o) : 0, o,
                    o == 16 ? '!' : ',');
    return s;
}

TEST(Commands, Formats) {
    bool chosen[kChannelTableSize] = {};
    EXPECT_FALSE(EdidModeCommand(EdidMode::Auto, 0, chosen));  // nothing chosen, nothing sent
    chosen[1] = chosen[2] = chosen[10] = true;
    int odd[kChannelTableSize] = {0, 1, 99, -4};

    const std::pair<std::string, std::string> cases[] = {
        {MonitoringCommand(0), "MON=00!"},
        {EdidModeCommand(EdidMode::Auto, 0, chosen).value_or("-"), "EDID=AUTO1,2,10!"},
        {EdidModeCommand(EdidMode::User, 0, chosen).value_or("-"), "EDID=USER1,2,10!"},
        {ClearAllLinksCommand(), Map({})},
        {BuildLinkCommand(odd), Map({{1, 1}})},  // out-of-range inputs go as "00"
    };
    for (const auto& [got, expected] : cases)
        EXPECT_EQ(got, expected);
}

using S = RouterState;

struct ParseCase {
    std::string before;  // applied to both sides first
    std::string response;
    void (*expect)(S&);  // the change the response must make, and no other
};

// clang-format off
const ParseCase kRules[] = {
    {"LINK=05^02,06^03!", "LINK=03^01,00^02!", [](S& s) { s.routedInput[1] = 3; s.routedInput[2] = 0; }},
    {"", "link=20^01, 4^ 9!", [](S& s) { s.routedInput[1] = 3; s.routedInput[9] = 4; }},
    {"", "IN=_05_Signal ON 1080p!", [](S& s) { s.inputStatusText[5] = "Signal ON 1080p"; }},
    {"IN=_05_x!", "IN=_05!", [](S& s) { s.inputStatusText[5] = ""; }},
    {"", "OUT=?05?Plugged!", [](S& s) { s.outputPlugged[5] = 1; }},
    {"OUT=?05?Plugged!", "OUT=?05?plugged!", [](S& s) { s.outputPlugged[5] = 0; }},
    {"", "netip=%s%n!NETSN=255.255.255.0!NETGW=127.0.0.254!NETPA=00:1A:2B!NETPT=5000!", [](S& s) { s.routerIp = "%s%n";
        s.routerSubnetMask = "255.255.255.0"; s.routerGateway = "127.0.0.254"; s.routerMac = "00:1A:2B"; s.routerPort = "5000"; }},
    {"", "VID=13_17!", [](S& s) { s.generatorResolution = 3; s.generatorPattern = 2; }},
    {"VID=04_05!", "VID=5!", [](S& s) { s.generatorResolution = 5; s.generatorPattern = 0; }},
    {"", "VIDRES=1920x1080p@60Hz!", [](S& s) { s.generatorResolution = 9; }},
    {"VID=04_05!", "VIDRES=1920X1080P@60HZ!", [](S& s) { s.generatorResolution = 0; }},
    {"", "VIDIMG=FULLRED!", [](S& s) { s.generatorPattern = 12; }},
    {"", "MON=20!", [](S& s) { s.monitoringChannel = 3; }},
    {"", "EDID=01DEF.02AUTO.03USER.04OUT!", [](S& s) { s.inputEdidMode[1] = "DEF."; s.inputEdidMode[2] = "AUTO";
        s.inputEdidMode[3] = "USER"; s.inputEdidMode[4] = "OUT."; }},
    {"EDID=06AUTO!", "EDID=05A,BC.6..!", [](S& s) { s.inputEdidMode[5] = "A,BC"; }},
    {"", "EDID=01" + std::string(100, 'A') + "!", [](S& s) { s.inputEdidMode[1] = std::string(61, 'A'); }},
    {"", "RS232=115200!", [](S& s) { s.routerBaudRate = 115200; }},
    {"", "RS232=99999999999999999999!", [](S& s) { s.routerBaudRate = INT_MAX; }},
    {"", "QUAD=1_3_2,2_9_7,4_9_9!", [](S& s) { s.quadResolution[1] = 3; s.quadLayout[1] = 2; s.quadResolution[2] = 9;
        s.quadLayout[2] = 7; s.quadResolution[4] = 9; s.quadLayout[4] = 1; }},
    {"", "QUADRES=2_13!", [](S& s) { s.quadResolution[2] = 3; }},
    {"", "QUADRES=3!", [](S& s) { s.quadResolution[3] = 3; }},
    {"", "QUADLAY=2_7!", [](S& s) { s.quadLayout[2] = 7; }},
    {"", "SLOT=02_0A_21!", [](S& s) { s.inputCardType[2] = 10; s.outputCardType[2] = 33; }},
    {"SLOT=01_0A_0B!", "SLOT=01!", [](S& s) { s.inputCardType[1] = s.outputCardType[1] = 0; }},
    {"LOCK=DL!", "LOCK=WL,DUL,KUL!", [](S& s) { s.webLock = 1; s.dataLock = 0; }},
    {"", "LOCK=KUL,XX,KL,wl!", [](S& s) { s.keyLock = 1; }},
    // Malformed answers, unknown keys and negative numbers change nothing.
    {"LINK=05^02!IN=_07_x!VID=04_05!MON=04!EDID=03AUTO!QUAD=1_3_2!QUADRES=2_7!SLOT=01_0A_0B!",
              "LINK=?,00^,,02!MON03!\r\nMON=05!XYZ=1!LINK=-3^02,03^-2!IN=_-7_y!VID=-3_-5!MON=-1!"
              "EDID=-3USER!QUAD=1_5,-1_5_5!QUADRES=2_-3!SLOT=-1_02_03!", [](S&) {}}};
// clang-format on

// Each "!" ends one response, as the framer delivers them.
void Apply(RouterState& s, const std::string& responses) {
    ResponseFramer().FeedResponseBytes(responses.data(), static_cast<int>(responses.size()),
                                       [&](const char* text) { ApplyResponse(s, text); });
}

TEST(ApplyResponse, ChangesExactlyTheExpectedFields) {
    for (const ParseCase& c : kRules) {
        SCOPED_TRACE(c.response);
        RouterState actual;
        Apply(actual, c.before);
        RouterState expected = actual;
        c.expect(expected);
        Apply(actual, c.response);
        EXPECT_EQ(testing::ModelText(actual), testing::ModelText(expected));
    }
}

std::string Ramp(int n) {  // no "!" in it, and each part tells where it was cut from
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>('A' + i % 26);
    return s;
}

TEST(Framer, DeliversCompleteResponses) {
    // clang-format off
    const std::tuple<const char*, std::vector<std::string>, std::vector<std::string>> cases[] = {
        {"Split", {"MO", "N=0", "", "3!"}, {"MON=03!"}}, {"TwoInOne", {"MON=03!RS232=9600!"}, {"MON=03!", "RS232=9600!"}},
        {"LineEndStartsNext", {"MON=03!\r\n", "RS232=9600!"}, {"MON=03!", "\r\nRS232=9600!"}},
        {"NulEndsText", {std::string("MON=0\0" "3!", 8)}, {"MON=0"}}, {"FullBuffer", {Ramp(255) + "!"}, {Ramp(255) + "!"}},
        {"WrapsAt256", {Ramp(256) + "!"}, {"!"}}, {"Wrap300KeepsLast44", {Ramp(300) + "!"}, {Ramp(300).substr(256) + "!"}}};
    // clang-format on
    for (const auto& [name, chunks, expected] : cases) {
        ResponseFramer framer;
        std::vector<std::string> got;
        for (const std::string& chunk : chunks)
            framer.FeedResponseBytes(chunk.data(), static_cast<int>(chunk.size()),
                                     [&](const char* text) { got.emplace_back(text); });
        EXPECT_EQ(got, expected) << name;
    }
    ResponseFramer framer;  // empty or negative counts and no bytes
    for (auto [bytes, count] : {std::pair{"MON=03!", 0}, {"MON=03!", -5}, {nullptr, 7}})
        framer.FeedResponseBytes(bytes, count, [](const char*) { ADD_FAILURE(); });
    EXPECT_EQ(framer.responseLength, 0);
}

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

using Sent = std::vector<std::pair<int, std::string>>;  // tick, command

class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        log.fileLogEnabled = false;
        log.screenLogEnabled = true;
        log.screen = &screen;
        session.activeLink = &link;
    }
    // Runs n ticks; an answering router replies after every command it gets
    // (to a LINK command with that map).
    Sent Run(int n, bool answering = false) {
        Sent sent;
        for (int tick = 1; tick <= n; ++tick) {
            const std::size_t before = link.writes.size();
            session.OnSendTimer();
            if (link.writes.size() > before)
                sent.push_back({tick, link.writes.back()});
            if (answering && link.writes.size() > before)
                session.ParseResponse(link.writes.back().starts_with("LINK=")
                                          ? link.writes.back().c_str()
                                          : "MON=01!");
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

    ScreenLog screen;
    EventLog log{".", [] { return LocalTime{2026, 12, 6, 14, 3, 7}; }};
    FakeLink link;
    RouterSession session{log};
};

TEST_F(SessionTest, SilentRouterWaitsTwentyTicksUntilAnAnswerReleasesTheNext) {
    session.connectionStatus = kConnecting;
    EXPECT_EQ(
        Run(81),
        (Sent{{1, "NET=?!"}, {21, "LINK=?!"}, {41, "VID=?!"}, {61, "MON=?!"}, {81, "EDID=?!"}}));
    EXPECT_EQ(session.commandQueue.size(), 41u - 5u);
    session.ParseResponse("NETIP=%s%n!");  // logged as it came, never used as a format
    EXPECT_EQ(session.connectionStatus, kConnected);
    EXPECT_EQ(screen.lines.at(0), "[2026/12/06 14:03:07]-->Data[NET=?!]");
    EXPECT_EQ(Logged(),
              "-->Data[NET=?!]\n-->Data[LINK=?!]\n-->Data[VID=?!]\n-->Data[MON=?!]\n"
              "-->Data[EDID=?!]\n<--Recv[NETIP=%s%n!]\n");
    EXPECT_EQ(Run(1), (Sent{{1, StartupQueries[5]}}));
    // Once the wait is over an idle session sends a new command at once.
    session.commandQueue.clear();
    Run(30);
    session.EnqueueCommand("MON=02!");
    EXPECT_EQ(Run(1), (Sent{{1, "MON=02!"}}));
}

// Commands queued before Connect wait, then leave first; an answering router
// then gets the start-up queries one per tick in order.
TEST_F(SessionTest, QueueWaitsUntilConnectThenGoesFirst) {
    for (int status : {kDisconnected, kConnectionFailed}) {
        session.commandQueue.clear();
        session.pollIndex = 0;  // as Connect leaves it
        session.connectionStatus = status;
        session.LinkOutput(3, 2);
        session.LinkOutput(3, 0);  // no such output: nothing queued
        session.LinkOutput(3, 17);
        session.ClearAllLinks();
        EXPECT_TRUE(Run(40).empty() && session.pollIndex == 0u) << status;
        session.ParseResponse("MON=03!");  // a late answer never revives the connection
        EXPECT_EQ(session.connectionStatus, status);
        session.connectionStatus = kConnecting;
        // The clear rewrote the unsent route: one LINK command carries both.
        Sent expected = {{1, ClearAllLinksCommand()}};
        for (int i = 0; i < kStartupQueryCount; ++i)
            expected.push_back({2 + i, StartupQueries[i]});
        EXPECT_EQ(Run(60, true), expected) << status;
        EXPECT_TRUE(session.commandQueue.empty());
    }
}

TEST_F(SessionTest, RefusesOverLongCommandsAndKeepsUnsentOnes) {
    EXPECT_TRUE(session.EnqueueCommand("NETIP=" + std::string(248, '1') + "!"));  // 255
    EXPECT_FALSE(session.EnqueueCommand("NETIP=" + std::string(249, '1') + "!"));
    EXPECT_TRUE(Logged().starts_with("Command refused, 256 characters"));
    session.connectionStatus = kConnecting;
    session.activeLink = nullptr;  // no link to write to: nothing is lost
    Run(2);
    EXPECT_EQ(session.commandQueue.size(), 3u);
    EXPECT_EQ(Logged(), "");
    // A link that takes nothing keeps the head, says so once, retries after the wait.
    session.activeLink = &link;
    link.take = 0;
    Run(1);
    EXPECT_EQ(session.commandQueue.size(), 4u);
    EXPECT_EQ(Logged(),
              "Send refused by the link, retrying: NETIP=" + std::string(248, '1') + "!\n");
    link.take = SIZE_MAX;
    const Sent sent = Run(20);
    EXPECT_TRUE(sent.size() == 1 && sent[0].first == 20 && sent[0].second.starts_with("NETIP="));
}

// A serial port that takes a command in parts: nothing else goes, and the
// log shows it, until it is out whole. One that then takes nothing for 5 s
// fails the connection once.
TEST_F(SessionTest, PartWritesFinishFirstAndAStalledLinkFailsOnce) {
    session.connectionStatus = kConnected;
    session.pollIndex = kStartupQueryCount;
    session.EnqueueCommand("LINK=01^01!");
    session.EnqueueCommand("VID=?!");
    link.take = 4;
    EXPECT_EQ(Run(23), (Sent{{1, "LINK"}, {2, "=01^"}, {3, "01!"}, {23, "VID="}}));
    EXPECT_EQ(Logged(), "-->Data[LINK=01^01!]\n");
    link.take = 0;
    EXPECT_TRUE(Run(99).empty());
    EXPECT_EQ(session.connectionStatus, kConnected);
    Run(200);
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    EXPECT_EQ(Logged(),
              "Send refused by the link, retrying: VID=?!\n"
              "Send stalled, the link took nothing for 5 s \n");
    EXPECT_EQ(session.commandQueue.front(), "VID=?!");
}

}  // namespace
}  // namespace corvane
