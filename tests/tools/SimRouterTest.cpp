// The simulated router on its own: answer forms, settings and framing.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SimRouter.h"
#include "protocol/ResponseParser.h"

namespace corvane::sim {
namespace {

using Answers = std::vector<std::string>;

struct Exchange {
    std::string command;
    Answers answers;
};

void PrintTo(const Exchange& exchange, std::ostream* out) {
    *out << exchange.command;
}

class QueryAnswers : public ::testing::TestWithParam<Exchange> {};

TEST_P(QueryAnswers, DefaultRouterAnswersInTheParsersForms) {
    SimRouter router = DefaultRouter();
    EXPECT_EQ(HandleCommand(router, GetParam().command), GetParam().answers);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, QueryAnswers,
    ::testing::Values(
        Exchange{"NET=?!",
                 {"NETIP=127.0.0.1!", "NETSN=255.0.0.0!", "NETGW=127.0.0.1!",
                  "NETPA=00:1C:91:03:5E:2A!", "NETPT=3000!"}},
        Exchange{"LINK=?!",
                 {"LINK=03^01,00^02,01^03,00^04,05^05,06^06,00^07,00^08,01^09,05^10,09^11,12^12,"
                  "08^13,00^14,00^15,00^16!"}},
        Exchange{"VID=?!", {"VID=09_01!"}}, Exchange{"MON=?!", {"MON=03!"}},
        Exchange{"EDID=?!",
                 {"EDID=01DEF.02AUTO.03USER.04OUT.05DEF.06DEF.07DEF.08DEF.09DEF.10DEF.11DEF."
                  "12DEF.13DEF.14DEF.15DEF.16DEF!"}},
        Exchange{"RS232=?!", {"RS232=115200!"}},
        Exchange{"QUAD=?!", {"QUAD=1_0_0,2_0_0,3_9_4,4_0_0!"}},
        Exchange{"SLOT=?!",
                 {"SLOT=01_0A_0B!", "SLOT=02_12_19!", "SLOT=03_06_21!", "SLOT=04_00_03!"}},
        Exchange{"LOCK=?!", {"LOCK=WL,DUL,KUL!"}}, Exchange{"IN=1!", {"IN=_01_1920x1080p@60Hz!"}},
        Exchange{"IN=16!", {"IN=_16_Signal OFF!"}}, Exchange{"OUT=1!", {"OUT=_01_Plugged!"}},
        Exchange{"OUT=4!", {"OUT=_04_Unplugged!"}},
        // Keys are matched without regard to case, like the program does.
        Exchange{"mon=?!", {"MON=03!"}},
        // Out of range or malformed: no answer rather than a made-up one.
        Exchange{"IN=0!", {}}, Exchange{"IN=17!", {}}, Exchange{"OUT=x!", {}},
        Exchange{"HELLO=?!", {}}, Exchange{"NET=?", {}}, Exchange{"noequals!", {}}));

struct Setting {
    std::string command;
    Answers answers;
    std::function<bool(const SimRouter&)> applied;
};

void PrintTo(const Setting& setting, std::ostream* out) {
    *out << setting.command;
}

class SettingCommands : public ::testing::TestWithParam<Setting> {};

TEST_P(SettingCommands, ChangeTheRouterAndAnswerWithTheNewStatus) {
    SimRouter router = DefaultRouter();
    EXPECT_EQ(HandleCommand(router, GetParam().command), GetParam().answers);
    EXPECT_TRUE(GetParam().applied(router)) << GetParam().command;
}

const std::string kAllUnlinked =
    "LINK=00^01,00^02,00^03,00^04,00^05,00^06,00^07,00^08,00^09,00^10,00^11,00^12,00^13,00^14,"
    "00^15,00^16!";

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingCommands,
    ::testing::Values(
        Setting{kAllUnlinked,
                {kAllUnlinked},
                [](const SimRouter& r) {
                    for (int o = 1; o <= kChannels; ++o) {
                        if (r.route[o] != 0) {
                            return false;
                        }
                    }
                    return true;
                }},
        // A malformed pair is skipped; the rest still applies.
        Setting{"LINK=07^02,99^03,xx^04!",
                {"LINK=03^01,07^02,01^03,00^04,05^05,06^06,00^07,00^08,01^09,05^10,09^11,12^12,"
                 "08^13,00^14,00^15,00^16!"},
                [](const SimRouter& r) { return r.route[2] == 7 && r.route[3] == 1; }},
        Setting{"VIDRES=7!",
                {"VIDRES=1280x720p@60Hz!"},
                [](const SimRouter& r) { return r.generatorResolution == 7; }},
        Setting{"VIDRES=10!",
                {"VIDRES=1920x1080p@60Hz!"},
                [](const SimRouter& r) { return r.generatorResolution == 9; }},
        Setting{"VIDIMG=12!",
                {"VIDIMG=FULLRED!"},
                [](const SimRouter& r) { return r.generatorPattern == 12; }},
        Setting{
            "MON=17!", {"MON=03!"}, [](const SimRouter& r) { return r.monitoringChannel == 3; }},
        Setting{"LOCK=WUL,KL!",
                {"LOCK=WUL,KL!"},
                [](const SimRouter& r) { return !r.webLock && r.keyLock; }},
        Setting{"RS232=1234!",
                {"RS232=115200!"},
                [](const SimRouter& r) { return r.baudRate == 115200; }},
        Setting{"NETIP=127.0.0.9!",
                {"NETIP=127.0.0.9!"},
                [](const SimRouter& r) { return r.ip == "127.0.0.9"; }},
        Setting{"EDID=AUTO1,2,10!",
                {"EDID=01AUTO.02AUTO.03USER.04OUT.05DEF.06DEF.07DEF.08DEF.09DEF.10AUTO.11DEF."
                 "12DEF.13DEF.14DEF.15DEF.16DEF!"},
                [](const SimRouter& r) { return r.edidMode[10] == "AUTO"; }},
        Setting{"EDID=OUT03_5!",
                {"EDID=01DEF.02AUTO.03USER.04OUT.05OUT.06DEF.07DEF.08DEF.09DEF.10DEF.11DEF."
                 "12DEF.13DEF.14DEF.15DEF.16DEF!"},
                [](const SimRouter& r) { return r.edidCopyOutput[5] == 3; }},
        // Slot 1 holds no quad card; layout 8 does not exist.
        Setting{"QUADLAY=1_2!", {}, [](const SimRouter& r) { return r.quadLayout[1] == 0; }},
        Setting{"QUADLAY=3_8!", {}, [](const SimRouter& r) { return r.quadLayout[3] == 4; }}));

// Setting answers must land where the program's parser expects them.
TEST(SimAgainstParser, SettingAnswersReachTheModel) {
    SimRouter router = DefaultRouter();
    RouterState state;
    for (const char* command :
         {"VIDRES=4!", "VIDIMG=14!", "MON=16!", "LOCK=KL!", "QUADRES=3_5!", "QUADLAY=3_6!"}) {
        for (const std::string& answer : HandleCommand(router, command)) {
            ApplyResponse(state, answer.c_str());
        }
    }
    EXPECT_EQ(state.generatorResolution, 4);
    EXPECT_EQ(state.generatorPattern, 14);
    EXPECT_EQ(state.monitoringChannel, 16);
    EXPECT_EQ(state.keyLock, 1);
    EXPECT_EQ(state.quadResolution[3], 5);
    EXPECT_EQ(state.quadLayout[3], 6);
}

std::string EdidFrame(char fill) {
    std::string frame = "EDIT=";
    frame.append(256, fill);
    frame[5 + 10] = '!';  // raw bytes may hold the terminator
    return frame + "!";
}

TEST(SimEdidUpload, StoresTheRawBytesOfAWholeFrame) {
    SimRouter router = DefaultRouter();
    std::string frame = EdidFrame('\x7e');
    EXPECT_EQ(HandleCommand(router, frame), Answers{"EDIT=OK!"});
    ASSERT_EQ(router.userEdid.size(), 256u);
    EXPECT_EQ(router.userEdid[10], '!');
    EXPECT_EQ(router.userEdid[0], 0x7e);

    SimRouter other = DefaultRouter();
    EXPECT_EQ(HandleCommand(other, "EDIT=short!"), Answers{"EDIT=ERR!"});
    EXPECT_TRUE(other.userEdid.empty());
}

struct FramingCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> commands;
};

