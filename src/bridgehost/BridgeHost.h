#pragma once

#include <poll.h>

#include <functional>
#include <string>
#include <vector>

#include "bridge/BridgeServer.h"

namespace corvane {

class EventLog;

// The sockets of one bridge server: a TCP listener and one non-blocking
// socket per client. Nothing here waits: a client gets what its socket takes
// now, the rest stays in the server's bounded buffer, and a client the server
// gave up on is closed. The owner watches the handles (poll in a loop, or the
// window's socket notifiers) and calls the On* functions on the thread that
// drives the session.
class BridgeHost {
public:
    struct Socket {
        int fd = -1;
        int id = 0;  // the server's client id
    };

    // name is the protocol's, for the log: "Videohub server listening on ...".
    BridgeHost(BridgeServer& server, EventLog& log, std::string name, int backlog);
    ~BridgeHost();
    BridgeHost(const BridgeHost&) = delete;
    BridgeHost& operator=(const BridgeHost&) = delete;

    // "ADDR:PORT", "[v6]:PORT" or "PORT" (on 127.0.0.1). False with error set.
    bool Listen(const std::string& where);
    // Every client, then the listener.
    void Close();

    void OnAcceptReady();
    void OnReadable(int fd);
    // Writes what each client has waiting; closes the clients the server
    // dropped. Call after anything that may have given clients output.
    void Flush();
    bool WantsWrite(int fd) const;

    // For a poll loop: adds the listener and every client (with POLLOUT while
    // output waits), then serves what poll saw: reads first, the newcomer
    // last, so no handle closed in this pass is reused.
    void AddWatches(std::vector<pollfd>& fds) const;
    void OnWatchesReady(const std::vector<pollfd>& fds);

    BridgeServer& server;
    EventLog& log;
    const std::string name;
    const int backlog;
    int listenFd = -1;
    int port = 0;  // the bound port (Listen may ask for 0)
    std::vector<Socket> sockets;
    std::string error;
    // A client came or went (the window updates its count and notifiers).
    std::function<void()> clientsChanged;

private:
    void CloseClient(std::size_t index, const char* why);
};

// Splits "ADDR:PORT", "[v6]:PORT" or "PORT"; port 0..65535. False when malformed.
bool ParseListenAddress(const std::string& where, std::string* address, int* port);

}  // namespace corvane
