#pragma once

// Shared by the link, end-to-end and fault tests: loopback sockets, ptys,
// bounded waits, child processes and the program's connection without a window.

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SessionSupport.h"
#include "TempDir.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "transport/HeadlessLoop.h"
#include "transport/ReceiveRing.h"

namespace corvane::testing {

using namespace std::chrono_literals;
// Bound for anything that should happen "soon"; only a broken link reaches it.
inline constexpr std::chrono::milliseconds kPatience = 10s;

template <typename Predicate>
bool WaitUntil(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

inline bool Readable(int fd, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, waitMs) > 0;
}

// Serial watcher threads of this process, found by name; -1 without /proc,
// which fails the check that asked.
inline int WatcherCount() {
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        count += std::getline(comm, name) && name == "serial-watch";
    }
    closedir(dir);
    return count;
}

inline std::string Drain(ReceiveRing& ring) {
    std::string out;
    for (std::uint8_t b; ring.Get(b);)
        out.push_back(static_cast<char>(b));
    return out;
}

// A pseudo-terminal: the test holds the master, the link opens the slave.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        slavePath = ptsname(master);
    }
    ~Pty() { CloseMaster(); }
    void CloseMaster() {
        if (master >= 0)
            close(master);
        master = -1;
    }
    bool Send(const std::string& bytes) const {
        std::size_t done = 0;
        WaitUntil([&] {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
            return done == bytes.size();
        });
        return done == bytes.size();
    }
    std::string Receive(std::size_t length) const {
        std::string got;
        WaitUntil([&] {
            char buffer[4096];
            const ssize_t n = Readable(master, 20) ? read(master, buffer, sizeof buffer) : 0;
            got.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            return got.size() >= length;
        });
        return got;
    }
    int master = -1;
    std::string slavePath;
};

// A UDP socket on 127.0.0.1 playing the router (or a stranger).
struct LoopbackSocket {
    static sockaddr_in Address(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<unsigned short>(port));
        return a;
    }
    explicit LoopbackSocket(int wantedPort = 0) : fd(socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in a = Address(wantedPort);
        socklen_t length = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port = ntohs(a.sin_port);
    }
    ~LoopbackSocket() { close(fd); }
    bool SendTo(int toPort, const std::string& bytes) const {
        const sockaddr_in a = Address(toPort);
        return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&a),
                      sizeof a) == static_cast<ssize_t>(bytes.size());
    }
    // The next datagram, or "" when none comes within the patience.
    std::string Receive() const {
        char buffer[65536];
        const ssize_t n =
            Readable(fd, int(kPatience.count())) ? recv(fd, buffer, sizeof buffer, 0) : 0;
        return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    int fd;
    int port = 0;
};

// True when the program's port, ten above the router's, is free on loopback.
inline bool NeighbourFree(int port) {
    return port > 0 && port <= 65525 && LoopbackSocket(port + 10).port == port + 10;
}

// The router's socket on a port whose neighbour ten above is free.
inline std::unique_ptr<LoopbackSocket> MakeRouter() {
    for (int i = 0; i < 50; ++i) {
        if (auto router = std::make_unique<LoopbackSocket>(); NeighbourFree(router->port))
            return router;
    }
    return nullptr;
}

// A Videohub panel of the tests' own on loopback TCP: sends blocks, collects
// what the server says. An in-process server takes its turn in serve.
struct Panel {
    // receiveBuffer: bytes, 0 for the system's default.
    explicit Panel(int port, int receiveBuffer = 0)
        : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (receiveBuffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        const sockaddr_in a = LoopbackSocket::Address(port);
        connected = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }
    ~Panel() { close(fd); }
    void Send(const std::string& s) const { send(fd, s.data(), s.size(), MSG_NOSIGNAL); }
    bool Has(const std::string& part) const { return text.find(part) != std::string::npos; }
    // Reads, at most readSize bytes at a time, until done() or the patience
    // runs out or the server closes.
    bool ReadUntil(const std::function<bool()>& done, std::size_t readSize = 65536) {
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (!closedByServer && !done() && std::chrono::steady_clock::now() < until) {
            if (serve)
                serve();
            char buffer[65536];
            const ssize_t n =
                Readable(fd, 50) ? recv(fd, buffer, std::min(readSize, sizeof buffer), 0) : -2;
            closedByServer = n == 0 || n == -1;
            text.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        return done();
    }
    bool ReadFor(const std::string& part) {
        return ReadUntil([&] { return Has(part); });
    }

    int fd;
    bool connected = false;
    bool closedByServer = false;
    std::string text;
    std::function<void()> serve;
};

// A child process with its stdout and stderr collected together, stopped by
// its pid and killed if it outlives its deadline.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv, const std::string& directory = ".") {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return;
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        pid = fork();
        if (pid == 0) {  // only async-signal-safe calls until exec
            if (chdir(directory.c_str()) == 0 && dup2(pipeFds[1], 1) == 1 && dup2(1, 2) == 2)
                execv(args[0], args.data());
            _exit(127);
        }
        close(pipeFds[1]);
        fd = pipeFds[0];
    }
    ~Child() {
        Stop(SIGKILL);
        if (fd >= 0)
            close(fd);
    }
    // Collects output until the pipe closes (or a first line is in), or the deadline.
    void Collect(std::chrono::milliseconds deadline, bool firstLine = false) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (fd >= 0 && std::chrono::steady_clock::now() < until &&
               !(firstLine && out.find('\n') != std::string::npos)) {
            char buffer[4096];
            const ssize_t n = Readable(fd, 50) ? read(fd, buffer, sizeof buffer) : -2;
            if (n > 0)
                out.append(buffer, static_cast<std::size_t>(n));
            else if (n != -2)
                close(std::exchange(fd, -1));
        }
    }
    // The exit code, or -1 when killed at the deadline or ended by a signal.
    int Wait(std::chrono::milliseconds deadline) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        Collect(deadline);
        int status = 0;
        while (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= until) {
                kill(pid, SIGKILL);
                waitpid(std::exchange(pid, -1), &status, 0);
                return -1;
            }
            usleep(10000);
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Stop(int signal) {
        if (pid > 0)
            kill(pid, signal);
        return pid > 0 ? Wait(5s) : -1;
    }

    pid_t pid = -1;
    int fd = -1;
    std::string out;  // stdout and stderr
};

