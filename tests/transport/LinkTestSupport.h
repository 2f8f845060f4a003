#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

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

// Serial watcher threads of this process, found by name; -1 without /proc.
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
    // One datagram within the patience; fromPort tells who sent it.
    bool Receive(std::string& out, int* fromPort = nullptr) const {
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (!Readable(fd, static_cast<int>(kPatience.count())))
            return false;
        const ssize_t n =
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        out.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        if (fromPort)
            *fromPort = ntohs(from.sin_port);
        return n >= 0;
    }
    int fd;
    int port = 0;
};

// The router's socket on a port whose neighbour ten above (the program's) is free.
inline std::unique_ptr<LoopbackSocket> MakeRouter() {
    for (int i = 0; i < 50; ++i) {
        auto router = std::make_unique<LoopbackSocket>();
        if (router->port > 0 && router->port <= 65525 &&
            LoopbackSocket(router->port + 10).port == router->port + 10)
            return router;
    }
    return nullptr;
}

}  // namespace corvane::testing
