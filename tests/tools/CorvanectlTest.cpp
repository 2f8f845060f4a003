// The command-line client as a child process in its own working directory.

#include <regex>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

const std::string kCtl = CORVANECTL_PATH;
const std::string kSim = ROUTERSIM_PATH;

struct Ran {
    int exitCode;  // -1: killed at the deadline
    std::string out;
};
Ran RunToEnd(const std::vector<std::string>& argv, const std::string& directory) {
    Child child(argv, directory);
    const int code = child.Wait(30s);
    return {code, child.out};
}

// The JSON line of one array entry, e.g. {"output": 2, ...}.
std::string JsonEntry(const std::string& json, const std::string& key, int number) {
    const std::size_t at = json.find("{\"" + key + "\": " + std::to_string(number) + ",");
    return at == std::string::npos ? "" : json.substr(at, json.find('\n', at) - at);
}

void ExpectJsonHoldsRouter(const std::string& json, const sim::SimRouter& router) {
    std::vector<std::pair<std::string, std::string>> wanted = {
        {json, "\"connection\": \"Connected\""},
        {json, "\"rs232\": 115200"},
        {json, "\"monitoringChannel\": 3,"},
        {json, "\"mac\": \"00:1C:91:03:5E:2A\""},
        {json, "{\"web\": true, \"data\": false, \"key\": false}"},
        {json, "\"resolution\": 9, \"layout\": 4}"},
        {json, "\"patternName\": \"Vertical Color Bar\""}};
    for (int n = 1; n <= kChannelCount; ++n) {
        const std::string output = JsonEntry(json, "output", n), slot = JsonEntry(json, "slot", n);
        wanted.push_back({output, "\"routedInput\": " + std::to_string(router.route[n]) + ","});
        wanted.push_back(
            {output, router.outputPlugged[n] ? "\"plugged\": true" : "\"plugged\": false"});
        wanted.push_back(
            {JsonEntry(json, "input", n), "\"signal\": \"" + router.inputSignal[n] + "\""});
        if (n <= kSlotCount) {
            wanted.push_back({slot, "\"inputCard\": " + std::to_string(router.inputCard[n]) + ","});
            wanted.push_back(
                {slot, "\"outputCard\": " + std::to_string(router.outputCard[n]) + ","});
        }
    }
    for (const auto& [text, fragment] : wanted)
        EXPECT_NE(text.find(fragment), std::string::npos) << fragment << " not in " << text;
}

TEST(Corvanectl, StatusJsonWithConfigIniPrintsTheWholeStateAndLogs) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    dir.Write("config.ini",
              "[CHANNELNAME]\nInputChannel03=Camera 3\nOutputChannel02=Projector\n"
              "[SETCOMMCONFIG]\nCommType=UDP\nIpAddress=127.0.0.1\nUDPPort=" +
                  std::to_string(simulator->port) + "\n");
    auto result = RunToEnd({kCtl, "status", "--json"}, dir.path);
    ASSERT_EQ(result.exitCode, 0) << result.out;
    ExpectJsonHoldsRouter(result.out, simulator->Router());
    EXPECT_NE(JsonEntry(result.out, "output", 1).find("\"routedInputName\": \"Camera 3\""),
              std::string::npos);
    EXPECT_NE(JsonEntry(result.out, "output", 2).find("\"name\": \"Projector\""),
              std::string::npos);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    // The daily log lands in the working directory, as the program's does.
    bool logged = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        logged |= entry.path().extension() == ".log" &&
                  dir.Read(entry.path().filename()).find("-->Data[NET=?!]") != std::string::npos;
    EXPECT_TRUE(logged);
}

TEST(Corvanectl, RouteSendsTheFullMapTogglesAndClears) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    const std::vector<std::string> link = {
        kCtl, "--udp", "127.0.0.1:" + std::to_string(simulator->port), "--no-log"};
    std::vector<std::string> route = link;
    route.insert(route.end(), {"route", "3", "2"});
    auto first = RunToEnd(route, dir.path);
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_NE(first.out.find("linked input 3"), std::string::npos) << first.out;
    sim::SimRouter expected = sim::DefaultRouter();
    expected.route[2] = 3;
    EXPECT_EQ(simulator->Commands().back(), sim::LinkAnswer(expected));  // the others keep theirs
    EXPECT_EQ(simulator->Router().route[2], 3);

    auto second = RunToEnd(route, dir.path);
    ASSERT_EQ(second.exitCode, 0) << second.out;
    EXPECT_NE(second.out.find("unlinked input 3"), std::string::npos) << second.out;
    EXPECT_EQ(simulator->Router().route[2], 0);

    std::vector<std::string> clear = link;
    clear.push_back("clear");
    ASSERT_EQ(RunToEnd(clear, dir.path).exitCode, 0);
    for (int n = 1; n <= kChannelCount; ++n)
        EXPECT_EQ(simulator->Router().route[n], 0) << n;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "--no-log wrote a file";
}

