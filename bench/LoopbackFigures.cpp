// Whole-connection figures against the simulated router on 127.0.0.1, driven
// by the same core and loop the command-line client uses:
//   start-up poll latency (Connect to the last start-up answer parsed) in
//   ticks and ms against the floor of 41 ticks; click-to-wire latency (an
//   output click to the LINK command arriving at the router); idle CPU share
//   of the program's thread with the timer running and a router connected;
//   resident memory after the poll; route bursts against a router that
//   answers 150 ms late (LINK commands on the wire, time until the last route
//   is confirmed); with the refresh running: a change on the router's front
//   panel until the model shows it, the share of ticks the refresh takes and
//   the log it writes while nothing changes.
//
//   loopback_figures [--runs N] [--clicks N] [--idle-seconds S]

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "FigureSupport.h"
#include "RouterSim.h"
#include "base/EventLog.h"
#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane::bench {
namespace {

// Counts what the log shows instead of keeping it.
struct CountingSink : LogSink {
    void AppendToLogList(const std::string& line) override {
        const std::size_t close = line.find(']');
        const std::string message = close == std::string::npos ? line : line.substr(close + 1);
        bytes += line.size() + 2;  // as the daily file has it, with its line end
        if (message.rfind("-->Data[", 0) == 0) {
            ++sent;
        } else if (message.rfind("<--Recv[", 0) == 0) {
            ++received;
            if (sent == kStartupQueryCount && message.rfind("<--Recv[OUT=", 0) == 0)
                pollAnswered = true;
        }
    }
    void ClearLogList() override {}
    int sent = 0;
    int received = 0;
    std::size_t bytes = 0;
    bool pollAnswered = false;
};

struct Program {
    explicit Program(const std::string& directory)
        : log(directory), session(log), connection(session, config), loop(connection) {
        log.screen = &sink;
        log.screenLogEnabled = true;
    }
    CountingSink sink;
    AppConfig config;
    EventLog log;
    RouterSession session;
    Connection connection;
    HeadlessLoop loop;
};

// Route requests made faster than a slow router answers: each burst asks for
// `requests` routes at once (or one every 20 ms) and waits until the router's
// answers confirm the last of them.
bool RouteBursts(const std::string& directory) {
    auto simulator = StartSimulator(150);
    if (!simulator)
        return false;
    Program program(directory);
    program.config.ipAddress = "127.0.0.1";
    program.config.udpPort = simulator->port;
    RouterSession& session = program.session;
    session.refreshEnabled = false;  // routes only
    program.connection.Connect();
    session.SkipStartupPoll();
    session.EnqueueCommand("LINK=?!");  // the map the routes go against
    program.loop.RunUntil([&] { return session.Live(); }, 5s);
    for (const bool spread : {false, true}) {
        for (const int requests : {2, 16, 100}) {
            auto linkCount = [&] {
                int n = 0;
                for (const std::string& command : simulator->Commands())
                    n += command.rfind("LINK=", 0) == 0 && command != "LINK=?!";
                return n;
            };
            const int linksBefore = linkCount();
            const Clock::time_point start = Clock::now();
            for (int r = 0; r < requests; ++r) {
                session.RequestRoutes(
                    {{1 + r % kChannelCount, 1 + (r * 7 + requests + spread) % kChannelCount}});
                if (spread)
                    program.loop.RunUntil([] { return false; }, 20ms);
            }
            const bool confirmed = program.loop.RunUntil(
                [&] {
                    return session.commandQueue.empty() && !session.routing.HasPending() &&
                           !session.routing.linkOutstanding;
                },
                60s);
            const double ms = Ms(Clock::now() - start);
            std::printf(
                "route burst of %3d%s %s: %d LINK commands, all confirmed after %.0f ms "
                "(%.1f x one tick)\n",
                requests, spread ? " every 20 ms" : " at once    ",
                confirmed ? "" : "(NOT CONFIRMED)", linkCount() - linksBefore, ms, ms / 50.0);
        }
    }
    program.connection.Disconnect();
    simulator->Stop();
    return true;
}

int Run(int argc, char** argv) {
    const FigureOptions options(argc, argv);

    auto simulator = StartSimulator();
    if (!simulator)
        return 1;
    const std::string directory =
        (std::filesystem::temp_directory_path() / "corvane-figures").string();
    std::filesystem::create_directories(directory);
    Program program(directory);
    program.config.useSerial = false;
    program.config.ipAddress = "127.0.0.1";
    program.config.udpPort = simulator->port;

    // Start-up poll, Connect to the answer of the last query.
    std::vector<double> pollTicks;
    std::vector<double> pollMs;
    for (int run = 0; run < options.runs; ++run) {
        program.connection.Disconnect();
        program.sink = CountingSink{};
        const long ticksBefore = program.loop.ticks;
        const Clock::time_point start = Clock::now();
        program.connection.Connect();
        if (!program.loop.RunUntil([&] { return program.sink.pollAnswered; }, 30s)) {
            std::fprintf(stderr, "start-up poll did not finish\n");
            return 1;
        }
        pollMs.push_back(Ms(Clock::now() - start));
        pollTicks.push_back(static_cast<double>(program.loop.ticks - ticksBefore));
    }
    PrintSpread("start-up poll", pollTicks, "ticks");
    PrintSpread("start-up poll", pollMs, "ms   ");
    const double meanTicks =
        std::accumulate(pollTicks.begin(), pollTicks.end(), 0.0) / pollTicks.size();
    std::printf("ratio start-up poll ticks = %.2f x the floor of %d ticks\n",
                meanTicks / kStartupQueryCount, kStartupQueryCount);

    const long rssAfterPoll = StatusKilobytes("VmRSS:");

    // Click to wire, with the refresh running: what an output click asks for,
    // until the router has the LINK command that carries it.
    program.loop.RunUntil([&] { return program.session.Live(); }, 5s);
    std::vector<double> clickMs;
    for (int click = 0; click < options.clicks; ++click) {
        const std::size_t before = simulator->CommandCount();
        const auto wallStart = std::chrono::system_clock::now();
        program.session.LinkOutput(1 + click % kChannelCount, 1 + (click * 7) % kChannelCount);
        std::size_t at = 0;
        auto arrived = [&] {
            const auto commands = simulator->Commands();
            for (std::size_t i = before; i < commands.size(); ++i) {
                if (commands[i].rfind("LINK=", 0) == 0 && commands[i] != "LINK=?!") {
                    at = i;
                    return true;
                }
            }
            return false;
        };
        if (!program.loop.RunUntil(arrived, 5s)) {
            std::fprintf(stderr, "click %d never arrived\n", click);
            return 1;
        }
        const auto transcript = simulator->Transcript();
        clickMs.push_back(
            std::chrono::duration<double, std::milli>(transcript[at].time - wallStart).count());
        // Let the answer come back so that the next click starts unpaced.
        program.loop.RunUntil([&] { return program.session.sendCountdown <= 0; }, 2s);
        // Clicks land at any moment of the 50 ms tick, not just after one.
        program.loop.RunUntil([] { return false; },
                              std::chrono::milliseconds(7 + (click * 13) % 50));
    }
    PrintSpread("click to wire", clickMs, "ms   ");
    std::printf("ratio click to wire = %.2f x one 50 ms tick\n",
                std::accumulate(clickMs.begin(), clickMs.end(), 0.0) / clickMs.size() / 50.0);

    // A change on the router's front panel, at any moment of the refresh
    // cycle, until the model shows it.
    std::vector<double> panelMs;
    for (int change = 0; change < options.clicks; ++change) {
        sim::SimRouter router = simulator->Router();
        const int output = FrontPanelChange(router, change);
        const int wanted = router.route[output];
        const Clock::time_point start = Clock::now();
        simulator->SetRouter(router);
        if (!program.loop.RunUntil(
                [&] { return program.session.state.routedInput[output] == wanted; }, 5s)) {
            std::fprintf(stderr, "front-panel change %d never seen\n", change);
            return 1;
        }
        panelMs.push_back(Ms(Clock::now() - start));
        program.loop.RunUntil([] { return false; },
                              std::chrono::milliseconds(11 + (change * 37) % 300));
    }
    PrintSpread("front panel to model", panelMs, "ms   ");

    // Idle: connected, timer running, the refresh re-reading a router on
    // which nothing changes.
    const long ticksBefore = program.loop.ticks;
    const long long refreshBefore = program.session.refreshSent;
    const std::size_t bytesBefore = program.sink.bytes;
    const double cpuBefore = ThreadCpuSeconds();
    const Clock::time_point idleStart = Clock::now();
    program.loop.RunUntil([] { return false; }, std::chrono::seconds(options.idleSeconds));
    const double idleWall = std::chrono::duration<double>(Clock::now() - idleStart).count();
    const double idleCpu = ThreadCpuSeconds() - cpuBefore;
    const long idleTicks = program.loop.ticks - ticksBefore;
    const long long refreshes = program.session.refreshSent - refreshBefore;
    std::printf("idle CPU share over %.1f s            %.4f %% of one core (%ld ticks, %.1f/s)\n",
                idleWall, 100.0 * idleCpu / idleWall, idleTicks, idleTicks / idleWall);
    std::printf("refresh while idle                  %.1f queries/s, %.1f %% of the ticks\n",
                refreshes / idleWall, 100.0 * static_cast<double>(refreshes) / idleTicks);
    std::printf("log while idle                      %.0f bytes an hour\n",
                static_cast<double>(program.sink.bytes - bytesBefore) * 3600.0 / idleWall);
    std::printf("resident memory after the poll      %ld kB (peak %ld kB; simulator included)\n",
                rssAfterPoll, StatusKilobytes("VmHWM:"));

    program.connection.Disconnect();
    simulator->Stop();
    if (!RouteBursts(directory))
        return 1;
    std::filesystem::remove_all(directory);
    return 0;
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
    return corvane::bench::Run(argc, argv);
}
