#pragma once

#include <cstddef>
#include <string>

namespace corvane {

// A bridge protocol server as its socket host drives it (src/bridgehost):
// bytes in, bytes out, one id per client. The Videohub server and every other
// bridge implement it, so one host serves them all.
class BridgeServer {
public:
    virtual ~BridgeServer() = default;
    // A client connected from peer ("address:port", for the log): its id, or
    // 0 to turn it away (the host then closes it).
    virtual int OnConnect(const std::string& peer) = 0;
    // What one wake-up read from the client, in one call.
    virtual void OnBytes(int id, const char* bytes, std::size_t count) = 0;
    // The bytes waiting for the client's socket; the host erases what it
    // sent. nullptr once the server gave up on the client: the host closes it.
    virtual std::string* PendingOutput(int id) = 0;
    // The client's socket is closed; why is for the log.
    virtual void OnClose(int id, const char* why) = 0;
};

}  // namespace corvane
