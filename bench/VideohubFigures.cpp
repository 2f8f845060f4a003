// Videohub figures against the simulated router on 127.0.0.1, through the
// same server, host and loop corvanectl serve runs, with a panel of our own on
// loopback TCP:
//   block to update: a panel's one-line routing block until the status update
//   confirming it reaches the panel, in ms and ticks (floor: the LINK command
//   waits for the next 50 ms tick, then the router's answer);
//   LINK commands per burst of 1, 16 and 256 single-line routing blocks sent
//   at once (floor: one, everything within one tick), and ticks until the
//   router confirmed the last of them.
//
//   videohub_figures [--runs N]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "FigureSupport.h"
#include "RouterSim.h"
#include "base/EventLog.h"
#include "bridge/VideohubServer.h"
#include "bridgehost/BridgeHost.h"
#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane::bench {
namespace {

struct NullSink : LogSink {
    void AppendToLogList(const std::string&) override {}
    void ClearLogList() override {}
};

// The panel's socket, read without blocking from inside the loop.
struct Panel {
    explicit Panel(int port) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<unsigned short>(port));
        ok = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }
    ~Panel() { close(fd); }
    void Read() {
        char buffer[65536];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    bool Has(const std::string& part) {
        Read();
        return text.find(part) != std::string::npos;
    }
    int Count(const std::string& part) {
        Read();
        int n = 0;
        for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += 1)
            ++n;
        return n;
    }
    int fd;
    bool ok = false;
    std::string text;
};

int LinkCommands(const sim::RouterSim& simulator, std::size_t from) {
    const auto transcript = simulator.Transcript();
    int links = 0;
    for (std::size_t i = from; i < transcript.size(); ++i)
        links += transcript[i].command.rfind("LINK=", 0) == 0 && transcript[i].command != "LINK=?!";
    return links;
}

