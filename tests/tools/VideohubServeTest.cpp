// corvanectl serve as a child process, the simulator as another, and Videohub
// clients of our own over loopback TCP.

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
    void Send(const std::string& bytes) const {
        ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Reads until done(text) or the patience runs out; false at end of stream.
    bool ReadUntil(const std::function<bool(const std::string&)>& done) {
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (!done(text) && std::chrono::steady_clock::now() < until) {
            if (!Readable(fd, 50))
                continue;
            char buffer[65536];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closedByServer = true;
                return done(text);
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return done(text);
    }
    bool ReadFor(const std::string& part) {
        return ReadUntil([&](const std::string& t) { return t.find(part) != std::string::npos; });
    }
    // Drops what was read up to and including part.
    void Consume(const std::string& part) {
        const std::size_t at = text.find(part);
        text.erase(0, at == std::string::npos ? 0 : at + part.size());
    }
    // Every "<out> <in>" routing line received so far, later ones winning.
    std::map<int, int> Routes() const {
        std::map<int, int> routes;
        std::size_t at = 0;
        while ((at = text.find("VIDEO OUTPUT ROUTING:\n", at)) != std::string::npos) {
            at += 22;
            for (std::size_t end; (end = text.find('\n', at)) != std::string::npos && end > at;
                 at = end + 1) {
                int out = 0, in = 0;
                if (std::sscanf(text.c_str() + at, "%d %d", &out, &in) == 2)
                    routes[out] = in;
            }
        }
        return routes;
    }

    int fd;
    bool connected = false;
    bool closedByServer = false;
    std::string text;
};

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++n;
    return n;
}

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
    dir.Write("config.ini",
              "[CHANNELNAME]\nInputChannel03=Camera 3\n[SETCOMMCONFIG]\nCommType=UDP\n"
              "IpAddress=127.0.0.1\nUDPPort=" +
                  std::to_string(routerPort) + "\n");
    Child serve({kCtl, "--no-log", "serve", "--listen", "127.0.0.1:0"}, dir.path);
    const int port = PortFrom(serve, R"(videohub: (\d+))");
    ASSERT_GT(port, 0) << serve.out;

    // The dump, and the routes once the router has shown them.
    Panel a(port), b(port);
    ASSERT_TRUE(a.connected && b.connected);
    for (Panel* p : {&a, &b}) {
        ASSERT_TRUE(p->ReadFor("END PRELUDE:\n\n")) << p->text;
        EXPECT_NE(p->text.find("INPUT LABELS:\n0 InputChannel01\n1 InputChannel02\n2 Camera 3\n"),
                  std::string::npos)
            << p->text;
        ASSERT_TRUE(p->ReadUntil([&](const std::string&) { return p->Routes().size() == 16; }))
            << p->text;
        p->text.clear();
    }

    // A burst of single-line blocks: every one ACKed, all routes on the router.
    std::string burst;
    std::map<int, int> wanted;
    for (int o = 0; o < kChannelCount; ++o) {
        burst +=
            "VIDEO OUTPUT ROUTING:\n" + std::to_string(o) + " " + std::to_string(15 - o) + "\n\n";
        wanted[o] = 15 - o;
    }
    a.Send(burst);
    ASSERT_TRUE(a.ReadUntil([&](const std::string& t) {
        return Count(t, "ACK\n\n") == 16 && a.Routes() == wanted;
    })) << a.text;
    EXPECT_EQ(Count(a.text, "NAK"), 0);
    ASSERT_TRUE(b.ReadUntil([&](const std::string&) { return b.Routes() == wanted; })) << b.text;

    // Labels reach the other panel and config.ini; locks are O to one, L to the other.
    a.text.clear();
    b.text.clear();
    a.Send("INPUT LABELS:\n0 Studio A\n\nVIDEO OUTPUT LOCKS:\n4 O\n\n");
    ASSERT_TRUE(a.ReadFor("VIDEO OUTPUT LOCKS:\n4 O\n\n")) << a.text;
    EXPECT_EQ(a.text.substr(0, 10), "ACK\n\nACK\n\n");
    ASSERT_TRUE(b.ReadFor("VIDEO OUTPUT LOCKS:\n4 L\n\n")) << b.text;
    EXPECT_NE(b.text.find("INPUT LABELS:\n0 Studio A\n\n"), std::string::npos) << b.text;
    EXPECT_NE(dir.Read("config.ini").find("InputChannel01=Studio A"), std::string::npos);
    b.text.clear();
    b.Send("VIDEO OUTPUT ROUTING:\n4 0\n\n");
    ASSERT_TRUE(b.ReadFor("NAK\n\n")) << b.text;

    // A bad block is refused and the connection goes on.
    b.text.clear();
    b.Send("VIDEO OUTPUT ROUTING:\n0 " + std::string(2000, '7') + "\n\nPING:\n\n");
    ASSERT_TRUE(b.ReadFor("NAK\n\nACK\n\n")) << b.text;

    // The lock ends with its panel.
    b.text.clear();
    close(std::exchange(a.fd, socket(AF_INET, SOCK_STREAM, 0)));
    ASSERT_TRUE(b.ReadFor("VIDEO OUTPUT LOCKS:\n4 U\n\n")) << b.text;

    // Twelve more at once all get their dumps; the seventeenth is closed,
    // and once one leaves the next is served.
    std::vector<std::unique_ptr<Panel>> panels;
    for (int i = 0; i < 15; ++i)
        panels.push_back(std::make_unique<Panel>(port));
    for (std::size_t i = 0; i < panels.size(); ++i)
        ASSERT_TRUE(panels[i]->ReadFor("END PRELUDE:\n\n")) << i;
    Panel refused(port);
    EXPECT_FALSE(refused.ReadFor("PROTOCOL PREAMBLE:"));
    EXPECT_TRUE(refused.closedByServer);
    panels.pop_back();
    Panel next(port);
    EXPECT_TRUE(next.ReadFor("END PRELUDE:\n\n")) << next.text;

    EXPECT_EQ(serve.Stop(SIGTERM), 0) << serve.out;
    EXPECT_FALSE(next.ReadFor("anything after the end"));
    EXPECT_TRUE(next.closedByServer);
    EXPECT_EQ(simulator.Stop(SIGTERM), 0);

    // One or two LINK commands carried the burst, the last with all of it.
    std::vector<std::string> links;
    std::istringstream transcript(dir.Read("transcript.txt"));
    for (std::string line; std::getline(transcript, line);)
        if (line.find(" LINK=") != std::string::npos && line.find("LINK=?!") == std::string::npos)
            links.push_back(line.substr(line.find("LINK=")));
    ASSERT_GE(links.size(), 1u);
    EXPECT_LE(links.size(), 2u);
    int map[kChannelTableSize] = {};
    for (int o = 1; o <= kChannelCount; ++o)
        map[o] = 17 - o;
    EXPECT_EQ(links.back(), BuildLinkCommand(map));
    EXPECT_NE(serve.out.find("refused"), std::string::npos) << serve.out;
}

}  // namespace
}  // namespace corvane::testing
