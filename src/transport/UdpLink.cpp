#ifndef _WIN32

#include "transport/UdpLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace corvane {

void UdpLink::Close() {
    if (socket_ >= 0)
        close(socket_);
    socket_ = -1;
}

LinkResult UdpLink::Create(int localPort) {
    if (socket_ >= 0)
        close(socket_);
    socket_ = -1;
    if (localPort < 0 || localPort > 65535) {
        lastError = EINVAL;
        return LinkResult::kInvalidArgument;
    }
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) {
        lastError = errno;
        return LinkResult::kFailed;
    }
    fcntl(s, F_SETFD, FD_CLOEXEC);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<std::uint16_t>(localPort));
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) != 0) {
        lastError = errno;
        close(s);
        return LinkResult::kFailed;
    }
    socket_ = s;
    lastError = 0;
    return LinkResult::kOk;
}

LinkResult UdpLink::Connect(const std::string& address, int port) {
    if (socket_ < 0) {
        lastError = EBADF;
        return LinkResult::kInvalidArgument;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (port < 0 || port > 65535 || inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        lastError = EINVAL;
        return LinkResult::kInvalidArgument;
    }
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        lastError = errno;
        return LinkResult::kFailed;
    }
    lastError = 0;
    return LinkResult::kOk;
}

int UdpLink::Write(const void* bytes, std::size_t length) {
    if (socket_ < 0) {
        lastError = EBADF;
        return 0;
    }
    ssize_t n;
    do {
        n = send(socket_, bytes, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        lastError = errno;
        return 0;
    }
    return static_cast<int>(n);
}

int UdpLink::ReceiveFrom(void* buffer, int size) {
    if (socket_ < 0 || size < 0) {
        lastError = socket_ < 0 ? EBADF : EINVAL;
        return -1;
    }
    iovec part{buffer, static_cast<std::size_t>(size)};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t n;
    do {
        n = recvmsg(socket_, &message, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            lastError = 0;
            return 0;
        }
        lastError = errno;
        return -1;
    }
    if (message.msg_flags & MSG_TRUNC) {
        lastError = EMSGSIZE;
        return -1;
    }
    return static_cast<int>(n);
}

}  // namespace corvane

#endif  // _WIN32
