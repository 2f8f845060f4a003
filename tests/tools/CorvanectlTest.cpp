// The command-line client as a user runs it: a child process in its own
// working directory against a simulated router on loopback.

#include <filesystem>
#include <regex>

#include "Harness.h"

namespace corvane::testing {
namespace {

const std::string kCtl = CORVANECTL_PATH;

// The JSON line of one array entry, e.g. {"output": 2, ...}.
std::string JsonEntry(const std::string& json, const std::string& key, int number) {
    std::string start = "{\"" + key + "\": " + std::to_string(number) + ",";
    std::size_t at = json.find(start);
    if (at == std::string::npos) {
        return "";
    }
    return json.substr(at, json.find('\n', at) - at);
}

void ExpectJsonHoldsRouter(const std::string& json, const sim::SimRouter& router) {
    EXPECT_NE(json.find("\"connection\": \"Connected\""), std::string::npos);
    for (int n = 1; n <= kChannelCount; ++n) {
        SCOPED_TRACE(n);
        std::string output = JsonEntry(json, "output", n);
        EXPECT_NE(output.find("\"routedInput\": " + std::to_string(router.route[n]) + ","),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find(router.outputPlugged[n] ? "\"plugged\": true" : "\"plugged\": false"),
                  std::string::npos)
            << output;
        std::string input = JsonEntry(json, "input", n);
        EXPECT_NE(input.find("\"signal\": \"" + router.inputSignal[n] + "\""), std::string::npos)
            << input;
    }
    for (int s = 1; s <= kSlotCount; ++s) {
        std::string slot = JsonEntry(json, "slot", s);
        EXPECT_NE(slot.find("\"inputCard\": " + std::to_string(router.inputCard[s]) + ","),
                  std::string::npos)
            << slot;
        EXPECT_NE(slot.find("\"outputCard\": " + std::to_string(router.outputCard[s]) + ","),
                  std::string::npos)
            << slot;
    }
    for (const char* expected :
         {"\"rs232\": 115200", "\"monitoringChannel\": 3,", "\"mac\": \"00:1C:91:03:5E:2A\"",
          "{\"web\": true, \"data\": false, \"key\": false}", "\"resolution\": 9, \"layout\": 4}",
          "\"patternName\": \"Vertical Color Bar\""}) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected;
    }
}

std::string UdpArgument(const sim::RouterSim& simulator) {
    return "127.0.0.1:" + std::to_string(simulator.port);
}

TEST(Corvanectl, StatusJsonWithConfigIniPrintsTheWholeStateAndLogs) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    dir.Write("config.ini",
              "[CHANNELNAME]\nInputChannel03=Camera 3\nOutputChannel02=Projector\n"
              "[SETCOMMCONFIG]\nCommType=UDP\nIpAddress=127.0.0.1\nUDPPort=" +
                  std::to_string(simulator->port) + "\n");
    ProcessResult result = RunProcess({kCtl, "status", "--json"}, dir.path);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ExpectJsonHoldsRouter(result.out, simulator->Router());
    EXPECT_NE(JsonEntry(result.out, "output", 1).find("\"routedInputName\": \"Camera 3\""),
              std::string::npos);
    EXPECT_NE(JsonEntry(result.out, "output", 2).find("\"name\": \"Projector\""),
              std::string::npos);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());

    // The daily log lands in the working directory, as the program's does.
    bool logged = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
        if (entry.path().extension() == ".log") {
            logged = dir.Read(entry.path().filename()).find("-->Data[NET=?!]") != std::string::npos;
        }
    }
    EXPECT_TRUE(logged);
}

TEST(Corvanectl, RouteSendsTheFullMapAndToggles) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    const std::vector<std::string> route = {
        kCtl, "--udp", UdpArgument(*simulator), "--no-log", "route", "3", "2"};
    ProcessResult first = RunProcess(route, dir.path);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("linked input 3"), std::string::npos) << first.out;
    sim::SimRouter expected = sim::DefaultRouter();
    expected.route[2] = 3;
    EXPECT_EQ(simulator->Commands().back(), sim::LinkAnswer(expected));
    EXPECT_EQ(simulator->Router().route[2], 3);
    EXPECT_EQ(simulator->Router().route[1], 3);  // the others keep their routes

    ProcessResult second = RunProcess(route, dir.path);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("unlinked input 3"), std::string::npos) << second.out;
    EXPECT_NE(second.out.find("No Link"), std::string::npos) << second.out;
    EXPECT_EQ(simulator->Router().route[2], 0);

    EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "--no-log wrote a file";
}

