#pragma once

#include <cstddef>

namespace corvane {

// Where the session's bytes for the router go: the open link, whichever kind
// the transport opened. The protocol knows nothing more of a link.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Never waits for the device: returns the bytes taken now, which for the
    // serial port may be only the first part (or none) of them; the UDP link
    // sends them as one datagram. 0 when nothing was taken.
    virtual int Write(const void* bytes, std::size_t length) = 0;
};

}  // namespace corvane
