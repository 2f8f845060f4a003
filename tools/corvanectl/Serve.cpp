// corvanectl serve: Videohub clients, and SW-P-08 control systems and panels,
// route the router through the same core the window uses, on a rack PC, for
// as long as it runs.

#include "Serve.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/EventLog.h"
#include "bridge/Swp08Server.h"
#include "bridge/VideohubServer.h"
#include "bridgehost/BridgeHost.h"
#include "protocol/RouterSession.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

// Prints the log to stderr, the router traffic only with --verbose.
class ServeLog : public LogSink {
public:
    explicit ServeLog(bool verbose) : verbose_(verbose) {}

    void AppendToLogList(const std::string& line) override {
        const std::size_t close = line.find(']');
        const bool traffic =
            close != std::string::npos && (line.compare(close + 1, 8, "-->Data[") == 0 ||
                                           line.compare(close + 1, 8, "<--Recv[") == 0);
        if (verbose_ || !traffic)
            std::fprintf(stderr, "%s\n", line.c_str());
    }
    void ClearLogList() override {}

private:
    bool verbose_;
};

}  // namespace

void ReportLogFailure(const std::string& path) {
    std::fprintf(stderr, "corvanectl: the log file %s cannot be written; lines are lost\n",
                 path.c_str());
}

int Serve(Context& context) {
    const Options& options = context.options;
    AppConfig& config = context.config;
    EventLog& log = context.log;
    log.fileLogEnabled = !options.noLog;
    ServeLog screen(options.verbose);
    log.screen = &screen;
    log.screenLogEnabled = true;

    RouterSession& session = context.session;
    // Outputs protected at this rack stay protected for every client.
    if (!context.salvos.Load())
        log.LogEvent(true, true, "%s", context.salvos.DamageReport().c_str());
    Connection connection(session, config);
    connection.showMessage = [&log](const std::string& text) {
        log.LogEvent(true, true, "%s", text.c_str());
    };
    HeadlessLoop loop(connection);
    VideohubServer videohub(session, config);
    Swp08Server swp08(session, config);
    std::vector<std::unique_ptr<BridgeHost>> hosts;
    hosts.push_back(
        std::make_unique<BridgeHost>(videohub, log, "Videohub", VideohubServer::kMaxClients));
    if (!options.swp08Listen.empty())
        hosts.push_back(
            std::make_unique<BridgeHost>(swp08, log, "SW-P-08", Swp08Server::kMaxClients));
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        BridgeHost& host = *hosts[i];
        if (!host.Listen(i == 0 ? options.listen : options.swp08Listen)) {
            std::fprintf(stderr, "corvanectl: %s\n", host.error.c_str());
            log.screen = nullptr;
            return kExitConnectFailed;
        }
        // Scripts and tests that asked for port 0 learn the port here.
        std::printf("%s: %d\n", i == 0 ? "videohub" : "swp08", host.port);
    }
    std::fflush(stdout);

    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    for (int number : {SIGINT, SIGTERM})
        sigaction(number, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // The servers tell their clients after every refresh; then out it goes.
    const int flush = session.onRefresh.Subscribe([&] {
        for (auto& host : hosts)
            host->Flush();
    });
    loop.addWatches = [&](std::vector<pollfd>& fds) {
        for (auto& host : hosts)
            host->AddWatches(fds);
    };
    // Each host serves its own handles among them; a lock one bridge's client
    // changed is then told to the other's.
    loop.watchesReady = [&](const std::vector<pollfd>& fds) {
        for (auto& host : hosts)
            host->OnWatchesReady(fds);
        videohub.Sync();
        swp08.Sync();
        for (auto& host : hosts)
            host->Flush();
    };

    // The connection opens the link again by itself when it fails, and the
    // session re-polls a router that stopped answering and came back.
    config.reconnect = true;
    connection.Connect();
    while (!stopRequested)
        loop.RunUntil([&] { return stopRequested != 0; }, std::chrono::seconds(1));
    log.LogEvent(true, true, "Stopping on a signal");
    for (auto& host : hosts)
        host->Close();
    session.onRefresh.Unsubscribe(flush);
    connection.Disconnect();
    log.screen = nullptr;
    return 0;
}

}  // namespace corvane