TEST(Corvanectl, StatusAndRouteOverThePty) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    ProcessResult status = RunProcess(
        {kCtl, "--serial", simulator->ptyPath + ":115200", "status", "--json"}, dir.path);
    ASSERT_EQ(status.exitCode, 0) << status.err;
    ExpectJsonHoldsRouter(status.out, simulator->Router());

    ProcessResult route =
        RunProcess({kCtl, "--serial", simulator->ptyPath, "route", "3", "2"}, dir.path);
    ASSERT_EQ(route.exitCode, 0) << route.err;
    EXPECT_EQ(simulator->Router().route[2], 3);
}

TEST(Corvanectl, ClearAndSendGoFirstAndWaitForTheAnswer) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    ProcessResult clear = RunProcess({kCtl, "--udp", UdpArgument(*simulator), "clear"}, dir.path);
    ASSERT_EQ(clear.exitCode, 0) << clear.err;
    for (int n = 1; n <= kChannelCount; ++n) {
        EXPECT_EQ(simulator->Router().route[n], 0);
    }
    ASSERT_GE(simulator->CommandCount(), 1u);
    EXPECT_EQ(simulator->Commands()[0].substr(0, 11), "LINK=00^01,");

    ProcessResult send =
        RunProcess({kCtl, "--udp", UdpArgument(*simulator), "send", "NET=?!"}, dir.path);
    ASSERT_EQ(send.exitCode, 0) << send.err;
    EXPECT_NE(send.out.find("NETIP=127.0.0.1!\nNETSN=255.0.0.0!\n"), std::string::npos) << send.out;
    EXPECT_NE(send.out.find("NETPT=" + std::to_string(simulator->port) + "!"), std::string::npos);
}

enum class Router { None, Answering, Silent, Closed };

struct ExitCase {
    const char* name;
    std::vector<std::string> args;  // {LINK} becomes --udp 127.0.0.1:port
    Router router;
    int exitCode;
};

void PrintTo(const ExitCase& exit, std::ostream* out) {
    *out << exit.name;
}

class CorvanectlExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(CorvanectlExit, CodeTellsWhatWentWrong) {
    const ExitCase& c = GetParam();
    std::unique_ptr<sim::RouterSim> simulator;
    int port = 0;
    if (c.router != Router::None) {
        sim::SimOptions options;
        options.silent = c.router == Router::Silent;
        simulator = StartUdpSim(options);
        ASSERT_TRUE(simulator);
        port = simulator->port;
        if (c.router == Router::Closed) {
            simulator.reset();  // nobody listens there any more
        }
    }
    TempDir dir;
    std::vector<std::string> argv = {kCtl};
    for (const std::string& arg : c.args) {
        if (arg == "{LINK}") {
            argv.push_back("--udp");
            argv.push_back("127.0.0.1:" + std::to_string(port));
        } else if (arg == "{MISSING}") {
            argv.push_back(dir.path + "/no-such-tty");
        } else {
            argv.push_back(arg);
        }
    }
    ProcessResult result = RunProcess(argv, dir.path);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
    if (c.exitCode != 0) {
        EXPECT_NE(result.err.find("corvanectl: "), std::string::npos) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CorvanectlExit,
    ::testing::Values(
        ExitCase{"Help", {"--help"}, Router::None, 0},
        ExitCase{"NoCommand", {"{LINK}"}, Router::Answering, 2},
        ExitCase{"UnknownCommand", {"{LINK}", "frobnicate"}, Router::Answering, 2},
        ExitCase{"UnknownOption", {"--fast", "status"}, Router::None, 2},
        ExitCase{"RouteInputZero", {"{LINK}", "route", "0", "2"}, Router::Answering, 2},
        ExitCase{"RouteOutputSeventeen", {"{LINK}", "route", "1", "17"}, Router::Answering, 2},
        ExitCase{"RouteOneNumber", {"{LINK}", "route", "3"}, Router::Answering, 2},
        ExitCase{"SendWithoutBang", {"{LINK}", "send", "MON=01"}, Router::Answering, 2},
        ExitCase{"SendTwoCommands", {"{LINK}", "send", "MON=01!MON=02!"}, Router::Answering, 2},
        ExitCase{"StatusExtra", {"{LINK}", "status", "--xml"}, Router::Answering, 2},
        ExitCase{"BadTimeout", {"--timeout", "soon", "{LINK}", "status"}, Router::Answering, 2},
        ExitCase{"UdpWithoutPort", {"--udp", "127.0.0.1", "status"}, Router::None, 2},
        ExitCase{"BothLinks", {"{LINK}", "--serial", "{MISSING}", "status"}, Router::Answering, 2},
        ExitCase{"NoConfigNoLink", {"status"}, Router::None, 2},
        ExitCase{"PortNotListening", {"{LINK}", "status"}, Router::Closed, 3},
        ExitCase{"MissingDevice", {"--serial", "{MISSING}", "status"}, Router::None, 3},
        ExitCase{"SilentStatus", {"--timeout", "1", "{LINK}", "status"}, Router::Silent, 4},
        ExitCase{"SilentSend", {"--timeout", "1", "{LINK}", "send", "MON=01!"}, Router::Silent, 4},
        ExitCase{"AnsweredSend", {"{LINK}", "send", "MON=01!"}, Router::Answering, 0}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return info.param.name; });

}  // namespace
}  // namespace corvane::testing

namespace corvane::testing {
namespace {

const std::string kSim = ROUTERSIM_PATH;

TEST(RoutersimProcess, ReportsItsPortRecordsATranscriptAndStopsOnSigterm) {
    TempDir dir;
    const std::string transcript = dir.path + "/transcript.txt";
    Child simulator(
        {kSim, "--udp", "0", "--transcript", transcript, "--cards", "0A,0A,12,02/0B,0B,21,19"});
    std::string line = simulator.ReadLine();
    std::smatch port;
    ASSERT_TRUE(std::regex_match(line, port, std::regex(R"(udp: 127\.0\.0\.1:(\d+))"))) << line;

    ProcessResult slots = RunProcess(
        {kCtl, "--no-log", "--udp", "127.0.0.1:" + port[1].str(), "send", "SLOT=?!"}, dir.path);
    ASSERT_EQ(slots.exitCode, 0) << slots.err;
    EXPECT_EQ(slots.out, "SLOT=01_0A_0B!\nSLOT=02_0A_0B!\nSLOT=03_12_21!\nSLOT=04_02_19!\n");

    EXPECT_EQ(simulator.Stop(SIGTERM), 0);
    EXPECT_TRUE(
        std::regex_match(dir.Read("transcript.txt"),
                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z SLOT=\?!\n)")))
        << dir.Read("transcript.txt");
}

TEST(RoutersimProcess, SerialModePrintsItsDeviceAndEndsAfterItsDuration) {
    Child simulator({kSim, "--serial", "--duration", "1"});
    std::string line = simulator.ReadLine();
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(serial: /dev/pts/\d+)"))) << line;
    EXPECT_EQ(simulator.Wait(10s), 0);
}

TEST(RoutersimProcess, BadArgumentsAreRefused) {
    TempDir dir;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--udp", "70000"},
                                               {"--udp", "1", "--serial"},
                                               {"--cards", "0A,12"},
                                               {"--fault", "fire"},
                                               {"--delay"},
                                               {"--bind", "localhost", "--udp", "0"},
                                               {"--frobnicate"}}) {
        std::vector<std::string> argv = {kSim};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("--duration");
        argv.push_back("1");
        ProcessResult result = RunProcess(argv, dir.path, 10s);
        EXPECT_NE(result.exitCode, 0) << args[0];
        EXPECT_NE(result.err.find("routersim: "), std::string::npos) << args[0];
    }
}

}  // namespace
}  // namespace corvane::testing
