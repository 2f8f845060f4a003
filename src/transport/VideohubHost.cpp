#include "transport/VideohubHost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "settings/EventLog.h"

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
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(digits);
    if (value > 65535)
        return false;
    *address = host;
    *port = value;
    return true;
}

VideohubHost::VideohubHost(VideohubServer& server) : server(server) {}

VideohubHost::~VideohubHost() {
    Close();
}

bool VideohubHost::Listen(const std::string& where) {
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
        listen(s, VideohubServer::kMaxClients) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        if (s >= 0)
            close(s);
        return false;
    }
    listenFd = s;
    port = ntohs(local.ss_family == AF_INET ? v4.sin_port : v6.sin6_port);
    server.session.log.LogEvent(true, true, "Videohub server listening on %s port %d", host.c_str(),
                                port);
    return true;
}

void VideohubHost::Close() {
    while (!sockets.empty())
        CloseClient(sockets.size() - 1, "closed by the server");
    if (listenFd >= 0) {
        close(listenFd);
        listenFd = -1;
        server.session.log.LogEvent(true, true, "Videohub server stopped");
    }
}

void VideohubHost::OnAcceptReady() {
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
    const int id = server.AddClient(PeerText(peer));
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

void VideohubHost::OnReadable(int fd) {
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
        server.Feed(sockets[i].id, bytes.data(), bytes.size());
        if (closed)
            CloseClient(i, "disconnected");
        break;
    }
    Flush();
}

void VideohubHost::Flush() {
    for (std::size_t i = 0; i < sockets.size();) {
        VideohubServer::Client* client = server.Find(sockets[i].id);
        if (client == nullptr || client->drop) {
            CloseClient(i, "closed by the server");
            i = 0;  // closing may have given the others output
            continue;
        }
        bool failed = false;
        while (!client->out.empty()) {
            const ssize_t sent = send(sockets[i].fd, client->out.data(), client->out.size(),
                                      MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                client->out.erase(0, static_cast<std::size_t>(sent));
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

bool VideohubHost::WantsWrite(int fd) const {
    for (const Socket& s : sockets) {
        if (s.fd == fd) {
            const VideohubServer::Client* client = server.Find(s.id);
            return client != nullptr && !client->out.empty();
        }
    }
    return false;
}

void VideohubHost::CloseClient(std::size_t index, const char* why) {
    const Socket gone = sockets[index];
    sockets.erase(sockets.begin() + static_cast<std::ptrdiff_t>(index));
    close(gone.fd);
    server.RemoveClient(gone.id, why);
    if (clientsChanged)
        clientsChanged();
}

}  // namespace corvane
