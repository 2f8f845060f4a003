#pragma once

#include <cstddef>
#include <string>

#include "transport/Link.h"

namespace corvane {

// A datagram socket bound to a local port on any address and connected to the
// router, so that only the router's datagrams are accepted. The owner watches
// Handle() for readability and calls ReceiveFrom once per notification.
class UdpLink : public Link {
public:
    UdpLink() = default;
    ~UdpLink() override { Close(); }
    UdpLink(const UdpLink&) = delete;
    UdpLink& operator=(const UdpLink&) = delete;

    // Ports outside 0..65535 are kInvalidArgument, with the platform's
    // invalid-argument code in lastError.
    LinkResult Create(int localPort);
    // address is dotted IPv4 text; nothing is sent.
    LinkResult Connect(const std::string& address, int port);
    void Close() override;
    bool IsOpen() const override { return socket_ >= 0; }
    // One datagram; the bytes sent, 0 on failure (lastError says why).
    int Write(const void* bytes, std::size_t length) override;
    // One datagram of at most size bytes; -1 on error, which includes a
    // datagram longer than size (it is consumed) and a refused earlier send.
    // 0 with lastError 0 when nothing was waiting after all.
    int ReceiveFrom(void* buffer, int size);

    int Handle() const { return socket_; }

private:
    int socket_ = -1;
};

}  // namespace corvane
