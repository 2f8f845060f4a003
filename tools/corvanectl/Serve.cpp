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

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Between reconnection attempts, and how long an opened link may stay silent.
constexpr auto kRetryEvery = 3s;
constexpr auto kAnswerWithin = 5s;
constexpr std::size_t kMaxHeldLines = 1000;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

// Prints the log to stderr (the router traffic only with --verbose). During a
// reconnection attempt it holds the link's lines back: an attempt that fails
// is not logged, one that succeeds is logged whole. The clients' lines go
// through at once.
class ServeLog : public LogSink {
public:
    ServeLog(EventLog& log, bool verbose) : log_(log), verbose_(verbose) {}

    void AppendToLogList(const std::string& line) override {
        const std::size_t close = line.find(']');
        const bool client =
            close != std::string::npos && line.compare(close + 1, 8, "Videohub") == 0;
        if (!holding_ || client) {
            Print(line);
            if (holding_ && fileLog_)
                log_.AppendToLogFile(line);
        } else if (held_.size() < kMaxHeldLines) {
            held_.push_back(line);
        }
    }
    void ClearLogList() override {}

    void Hold() {
        if (!holding_)
            fileLog_ = log_.fileLogEnabled;
        holding_ = true;
        log_.fileLogEnabled = false;
    }
    void Discard() { held_.clear(); }
    void Release() {
        if (!holding_)
            return;
        holding_ = false;
        log_.fileLogEnabled = fileLog_;
        for (const std::string& line : held_) {
            Print(line);
            if (fileLog_)
                log_.AppendToLogFile(line);
        }
        held_.clear();
    }
    bool holding() const { return holding_; }

private:
    void Print(const std::string& line) const {
        const std::size_t close = line.find(']');
        const bool traffic =
            close != std::string::npos && (line.compare(close + 1, 8, "-->Data[") == 0 ||
                                           line.compare(close + 1, 8, "<--Recv[") == 0);
        if (verbose_ || !traffic)
            std::fprintf(stderr, "%s\n", line.c_str());
    }

    EventLog& log_;
    bool verbose_;
    bool holding_ = false;
    bool fileLog_ = true;
    std::vector<std::string> held_;
};

std::string LinkName(const AppConfig& config) {
    return config.useSerial ? config.comName
                            : config.ipAddress + ":" + std::to_string(config.udpPort);
}

}  // namespace

void ReportLogFailure(const std::string& path) {
    std::fprintf(stderr, "corvanectl: the log file %s cannot be written; lines are lost\n",
                 path.c_str());
}

int Serve(AppConfig& config, const std::string& listen, bool noLog, bool verbose) {
    EventLog log(".");
    log.fileFailed = ReportLogFailure;
    log.fileLogEnabled = !noLog;
    ServeLog screen(log, verbose);
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

    bool down = false;  // in a reconnection episode
    Clock::time_point openedAt = Clock::now();
    Clock::time_point nextAttempt = openedAt;
    connection.Connect();
    while (!stopRequested) {
        auto silent = [&] {
            return session.connectionStatus == kConnecting &&
                   Clock::now() - openedAt > kAnswerWithin;
        };
        loop.RunUntil(
            [&] {
                return stopRequested || session.connectionStatus == kConnectionFailed || silent() ||
                       (session.connectionStatus == kDisconnected && Clock::now() >= nextAttempt) ||
                       (down && session.connectionStatus == kConnected);
            },
            1s);
        if (stopRequested)
            break;
        if (down && session.connectionStatus == kConnected) {
            screen.Release();
            log.LogEvent(true, true, "Router link to %s is back", LinkName(config).c_str());
            down = false;
        }
        if (session.connectionStatus == kConnectionFailed || silent()) {
            if (!down) {
                log.LogEvent(true, true, "Router link to %s failed; trying again every %d s",
                             LinkName(config).c_str(), static_cast<int>(kRetryEvery.count()));
                down = true;
            }
            screen.Hold();
            connection.Disconnect();
            screen.Discard();
            nextAttempt = Clock::now() + kRetryEvery;
        }
        if (session.connectionStatus == kDisconnected && Clock::now() >= nextAttempt) {
            openedAt = Clock::now();
            connection.Connect();
        }
    }
    screen.Release();
    log.LogEvent(true, true, "Stopping on a signal");
    host.Close();
    session.refresh = nullptr;
    connection.Disconnect();
    return 0;
}

}  // namespace corvane