// set and preset recall leave as one LINK command each; a protected output
// refuses set (nothing sent) and keeps its route through a recall.
TEST(Corvanectl, SetAndPresetsSendOneLinkAndRespectProtect) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    auto run = [&](std::vector<std::string> words) {
        std::vector<std::string> argv = {
            kCtl, "--udp", "127.0.0.1:" + std::to_string(simulator->port), "--no-log"};
        argv.insert(argv.end(), words.begin(), words.end());
        return RunToEnd(argv, dir.path);
    };
    auto links = [&] {
        int n = 0;
        for (const std::string& command : simulator->Commands())
            n += command.starts_with("LINK=") && command != "LINK=?!";
        return n;
    };
    std::vector<std::string> set = {"set"};
    for (int o = 1; o <= kChannelCount; ++o)
        set.push_back(std::to_string(o) + "=" + std::to_string(17 - o));
    ASSERT_EQ(run(set).exitCode, 0);
    EXPECT_EQ(links(), 1);
    EXPECT_EQ(simulator->Router().route[1], 16);
    ASSERT_EQ(run({"preset", "save", "Wide"}).exitCode, 0);
    ASSERT_EQ(run({"set", "1=2", "3=0"}).exitCode, 0);
    EXPECT_EQ(simulator->Router().route[16], 1);  // not named: kept

    dir.Write("salvos.ini",
              "[PROTECT]\nOutputs=3\n" +
                  dir.Read("salvos.ini").substr(dir.Read("salvos.ini").find("[SALVO]")));
    const std::size_t before = simulator->CommandCount();
    EXPECT_EQ(run({"set", "3=4"}).exitCode, 5);
    EXPECT_EQ(simulator->CommandCount(), before);
    ASSERT_EQ(run({"preset", "recall", "Wide"}).exitCode, 0);
    EXPECT_EQ(links(), 3);
    EXPECT_EQ(simulator->Router().route[1], 16);
    EXPECT_EQ(simulator->Router().route[3], 0);

    const Ran list = run({"preset", "list", "--json"});
    EXPECT_NE(list.out.find("{\"name\": \"Wide\", \"map\": [16, 15,"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("\"protected\": [3]"), std::string::npos) << list.out;
    EXPECT_EQ(run({"preset", "delete", "Wide"}).exitCode, 0);
    EXPECT_EQ(run({"preset", "recall", "Wide"}).exitCode, 2);
}

TEST(Corvanectl, StatusAndRouteOverThePty) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    auto status =
        RunToEnd({kCtl, "--serial", simulator->ptyPath + ":115200", "status", "--json"}, dir.path);
    ASSERT_EQ(status.exitCode, 0) << status.out;
    ExpectJsonHoldsRouter(status.out, simulator->Router());
    auto route = RunToEnd({kCtl, "--serial", simulator->ptyPath, "route", "3", "2"}, dir.path);
    ASSERT_EQ(route.exitCode, 0) << route.out;
    EXPECT_EQ(simulator->Router().route[2], 3);
}

