// The simulated router on its own: what the end-to-end runs cannot show.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SimRouter.h"
#include "protocol/ResponseParser.h"

namespace corvane::sim {
namespace {

// Setting answers must land where the program's parser expects them.
TEST(SimAgainstParser, SettingAnswersReachTheModel) {
    SimRouter router = DefaultRouter();
    RouterState state;
    for (const char* command :
         {"VIDRES=4!", "VIDIMG=14!", "MON=16!", "MON=17!", "LOCK=KL!", "QUADRES=3_5!",
          "QUADLAY=3_6!", "LINK=07^02,99^03,xx^04!", "EDID=AUTO1,2,10!", "NETIP=127.0.0.9!"})
        for (const std::string& answer : HandleCommand(router, command))
            ApplyResponse(state, answer.c_str());
    EXPECT_EQ(state.generatorResolution, 4);
    EXPECT_EQ(state.generatorPattern, 14);
    EXPECT_EQ(state.monitoringChannel, 16);  // 17 is refused, not clamped
    EXPECT_EQ(state.keyLock, 1);
    EXPECT_EQ(state.quadResolution[3], 5);
    EXPECT_EQ(state.quadLayout[3], 6);
    // A malformed pair is skipped; the rest still applies.
    EXPECT_EQ(state.routedInput[2], 7);
    EXPECT_EQ(state.routedInput[3], 1);
    EXPECT_EQ(state.inputEdidMode[10], "AUTO");
    EXPECT_EQ(state.routerIp, "127.0.0.9");
}

TEST(SimRouter, MalformedOrOutOfRangeCommandsGetNoMadeUpAnswer) {
    for (const char* command : {"IN=0!", "IN=17!", "OUT=x!", "HELLO=?!", "NET=?", "noequals!",
                                "QUADLAY=1_2!" /* no quad card */, "QUADLAY=3_8!"}) {
        SimRouter router = DefaultRouter();
        EXPECT_TRUE(HandleCommand(router, command).empty()) << command;
        EXPECT_EQ(router.quadLayout[3], 4) << command;
    }
    SimRouter router = DefaultRouter();
    EXPECT_EQ(HandleCommand(router, "EDIT=short!"), std::vector<std::string>{"EDIT=ERR!"});
    EXPECT_TRUE(router.userEdid.empty());
}

TEST(SimFraming, SplitsTheStreamIntoCommandsAndDropsRunawayText) {
    const std::string runaway(CommandFramer::kMaxCommand + 10, 'x');
    const std::string edid = "EDIT=" + std::string(256, '!') + "!";  // framed by its length
    struct Case {
        std::vector<std::string> chunks, commands;
    };
    const Case cases[] = {{{"MON=?!LOCK=?!"}, {"MON=?!", "LOCK=?!"}},
                          {{"LI", "NK=", "?!"}, {"LINK=?!"}},
                          {{"MON=?!VID"}, {"MON=?!"}},
                          {{"EDIT!", "EDI=?!"}, {"EDIT!", "EDI=?!"}},  // not an EDID frame
                          {{edid.substr(0, 99), edid.substr(99) + "MON=?!"}, {edid, "MON=?!"}},
                          {{runaway, "MON=?!"}, {"MON=?!"}}};
    for (const Case& c : cases) {
        CommandFramer framer;
        std::vector<std::string> seen;
        for (const std::string& chunk : c.chunks)
            framer.Feed(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size(),
                        [&](std::string_view command) { seen.emplace_back(command); });
        if (c.chunks[0] != runaway)
            EXPECT_EQ(seen, c.commands);
        else  // the runaway's last bytes may lead the next command, but no more
            EXPECT_TRUE(seen.size() == 1 && seen[0].ends_with("MON=?!") && seen[0].size() < 100);
        EXPECT_LT(framer.pending.size(), CommandFramer::kMaxCommand);
    }
}

}  // namespace
}  // namespace corvane::sim
