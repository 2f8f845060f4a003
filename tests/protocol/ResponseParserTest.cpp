#include "protocol/ResponseParser.h"

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace corvane {
namespace {

// clang-format off
enum class Field {
    Routed, Plugged, InCard, OutCard, QuadRes, QuadLay,
    GenRes, GenPat, Monitor, WebLock, DataLock, KeyLock, Baud,
    StatusText, EdidMode, Ip, Mask, Gateway, Mac, Port,
};
// clang-format on

std::string Read(const RouterState& s, Field f, int i) {
    switch (f) {
        case Field::Routed:
            return std::to_string(s.routedInput[i]);
        case Field::Plugged:
            return std::to_string(s.outputPlugged[i]);
        case Field::InCard:
            return std::to_string(s.inputCardType[i]);
        case Field::OutCard:
            return std::to_string(s.outputCardType[i]);
        case Field::QuadRes:
            return std::to_string(s.quadResolution[i]);
        case Field::QuadLay:
            return std::to_string(s.quadLayout[i]);
        case Field::GenRes:
            return std::to_string(s.generatorResolution);
        case Field::GenPat:
            return std::to_string(s.generatorPattern);
        case Field::Monitor:
            return std::to_string(s.monitoringChannel);
        case Field::WebLock:
            return std::to_string(s.webLock);
        case Field::DataLock:
            return std::to_string(s.dataLock);
        case Field::KeyLock:
            return std::to_string(s.keyLock);
        case Field::Baud:
            return std::to_string(s.routerBaudRate);
        case Field::StatusText:
            return s.inputStatusText[i];
        case Field::EdidMode:
            return s.inputEdidMode[i];
        case Field::Ip:
            return s.routerIp;
        case Field::Mask:
            return s.routerSubnetMask;
        case Field::Gateway:
            return s.routerGateway;
        case Field::Mac:
            return s.routerMac;
        case Field::Port:
            return s.routerPort;
    }
    return {};
}

struct ParseCase {
    const char* before;  // applied first, so that "left unchanged" is visible
    std::string response;
    Field field;
    int index;
    std::string expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.response;
}

class ApplyResponseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ApplyResponseTest, SetsField) {
    const ParseCase& c = GetParam();
    RouterState state;
    ApplyResponse(state, c.before);
    ApplyResponse(state, c.response.c_str());
    EXPECT_EQ(Read(state, c.field, c.index), c.expected) << c.response;
}

const std::string kLongEdid = "EDID=01" + std::string(100, 'A') + "!";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rules, ApplyResponseTest, ::testing::Values(
    ParseCase{"", "LINK=03^01,00^02!", Field::Routed, 1, "3"},
    ParseCase{"LINK=05^02!", "LINK=03^01,00^02!", Field::Routed, 2, "0"},
    ParseCase{"LINK=05^02!", "LINK=03^01!", Field::Routed, 2, "5"},  // not named: kept
    ParseCase{"", "link=03^01!", Field::Routed, 1, "3"},
    ParseCase{"", "LINK=20^01!", Field::Routed, 1, "3"},              // mod 17
    ParseCase{"", "LINK= 4^ 9!", Field::Routed, 9, "4"},              // atoi skips blanks
    ParseCase{"LINK=05^02!", "LINK=?!", Field::Routed, 2, "5"},       // short token skipped
    ParseCase{"LINK=05^02!", "LINK=00^,,02!", Field::Routed, 2, "5"},
    ParseCase{"LINK=05^02!", "LINK=-3^02!", Field::Routed, 2, "5"},  // negative: ignored
    ParseCase{"LINK=05^02!", "LINK=03^-2!", Field::Routed, 2, "5"},
    ParseCase{"", "IN=_05_Signal ON 1080p!", Field::StatusText, 5, "Signal ON 1080p"},
    ParseCase{"IN=_05_Signal ON!", "IN=_05!", Field::StatusText, 5, ""},
    ParseCase{"", "IN=_17_Signal OFF!", Field::StatusText, 0, "Signal OFF"},
    ParseCase{"IN=_07_x!", "IN=_-7_y!", Field::StatusText, 7, "x"},
    ParseCase{"", "OUT=?05?Plugged!", Field::Plugged, 5, "1"},
    ParseCase{"OUT=?05?Plugged!", "OUT=?05?Unplugged!", Field::Plugged, 5, "0"},
    ParseCase{"OUT=?05?Plugged!", "OUT=?05?plugged!", Field::Plugged, 5, "0"},
    ParseCase{"", "NETIP=192.168.1.20!", Field::Ip, 0, "192.168.1.20"},
    ParseCase{"", "netsn=255.255.255.0!", Field::Mask, 0, "255.255.255.0"},
    ParseCase{"", "NETGW=10.0.0.1!", Field::Gateway, 0, "10.0.0.1"},
    ParseCase{"", "NETPA=00:1A:2B:3C:4D:5E!", Field::Mac, 0, "00:1A:2B:3C:4D:5E"},
    ParseCase{"", "NETPT=5000!", Field::Port, 0, "5000"},
    ParseCase{"", "NETIP=%s%n%d!", Field::Ip, 0, "%s%n%d"},
    ParseCase{"", "VID=03_12!", Field::GenRes, 0, "3"},
    ParseCase{"", "VID=03_12!", Field::GenPat, 0, "12"},
    ParseCase{"", "VID=13_17!", Field::GenPat, 0, "2"},
    ParseCase{"", "VID=5!", Field::GenPat, 0, "0"},                    // value too short
    ParseCase{"VID=04_05!", "VID=-3_-5!", Field::GenRes, 0, "4"},
    ParseCase{"VID=04_05!", "VID=-3_-5!", Field::GenPat, 0, "5"},
    ParseCase{"", "VIDRES=1920x1080p@60Hz!", Field::GenRes, 0, "9"},
    ParseCase{"VID=04_05!", "VIDRES=1920X1080P@60HZ!", Field::GenRes, 0, "0"},
    ParseCase{"", "VIDIMG=FULLRED!", Field::GenPat, 0, "12"},
    ParseCase{"VID=04_05!", "VIDIMG=fullred!", Field::GenPat, 0, "0"},
    ParseCase{"", "MON=03!", Field::Monitor, 0, "3"},
    ParseCase{"", "MON=20!", Field::Monitor, 0, "3"},
    ParseCase{"MON=04!", "MON=-1!", Field::Monitor, 0, "4"},
    ParseCase{"", "EDID=01DEF.02AUTO.03USER.04OUT!", Field::EdidMode, 1, "DEF."},
    ParseCase{"", "EDID=01DEF.02AUTO.03USER.04OUT!", Field::EdidMode, 2, "AUTO"},
    ParseCase{"", "EDID=01DEF.02AUTO.03USER.04OUT!", Field::EdidMode, 3, "USER"},
    ParseCase{"", "EDID=01DEF.02AUTO.03USER.04OUT!", Field::EdidMode, 4, "OUT."},
    ParseCase{"", "EDID=05A,BC!", Field::EdidMode, 5, "A,BC"},         // "," is text here
    ParseCase{"EDID=06AUTO!", "EDID=6..!", Field::EdidMode, 6, "AUTO"},
    ParseCase{"", kLongEdid, Field::EdidMode, 1, std::string(61, 'A')},  // 63-char token
    ParseCase{"", "RS232=115200!", Field::Baud, 0, "115200"},
    ParseCase{"", "RS232=99999999999999999999!", Field::Baud, 0, std::to_string(INT_MAX)},
    ParseCase{"", "QUAD=1_3_2,2_9_7!", Field::QuadRes, 2, "9"},
    ParseCase{"", "QUAD=1_3_2,2_9_7!", Field::QuadLay, 1, "2"},
    ParseCase{"", "QUAD=4_9_9!", Field::QuadLay, 4, "1"},
    ParseCase{"QUAD=1_3_2!", "QUAD=1_5!", Field::QuadRes, 1, "3"},
    ParseCase{"QUAD=1_3_2!", "QUAD=-1_5_5!", Field::QuadLay, 1, "2"},
    ParseCase{"", "QUADRES=2_7!", Field::QuadRes, 2, "7"},
    ParseCase{"", "QUADRES=2_13!", Field::QuadRes, 2, "3"},
    ParseCase{"", "QUADRES=3!", Field::QuadRes, 3, "3"},              // no "_": from 0
    ParseCase{"", "QUADLAY=2_7!", Field::QuadLay, 2, "7"},
    ParseCase{"QUADLAY=2_7!", "QUADLAY=-2_3!", Field::QuadLay, 2, "7"},
    ParseCase{"", "SLOT=02_0A_21!", Field::InCard, 2, "10"},
    ParseCase{"", "SLOT=02_0A_21!", Field::OutCard, 2, "33"},
    ParseCase{"", "SLOT=07_12_13!", Field::OutCard, 2, "19"},
    ParseCase{"", "SLOT=01_0x12_13!", Field::InCard, 1, "18"},
    ParseCase{"SLOT=01_0A_0B!", "SLOT=01!", Field::OutCard, 1, "0"},
    ParseCase{"SLOT=01_0A_0B!", "SLOT=-1_02_03!", Field::InCard, 1, "10"},
    ParseCase{"", "LOCK=WL,DUL,KUL!", Field::WebLock, 0, "1"},
    ParseCase{"LOCK=DL!", "LOCK=WL,DUL,KUL!", Field::DataLock, 0, "0"},
    ParseCase{"", "LOCK=KUL,XX,KL!", Field::KeyLock, 0, "1"},
    ParseCase{"", "LOCK=wl!", Field::WebLock, 0, "0"},
    ParseCase{"MON=04!", "MON03!", Field::Monitor, 0, "4"},            // no "=": no key
    ParseCase{"MON=04!", "\r\nMON=05!", Field::Monitor, 0, "4"}));
