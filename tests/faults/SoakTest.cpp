// Soak and flood runs, short by default; the scripts soak.sh and flood.sh run
// the long forms through the environment:
//   CORVANE_SOAK_ROUTES    route commands through the router (default 200)
//   CORVANE_FLOOD_ANSWERS  answers pushed at the program (default 30000)
//   CORVANE_PTY_ANSWERS    answers through a pty at 115200 pacing (default 3000)
// The router runs as a separate process or as a bare socket or pty here, so
// the resident memory measured is the program's alone.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "Harness.h"

namespace corvane::testing {
namespace {

int FromEnvironment(const char* name, int fallback) {
    const char* value = std::getenv(name);
    const int n = value != nullptr ? std::atoi(value) : 0;
    return n > 0 ? n : fallback;
}

long ResidentKilobytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Growth allowed between the sample after warming up and the end: allocator
// noise, not a leak per command (a leak of 100 bytes a command over the long
// runs is several megabytes).
constexpr long kFlatKilobytes = 2048;

// The sanitizers hold freed memory back on purpose, so resident memory says
// nothing about leaks there (and they find leaks themselves).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

void ExpectFlat(long warmKilobytes) {
    if (kSanitized)
        return;
    EXPECT_LT(ResidentKilobytes() - warmKilobytes, kFlatKilobytes);
}

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
        if (n != next.load())
            ++outOfOrder;
        next = n + 1;
    }
    void ClearLogList() override {}
    std::atomic<int> next{0};
    int outOfOrder = 0;
};

struct FloodClient {
    FloodClient() : log(dir.path), session(log), connection(session, config), loop(connection) {
        log.screen = &sink;
        log.screenLogEnabled = true;
    }
    TempDir dir;
    SequenceSink sink;
    AppConfig config;
    EventLog log;
    RouterSession session;
    Connection connection;
    HeadlessLoop loop;
};

// Runs the loop until every answer is in, sampling memory after a tenth and
// the tick rate throughout.
void RunFlood(FloodClient& client, int answers, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    const long ticksBefore = client.loop.ticks;
    long warm = -1;
    const bool finished = client.loop.RunUntil(
        [&] {
            if (warm < 0 && client.sink.next >= answers / 10)
                warm = ResidentKilobytes();
            return client.sink.next >= answers;
        },
        limit);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(finished) << client.sink.next << " of " << answers << " answers";
    EXPECT_EQ(client.sink.outOfOrder, 0);
    // The 50 ms timer keeps going however busy the link is: at least 15
    // ticks a second (less one for the partial second at the end).
    EXPECT_GE(client.loop.ticks - ticksBefore, static_cast<long>(seconds * 15) - 1)
        << "in " << seconds << " s";
    ExpectFlat(warm);
    ::testing::Test::RecordProperty("answers_per_second", static_cast<int>(answers / seconds));
}

TEST(Flood, EveryAnswerOverLoopbackUdpIsParsedInOrder) {
    const int answers = FromEnvironment("CORVANE_FLOOD_ANSWERS", 30000);
    // A bare socket plays the router: the program accepts datagrams from the
    // address and port it is connected to only.
    int router = -1;
    int port = 0;
    for (int attempt = 0; attempt < 20 && router < 0; ++attempt) {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            ntohs(address.sin_port) + 10 <= 65535 && UdpPortFree(ntohs(address.sin_port) + 10)) {
            router = fd;
            port = ntohs(address.sin_port);
        } else {
            close(fd);
        }
    }
    ASSERT_GE(router, 0);

    FloodClient client;
    client.config.ipAddress = "127.0.0.1";
    client.config.udpPort = port;
    client.connection.Connect();
    ASSERT_EQ(client.session.connectionStatus, kConnecting);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(static_cast<std::uint16_t>(port + 10));
    std::atomic<bool> stop{false};
    std::thread flooder([&] {
        // Full datagrams, with a window so that the kernel never has to drop
        // what the program has not read yet.
        constexpr int kWindow = 48 * 23;
        int sent = 0;
        while (sent < answers && !stop) {
            if (sent - client.sink.next.load() > kWindow) {
                std::this_thread::yield();
                continue;
            }
            std::string datagram;
            while (sent < answers && datagram.size() + 11 <= 256)
                datagram += Sequence(sent++);
            sendto(router, datagram.data(), datagram.size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        }
    });
    RunFlood(client, answers, std::chrono::seconds(30 + answers / 500));
    stop = true;
    flooder.join();
    close(router);
    EXPECT_EQ(client.session.connectionStatus, kConnected);
}

