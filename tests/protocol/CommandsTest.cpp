#include "protocol/Commands.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace corvane {
namespace {

// "LINK=" with the given inputs for outputs 1..16 (0 = no link).
std::string Map(std::vector<int> inputs) {
    std::string s = "LINK=";
    for (int o = 1; o <= 16; ++o) {
        char pair[8];
        std::snprintf(pair, sizeof pair, "%02d^%02d%c", inputs[o - 1], o, o == 16 ? '!' : ',');
        s += pair;
    }
    return s;
}

std::vector<int> Links(std::initializer_list<std::pair<int, int>> outputToInput) {
    std::vector<int> v(16, 0);
    for (auto [output, input] : outputToInput)
        v[output - 1] = input;
    return v;
}

TEST(StartupQueries, FixedOrder) {
    const std::pair<int, const char*> expected[] = {
        {0, "NET=?!"}, {1, "LINK=?!"}, {6, "QUAD=?!"}, {8, "LOCK=?!"},
        {9, "IN=1!"},  {24, "IN=16!"}, {25, "OUT=1!"}, {40, "OUT=16!"},
    };
    for (auto [index, text] : expected)
        EXPECT_STREQ(StartupQueries[index], text) << index;
}

TEST(Commands, Formats) {
    bool chosen[kChannelTableSize] = {};
    chosen[1] = chosen[2] = chosen[10] = true;
    bool fifth[kChannelTableSize] = {};
    fifth[5] = true;
    const auto locks = LockCommands(true, false, true);
    const auto net = NetworkCommands("10.0.0.9", "5000", "255.0.0.0", "10.0.0.1");
    const std::pair<std::string, std::string> cases[] = {
        {MonitoringCommand(0), "MON=00!"},
        {MonitoringCommand(16), "MON=16!"},
        {VideoResolutionCommand(9), "VIDRES=9!"},
        {VideoPatternCommand(14), "VIDIMG=14!"},
        {Rs232Command(115200), "RS232=115200!"},
        {QuadResolutionCommand(2, 9), "QUADRES=2_9!"},
        {QuadLayoutCommand(2, 7), "QUADLAY=2_7!"},
        {locks[0] + locks[1] + locks[2], "LOCK=WL!LOCK=DUL!LOCK=KL!"},
        {net[0] + net[1] + net[2] + net[3],
         "NETIP=10.0.0.9!NETPT=5000!NETSN=255.0.0.0!NETGW=10.0.0.1!"},
        {EdidModeCommand(EdidMode::Auto, 0, chosen).value_or("none"), "EDID=AUTO1,2,10!"},
        {EdidModeCommand(EdidMode::User, 0, chosen).value_or("none"), "EDID=USER1,2,10!"},
        {EdidModeCommand(EdidMode::Default, 0, fifth).value_or("none"), "EDID=DE5!"},
        {EdidModeCommand(EdidMode::CopyOutput, 3, fifth).value_or("none"), "EDID=OUT03_5!"},
    };
    for (const auto& [got, expected] : cases)
        EXPECT_EQ(got, expected);

    const bool none[kChannelTableSize] = {};
    EXPECT_FALSE(EdidModeCommand(EdidMode::Auto, 0, none).has_value());
}

TEST(Commands, LinkMaps) {
    RouterState empty;
    RouterState fed;  // output 2 already fed by input 3, output 16 by input 12
    fed.routedInput[2] = 3;
    fed.routedInput[16] = 12;
    int map[kChannelTableSize] = {0, 1, 99, -4};
    const std::pair<std::string, std::string> cases[] = {
        {LinkOutputCommand(empty, 3, 2), Map(Links({{2, 3}}))},
        {LinkOutputCommand(fed, 3, 2), Map(Links({{16, 12}}))},          // toggles off
        {LinkOutputCommand(fed, 5, 2), Map(Links({{2, 5}, {16, 12}}))},  // re-routes
        {LinkOutputCommand(fed, 0, 2), Map(Links({{16, 12}}))},
        {LinkAllOutputsCommand(7), Map(std::vector<int>(16, 7))},
        {LinkAllOutputsCommand(0), Map(std::vector<int>(16, 0))},
        {ClearAllLinksCommand(), Map(std::vector<int>(16, 0))},
        {BuildLinkCommand(map), Map(Links({{1, 1}}))},  // out-of-range inputs go as "00"
    };
    for (const auto& [got, expected] : cases)
        EXPECT_EQ(got, expected);
    EXPECT_EQ(LinkOutputCommand(empty, 3, 2).substr(0, 23), "LINK=00^01,03^02,00^03,");
}

TEST(UserEdid, FrameAndLogLines) {
    std::uint8_t edid[kEdidSize];
    for (std::size_t i = 0; i < kEdidSize; ++i)
        edid[i] = static_cast<std::uint8_t>(i);

    const std::vector<std::uint8_t> frame = UserEdidFrame(edid);
    ASSERT_EQ(frame.size(), kEdidFrameSize);
    EXPECT_EQ(std::string(frame.begin(), frame.begin() + 5), "EDIT=");
    EXPECT_TRUE(std::equal(edid, edid + kEdidSize, frame.begin() + 5));  // raw, "!" and NUL too
    EXPECT_EQ(frame.back(), '!');

    std::string hex;
    for (int i = 0; i < 256; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", i);
        hex += two;
    }
    const auto lines = UserEdidLogLines(edid);
    EXPECT_EQ(lines[0], "-->Data[EDIT=");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[1 + i], "-->     " + hex.substr(i * 128, 128));
    EXPECT_EQ(lines[5], "-->     !]");
}

}  // namespace
}  // namespace corvane