void PrintTo(const FramingCase& framing, std::ostream* out) {
    *out << framing.name;
}

class Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(Framing, SplitsTheStreamIntoCommands) {
    CommandFramer framer;
    std::vector<std::string> seen;
    for (const std::string& chunk : GetParam().chunks) {
        framer.Feed(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size(),
                    [&](std::string_view command) { seen.emplace_back(command); });
    }
    EXPECT_EQ(seen, GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Framing,
    ::testing::Values(FramingCase{"Two", {"MON=?!LOCK=?!"}, {"MON=?!", "LOCK=?!"}},
                      FramingCase{"Split", {"LI", "NK=", "?!"}, {"LINK=?!"}},
                      FramingCase{"TailWaits", {"MON=?!VID"}, {"MON=?!"}},
                      FramingCase{
                          "EdidFrameKeepsItsBang",
                          {EdidFrame('a').substr(0, 100), EdidFrame('a').substr(100) + "MON=?!"},
                          {EdidFrame('a'), "MON=?!"}},
                      FramingCase{"NotAnEdidFrame", {"EDIT!", "EDI=?!"}, {"EDIT!", "EDI=?!"}}),
    [](const ::testing::TestParamInfo<FramingCase>& info) { return info.param.name; });

TEST(SimFraming, RunawayTextIsDroppedNotHoarded) {
    CommandFramer framer;
    std::string noise(CommandFramer::kMaxCommand + 10, 'x');
    int commands = 0;
    framer.Feed(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size(),
                [&](std::string_view) { ++commands; });
    EXPECT_LT(framer.pending.size(), CommandFramer::kMaxCommand);
    std::string next = "MON=?!";
    framer.Feed(reinterpret_cast<const std::uint8_t*>(next.data()), next.size(),
                [&](std::string_view) { ++commands; });
    EXPECT_EQ(commands, 1);
}

struct CardCase {
    std::string spec;
    bool ok;
};

void PrintTo(const CardCase& card, std::ostream* out) {
    *out << card.spec;
}

class CardSpecs : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardSpecs, AcceptOnlyFourHexCodesPerSide) {
    SimRouter router = DefaultRouter();
    std::string error;
    EXPECT_EQ(ApplyCardSpec(router, GetParam().spec, &error), GetParam().ok) << GetParam().spec;
    EXPECT_EQ(error.empty(), GetParam().ok);
    if (!GetParam().ok) {
        EXPECT_EQ(router.inputCard[1], kHdmiInput);  // untouched
    }
}

INSTANTIATE_TEST_SUITE_P(Specs, CardSpecs,
                         ::testing::Values(CardCase{"0A,12,02,1A/0B,21,13,1B", true},
                                           CardCase{"a,b,c,d/1,3,5,7", true},
                                           CardCase{"0A,12,02/0B,21,13,1B", false},
                                           CardCase{"0A,12,02,1A/0B,21,13,1G", false},
                                           CardCase{"", false}));

TEST(CardSpec, EmptySlotsGoDarkAndQuadCardsGetSettings) {
    SimRouter router = DefaultRouter();
    ASSERT_TRUE(ApplyCardSpec(router, "00,12,02,1A/21,0B,13,1B", nullptr));
    for (int c = 1; c <= 4; ++c) {
        EXPECT_EQ(router.inputSignal[c], "Signal OFF");
    }
    EXPECT_NE(router.quadResolution[1], 0);
    EXPECT_EQ(router.quadResolution[3], 0);  // the quad card there was replaced
    EXPECT_EQ(HandleCommand(router, "SLOT=?!")[0], "SLOT=01_00_21!");
}

}  // namespace
}  // namespace corvane::sim
