#pragma once

// What the bridge figure programs share: a bridge server with its socket host
// over a session connected to the simulated router, run by the loop
// corvanectl serve runs; a client of our own on loopback TCP; and the two
// figures every bridge has: one request until the update confirming it
// reaches the client, and LINK commands per burst of requests.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "FigureSupport.h"
#include "RouterSim.h"
#include "base/EventLog.h"
#include "bridgehost/BridgeHost.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane::bench {

struct NullSink : LogSink {
    void AppendToLogList(const std::string&) override {}
    void ClearLogList() override {}
};

// The client's socket, read without blocking from inside the loop.
struct Panel {
    explicit Panel(int port) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<unsigned short>(port));
        ok = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }
    ~Panel() { close(fd); }
    void Send(const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, 0);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
    }
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

inline int LinkCommands(const sim::RouterSim& simulator, std::size_t from) {
    const auto transcript = simulator.Transcript();
    int links = 0;
    for (std::size_t i = from; i < transcript.size(); ++i)
        links += transcript[i].command.rfind("LINK=", 0) == 0 && transcript[i].command != "LINK=?!";
    return links;
}

template <class Server>
struct BridgeRig {
    BridgeRig(const std::string& directory, const char* protocol)
        : log(directory),
          session(log),
          connection(session, config),
          loop(connection),
          server(session, config),
          host(server, log, protocol, Server::kMaxClients) {
        log.fileLogEnabled = false;
        log.screen = &sink;
        log.screenLogEnabled = true;
    }

    // Listening, connected to the router, its start-up poll done.
    bool Start(const sim::RouterSim& simulator) {
        if (!host.Listen("127.0.0.1:0")) {
            std::fprintf(stderr, "%s\n", host.error.c_str());
            return false;
        }
        session.onRefresh.Subscribe([this] { host.Flush(); });
        loop.addWatches = [this](std::vector<pollfd>& fds) { host.AddWatches(fds); };
        loop.watchesReady = [this](const std::vector<pollfd>& fds) { host.OnWatchesReady(fds); };
        config.useSerial = false;
        config.ipAddress = "127.0.0.1";
        config.udpPort = simulator.port;
        connection.Connect();
        return loop.RunUntil([this] { return session.PollDone() && session.linkAnswers > 0; }, 30s);
    }

    // request(output, input): one route request's bytes, numbers from 0;
    // update(output, input): what the client is told once the router took it.
    using Words = std::function<std::string(int output, int input)>;

    // One request until its update reaches the client, in ms and ticks.
    bool PrintRequestToUpdate(Panel& client, int runs, const char* name, const Words& request,
                              const Words& update) {
        std::vector<double> ms, ticks;
        for (int run = 0; run < runs; ++run) {
            const int output = run % kChannelCount;
            const int input = (session.state.routedInput[output + 1] + run % 5 + 1) % kChannelCount;
            client.text.clear();
            const long ticksBefore = loop.ticks;
            const Clock::time_point start = Clock::now();
            client.Send(request(output, input));
            if (!loop.RunUntil([&] { return client.Has(update(output, input)); }, 5s)) {
                std::fprintf(stderr, "%s, run %d: no update\n", name, run);
                return false;
            }
            ms.push_back(Ms(Clock::now() - start));
            ticks.push_back(static_cast<double>(loop.ticks - ticksBefore));
            // Requests land at any moment of the tick.
            loop.RunUntil([] { return false; }, std::chrono::milliseconds(60 + (run * 13) % 50));
        }
        PrintSpread(name, ms, "ms   ");
        PrintSpread(name, ticks, "ticks");
        std::printf("ratio %s = %.2f x one 50 ms tick\n", name,
                    std::accumulate(ms.begin(), ms.end(), 0.0) / ms.size() / 50.0);
        return true;
    }

    // LINK commands per burst of 1, 16 and 256 requests sent at once, each
    // answered with ack, and ticks until the router confirmed all of them.
    bool PrintBursts(Panel& client, const sim::RouterSim& simulator, int runs, const Words& request,
                     const std::string& ack) {
        for (int requests : {1, 16, 256}) {
            std::vector<double> links, confirmTicks;
            for (int run = 0; run < runs; ++run) {
                int wanted[kChannelTableSize] = {};
                std::copy(std::begin(session.state.routedInput),
                          std::end(session.state.routedInput), wanted);
                std::string burst;
                for (int i = 0; i < requests; ++i) {
                    const int output = i % kChannelCount;
                    const int input = (i * 7 + run + 3) % kChannelCount;
                    burst += request(output, input);
                    wanted[output + 1] = input + 1;
                }
                client.text.clear();
                const std::size_t before = simulator.CommandCount();
                const long ticksBefore = loop.ticks;
                client.Send(burst);
                const bool done = loop.RunUntil(
                    [&] {
                        return client.Count(ack) >= requests &&
                               std::equal(std::begin(wanted), std::end(wanted),
                                          std::begin(session.state.routedInput)) &&
                               session.commandQueue.empty();
                    },
                    10s);
                if (!done) {
                    std::fprintf(stderr, "burst of %d: not all confirmed\n", requests);
                    return false;
                }
                confirmTicks.push_back(static_cast<double>(loop.ticks - ticksBefore));
                links.push_back(LinkCommands(simulator, before));
                loop.RunUntil([] { return false; },
                              std::chrono::milliseconds(60 + (run * 13) % 50));
            }
            const std::string name = "LINK commands, burst of " + std::to_string(requests);
            PrintSpread(name.c_str(), links, "     ");
            const std::string confirm = "  confirmed after, burst of " + std::to_string(requests);
            PrintSpread(confirm.c_str(), confirmTicks, "ticks");
            std::printf("ratio LINK commands, burst of %d = %.2f x the one-tick floor of 1\n",
                        requests, std::accumulate(links.begin(), links.end(), 0.0) / links.size());
        }
        return true;
    }

    NullSink sink;
    AppConfig config;
    EventLog log;
    RouterSession session;
    Connection connection;
    HeadlessLoop loop;
    Server server;
    BridgeHost host;
};

}  // namespace corvane::bench
