#include "protocol/Commands.h"

#include <cstdio>
#include <map>
#include <string>

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The full map written out independently: outputs not named get everyInput.
std::string Map(const std::map<int, int>& inputForOutput, int everyInput = 0) {
    std::string s = "LINK=";
    for (int o = 1; o <= 16; ++o) {
        char pair[8];
        std::snprintf(pair, sizeof pair, "%02d^%02d%c",
                      inputForOutput.count(o) ? inputForOutput.at(o) : everyInput, o,
                      o == 16 ? '!' : ',');
        s += pair;
    }
    return s;
}

TEST(Commands, Formats) {
    bool chosen[kChannelTableSize] = {};
    EXPECT_FALSE(EdidModeCommand(EdidMode::Auto, 0, chosen));  // nothing chosen, nothing sent
    chosen[1] = chosen[2] = chosen[10] = true;
    RouterState fed;  // output 2 fed by input 3, output 16 by input 12
    fed.routedInput[2] = 3;
    fed.routedInput[16] = 12;
    int odd[kChannelTableSize] = {0, 1, 99, -4};

    const std::pair<std::string, std::string> cases[] = {
        {MonitoringCommand(0), "MON=00!"},
        {EdidModeCommand(EdidMode::Auto, 0, chosen).value_or("-"), "EDID=AUTO1,2,10!"},
        {EdidModeCommand(EdidMode::User, 0, chosen).value_or("-"), "EDID=USER1,2,10!"},
        {LinkOutputCommand(fed, 3, 2), Map({{16, 12}})},          // toggles off
        {LinkOutputCommand(fed, 5, 2), Map({{2, 5}, {16, 12}})},  // re-routes
        {LinkAllOutputsCommand(7), Map({}, 7)},
        {ClearAllLinksCommand(), Map({})},
        {BuildLinkCommand(odd), Map({{1, 1}})},  // out-of-range inputs go as "00"
    };
    for (const auto& [got, expected] : cases)
        EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace corvane
