#pragma once

#include "protocol/ByteSink.h"

namespace corvane {

// How a link operation ended: one code for both links, as libserialport has
// it; a failure keeps the operating system's own code in Link::lastError.
enum class LinkResult {
    kOk,
    kInvalidArgument,  // a setting the link cannot take: speed, data bits, port, address
    kBusy,             // the port is held by another program (or another Corvane)
    kFailed,           // the operating system refused; lastError says why
};

// The open connection to the router: the serial port or the UDP socket. Each
// opens with settings of its own kind, so opening is not part of this.
class Link : public ByteSink {
public:
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // errno, GetLastError or WSAGetLastError of the last failure; a bad
    // setting gives the platform's invalid-argument code.
    int lastError = 0;
};

}  // namespace corvane
