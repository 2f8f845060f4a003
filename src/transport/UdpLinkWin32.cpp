// The UDP link on Windows Sockets.
#ifdef _WIN32

#include <winsock2.h>
#include <ws2tcpip.h>

#include "transport/UdpLink.h"

namespace corvane {

namespace {

// Started once for the process; the sockets layer stays up until it ends.
bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET AsSocket(int handle) {
    return handle < 0 ? INVALID_SOCKET : static_cast<SOCKET>(handle);
}

bool ValidPort(int port) {
    return port >= 0 && port <= 65535;
}

}  // namespace

void UdpLink::Close() {
    if (socket_ >= 0)
        closesocket(AsSocket(socket_));
    socket_ = -1;
}

LinkResult UdpLink::Create(int localPort) {
    if (!StartSockets()) {
        lastError = WSANOTINITIALISED;
        return LinkResult::kFailed;
    }
    // A port from a damaged config.ini must not wrap round to another one.
    if (!ValidPort(localPort)) {
        lastError = WSAEINVAL;
        return LinkResult::kInvalidArgument;
    }
    if (socket_ >= 0) {
        closesocket(AsSocket(socket_));
        socket_ = -1;
    }
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        lastError = WSAGetLastError();
        return LinkResult::kFailed;
    }
    u_long nonBlocking = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<u_short>(localPort));
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        lastError = WSAGetLastError();
        closesocket(s);
        return LinkResult::kFailed;
    }
    // Socket handles are small kernel handle values; they fit an int.
    socket_ = static_cast<int>(s);
    lastError = 0;
    return LinkResult::kOk;
}

LinkResult UdpLink::Connect(const std::string& address, int port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (socket_ < 0 || !ValidPort(port) ||
        inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        lastError = WSAEINVAL;
        return LinkResult::kInvalidArgument;
    }
    peer.sin_port = htons(static_cast<u_short>(port));
    if (connect(AsSocket(socket_), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        lastError = WSAGetLastError();
        return LinkResult::kFailed;
    }
    lastError = 0;
    return LinkResult::kOk;
}

int UdpLink::Write(const void* bytes, std::size_t length) {
    if (socket_ < 0)
        return 0;
    const int sent =
        send(AsSocket(socket_), static_cast<const char*>(bytes), static_cast<int>(length), 0);
    if (sent == SOCKET_ERROR) {
        lastError = WSAGetLastError();
        return 0;
    }
    return sent;
}

int UdpLink::ReceiveFrom(void* buffer, int size) {
    if (socket_ < 0 || size < 0)
        return -1;
    // A longer datagram fails with WSAEMSGSIZE; a router port nobody listens
    // on shows up as WSAECONNRESET.
    const int got = recv(AsSocket(socket_), static_cast<char*>(buffer), size, 0);
    if (got == SOCKET_ERROR) {
        lastError = WSAGetLastError();
        if (lastError == WSAEWOULDBLOCK) {
            lastError = 0;  // nothing waiting is no error
            return 0;
        }
        return -1;
    }
    lastError = 0;
    return got;
}

}  // namespace corvane

#endif  // _WIN32
