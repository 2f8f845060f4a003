// The command-line client as a child process in its own working directory.

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "../support/LinkSupport.h"
#include "../support/Swp08Wire.h"
#include "bridge/Swp08Frame.h"

namespace corvane::testing {
namespace {

const std::string kCtl = CORVANECTL_PATH;
const std::string kSim = ROUTERSIM_PATH;

// What corvanectl prints for these words (split at blanks); it should exit with
// that code. With a router: over UDP to it and without a log.
std::string Ctl(std::string line, const std::string& directory,
                const sim::RouterSim* router = nullptr, int exitCode = 0) {
    if (router != nullptr)
        line = "--udp 127.0.0.1:" + std::to_string(router->port) + " --no-log " + line;
    std::vector<std::string> argv = {kCtl};
    std::istringstream words(line);
    argv.insert(argv.end(), std::istream_iterator<std::string>(words), {});
    Child child(argv, directory);
    EXPECT_EQ(child.Wait(30s), exitCode) << line << " gave " << child.out;  // -1: killed
    return child.out;
}
bool Says(const std::string& out, const std::string& part) {
    return out.find(part) != std::string::npos;
}
int LinkSets(const sim::RouterSim& simulator) {  // LINK commands that set routes
    const std::vector<std::string> commands = simulator.Commands();
    return int(std::count_if(commands.begin(), commands.end(),
                             [](auto& c) { return c.starts_with("LINK=") && c != "LINK=?!"; }));
}

// The JSON line of one array entry, e.g. {"output": 2, ...}.
std::string JsonEntry(const std::string& json, const std::string& key, int number) {
    const std::size_t at = json.find("{\"" + key + "\": " + std::to_string(number) + ",");
    return at == std::string::npos ? "" : json.substr(at, json.find('\n', at) - at);
}

void ExpectJsonHoldsRouter(const std::string& json, const sim::SimRouter& router) {
    auto has = [](const std::string& text, const std::string& fragment) {
        EXPECT_TRUE(Says(text, fragment)) << fragment << " not in " << text;
    };
    for (const char* fragment :
         {"\"connection\": \"Connected\"", "\"rs232\": 115200", "\"monitoringChannel\": 3,",
          "\"mac\": \"00:1C:91:03:5E:2A\"", "{\"web\": true, \"data\": false, \"key\": false}",
          "\"resolution\": 9, \"layout\": 4}", "\"patternName\": \"Vertical Color Bar\""})
        has(json, fragment);
    for (int n = 1; n <= kChannelCount; ++n) {
        const std::string output = JsonEntry(json, "output", n), slot = JsonEntry(json, "slot", n);
        has(output, "\"routedInput\": " + std::to_string(router.route[n]) + ",");
        has(output, router.outputPlugged[n] ? "\"plugged\": true" : "\"plugged\": false");
        has(JsonEntry(json, "input", n), "\"signal\": \"" + router.inputSignal[n] + "\"");
        if (n <= kSlotCount) {
            has(slot, "\"inputCard\": " + std::to_string(router.inputCard[n]) + ",");
            has(slot, "\"outputCard\": " + std::to_string(router.outputCard[n]) + ",");
        }
    }
}

// status over UDP as config.ini says, and a route over the pty as the option says.
TEST(Corvanectl, StatusJsonPrintsTheWholeStateAndLogsRouteWorksOverThePty) {
    auto simulator = StartSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    dir.Write("config.ini",
              "[CHANNELNAME]\nInputChannel03=Camera 3\nOutputChannel02=Projector\n"
              "[SETCOMMCONFIG]\nCommType=UDP\nIpAddress=127.0.0.1\nUDPPort=" +
                  std::to_string(simulator->port) + "\n");
    const std::string json = Ctl("status --json", dir.path);
    ExpectJsonHoldsRouter(json, simulator->Router());
    EXPECT_TRUE(Says(JsonEntry(json, "output", 1), "\"routedInputName\": \"Camera 3\""));
    EXPECT_TRUE(Says(JsonEntry(json, "output", 2), "\"name\": \"Projector\""));
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    // The daily log lands in the working directory, as the program's does.
    bool logged = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        logged |= entry.path().extension() == ".log" &&
                  Says(dir.Read(entry.path().filename()), "-->Data[NET=?!]");
    EXPECT_TRUE(logged);

    auto serial = StartSim({}, true);
    ASSERT_TRUE(serial);
    const std::string pty = "--serial " + serial->ptyPath;
    Ctl(pty + ":115200 route 3 2", dir.path);
    EXPECT_EQ(serial->Router().route[2], 3);
}

// route toggles one output in a full map; set and salvo recall leave as one
// LINK command each; a protected output refuses set (nothing sent) and keeps
// its route through a recall.
TEST(Corvanectl, RouteSetAndPresetsSendFullMapsAndRespectProtect) {
    auto simulator = StartSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    EXPECT_TRUE(Says(Ctl("route 3 2", dir.path, simulator.get()), "linked input 3"));
    sim::SimRouter expected = sim::DefaultRouter();
    expected.route[2] = 3;
    EXPECT_EQ(simulator->Commands().back(), sim::LinkAnswer(expected));  // the others keep theirs
    EXPECT_TRUE(Says(Ctl("route 3 2", dir.path, simulator.get()), "unlinked input 3"));
    EXPECT_EQ(simulator->Router().route[2], 0);
    Ctl("clear", dir.path, simulator.get());
    EXPECT_EQ(sim::LinkAnswer(simulator->Router()), ClearAllLinksCommand());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "--no-log wrote a file";
    // send prints every answer as it came.
    EXPECT_EQ(Ctl("send SLOT=?!", dir.path, simulator.get()),
              "SLOT=01_0A_0B!\nSLOT=02_12_19!\nSLOT=03_06_21!\nSLOT=04_00_03!\n");

    const int before = LinkSets(*simulator);
    std::string set = "set";
    for (int o = 1; o <= kChannelCount; ++o)
        set += " " + std::to_string(o) + "=" + std::to_string(17 - o);
    Ctl(set, dir.path, simulator.get());
    EXPECT_TRUE(LinkSets(*simulator) == before + 1 && simulator->Router().route[1] == 16);
    EXPECT_EQ(Ctl("salvo save Wide", dir.path, simulator.get()), "saved salvo Wide\n");
    Ctl("set 1=2 3=0", dir.path, simulator.get());
    EXPECT_EQ(simulator->Router().route[16], 1);  // not named: kept
    // A damaged file keeps its protect and its good salvos, and says so.
    const std::string salvos = dir.Read("salvos.ini");
    dir.Write("salvos.ini",
              "[PROTECT]\nOutputs=3\n" + salvos.substr(salvos.find("[SALVO]")) + "broken\n");
    const std::size_t commands = simulator->CommandCount();
    Ctl("set 3=4", dir.path, simulator.get(), 5);
    Ctl("route 4 3", dir.path, simulator.get(), 5);
    EXPECT_EQ(simulator->CommandCount(), commands);
    EXPECT_TRUE(Says(Ctl("preset recall Wide", dir.path, simulator.get()), "damaged (line 5"));
    EXPECT_EQ(LinkSets(*simulator), before + 3);
    EXPECT_TRUE(simulator->Router().route[1] == 16 && simulator->Router().route[3] == 0);
    // preset is salvo under its former name, and says so as it always has.
    EXPECT_TRUE(Says(Ctl("salvo list --json", dir.path, nullptr, 7), "{\"salvos\": ["));
    const std::string list = Ctl("preset list --json", dir.path, simulator.get(), 7);
    EXPECT_TRUE(Says(list, "{\"name\": \"Wide\", \"map\": [16, 15,")) << list;
    EXPECT_TRUE(Says(list, "\"protected\": [3]") && Says(list, "kept as ./salvos.ini.bad")) << list;
    EXPECT_EQ(Ctl("preset delete Wide", dir.path, simulator.get()), "deleted preset Wide\n");
    EXPECT_TRUE(Says(Ctl("salvo recall Wide", dir.path, simulator.get(), 2), "no salvo Wide"));
    EXPECT_EQ(Ctl("preset list", dir.path), "");  // the save mended the file
}

// A config.ini that cannot be read never means the factory address, a
// salvos.ini that cannot be read lets no route through, and a log that cannot
// be written is said once.
TEST(Corvanectl, UnreadableFilesAndAnUnwritableLogAreSaid) {
    auto simulator = StartSim();
    ASSERT_TRUE(simulator);
    TempDir dir;
    std::filesystem::create_directory(dir.path + "/config.ini");
    EXPECT_TRUE(Says(Ctl("status", dir.path, nullptr, 2), "./config.ini cannot be read"));
    // Nor one that cannot be read: which outputs are protected is not known.
    std::filesystem::create_directory(dir.path + "/salvos.ini");
    Ctl("set 1=2", dir.path, simulator.get(), 7);
    EXPECT_TRUE(simulator->Commands().empty());
    Ctl("salvo delete Lost", dir.path, nullptr, 7);  // a change not saved is no success
    for (int day : {0, 1}) {  // today's log, and tomorrow's should the test pass midnight
        const std::time_t when = std::time(nullptr) + day * 86400;
        std::tm parts{};
        localtime_r(&when, &parts);
        char name[32];
        std::strftime(name, sizeof name, "%Y%m%d.log", &parts);
        std::filesystem::create_directory(dir.path + "/" + name);
    }
    const std::string out =
        Ctl("--udp 127.0.0.1:" + std::to_string(simulator->port) + " send MON=?!", dir.path);
    const std::size_t said = out.find("cannot be written");
    EXPECT_TRUE(said != std::string::npos &&
                out.find("cannot be written", said + 1) == std::string::npos)
        << out;
}

TEST(Corvanectl, ExitCodeTellsWhatWentWrong) {
    enum Router { None, Answering, Silent, Closed };
    const std::tuple<Router, int, std::vector<const char*>> cases[] = {
        // {LINK} becomes --udp 127.0.0.1:port
        {None, 0, {"--help"}},
        {Answering,
         2,
         {"{LINK}", "{LINK} frobnicate", "{LINK} route 0 2", "{LINK} route 1 17", "{LINK} route 3",
          "{LINK} send MON=01", "{LINK} send MON=01!MON=02!", "{LINK} status --xml",
          "--timeout soon {LINK} status", "{LINK} --serial {MISSING} status", "{LINK} set 1=2 1=3",
          "--udp 127.0.0.1:65530 status", "preset delete Nobody"}},
        {None, 2, {"--fast status", "--udp 127.0.0.1 status", "status"}},  // no config.ini either
        {Closed, 3, {"{LINK} status"}},
        {None, 3, {"--serial {MISSING} status"}},
        {Silent, 4, {"--timeout 1 {LINK} status", "--timeout 1 {LINK} send MON=01!"}},
        {Answering, 0, {"{LINK} send MON=01!"}}};
    for (const auto& [router, exitCode, lines] : cases) {
        sim::SimOptions options;
        options.silent = router == Silent;
        auto simulator = router != None ? StartSim(options) : nullptr;
        const std::string port = simulator ? std::to_string(simulator->port) : "";
        if (router == Closed)
            simulator.reset();  // nobody listens there any more
        TempDir dir;
        for (std::string line : lines) {
            line = std::regex_replace(line, std::regex("\\{LINK\\}"), "--udp 127.0.0.1:" + port);
            line = std::regex_replace(line, std::regex("\\{MISSING\\}"), dir.path + "/no-tty");
            const std::string out = Ctl(line, dir.path, nullptr, exitCode);
            EXPECT_TRUE(exitCode == 0 || Says(out, "corvanectl: ")) << out;
        }
    }
}

// The man page names every command and exit code that --help lists.
TEST(Corvanectl, ManPageKeepsUpWithHelp) {
    TempDir dir;
    const std::string help = Ctl("--help", dir.path);
    std::ifstream file(CORVANECTL_MAN);
    const std::string man{std::istreambuf_iterator<char>(file), {}};
    const std::regex command("\n  ([a-z]+) "), code("[ ,]([0-9]) [a-z]");
    int commands = 0, codes = 0;
    for (std::sregex_iterator m(help.begin(), help.end(), command), end; m != end; ++m, ++commands)
        EXPECT_TRUE(std::regex_search(man, std::regex("\n\\.BR? " + (*m)[1].str() + "\\b")))
            << (*m)[1];
    const std::string exits = help.substr(help.find("exit codes:"));
    for (std::sregex_iterator m(exits.begin(), exits.end(), code), end; m != end; ++m, ++codes)
        EXPECT_NE(man.find("\n.B " + (*m)[1].str() + "\n"), std::string::npos) << (*m)[1];
    EXPECT_EQ(commands, 8);
    EXPECT_EQ(codes, 7);
}

// Checking needs no router and no config.ini; an upload sends the frame and
// the mode command, and nothing at all for an EDID with errors.
TEST(Corvanectl, EdidChecksFilesAndUploadsOnlyValidOnes) {
    TempDir dir;
    std::filesystem::copy_file(std::string(CORVANE_EDID_SAMPLES) + "/04-AOC-AOC2281.bin",
                               dir.path + "/good.bin");
    const std::string bytes = dir.Read("good.bin");
    dir.Write("broken.bin", bytes.substr(0, 20) + char(bytes[20] ^ 0x10) + bytes.substr(21));
    dir.Write("notes.txt", "not an EDID\n");
    std::string base = bytes.substr(0, 128);  // a DVI monitor's whole EDID
    base[126] = 0;
    base[127] = char(base[127] + 1);
    dir.Write("base.bin", base);
    const std::tuple<const char*, int, const char*> cases[] = {
        {"edid good.bin", 0, "Name:       2281W"},
        {"edid broken.bin", 6, "wrong checksum in block 0"},
        {"edid base.bin --json", 0, "\"padded\": true"},
        {"edid notes.txt", 2, "File Format Error!"},
        {"edid missing.bin", 2, "File Open Fail!"},
        {"edid", 2, "usage: edid"},
        {"edid good.bin --upload 0", 2, "inputs 1 to 16"}};
    for (const auto& [line, exitCode, says] : cases)
        EXPECT_TRUE(Says(Ctl(line, dir.path, nullptr, exitCode), says)) << line;

    auto simulator = StartSim();
    ASSERT_TRUE(simulator);
    Ctl("edid broken.bin --upload 1", dir.path, simulator.get(), 6);
    EXPECT_TRUE(simulator->Commands().empty());
    Ctl("edid good.bin --upload 1,3,5", dir.path, simulator.get());
    EXPECT_EQ(simulator->Router().userEdid, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(simulator->Commands().back(), "EDID=USER1,3,5!");
    Ctl("edid base.bin --upload 2", dir.path, simulator.get());  // padded with zeros
    const std::string padded = base + std::string(128, '\0');
    EXPECT_EQ(simulator->Router().userEdid,
              std::vector<std::uint8_t>(padded.begin(), padded.end()));
    for (int n = 1; n <= kChannelCount; ++n)
        EXPECT_EQ(simulator->Router().edidMode[n] == "USER", n <= 3 || n == 5) << n;
}

// corvanectl serve, the simulator as another process, and Videohub clients of
// our own over loopback TCP. The protocol itself is checked in tests/bridge;
// here what the processes and sockets add to it.

// Every "<out> <in>" line a panel received so far, later ones winning.
std::map<int, int> Routes(const Panel& panel) {
    std::map<int, int> routes;
    const std::regex line("\n(\\d+) (-?\\d+)(?=\n)");
    for (std::sregex_iterator m(panel.text.begin(), panel.text.end(), line), end; m != end; ++m)
        routes[std::stoi((*m)[1])] = std::stoi((*m)[2]);
    return routes;
}

TEST(VideohubServe, PanelsRouteLabelAndLockTheSimulatedRouter) {
    TempDir dir;
    Child simulator({kSim, "--udp", "0", "--transcript", dir.path + "/transcript.txt"});
    const int routerPort = PortFrom(simulator, R"(udp: 127\.0\.0\.1:(\d+))");
    ASSERT_GT(routerPort, 0) << simulator.out;
    dir.Write("config.ini", "[SETCOMMCONFIG]\nCommType=UDP\nIpAddress=127.0.0.1\nUDPPort=" +
                                std::to_string(routerPort) +
                                "\n[CHANNELNAME]\nInputChannel03=Kamera \374ber");
    Child serve({kCtl, "--no-log", "serve", "--listen", "127.0.0.1:0"}, dir.path);
    const int port = PortFrom(serve, R"(videohub: (\d+))");
    ASSERT_GT(port, 0) << serve.out;

    // The dump with the names from config.ini (Latin-1 there, UTF-8 here), and
    // the routes once the router has shown them, output 2's from "No Link".
    Panel a(port), b(port);
    ASSERT_TRUE(a.connected && b.connected);
    for (Panel* p : {&a, &b}) {
        ASSERT_TRUE(p->ReadUntil([&] { return Routes(*p).size() == 16; })) << p->text;
        EXPECT_TRUE(
            p->Has("INPUT LABELS:\n0 InputChannel01\n1 InputChannel02\n2 Kamera \303\274ber\n"));
        EXPECT_TRUE(p->Has("\n15 InputChannel16\n16 No Link\n\n") && Routes(*p)[1] == 16);
        p->text.clear();
    }

    // A burst of single-line blocks: every one ACKed, every route on the router
    // and shown to the other panel; output 6 goes to "No Link", off air.
    std::string burst, acks;
    std::map<int, int> wanted;
    int map[kChannelTableSize] = {};
    for (int o = 0; o < kChannelCount; ++o) {
        wanted[o] = o == 5 ? 16 : 15 - o;
        map[o + 1] = o == 5 ? 0 : 16 - o;
        burst += "VIDEO OUTPUT ROUTING:\n" + std::to_string(o) + " " + std::to_string(wanted[o]) +
                 "\n\n";
        acks += "ACK\n\n";
    }
    a.Send(burst);
    ASSERT_TRUE(a.ReadUntil([&] { return a.text.starts_with(acks) && Routes(a) == wanted; }))
        << a.text;
    ASSERT_TRUE(b.ReadUntil([&] { return Routes(b) == wanted; })) << b.text;

    // A label and a lock reach the other panel, the label config.ini too, in
    // Latin-1. What a panel may not send is refused in tests/bridge.
    a.text.clear();
    b.text.clear();
    a.Send("INPUT LABELS:\n0 Kamera \303\274ber\n\nVIDEO OUTPUT LOCKS:\n4 O\n\n");
    ASSERT_TRUE(a.ReadUntil([&] { return a.text.starts_with("ACK\n\nACK\n\n"); })) << a.text;
    ASSERT_TRUE(b.ReadFor("INPUT LABELS:\n0 Kamera \303\274ber\n\nVIDEO OUTPUT LOCKS:\n4 L\n\n"))
        << b.text;
    EXPECT_NE(dir.Read("config.ini").find("InputChannel01=Kamera \374ber"), std::string::npos);

    // Places, and the clients' sockets, are the host's (tests/transport); on a
    // signal serve closes them.
    EXPECT_EQ(serve.Stop(SIGTERM), 0) << serve.out;
    EXPECT_TRUE(!a.ReadFor("anything after the end") && a.closedByServer);
    EXPECT_EQ(simulator.Stop(SIGTERM), 0);

    // One or two LINK commands carried the burst, the last with all of it.
    std::vector<std::string> links;
    std::istringstream transcript(dir.Read("transcript.txt"));
    for (std::string line; std::getline(transcript, line);) {
        if (line.find(" LINK=") != std::string::npos && line.find("LINK=?!") == std::string::npos)
            links.push_back(line.substr(line.find("LINK=")));
    }
    ASSERT_TRUE(links.size() == 1 || links.size() == 2) << links.size();
    EXPECT_EQ(links.back(), BuildLinkCommand(map));
}

// The router's front panel moves output 2; a tenth of a second later a panel
// routes output 7: the router keeps both and every panel hears of both. Then
// the router process goes and comes back on its port: routes are refused
// while it is away and taken once serve has read it again, by itself.
TEST(VideohubServe, FrontPanelRoutesAreKeptAndARestartedRouterIsServedAgain) {
    TempDir dir;
    auto simulator = StartSim();
    ASSERT_TRUE(simulator);
    const int routerPort = simulator->port;
    Child serve({kCtl, "--udp", "127.0.0.1:" + std::to_string(routerPort), "--no-log", "serve",
                 "--listen", "127.0.0.1:0"},
                dir.path);
    const int port = PortFrom(serve, R"(videohub: (\d+))");
    ASSERT_GT(port, 0) << serve.out;
    Panel a(port), b(port);
    for (Panel* p : {&a, &b})
        ASSERT_TRUE(p->ReadUntil([&] { return Routes(*p).size() == 16; })) << p->text;

    sim::SimRouter router = simulator->Router();
    router.route[2] = 5;
    simulator->SetRouter(router);
    std::this_thread::sleep_for(100ms);
    a.Send("VIDEO OUTPUT ROUTING:\n6 8\n\n");
    for (Panel* p : {&a, &b})
        ASSERT_TRUE(p->ReadUntil([&] { return Routes(*p)[1] == 4 && Routes(*p)[6] == 8; }))
            << p->text;
    EXPECT_TRUE(simulator->Router().route[2] == 5 && simulator->Router().route[7] == 9);

    simulator.reset();
    ASSERT_TRUE(WaitUntil([&] {
        serve.Collect(50ms);
        return Says(serve.out, "failed; trying again every 3 s");
    })) << serve.out;
    sim::SimOptions options;
    options.udpPort = routerPort;
    simulator = StartSim(options);
    ASSERT_TRUE(simulator && simulator->port == routerPort);
    ASSERT_TRUE(WaitUntil([&] {
        serve.Collect(50ms);
        return Says(serve.out, " is back");
    })) << serve.out;
    a.text.clear();
    a.Send("VIDEO OUTPUT ROUTING:\n6 10\n\n");
    ASSERT_TRUE(a.ReadFor("ACK\n\n")) << a.text;
    EXPECT_TRUE(a.ReadUntil([&] { return simulator->Router().route[7] == 11; }));
    EXPECT_EQ(serve.Stop(SIGTERM), 0) << serve.out;
}

// serve with SW-P-08 beside Videohub, and a control system of our own: it
// reads the implementation list, the names and the tally dump, connects a
// destination while every other route stays, and hears of the router's front
// panel.
TEST(Swp08Serve, AControlSystemRoutesAndHearsTheFrontPanel) {
    TempDir dir;
    auto simulator = StartSim();
    ASSERT_TRUE(simulator);
    Child serve({kCtl, "--udp", "127.0.0.1:" + std::to_string(simulator->port), "--no-log", "serve",
                 "--listen", "127.0.0.1:0", "--swp08", "127.0.0.1:0"},
                dir.path);
    const int port = PortFrom(serve, R"(swp08: (\d+))");
    ASSERT_GT(port, 0) << serve.out;
    Panel c(port);
    auto told = [&c](const std::string& item) {
        const std::vector<std::string> items = Swp08Items(c.text);
        return std::find(items.begin(), items.end(), item) != items.end();
    };
    std::string dump = "16 00 10 00";
    const sim::SimRouter before = simulator->Router();
    for (int o = 1; o <= kChannelCount; ++o)
        dump += " " + ToHex(std::string(1, char(before.route[o] == 0 ? 16 : before.route[o] - 1)));
    c.Send(Swp08Frame(Hex("61")) + Swp08Frame(Hex("64 00 01")));
    // The dump is answered once serve has the router's routes.
    c.serve = [&c] { c.Send(Swp08Frame(Hex("15 00"))); };
    ASSERT_TRUE(c.ReadUntil([&] { return told(dump); })) << ToHex(c.text);
    c.serve = nullptr;
    EXPECT_TRUE(told("62 00 00 03 04 09 0B 0D 0F 16 62 6A 6B 01 02 08 0A 0C 0E 15 61 64 65 66 67"));
    EXPECT_TRUE(told("6A 00 01 00 0F 02 " + ToHex("InputC16No Link ")));

    c.Send(Swp08Frame(Hex("02 00 00 03 07")));
    ASSERT_TRUE(c.ReadUntil([&] { return told("04 00 00 03 07"); })) << ToHex(c.text);
    sim::SimRouter router = simulator->Router();
    for (int o = 1; o <= kChannelCount; ++o)
        EXPECT_EQ(router.route[o], o == 4 ? 8 : before.route[o]) << o;
    router.route[2] = 5;
    simulator->SetRouter(router);
    EXPECT_TRUE(c.ReadUntil([&] { return told("04 00 00 01 04"); })) << ToHex(c.text);
    EXPECT_EQ(serve.Stop(SIGTERM), 0) << serve.out;
}

}  // namespace
}  // namespace corvane::testing
