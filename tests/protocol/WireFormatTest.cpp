// What goes to the router, and how its answers are framed and read.
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "../support/ModelText.h"
#include "base/TextFormat.h"
#include "protocol/Commands.h"
#include "protocol/ResponseParser.h"

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
    bool last[kChannelTableSize] = {};
    last[16] = true;

    const std::pair<std::string, std::string> cases[] = {
        {MonitoringCommand(0), "MON=00!"},
        {EdidModeCommand(EdidMode::Auto, 0, chosen).value_or("-"), "EDID=AUTO1,2,10!"},
        {EdidModeCommand(EdidMode::User, 0, chosen).value_or("-"), "EDID=USER1,2,10!"},
        {EdidModeCommand(EdidMode::Default, 0, last).value_or("-"), "EDID=DE16!"},
        {EdidModeCommand(EdidMode::CopyOutput, 16, last).value_or("-"), "EDID=OUT16_16!"},
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

}  // namespace
}  // namespace corvane
