#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

namespace corvane::testing {

// A UDP socket on 127.0.0.1 playing the router (or a stranger).
class LoopbackSocket {
public:
    explicit LoopbackSocket(int port = 0) {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Address(port);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            fd = -1;
            return;
        }
        socklen_t length = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        this->port = ntohs(a.sin_port);
    }
    ~LoopbackSocket() {
        if (fd >= 0)
            close(fd);
    }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    static sockaddr_in Address(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<unsigned short>(port));
        return a;
    }

    bool SendTo(int toPort, const std::string& bytes) const {
        sockaddr_in a = Address(toPort);
        return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a),
                      sizeof a) == static_cast<ssize_t>(bytes.size());
    }

    // One datagram, or false after `wait`; fromPort tells who sent it.
    bool Receive(std::string& out, int* fromPort = nullptr,
                 std::chrono::milliseconds wait = std::chrono::seconds(10)) const {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0)
            return false;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return false;
        out.assign(buffer, static_cast<std::size_t>(n));
        if (fromPort)
            *fromPort = ntohs(from.sin_port);
        return true;
    }

    int fd = -1;
    int port = 0;
};

// True if nothing holds the port on any local address right now.
inline bool PortFree(int port) {
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<unsigned short>(port));
    const bool free = bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(probe);
    return free;
}

// The router's socket, on a port such that the program's own port, ten above, is free.
inline std::unique_ptr<LoopbackSocket> MakeRouter() {
    for (int i = 0; i < 50; ++i) {
        auto router = std::make_unique<LoopbackSocket>();
        if (router->fd >= 0 && router->port <= 65525 && PortFree(router->port + 10))
            return router;
    }
    return nullptr;
}

// A loopback port that nobody listens on (bound once, then released).
inline int UnusedPort() {
    for (int i = 0; i < 20; ++i) {
        int port;
        {
            LoopbackSocket s;
            port = s.port;
        }
        if (port <= 65525 && PortFree(port) && PortFree(port + 10))
            return port;
    }
    return -1;
}

}  // namespace corvane::testing