TEST(Corvanectl, ExitCodeTellsWhatWentWrong) {
    enum Router { None, Answering, Silent, Closed };
    struct Case {
        std::vector<std::string> args;  // {LINK} becomes --udp 127.0.0.1:port
        Router router;
        int exitCode;
    };
    const Case cases[] = {
        {{"--help"}, None, 0},
        {{"{LINK}"}, Answering, 2},
        {{"{LINK}", "frobnicate"}, Answering, 2},
        {{"--fast", "status"}, None, 2},
        {{"{LINK}", "route", "0", "2"}, Answering, 2},
        {{"{LINK}", "route", "1", "17"}, Answering, 2},
        {{"{LINK}", "route", "3"}, Answering, 2},
        {{"{LINK}", "send", "MON=01"}, Answering, 2},
        {{"{LINK}", "send", "MON=01!MON=02!"}, Answering, 2},
        {{"{LINK}", "status", "--xml"}, Answering, 2},
        {{"--timeout", "soon", "{LINK}", "status"}, Answering, 2},
        {{"--udp", "127.0.0.1", "status"}, None, 2},
        {{"{LINK}", "--serial", "{MISSING}", "status"}, Answering, 2},
        {{"status"}, None, 2},  // no config.ini either
        {{"{LINK}", "status"}, Closed, 3},
        {{"--serial", "{MISSING}", "status"}, None, 3},
        {{"--timeout", "1", "{LINK}", "status"}, Silent, 4},
        {{"--timeout", "1", "{LINK}", "send", "MON=01!"}, Silent, 4},
        {{"{LINK}", "send", "MON=01!"}, Answering, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<sim::RouterSim> simulator;
        if (c.router != None) {
            sim::SimOptions options;
            options.silent = c.router == Silent;
            simulator = StartUdpSim(options);
            ASSERT_TRUE(simulator);
        }
        const std::string port = simulator ? std::to_string(simulator->port) : "";
        if (c.router == Closed)
            simulator.reset();  // nobody listens there any more
        TempDir dir;
        std::vector<std::string> argv = {kCtl};
        std::string shown;
        for (const std::string& arg : c.args) {
            shown += arg + " ";
            if (arg == "{LINK}")
                argv.insert(argv.end(), {"--udp", "127.0.0.1:" + port});
            else
                argv.push_back(arg == "{MISSING}" ? dir.path + "/no-such-tty" : arg);
        }
        const Ran result = RunToEnd(argv, dir.path);
        EXPECT_EQ(result.exitCode, c.exitCode) << shown << "gave " << result.out;
        EXPECT_TRUE(c.exitCode == 0 || result.out.find("corvanectl: ") != std::string::npos)
            << result.out;
    }
}

// Checking needs no router and no config.ini; an upload sends the frame and
// the mode command, and nothing at all for an EDID with errors.
TEST(Corvanectl, EdidChecksFilesAndUploadsOnlyValidOnes) {
    TempDir dir;
    const std::string good = std::string(CORVANE_EDID_SAMPLES) + "/04-AOC-AOC2281.bin";
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string broken = bytes;
    broken[20] = static_cast<char>(broken[20] ^ 0x10);
    dir.Write("broken.bin", broken);
    dir.Write("notes.txt", "not an EDID\n");

    const Ran json = RunToEnd({kCtl, "edid", good, "--json"}, dir.path);
    EXPECT_EQ(json.exitCode, 0) << json.out;
    for (const char* field : {"\"valid\": true", "\"manufacturer\": \"AOC\"", "\"week\": 29",
                              "\"physicalAddress\": \"1.0.0.0\""})
        EXPECT_NE(json.out.find(field), std::string::npos) << field;
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {{"edid", good}, 0, "Name:       2281W"},
        {{"edid", "broken.bin"}, 6, "wrong checksum in block 0"},
        {{"edid", "notes.txt"}, 2, "File Format Error!"},
        {{"edid", "missing.bin"}, 2, "File Open Fail!"},
        {{"edid"}, 2, "usage: edid"},
        {{"edid", good, "--upload", "0"}, 2, "inputs 1 to 16"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {kCtl};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const Ran result = RunToEnd(argv, dir.path);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args.back() << ": " << result.out;
        EXPECT_NE(result.out.find(c.says), std::string::npos) << result.out;
    }

    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    const std::string link = "127.0.0.1:" + std::to_string(simulator->port);
    EXPECT_EQ(
        RunToEnd({kCtl, "--udp", link, "edid", "broken.bin", "--upload", "1"}, dir.path).exitCode,
        6);
    EXPECT_TRUE(simulator->Commands().empty());
    const Ran upload =
        RunToEnd({kCtl, "--udp", link, "--no-log", "edid", good, "--upload", "1,3,5"}, dir.path);
    ASSERT_EQ(upload.exitCode, 0) << upload.out;
    EXPECT_EQ(simulator->Router().userEdid, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(simulator->Commands().back(), "EDID=USER1,3,5!");
    for (int n = 1; n <= kChannelCount; ++n)
        EXPECT_EQ(simulator->Router().edidMode[n] == "USER", n == 1 || n == 3 || n == 5) << n;
}

TEST(RoutersimProcess, ReportsItsPortRecordsATranscriptAndStopsOnSigterm) {
    TempDir dir;
    Child simulator({kSim, "--udp", "0", "--transcript", dir.path + "/transcript.txt", "--cards",
                     "0A,0A,12,02/0B,0B,21,19"});
    simulator.Collect(10s, true);
    const std::string line = simulator.out.substr(0, simulator.out.find('\n'));
    std::smatch port;
    ASSERT_TRUE(std::regex_match(line, port, std::regex(R"(udp: 127\.0\.0\.1:(\d+))"))) << line;

    auto slots = RunToEnd(
        {kCtl, "--no-log", "--udp", "127.0.0.1:" + port[1].str(), "send", "SLOT=?!"}, dir.path);
    ASSERT_EQ(slots.exitCode, 0) << slots.out;
    EXPECT_EQ(slots.out, "SLOT=01_0A_0B!\nSLOT=02_0A_0B!\nSLOT=03_12_21!\nSLOT=04_02_19!\n");

    EXPECT_EQ(simulator.Stop(SIGTERM), 0);
    EXPECT_TRUE(
        std::regex_match(dir.Read("transcript.txt"),
                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z SLOT=\?!\n)")))
        << dir.Read("transcript.txt");
}

}  // namespace
}  // namespace corvane::testing