// The number a child prints in the first group of pattern (e.g. its port), 0 if none.
inline int PortFrom(Child& child, const std::string& pattern) {
    const std::regex re(pattern);
    std::smatch m;
    for (int i = 0; i < 200 && !std::regex_search(child.out, m, re); ++i)
        child.Collect(50ms);
    return std::regex_search(child.out, m, re) ? std::stoi(m[1].str()) : 0;
}

// The program's connection without a window, logging into a temporary directory.
struct Client {
    Client() : log(dir.path), session(log), connection(session, config), loop(connection) {
        log.screen = &sink;
        log.screenLogEnabled = true;
        config.ipAddress = "127.0.0.1";
        session.onEvent.Subscribe([this](const SessionEvent& event) {
            if (event.kind == SessionEvent::CommandSent)
                sent.push_back(event.text);
            else if (event.kind == SessionEvent::AnswerParsed)
                answers.push_back(event.text);
            answeredLast = event.kind == SessionEvent::AnswerParsed ||
                           (answeredLast && event.kind == SessionEvent::StatusChanged);
        });
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
        return loop.RunUntil(done, timeout);
    }
    // Every start-up query sent and the last one answered.
    bool StartupDone() const {
        return session.pollIndex >= static_cast<unsigned>(kStartupQueryCount) &&
               session.commandQueue.empty() && !sent.empty() && sent.back() == "OUT=16!" &&
               answeredLast && answers.back().starts_with("OUT=");
    }
    // Runs idle for a while: a loop or watcher spinning on a dead link burns a core.
    void ExpectIdle(std::chrono::milliseconds span = 300ms) {
        const std::clock_t cpu = std::clock();
        const auto wall = std::chrono::steady_clock::now();
        RunUntil([] { return false; }, span);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - wall;
        EXPECT_LT(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC, 0.5 * elapsed.count());
    }

    TempDir dir;
    ScreenLog sink;
    // What the session reported sending and parsing, in order.
    std::vector<std::string> sent, answers;
    bool answeredLast = false;  // an answer came after the last command sent
    AppConfig config;
    EventLog log;
    RouterSession session;
    Connection connection;
    HeadlessLoop loop;
};

inline std::vector<std::string> StartupQueryList() {
    return std::vector<std::string>(StartupQueries, StartupQueries + kStartupQueryCount);
}

}  // namespace corvane::testing

// The simulated router, for the targets that link it.
#if __has_include("RouterSim.h")
#include "ModelText.h"
#include "RouterSim.h"

namespace corvane::testing {

inline std::unique_ptr<sim::RouterSim> StartSim(sim::SimOptions options = {}, bool serial = false) {
    options.serial = serial;
    options.bindAddress = "127.0.0.1";
    // A few bounded attempts, since the system picks the port and port + 10 must be free too.
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto simulator = std::make_unique<sim::RouterSim>(options, sim::DefaultRouter());
        std::string error;
        if (!simulator->Start(&error)) {
            ADD_FAILURE() << error;
            return nullptr;
        }
        if (serial || NeighbourFree(simulator->port))
            return simulator;
    }
    ADD_FAILURE() << "no UDP port pair found";
    return nullptr;
}
// Starts a simulator of the given kind and connects the client to it.
inline std::unique_ptr<sim::RouterSim> Connect(Client& client, bool serial,
                                               sim::SimOptions options = {}) {
    auto simulator = StartSim(options, serial);
    if (simulator) {
        client.config.useSerial = serial;
        client.config.comName = simulator->ptyPath;
        client.config.baudRate = 115200;
        client.config.udpPort = simulator->port;
        client.connection.Connect();
    }
    return simulator;
}

}  // namespace corvane::testing
#endif