// clang-format on

TEST(TokenTables, MatchWholeAnswerTokens) {
    EXPECT_EQ(ResolutionFromToken("800x600@60Hz!"), 1);
    EXPECT_EQ(ResolutionFromToken("1280x720p@60Hz!"), 7);
    EXPECT_EQ(ResolutionFromToken("1920x1080p@60Hz!"), 9);
    EXPECT_EQ(ResolutionFromToken("1920x1080p@60Hz"), 0);
    EXPECT_EQ(PatternFromToken("VCOLORBARSTOP!"), 1);
    EXPECT_EQ(PatternFromToken("HCOLORBAR05SMOVE!"), 5);
    EXPECT_EQ(PatternFromToken("FULLGRAY!"), 14);
    EXPECT_EQ(PatternFromToken(""), 0);
}

struct FrameCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> expected;
};

std::string Ramp(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>('A' + i % 26);
    return s;
}

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class FramerTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FramerTest, DeliversCompleteResponses) {
    ResponseFramer framer;
    std::vector<std::string> got;
    for (const std::string& chunk : GetParam().chunks) {
        framer.FeedResponseBytes(chunk.data(), static_cast<int>(chunk.size()),
                                 [&](const char* text) { got.emplace_back(text); });
    }
    EXPECT_EQ(got, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Bytes, FramerTest, ::testing::Values(
    FrameCase{"Split", {"MO", "N=0", "", "3!"}, {"MON=03!"}},
    FrameCase{"TwoInOne", {"MON=03!RS232=9600!"}, {"MON=03!", "RS232=9600!"}},
    FrameCase{"LineEndStartsNext", {"MON=03!\r\n", "RS232=9600!"}, {"MON=03!", "\r\nRS232=9600!"}},
    FrameCase{"NulEndsText", {std::string("MON=0\0" "3!", 8)}, {"MON=0"}},
    FrameCase{"FullBuffer", {Ramp(255) + "!"}, {Ramp(255) + "!"}},
    FrameCase{"WrapsAt256", {Ramp(256) + "!"}, {"!"}},
    FrameCase{"Wrap300KeepsLast44", {Ramp(300) + "!"}, {Ramp(300).substr(256) + "!"}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(Framer, IgnoresEmptyOrNegativeCounts) {
    ResponseFramer framer;
    int calls = 0;
    auto count = [&](const char*) { ++calls; };
    framer.FeedResponseBytes("MON=03!", 0, count);
    framer.FeedResponseBytes("MON=03!", -5, count);
    framer.FeedResponseBytes(nullptr, 7, count);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(framer.responseLength, 0);
}

}  // namespace
}  // namespace corvane