TEST(Flood, EveryAnswerThroughAPtyAt115200IsParsedInOrder) {
    const int answers = FromEnvironment("CORVANE_PTY_ANSWERS", 3000);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);

    FloodClient client;
    client.config.useSerial = true;
    client.config.comName = slave;
    client.config.baudRate = 115200;
    client.connection.Connect();
    ASSERT_EQ(client.session.connectionStatus, kConnecting);

    std::atomic<bool> stop{false};
    std::atomic<long> written{0};
    std::thread writer([&] {
        // 115200 bit/s with start and stop bits: 11.52 bytes a millisecond.
        const auto start = std::chrono::steady_clock::now();
        std::string pending;
        int next = 0;
        while ((next < answers || !pending.empty()) && !stop) {
            while (pending.size() < 512 && next < answers)
                pending += Sequence(next++);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            const long due = static_cast<long>(ms * 11.52) - written;
            if (due <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            const std::size_t n =
                std::min<std::size_t>(static_cast<std::size_t>(due), pending.size());
            const ssize_t done = write(master, pending.data(), n);
            if (done > 0) {
                pending.erase(0, static_cast<std::size_t>(done));
                written += done;
            }
        }
    });
    // Commands the program sends meanwhile must not fill the pty's buffer.
    std::thread drain([&] {
        char sink[256];
        while (!stop) {
            pollfd in{master, POLLIN, 0};
            if (poll(&in, 1, 20) > 0 && read(master, sink, sizeof sink) <= 0)
                break;
        }
    });
    RunFlood(client, answers, std::chrono::seconds(30 + answers / 1000));
    stop = true;
    writer.join();
    drain.join();
    EXPECT_EQ(client.sink.next.load(), answers)
        << written << " bytes written, " << client.connection.serialLink.ring.Count()
        << " in the ring, link " << client.connection.serialLink.connected << ", status "
        << client.session.connectionStatus;
    client.connection.Disconnect();
    close(master);
}

// The simulator as its own process, writing its transcript to a file.
class TranscribedRouter {
public:
    TranscribedRouter(int port, const std::string& transcript) {
        pid = fork();
        if (pid == 0) {
            execl(ROUTERSIM_PATH, ROUTERSIM_PATH, "--udp", std::to_string(port).c_str(),
                  "--transcript", transcript.c_str(), "--duration", "3600",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TranscribedRouter() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    pid_t pid = -1;
};

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
    std::string line;
    while (std::getline(in, line))
        commands.push_back(line.substr(line.rfind(' ') + 1));
    return commands;
}

TEST(Soak, RouteCommandsArriveOnceEachAndInOrder) {
    const int routes = FromEnvironment("CORVANE_SOAK_ROUTES", 200);
    int port = 0;
    {
        auto probe = StartUdpSim();
        ASSERT_TRUE(probe);
        port = probe->port;
    }
    TempDir dir;
    const std::string transcript = dir.path + "/transcript.txt";
    TranscribedRouter router(port, transcript);
    ASSERT_GT(router.pid, 0);

    FloodClient client;
    client.config.ipAddress = "127.0.0.1";
    client.config.udpPort = port;
    // The process needs a moment to bind; a refused poll shows as failed.
    for (int attempt = 0; attempt < 50; ++attempt) {
        client.connection.Disconnect();
        client.connection.Connect();
        if (client.loop.RunUntil([&] { return client.session.connectionStatus == kConnected; },
                                 200ms))
            break;
    }
    ASSERT_EQ(client.session.connectionStatus, kConnected);
    ASSERT_TRUE(client.loop.RunUntil(
        [&] {
            return client.session.pollIndex == kStartupQueryCount &&
                   client.session.commandQueue.empty() && client.session.sendCountdown <= 0;
        },
        20s));
    const std::size_t pollCommands = TranscriptCommands(transcript).size();

    // Clicks keep coming at about the rate they can leave: a few queued ahead.
    int queued = 0;
    long warm = -1;
    const bool finished = client.loop.RunUntil(
        [&] {
            while (queued < routes && client.session.commandQueue.size() < 4)
                client.session.EnqueueCommand(RouteCommand(queued++));
            if (warm < 0 && queued >= routes / 10)
                warm = ResidentKilobytes();
            return queued == routes && client.session.commandQueue.empty() &&
                   client.session.sendCountdown <= 0;
        },
        std::chrono::seconds(30 + routes / 10));
    ASSERT_TRUE(finished) << queued << " of " << routes << " queued";
    ExpectFlat(warm);

    std::vector<std::string> got = TranscriptCommands(transcript);
    ASSERT_GE(got.size(), pollCommands);
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(pollCommands));
    ASSERT_EQ(got.size(), static_cast<std::size_t>(routes));
    for (int i = 0; i < routes; ++i)
        ASSERT_EQ(got[i], RouteCommand(i)) << "command " << i;
    EXPECT_EQ(client.session.connectionStatus, kConnected);
}

}  // namespace
}  // namespace corvane::testing
