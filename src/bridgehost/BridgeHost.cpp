#include "bridgehost/BridgeHost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/EventLog.h"
#include "base/TextFormat.h"

namespace corvane {

namespace {

// Reads per wake-up, so one busy client cannot hold the thread.
constexpr int kReadsPerWake = 8;
constexpr std::size_t kReadSize = 16 * 1024;

std::string PeerText(const sockaddr_storage& peer) {
    char text[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (peer.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(peer);
        inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
        port = ntohs(a.sin_port);
    } else if (peer.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(peer);
        inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
        port = ntohs(a.sin6_port);
    }
    return std::string(text) + ":" + std::to_string(port);
}

}  // namespace

bool ParseListenAddress(const std::string& where, std::string* address, int* port) {
    std::string host = "127.0.0.1";
    std::string digits = where;
    const std::size_t colon = where.rfind(':');
    if (colon != std::string::npos) {
        host = where.substr(0, colon);
        digits = where.substr(colon + 1);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
    }
    int value = 0;
    if (host.empty() || !ParseInt(digits, 0, 65535, &value, 5))
        return false;
    *address = host;
    *port = value;
    return true;
}

BridgeHost::BridgeHost(BridgeServer& server, EventLog& log, std::string name, int backlog)
    : server(server), log(log), name(std::move(name)), backlog(backlog) {}

BridgeHost::~BridgeHost() {
    Close();
}

bool BridgeHost::Listen(const std::string& where) {
    Close();
    std::string host;
    int wanted = 0;
    if (!ParseListenAddress(where, &host, &wanted)) {
        error = "bad listen address " + where + " (ADDR:PORT)";
        return false;
    }
    sockaddr_storage local{};
    socklen_t length = 0;
    auto& v4 = reinterpret_cast<sockaddr_in&>(local);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(local);
    if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(wanted));
        length = sizeof v4;
    } else if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(wanted));
        length = sizeof v6;
    } else {
        error = "bad listen address " + host + " (a numeric IPv4 or IPv6 address)";
        return false;
    }
    const int s = socket(local.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (s < 0 || setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(s, reinterpret_cast<const sockaddr*>(&local), length) != 0 ||
        listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        if (s >= 0)
            close(s);
        return false;
    }
    listenFd = s;
    port = ntohs(local.ss_family == AF_INET ? v4.sin_port : v6.sin6_port);
    log.LogEvent(true, true, "%s server listening on %s port %d", name.c_str(), host.c_str(), port);
    return true;
}

void BridgeHost::Close() {
    while (!sockets.empty())
        CloseClient(sockets.size() - 1, "closed by the server");
    if (listenFd >= 0) {
        close(listenFd);
        listenFd = -1;
        log.LogEvent(true, true, "%s server stopped", name.c_str());
    }
}

void BridgeHost::OnAcceptReady() {
    // One per wake-up: the owner serves the clients' reads first, so a client
    // that left just before a newcomer arrived has made room for it.
    if (listenFd < 0)
        return;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    const int id = server.OnConnect(PeerText(peer));
    if (id == 0) {
        close(fd);  // full: the server has logged it
        return;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockets.push_back({fd, id});
    if (clientsChanged)
        clientsChanged();
    Flush();
}

void BridgeHost::OnReadable(int fd) {
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if (sockets[i].fd != fd)
            continue;
        std::string bytes;
        bool closed = false;
        char buffer[kReadSize];
        for (int n = 0; n < kReadsPerWake; ++n) {
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                bytes.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            closed = !(got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
            break;
        }
        // Complete blocks count even from a client that has gone since.
        server.OnBytes(sockets[i].id, bytes.data(), bytes.size());
        if (closed)
            CloseClient(i, "disconnected");
        break;
    }
    Flush();
}

void BridgeHost::Flush() {
    for (std::size_t i = 0; i < sockets.size();) {
        std::string* out = server.PendingOutput(sockets[i].id);
        if (out == nullptr) {
            CloseClient(i, "closed by the server");
            i = 0;  // closing may have given the others output
            continue;
        }
        bool failed = false;
        while (!out->empty()) {
            const ssize_t sent =
                send(sockets[i].fd, out->data(), out->size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                out->erase(0, static_cast<std::size_t>(sent));
                continue;
            }
            failed = !(sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
            break;
        }
        if (failed) {
            CloseClient(i, "disconnected");
            i = 0;
            continue;
        }
        ++i;
    }
}

bool BridgeHost::WantsWrite(int fd) const {
    for (const Socket& s : sockets) {
        if (s.fd == fd) {
            const std::string* out = server.PendingOutput(s.id);
            return out != nullptr && !out->empty();
        }
    }
    return false;
}

void BridgeHost::CloseClient(std::size_t index, const char* why) {
    const Socket gone = sockets[index];
    sockets.erase(sockets.begin() + static_cast<std::ptrdiff_t>(index));
    close(gone.fd);
    server.OnClose(gone.id, why);
    if (clientsChanged)
        clientsChanged();
}

void BridgeHost::AddWatches(std::vector<pollfd>& fds) const {
    if (listenFd >= 0)
        fds.push_back({listenFd, POLLIN, 0});
    for (const Socket& s : sockets)
        fds.push_back({s.fd, static_cast<short>(POLLIN | (WantsWrite(s.fd) ? POLLOUT : 0)), 0});
}

void BridgeHost::OnWatchesReady(const std::vector<pollfd>& fds) {
    bool accept = false;
    for (const pollfd& f : fds) {
        if (f.revents == 0)
            continue;
        if (f.fd == listenFd)
            accept = true;
        else if (f.revents & (POLLIN | POLLHUP | POLLERR))
            OnReadable(f.fd);
    }
    if (accept)
        OnAcceptReady();
    Flush();
}

}  // namespace corvane
