// corvanectl serve as a child process, the simulator as another, and Videohub
// clients of our own over loopback TCP. The protocol itself is checked in
// tests/bridge; here what the processes and sockets add to it.

#include <map>
#include <regex>
#include <sstream>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

const std::string kCtl = CORVANECTL_PATH;
const std::string kSim = ROUTERSIM_PATH;

// A Videohub panel: sends blocks, collects what the server says.
struct Panel {
    explicit Panel(int port) : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in a = LoopbackSocket::Address(port);
        connected = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }
    ~Panel() { close(fd); }
    void Send(const std::string& s) const { send(fd, s.data(), s.size(), MSG_NOSIGNAL); }
    bool Has(const std::string& part) const { return text.find(part) != std::string::npos; }
    // Reads until done() or the patience runs out or the server closes.
    bool ReadUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (!closedByServer && !done() && std::chrono::steady_clock::now() < until) {
            char buffer[65536];
            const ssize_t n = Readable(fd, 50) ? recv(fd, buffer, sizeof buffer, 0) : -2;
            closedByServer = n == 0 || n == -1;
            text.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        return done();
    }
    bool ReadFor(const std::string& part) {
        return ReadUntil([&] { return Has(part); });
    }
    // Every "<out> <in>" line received so far, later ones winning.
    std::map<int, int> Routes() const {
        std::map<int, int> routes;
        const std::regex line("\n(\\d+) (-?\\d+)(?=\n)");
        for (std::sregex_iterator m(text.begin(), text.end(), line), end; m != end; ++m)
            routes[std::stoi((*m)[1])] = std::stoi((*m)[2]);
        return routes;
    }

    int fd;
    bool connected = false;
    bool closedByServer = false;
    std::string text;
};

int PortFrom(Child& child, const std::string& pattern) {
    const std::regex re(pattern);
    std::smatch m;
    for (int i = 0; i < 200 && !std::regex_search(child.out, m, re); ++i)
        child.Collect(50ms);
    return std::regex_search(child.out, m, re) ? std::stoi(m[1].str()) : 0;
}

TEST(VideohubServe, PanelsRouteLabelAndLockTheSimulatedRouter) {
    TempDir dir;
    Child simulator({kSim, "--udp", "0", "--transcript", dir.path + "/transcript.txt"});
    const int routerPort = PortFrom(simulator, R"(udp: 127\.0\.0\.1:(\d+))");
    ASSERT_GT(routerPort, 0) << simulator.out;
    dir.Write("config.ini", "[SETCOMMCONFIG]\nCommType=UDP\nIpAddress=127.0.0.1\nUDPPort=" +
                                std::to_string(routerPort) +
                                "\n[CHANNELNAME]\nInputChannel03=Camera 3");
    Child serve({kCtl, "--no-log", "serve", "--listen", "127.0.0.1:0"}, dir.path);
    const int port = PortFrom(serve, R"(videohub: (\d+))");
    ASSERT_GT(port, 0) << serve.out;

    // The dump with the names from config.ini, and the routes once the router has shown them.
    Panel a(port), b(port);
    ASSERT_TRUE(a.connected && b.connected);
    for (Panel* p : {&a, &b}) {
        ASSERT_TRUE(p->ReadUntil([&] { return p->Routes().size() == 16; })) << p->text;
        EXPECT_TRUE(p->Has("INPUT LABELS:\n0 InputChannel01\n1 InputChannel02\n2 Camera 3\n"));
        p->text.clear();
    }

    // A burst of single-line blocks: every one ACKed, every route on the router
    // and shown to the other panel.
    std::string burst, acks;
    std::map<int, int> wanted;
    int map[kChannelTableSize] = {};
    for (int o = 0; o < kChannelCount; ++o) {
        burst +=
            "VIDEO OUTPUT ROUTING:\n" + std::to_string(o) + " " + std::to_string(15 - o) + "\n\n";
        acks += "ACK\n\n";
        wanted[o] = 15 - o;
        map[o + 1] = 16 - o;
    }
    a.Send(burst);
    ASSERT_TRUE(a.ReadUntil([&] { return a.text.starts_with(acks) && a.Routes() == wanted; }))
        << a.text;
    ASSERT_TRUE(b.ReadUntil([&] { return b.Routes() == wanted; })) << b.text;

    // A label and a lock reach the other panel, the label config.ini too; a
    // bad block is refused and the connection goes on.
    b.text.clear();
    a.Send("INPUT LABELS:\n0 Studio A\n\nVIDEO OUTPUT LOCKS:\n4 O\n\nVIDEO OUTPUT ROUTING:\n0 " +
           std::string(2000, '7') + "\n\nPING:\n\n");
    ASSERT_TRUE(a.ReadFor("NAK\n\nACK\n\n")) << a.text;
    ASSERT_TRUE(b.ReadFor("INPUT LABELS:\n0 Studio A\n\nVIDEO OUTPUT LOCKS:\n4 L\n\n")) << b.text;
    EXPECT_NE(dir.Read("config.ini").find("InputChannel01=Studio A"), std::string::npos);

    // Sixteen at once get their dumps; the seventeenth is closed, and once one
    // leaves the next is served.
    std::vector<std::unique_ptr<Panel>> panels;
    for (int i = 0; i < 14; ++i)
        panels.push_back(std::make_unique<Panel>(port));
    for (std::size_t i = 0; i < panels.size(); ++i)
        ASSERT_TRUE(panels[i]->ReadFor("END PRELUDE:\n\n")) << i;
    Panel refused(port);
    EXPECT_TRUE(!refused.ReadFor("PROTOCOL PREAMBLE:") && refused.closedByServer);
    panels.pop_back();
    Panel next(port);
    EXPECT_TRUE(next.ReadFor("END PRELUDE:\n\n")) << next.text;

    EXPECT_EQ(serve.Stop(SIGTERM), 0) << serve.out;
    EXPECT_NE(serve.out.find("refused"), std::string::npos) << serve.out;
    EXPECT_TRUE(!next.ReadFor("anything after the end") && next.closedByServer);
    EXPECT_EQ(simulator.Stop(SIGTERM), 0);

    // One or two LINK commands carried the burst, the last with all of it.
    std::vector<std::string> links;
    std::istringstream transcript(dir.Read("transcript.txt"));
    const std::regex stamped(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z [A-Z].*!)");
    for (std::string line; std::getline(transcript, line);) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
        if (line.find(" LINK=") != std::string::npos && line.find("LINK=?!") == std::string::npos)
            links.push_back(line.substr(line.find("LINK=")));
    }
    ASSERT_TRUE(links.size() == 1 || links.size() == 2) << links.size();
    EXPECT_EQ(links.back(), BuildLinkCommand(map));
}

}  // namespace
}  // namespace corvane::testing