int Run(int argc, char** argv) {
    const int runs = std::max(1, Argument(argc, argv, "--runs", 20));
    auto simulator = StartSimulator();
    if (!simulator)
        return 1;
    const std::string directory =
        (std::filesystem::temp_directory_path() / "corvane-vh-figures").string();
    std::filesystem::create_directories(directory);

    NullSink sink;
    AppConfig config;
    EventLog log(directory);
    log.fileLogEnabled = false;
    log.screen = &sink;
    log.screenLogEnabled = true;
    RouterSession session(log);
    Connection connection(session, config);
    HeadlessLoop loop(connection);
    VideohubServer server(session, config);
    server.configPath = directory + "/config.ini";
    BridgeHost host(server, log, "Videohub", VideohubServer::kMaxClients);
    if (!host.Listen("127.0.0.1:0")) {
        std::fprintf(stderr, "%s\n", host.error.c_str());
        return 1;
    }
    session.onRefresh.Subscribe([&] { host.Flush(); });
    loop.addWatches = [&](std::vector<pollfd>& fds) { host.AddWatches(fds); };
    loop.watchesReady = [&](const std::vector<pollfd>& fds) { host.OnWatchesReady(fds); };

    config.useSerial = false;
    config.ipAddress = "127.0.0.1";
    config.udpPort = simulator->port;
    connection.Connect();
    Panel panel(host.port);
    if (!panel.ok ||
        !loop.RunUntil([&] { return session.linkAnswers > 0 && panel.Has("END PRELUDE:\n\n"); },
                       30s) ||
        !loop.RunUntil([&] { return session.PollDone(); }, 30s)) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }

    // Block to update.
    std::vector<double> ms, ticks;
    for (int run = 0; run < runs; ++run) {
        const int output = run % kChannelCount;
        const int input = (session.state.routedInput[output + 1] + run % 5 + 1) % kChannelCount;
        const std::string update = "VIDEO OUTPUT ROUTING:\n" + std::to_string(output) + " " +
                                   std::to_string(input) + "\n\n";
        panel.text.clear();
        const long ticksBefore = loop.ticks;
        const Clock::time_point start = Clock::now();
        const std::string block = update;
        send(panel.fd, block.data(), block.size(), 0);
        if (!loop.RunUntil([&] { return panel.Has("ACK\n\n" + update); }, 5s)) {
            std::fprintf(stderr, "run %d: no update\n", run);
            return 1;
        }
        ms.push_back(Ms(Clock::now() - start));
        ticks.push_back(static_cast<double>(loop.ticks - ticksBefore));
        // Blocks land at any moment of the tick.
        loop.RunUntil([] { return false; }, std::chrono::milliseconds(60 + (run * 13) % 50));
    }
    PrintSpread("block to update", ms, "ms   ");
    PrintSpread("block to update", ticks, "ticks");
    std::printf("ratio block to update = %.2f x one 50 ms tick\n",
                std::accumulate(ms.begin(), ms.end(), 0.0) / ms.size() / 50.0);

    // A change on the router's front panel, at any moment of the refresh
    // cycle, until the panel has the status update that shows it.
    std::vector<double> panelMs;
    for (int run = 0; run < runs; ++run) {
        sim::SimRouter router = simulator->Router();
        const int output = run % kChannelCount + 1;
        // Another input, never none (the panel would see the park source).
        const int was = std::max(router.route[output], 1);
        router.route[output] = (was - 1 + 1 + run % (kChannelCount - 1)) % kChannelCount + 1;
        const std::string update = "VIDEO OUTPUT ROUTING:\n" + std::to_string(output - 1) + " " +
                                   std::to_string(router.route[output] - 1) + "\n\n";
        panel.text.clear();
        const Clock::time_point start = Clock::now();
        simulator->SetRouter(router);
        if (!loop.RunUntil([&] { return panel.Has(update); }, 5s)) {
            std::fprintf(stderr, "run %d: front-panel change not seen\n", run);
            return 1;
        }
        panelMs.push_back(Ms(Clock::now() - start));
        loop.RunUntil([] { return false; }, std::chrono::milliseconds(11 + (run * 37) % 300));
    }
    PrintSpread("front panel to Videohub update", panelMs, "ms   ");

    // LINK commands per burst.
    for (int lines : {1, 16, 256}) {
        std::vector<double> links, confirmTicks;
        for (int run = 0; run < runs; ++run) {
            int wanted[kChannelTableSize] = {};
            std::copy(std::begin(session.state.routedInput), std::end(session.state.routedInput),
                      wanted);
            std::string burst;
            for (int i = 0; i < lines; ++i) {
                const int output = i % kChannelCount;
                const int input = (i * 7 + run + 3) % kChannelCount;
                burst += "VIDEO OUTPUT ROUTING:\n" + std::to_string(output) + " " +
                         std::to_string(input) + "\n\n";
                wanted[output + 1] = input + 1;
            }
            panel.text.clear();
            const std::size_t before = simulator->CommandCount();
            const long ticksBefore = loop.ticks;
            for (std::size_t sent = 0; sent < burst.size();) {
                const ssize_t n = send(panel.fd, burst.data() + sent, burst.size() - sent, 0);
                sent += n > 0 ? static_cast<std::size_t>(n) : 0;
                if (n <= 0)
                    break;
            }
            const bool done = loop.RunUntil(
                [&] {
                    return panel.Count("ACK\n\n") >= lines &&
                           std::equal(std::begin(wanted), std::end(wanted),
                                      std::begin(session.state.routedInput)) &&
                           session.commandQueue.empty();
                },
                10s);
            if (!done) {
                std::fprintf(stderr, "burst of %d: not all confirmed\n", lines);
                return 1;
            }
            confirmTicks.push_back(static_cast<double>(loop.ticks - ticksBefore));
            links.push_back(LinkCommands(*simulator, before));
            loop.RunUntil([] { return false; }, std::chrono::milliseconds(60 + (run * 13) % 50));
        }
        const std::string name = "LINK commands, burst of " + std::to_string(lines);
        PrintSpread(name.c_str(), links, "     ");
        const std::string confirm = "  confirmed after, burst of " + std::to_string(lines);
        PrintSpread(confirm.c_str(), confirmTicks, "ticks");
        std::printf("ratio LINK commands, burst of %d = %.2f x the one-tick floor of 1\n", lines,
                    std::accumulate(links.begin(), links.end(), 0.0) / links.size());
    }

    host.Close();
    connection.Disconnect();
    simulator->Stop();
    std::filesystem::remove_all(directory);
    return 0;
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    return corvane::bench::Run(argc, argv);
}
