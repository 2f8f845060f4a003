#pragma once

#include <cstddef>
#include <string>

#include "protocol/RouterSession.h"

namespace corvane {

// A datagram socket bound to a local port on any address and connected to the
// router, so that only the router's datagrams are accepted. The owner watches
// Handle() for readability and calls ReceiveFrom once per notification.
class UdpLink : public Link {
public:
    UdpLink() = default;
    ~UdpLink() override;
    UdpLink(const UdpLink&) = delete;
    UdpLink& operator=(const UdpLink&) = delete;

    // Ports outside 0..65535 fail with the platform's invalid-argument code.
    bool Create(int localPort);
    // address is dotted IPv4 text; nothing is sent.
    bool Connect(const std::string& address, int port);
    // One datagram; the bytes sent, 0 on failure (lastError says why).
    int Write(const void* bytes, std::size_t length) override;
    // One datagram of at most size bytes; -1 on error, which includes a
    // datagram longer than size (it is consumed) and a refused earlier send.
    // 0 with lastError 0 when nothing was waiting after all.
    int ReceiveFrom(void* buffer, int size);

    int Handle() const { return socket_; }
    int lastError = 0;  // platform error code of the last failed call

private:
    int socket_ = -1;
};

}  // namespace corvane
