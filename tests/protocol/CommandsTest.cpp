#include "protocol/Commands.h"

#include <cstdio>
#include <map>
#include <string>

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The full map written out independently: outputs not named get "00".
std::string Map(const std::map<int, int>& inputForOutput, int everyInput = 0) {
    std::string s = "LINK=";
    for (int o = 1; o <= 16; ++o) {
        const auto it = inputForOutput.find(o);
        char pair[8];
        std::snprintf(pair, sizeof pair, "%02d^%02d%c",
                      it == inputForOutput.end() ? everyInput : it->second, o, o == 16 ? '!' : ',');
        s += pair;
    }
    return s;
}

TEST(Commands, Formats) {
    bool chosen[kChannelTableSize] = {};
    chosen[1] = chosen[2] = chosen[10] = true;
    bool fifth[kChannelTableSize] = {};
    fifth[5] = true;
    const bool none[kChannelTableSize] = {};
    RouterState fed;  // output 2 fed by input 3, output 16 by input 12
    fed.routedInput[2] = 3;
    fed.routedInput[16] = 12;
    int odd[kChannelTableSize] = {0, 1, 99, -4};

    const std::pair<std::string, std::string> cases[] = {
        {MonitoringCommand(0), "MON=00!"},
        {VideoResolutionCommand(9), "VIDRES=9!"},
        {QuadLayoutCommand(2, 7), "QUADLAY=2_7!"},
        {EdidModeCommand(EdidMode::Auto, 0, chosen).value_or("-"), "EDID=AUTO1,2,10!"},
        {EdidModeCommand(EdidMode::User, 0, fifth).value_or("-"), "EDID=USER5!"},
        {EdidModeCommand(EdidMode::Default, 0, fifth).value_or("-"), "EDID=DE5!"},
        {EdidModeCommand(EdidMode::CopyOutput, 3, fifth).value_or("-"), "EDID=OUT03_5!"},
        {EdidModeCommand(EdidMode::Auto, 0, none).value_or("-"), "-"},
        {LinkOutputCommand(fed, 3, 2), Map({{16, 12}})},          // toggles off
        {LinkOutputCommand(fed, 5, 2), Map({{2, 5}, {16, 12}})},  // re-routes
        {LinkOutputCommand(fed, 0, 2), Map({{16, 12}})},
        {LinkAllOutputsCommand(7), Map({}, 7)},
        {ClearAllLinksCommand(), Map({})},
        {BuildLinkCommand(odd), Map({{1, 1}})},  // out-of-range inputs go as "00"
    };
    for (const auto& [got, expected] : cases)
        EXPECT_EQ(got, expected);
}

TEST(Commands, UserEdidFrameAndLogLines) {
    std::uint8_t edid[kEdidSize];
    std::string hex;
    for (std::size_t i = 0; i < kEdidSize; ++i) {
        edid[i] = static_cast<std::uint8_t>(i);
        hex += "0123456789abcdef"[i / 16];
        hex += "0123456789abcdef"[i % 16];
    }
    std::vector<std::uint8_t> frame = {'E', 'D', 'I', 'T', '='};
    frame.insert(frame.end(), edid, edid + kEdidSize);  // raw, "!" and NUL too
    frame.push_back('!');
    EXPECT_EQ(UserEdidFrame(edid), frame);

    const auto lines = UserEdidLogLines(edid);
    EXPECT_EQ(lines[0], "-->Data[EDIT=");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[1 + i], "-->     " + hex.substr(i * 128, 128));
    EXPECT_EQ(lines[5], "-->     !]");
}

}  // namespace
}  // namespace corvane
