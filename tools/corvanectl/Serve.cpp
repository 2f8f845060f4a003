// corvanectl serve: Videohub clients route the router through the same core
// the window uses, on a rack PC, for as long as it runs.

#include "Serve.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "bridge/VideohubServer.h"
#include "protocol/RouterSession.h"
#include "settings/EventLog.h"
#include "settings/SalvoFile.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"
#include "transport/VideohubHost.h"

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

int Serve(AppConfig& config, const std::string& listen, bool noLog, bool verbose) {
    EventLog log(".");
    log.fileFailed = ReportLogFailure;
    log.fileLogEnabled = !noLog;
    ServeLog screen(verbose);
    log.screen = &screen;
    log.screenLogEnabled = true;

    RouterSession session(log);
    // Outputs protected at this rack stay protected for every client.
    SalvoFile salvos;
    std::string problem;
    if (!salvos.Load(kSalvoPath, problem))
        log.LogEvent(true, true, "%s", salvos.DamageReport(kSalvoPath).c_str());
    salvos.ApplyProtection(session.routing);
    Connection connection(session, config);
    connection.showMessage = [&log](const std::string& text) {
        log.LogEvent(true, true, "%s", text.c_str());
    };
    HeadlessLoop loop(connection);
    VideohubServer server(session, config);
    VideohubHost host(server);
    if (!host.Listen(listen)) {
        std::fprintf(stderr, "corvanectl: %s\n", host.error.c_str());
        return 3;
    }
    // Scripts and tests that asked for port 0 learn the port here.
    std::printf("videohub: %d\n", host.port);
    std::fflush(stdout);

    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    session.refresh = [&] {
        server.Sync();
        host.Flush();
    };
    loop.addWatches = [&](std::vector<pollfd>& fds) {
        if (host.listenFd >= 0)
            fds.push_back({host.listenFd, POLLIN, 0});
        for (const VideohubHost::Socket& s : host.sockets)
            fds.push_back(
                {s.fd, static_cast<short>(POLLIN | (host.WantsWrite(s.fd) ? POLLOUT : 0)), 0});
    };
    loop.watchesReady = [&](const std::vector<pollfd>& fds) {
        bool accept = false;
        for (const pollfd& f : fds) {
            if (f.revents == 0)
                continue;
            if (f.fd == host.listenFd)
                accept = true;  // last, so no fd closed in this pass is reused
            else if (f.revents & (POLLIN | POLLHUP | POLLERR))
                host.OnReadable(f.fd);
        }
        if (accept)
            host.OnAcceptReady();
        host.Flush();
    };

    // The connection opens the link again by itself when it fails, and the
    // session re-polls a router that stopped answering and came back.
    config.reconnect = true;
    connection.Connect();
    while (!stopRequested)
        loop.RunUntil([&] { return stopRequested != 0; }, std::chrono::seconds(1));
    log.LogEvent(true, true, "Stopping on a signal");
    host.Close();
    session.refresh = nullptr;
    connection.Disconnect();
    return 0;
}

}  // namespace corvane
