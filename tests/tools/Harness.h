#pragma once

// Shared pieces of the end-to-end tests: a simulator on loopback, a client
// built from the core exactly as the program builds it and temporary working
// directories.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RouterSim.h"
#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"

namespace corvane::testing {

using namespace std::chrono_literals;

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvane-tools-XXXXXX").string();
        path = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path + "/" + name) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(path + "/" + name);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string path;
};

// True when nothing is bound to this UDP port on 127.0.0.1 right now.
inline bool UdpPortFree(int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

inline std::unique_ptr<sim::RouterSim> StartSim(const sim::SimOptions& options,
                                                const sim::SimRouter& router) {
    auto simulator = std::make_unique<sim::RouterSim>(options, router);
    std::string error;
    if (simulator->Start(&error))
        return simulator;
    ADD_FAILURE() << error;
    return nullptr;
}

// A simulator on 127.0.0.1 whose port + 10 (the client's local port) is free
// too. A few bounded attempts, since ports are picked by the system.
inline std::unique_ptr<sim::RouterSim> StartUdpSim(sim::SimOptions options = {},
                                                   sim::SimRouter router = sim::DefaultRouter()) {
    options.serial = false;
    options.bindAddress = "127.0.0.1";
    options.udpPort = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto simulator = StartSim(options, router);
        if (!simulator || (simulator->port + 10 <= 65535 && UdpPortFree(simulator->port + 10)))
            return simulator;
    }
    ADD_FAILURE() << "no UDP port pair found";
    return nullptr;
}

inline std::unique_ptr<sim::RouterSim> StartSerialSim(sim::SimOptions options = {}) {
    options.serial = true;
    return StartSim(options, sim::DefaultRouter());
}

// Every event-log line, with the loop's tick count when it was written.
struct RecordingSink : LogSink {
    struct Line {
        std::string text;
        long tick;
    };
    void AppendToLogList(const std::string& line) override {
        lines.push_back({line, loop != nullptr ? loop->ticks : 0});
    }
    void ClearLogList() override { lines.clear(); }

    // The message part of each line (after the time stamp) that starts with prefix.
    std::vector<Line> With(const std::string& prefix) const {
        std::vector<Line> found;
        for (const Line& line : lines) {
            std::size_t close = line.text.find(']');
            if (close != std::string::npos &&
                line.text.compare(close + 1, prefix.size(), prefix) == 0)
                found.push_back({line.text.substr(close + 1), line.tick});
        }
        return found;
    }

    std::vector<Line> lines;
    const HeadlessLoop* loop = nullptr;
};

// The program's connection without a window, logging into a temporary directory.
struct Client {
    Client() : log(dir.path), session(log), connection(session, config), loop(connection) {
        log.screen = &sink;
        log.screenLogEnabled = true;
        sink.loop = &loop;
    }
    void UseUdp(int port) {
        config.useSerial = false;
        config.ipAddress = "127.0.0.1";
        config.udpPort = port;
    }
    void UseSerial(const std::string& device) {
        config.useSerial = true;
        config.comName = device;
        config.baudRate = 115200;
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
        return loop.RunUntil(done, timeout);
    }
    // Every start-up query sent and the last one answered.
    bool StartupDone() const {
        return session.pollIndex >= static_cast<unsigned>(kStartupQueryCount) &&
               session.commandQueue.empty() && !sink.With("-->Data[OUT=16!]").empty() &&
               sink.lines.back().text.find("<--Recv[OUT=") != std::string::npos;
    }

    TempDir dir;
    RecordingSink sink;
    AppConfig config;
    EventLog log;
    RouterSession session;
    Connection connection;
    HeadlessLoop loop;
};

// The client's model holds exactly what the simulated router holds.
inline void ExpectModelMatches(const RouterState& state, const sim::SimRouter& router) {
    for (int n = 1; n <= kChannelCount; ++n) {
        SCOPED_TRACE("channel " + std::to_string(n));
        EXPECT_EQ(state.routedInput[n], router.route[n]);
        EXPECT_EQ(state.inputStatusText[n], router.inputSignal[n]);
        EXPECT_EQ(state.outputPlugged[n], router.outputPlugged[n] ? 1 : 0);
        std::string mode = router.edidMode[n];
        EXPECT_EQ(state.inputEdidMode[n], mode.size() == 3 ? mode + "." : mode);
    }
    for (int s = 1; s <= kSlotCount; ++s) {
        SCOPED_TRACE("slot " + std::to_string(s));
        EXPECT_EQ(state.inputCardType[s], router.inputCard[s]);
        EXPECT_EQ(state.outputCardType[s], router.outputCard[s]);
        EXPECT_EQ(state.quadResolution[s], router.quadResolution[s]);
        EXPECT_EQ(state.quadLayout[s], router.quadLayout[s]);
    }
    EXPECT_EQ(state.generatorResolution, router.generatorResolution);
    EXPECT_EQ(state.generatorPattern, router.generatorPattern);
    EXPECT_EQ(state.monitoringChannel, router.monitoringChannel);
    EXPECT_EQ(state.webLock, router.webLock ? 1 : 0);
    EXPECT_EQ(state.dataLock, router.dataLock ? 1 : 0);
    EXPECT_EQ(state.keyLock, router.keyLock ? 1 : 0);
    EXPECT_EQ(state.routerIp, router.ip);
    EXPECT_EQ(state.routerSubnetMask, router.subnetMask);
    EXPECT_EQ(state.routerGateway, router.gateway);
    EXPECT_EQ(state.routerMac, router.mac);
    EXPECT_EQ(state.routerPort, router.port);
    EXPECT_EQ(state.routerBaudRate, router.baudRate);
}

inline std::vector<std::string> StartupQueryList() {
    return std::vector<std::string>(StartupQueries, StartupQueries + kStartupQueryCount);
}

}  // namespace corvane::testing
