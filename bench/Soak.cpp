// Soak and flood runs, short by default; bench/soak.sh and bench/flood.sh
// run the long forms through the environment:
//   CORVANE_SOAK_ROUTES    route commands through the router (default 200)
//   CORVANE_FLOOD_ANSWERS  answers pushed at the program (default 30000)
//   CORVANE_PTY_ANSWERS    answers through a pty at 115200 pacing (default 3000)
// The router is a separate process, a bare link or a pty, so the resident
// memory measured is the program's alone.

#include <atomic>

#include "../tests/support/LinkSupport.h"

namespace corvane::testing {
namespace {

int FromEnvironment(const char* name, int fallback) {
    const char* value = std::getenv(name);
    const int n = value != nullptr ? std::atoi(value) : 0;
    return n > 0 ? n : fallback;
}

long ResidentKilobytes() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Growth allowed from the sample after warming up to the end: allocator noise,
// where a leak of 100 bytes a command grows several megabytes in a long run.
// The sanitizers hold freed memory back on purpose (and find leaks themselves).
void ExpectFlat(long warmKilobytes) {
    ASSERT_GT(warmKilobytes, 0) << "cannot read /proc/self/status";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(ResidentKilobytes() - warmKilobytes, 2048);
#endif
}

// A free port pair for a router started later, as a process of its own.
int FreeRouterPort() {
    auto router = MakeRouter();
    return router ? router->port : 0;
}

// The n-th answer of a flood; numbered, so that order and loss show.
std::string Sequence(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "SEQ=%06d!", n);
    return text;
}

// Checks the answers as they are logged instead of keeping them, so that the
// test itself stays flat too.
struct SequenceSink : LogSink {
    void AppendToLogList(const std::string& line) override {
        const std::size_t at = line.find("]<--Recv[SEQ=");
        if (at == std::string::npos)
            return;
        const int n = std::atoi(line.c_str() + at + 13);
        outOfOrder += n != next.load();
        next = n + 1;
    }
    void ClearLogList() override {}
    std::atomic<int> next{0};
    int outOfOrder = 0;
};

// The program fed answers by a thread until all are in, sampling memory after a
// tenth and the tick rate throughout.
struct Flood : ::testing::Test, Client {
    Flood() { log.screen = &sequence; }
    ~Flood() override {
        stop = true;
        if (feeder.joinable())
            feeder.join();
    }
    void Run(int answers, std::chrono::seconds limit) {
        connection.Connect();
        ASSERT_EQ(session.connectionStatus, kConnecting);
        const auto start = std::chrono::steady_clock::now();
        long warm = -1;
        const bool finished = RunUntil(
            [&] {
                if (warm < 0 && sequence.next >= answers / 10)
                    warm = ResidentKilobytes();
                return sequence.next >= answers;
            },
            limit);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_TRUE(finished) << sequence.next << " of " << answers << " answers";
        EXPECT_EQ(sequence.outOfOrder, 0);
        // The 50 ms timer keeps going however busy the link is: at least 15
        // ticks a second (less one for the partial second at the end).
        EXPECT_GE(loop.ticks, static_cast<long>(seconds * 15) - 1) << "in " << seconds << " s";
        ExpectFlat(warm);
    }
    SequenceSink sequence;
    std::atomic<bool> stop{false};
    std::thread feeder;
};

TEST_F(Flood, EveryAnswerOverLoopbackUdpIsParsedInOrder) {
    const int answers = FromEnvironment("CORVANE_FLOOD_ANSWERS", 30000);
    const int port = FreeRouterPort();
    UdpLink router;  // a bare link plays the router
    ASSERT_TRUE(port != 0 && router.Create(port) == LinkResult::kOk &&
                router.Connect("127.0.0.1", port + 10) == LinkResult::kOk);
    UseUdp(port);
    feeder = std::thread([&] {
        // Full datagrams, with a window so that the kernel never has to drop
        // what the program has not read yet.
        int sent = 0;
        while (sent < answers && !stop) {
            if (sent - sequence.next.load() > 48 * 23) {
                std::this_thread::yield();
                continue;
            }
            std::string datagram;
            while (sent < answers && datagram.size() + 11 <= 256)
                datagram += Sequence(sent++);
            while (router.Write(datagram.data(), datagram.size()) <= 0 && !stop)
                std::this_thread::yield();
        }
    });
    Run(answers, std::chrono::seconds(30 + answers / 500));
    EXPECT_EQ(session.connectionStatus, kConnected);
    stop = true;
    feeder.join();
}

TEST_F(Flood, EveryAnswerThroughAPtyAt115200IsParsedInOrder) {
    const int answers = FromEnvironment("CORVANE_PTY_ANSWERS", 3000);
    Pty pty;
    const int master = pty.master;
    ASSERT_GE(master, 0);
    UseSerial(pty.slavePath);
    std::string stream;
    for (int n = 0; n < answers; ++n)
        stream += Sequence(n);
    feeder = std::thread([&] {
        // 115200 bit/s with start and stop bits: 11.52 bytes a millisecond.
        const auto start = std::chrono::steady_clock::now();
        long written = 0;
        while (!stop) {
            // Commands the program sends meanwhile must not fill the pty.
            char drained[256];
            if (Readable(master, 0) && read(master, drained, sizeof drained) <= 0)
                break;
            const std::chrono::duration<double, std::milli> ms =
                std::chrono::steady_clock::now() - start;
            const long due = std::min<long>(static_cast<long>(ms.count() * 11.52),
                                            static_cast<long>(stream.size())) -
                             written;
            const ssize_t done = due > 0 ? write(master, stream.data() + written, due) : 0;
            if (done > 0)
                written += done;
            else
                std::this_thread::sleep_for(2ms);
        }
    });
    Run(answers, std::chrono::seconds(30 + answers / 1000));
    stop = true;
    feeder.join();
    connection.Disconnect();
}

// Route command number n: a full map that differs from its neighbours.
std::string RouteCommand(int n) {
    int map[kChannelTableSize] = {};
    for (int out = 1; out <= kChannelCount; ++out)
        map[out] = (n + out * 5) % (kChannelCount + 1);
    return BuildLinkCommand(map);
}

std::vector<std::string> TranscriptCommands(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> commands;
    for (std::string line; std::getline(in, line);)
        commands.push_back(line.substr(line.rfind(' ') + 1));
    return commands;
}

TEST(Soak, RouteCommandsArriveOnceEachAndInOrder) {
    const int routes = FromEnvironment("CORVANE_SOAK_ROUTES", 200);
    const int port = FreeRouterPort();
    ASSERT_NE(port, 0);
    TempDir dir;
    const std::string transcript = dir.path + "/transcript.txt";
    Child router({ROUTERSIM_PATH, "--udp", std::to_string(port), "--transcript", transcript,
                  "--duration", "3600"});
    Client client;
    SequenceSink sink;  // keeps no lines, so memory can stay flat
    client.log.screen = &sink;
    client.session.refreshEnabled = false;  // the transcript holds the routes alone
    client.UseUdp(port);
    // The process needs a moment to bind; a refused poll shows as failed.
    for (int attempt = 0; attempt < 50; ++attempt) {
        client.connection.Disconnect();
        client.connection.Connect();
        if (client.RunUntil([&] { return client.session.connectionStatus == kConnected; }, 200ms))
            break;
    }
    ASSERT_EQ(client.session.connectionStatus, kConnected);
    auto idle = [&] {
        return client.session.commandQueue.empty() && client.session.sendCountdown <= 0;
    };
    ASSERT_TRUE(client.RunUntil(
        [&] { return client.session.pollIndex == kStartupQueryCount && idle(); }, 20s));
    const std::size_t pollCommands = TranscriptCommands(transcript).size();

    // Clicks keep coming at about the rate they can leave: a few queued ahead.
    int queued = 0;
    long warm = -1;
    const bool finished = client.RunUntil(
        [&] {
            while (queued < routes && client.session.commandQueue.size() < 4)
                client.session.EnqueueCommand(RouteCommand(queued++));
            if (warm < 0 && queued >= routes / 10)
                warm = ResidentKilobytes();
            return queued == routes && idle();
        },
        std::chrono::seconds(30 + routes / 10));
    ASSERT_TRUE(finished) << queued << " of " << routes << " queued";
    ExpectFlat(warm);

    std::vector<std::string> got = TranscriptCommands(transcript);
    ASSERT_EQ(got.size(), pollCommands + routes);
    for (int i = 0; i < routes; ++i)
        ASSERT_EQ(got[pollCommands + i], RouteCommand(i)) << "command " << i;
    EXPECT_EQ(client.session.connectionStatus, kConnected);
}

}  // namespace
}  // namespace corvane::testing
