// The simulated router on its own: what the end-to-end runs cannot show.

#include "../support/LinkSupport.h"
#include "SimRouter.h"
#include "base/TextFormat.h"
#include "protocol/ResponseParser.h"

namespace corvane::sim {
namespace {

// Setting answers land where the program's parser expects them (a malformed
// pair is skipped, the rest still applies); malformed or out-of-range
// commands get no made-up answer and change nothing.
TEST(SimRouter, AnswersReachTheModelAndBadCommandsGetNone) {
    SimRouter router = DefaultRouter();
    RouterState state;
    for (const char* command :
         {"VIDRES=4!", "VIDIMG=14!", "MON=16!", "MON=17!", "LOCK=KL!", "QUADRES=3_5!",
          "QUADLAY=3_6!", "LINK=07^02,99^03,xx^04!", "EDID=AUTO1,2,10!", "NETIP=127.0.0.9!"})
        for (const std::string& answer : HandleCommand(router, command))
            ApplyResponse(state, answer.c_str());
    EXPECT_EQ(Format("%d %d %d %d %d %d %d %d %s %s", state.generatorResolution,
                     state.generatorPattern, state.monitoringChannel, state.keyLock,
                     state.quadResolution[3], state.quadLayout[3], state.routedInput[2],
                     state.routedInput[3], state.inputEdidMode[10].c_str(), state.routerIp.c_str()),
              "4 14 16 1 5 6 7 1 AUTO 127.0.0.9");  // MON=17 refused, not clamped
    for (const char* command : {"IN=0!", "IN=17!", "OUT=x!", "HELLO=?!", "NET=?", "noequals!",
                                "QUADLAY=1_2!" /* no quad card */, "QUADLAY=3_8!"}) {
        router = DefaultRouter();
        EXPECT_TRUE(HandleCommand(router, command).empty() && router.quadLayout[3] == 4) << command;
    }
    EXPECT_EQ(HandleCommand(router, "EDIT=short!"), std::vector<std::string>{"EDIT=ERR!"});
    EXPECT_TRUE(router.userEdid.empty());
}

TEST(SimFraming, SplitsTheStreamIntoCommandsAndDropsRunawayText) {
    const std::string runaway(CommandFramer::kMaxCommand + 10, 'x');
    const std::string edid = "EDIT=" + std::string(256, '!') + "!";  // framed by its length
    using Strings = std::vector<std::string>;
    const std::pair<Strings, Strings> cases[] = {
        {{"MON=?!LOCK=?!"}, {"MON=?!", "LOCK=?!"}},
        {{"LI", "NK=", "?!"}, {"LINK=?!"}},
        {{"MON=?!VID"}, {"MON=?!"}},
        {{"EDIT!", "EDI=?!"}, {"EDIT!", "EDI=?!"}},  // not an EDID frame
        {{edid.substr(0, 99), edid.substr(99) + "MON=?!"}, {edid, "MON=?!"}},
        {{runaway, "MON=?!"}, {"MON=?!"}}};
    for (const auto& [chunks, commands] : cases) {
        CommandFramer framer;
        Strings seen;
        for (const std::string& chunk : chunks)
            framer.Feed(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size(),
                        [&](std::string_view command) { seen.emplace_back(command); });
        if (chunks[0] != runaway)
            EXPECT_EQ(seen, commands);
        else  // the runaway's last bytes may lead the next command, but no more
            EXPECT_TRUE(seen.size() == 1 && seen[0].ends_with("MON=?!") && seen[0].size() < 100);
        EXPECT_LT(framer.pending.size(), CommandFramer::kMaxCommand);
    }
}

// What a client can learn from the router: the answer to every start-up
// query, and whether it answers at all.
std::vector<std::string> WirePicture(SimRouter router) {
    std::vector<std::string> picture;
    for (const char* query : StartupQueries)
        for (const std::string& answer : HandleCommand(router, query))
            picture.push_back(answer);
    picture.push_back(router.silent ? "silent" : "answering");
    return picture;
}
// The answers that differ, as the later picture has them.
std::vector<std::string> Changed(const std::vector<std::string>& before,
                                 const std::vector<std::string>& after) {
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (i >= before.size() || before[i] != after[i])
            changed.push_back(after[i]);
    return changed;
}

// Each line's answer (its start for the long ones) and the one answer it
// changes, holding changed ("" = the router is untouched). The fourth output
// slot is empty here.
TEST(SimPanel, LinesChangeOneThingOrAreRefusedWithAReason) {
    const std::string longText(41, 'x');
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"route 2 5", "ok", "05^02,"},
        {"  Route\t13 0 \r", "ok", "00^13,"},
        {"signal 6 off", "ok", "IN=_06_Signal OFF!"},
        {"signal 2 1920x1080p@59.94Hz", "ok", "IN=_02_1920x1080p@59.94Hz!"},
        {"plug 4 1", "ok", "OUT=_04_Plugged!"},
        {"silent 1", "ok", "silent"},
        {"show", "routes 03,00,01,00,05,06,00,00,01,05,09,12,08,00,00,00; signal on inputs 1,3,",
         ""},
        {" \r", "", ""},
        {"route 17 1", "error: OUT must be 1..16, not \"17\"", ""},
        {"route 99999999999 5", "error: OUT must be", ""},
        {"signal 13 1080p", "error: input 13 is in an empty slot", ""},
        {"signal 2 a!b", "error: a resolution is", ""},
        {"signal 2 " + longText, "error: a resolution is", ""},
        {"plug 3 2", "error: the setting must be 0..1", ""},
        {"frobnicate 1", "error: unknown command \"frobnicate\"; commands:", ""},
    };
    SimRouter start = DefaultRouter();
    ASSERT_TRUE(ApplyCardList(start, "0A,12,06,00/0B,19,21,00", nullptr));
    for (const auto& [line, answer, changed] : cases) {
        SimRouter router = start;
        const std::string got = PanelLine(router, line);
        EXPECT_TRUE(answer.empty() ? got.empty() : got.starts_with(answer)) << line << ": " << got;
        const std::vector<std::string> diff = Changed(WirePicture(start), WirePicture(router));
        if (changed.empty())
            EXPECT_TRUE(diff.empty()) << line << " changed " << diff[0];
        else
            EXPECT_TRUE(diff.size() == 1 && diff[0].find(changed) != std::string::npos)
                << line << " changed " << ::testing::PrintToString(diff);
    }
}

// A seed repeats a run; every step is a panel line that changes exactly one
// thing, routes, signals and plugs all come up, and signals and plugs change
// only where the view shows them (no signal from an empty slot, no plug on the
// fiber or quad outputs).
TEST(SimChurn, SeededStepsChangeOneShownThingEach) {
    std::minstd_rand random(7), again(7);
    SimRouter router = DefaultRouter();
    int routes = 0, signals = 0, plugs = 0;
    for (int step = 0; step < 300; ++step) {
        const std::string line = ChurnLine(router, random);
        SimRouter copy = router;
        EXPECT_EQ(ChurnLine(copy, again), line);
        const std::vector<std::string> before = WirePicture(router);
        ASSERT_EQ(PanelLine(router, line), "ok") << line;
        const std::vector<std::string> diff = Changed(before, WirePicture(router));
        ASSERT_EQ(diff.size(), 1u) << line;
        routes += diff[0].starts_with("LINK=");
        signals += diff[0].starts_with("IN=");
        plugs += diff[0].starts_with("OUT=");
        for (int c = 13; c <= 16; ++c)
            EXPECT_EQ(router.inputSignal[c], "Signal OFF") << line;
        const int output = diff[0].starts_with("OUT=") ? std::stoi(diff[0].substr(5, 2)) : 0;
        EXPECT_TRUE(output < 5 || output > 12) << line;  // 5-12: fiber and quad
    }
    EXPECT_TRUE(routes > 0 && signals > 0 && plugs > 0 && routes + signals + plugs == 300);
}

// The routersim program: a panel line over UDP changes what LINK=?! answers;
// silent holds answers back while commands still come in; a bad line is
// refused and the router runs on.
TEST(SimPanel, ProgramTakesPanelLinesOverUdp) {
    using namespace corvane::testing;
    TempDir dir;
    const std::string transcript = dir.path + "/transcript.txt";
    Child simulator({ROUTERSIM_PATH, "--udp", "0", "--panel", "0", "--transcript", transcript});
    const int routerPort = PortFrom(simulator, R"(udp: 127\.0\.0\.1:(\d+))");
    const int panelPort = PortFrom(simulator, R"(panel: (\d+))");
    ASSERT_TRUE(routerPort > 0 && panelPort > 0) << simulator.out;
    LoopbackSocket client, panel;
    auto ask = [&](const std::string& command) {
        client.SendTo(routerPort, command);
        return client.Receive();
    };
    auto press = [&](const std::string& line) {
        panel.SendTo(panelPort, line);
        return panel.Receive();
    };
    EXPECT_EQ(press("route 2 5\n"), "ok\n");
    EXPECT_NE(ask("LINK=?!").find("05^02,"), std::string::npos);
    EXPECT_TRUE(press("route 2").starts_with("error: usage"));
    EXPECT_EQ(press("silent 1\nplug 4 1"), "ok\nok\n");
    client.SendTo(routerPort, "OUT=4!");
    EXPECT_TRUE(
        WaitUntil([&] { return dir.Read("transcript.txt").find("OUT=4!") != std::string::npos; }));
    EXPECT_EQ(press("silent 0"), "ok\n");
    // The first answer after the silence is to the next question.
    EXPECT_EQ(ask("MON=?!"), "MON=03!");
    EXPECT_EQ(ask("OUT=4!"), "OUT=_04_Plugged!");
    EXPECT_EQ(simulator.Stop(SIGTERM), 0) << simulator.out;
}

}  // namespace
}  // namespace corvane::sim
