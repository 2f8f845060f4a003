#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bridge/VideohubServer.h"

namespace corvane {

// The sockets of the Videohub server: a TCP listener and one non-blocking
// socket per client. Nothing here waits: a client gets what its socket takes
// now, the rest stays in its bounded buffer, and a client the server gave up
// on is closed. The owner watches the handles and calls the On* functions on
// the thread that drives the session.
class VideohubHost {
public:
    struct Socket {
        int fd = -1;
        int id = 0;  // the server's client id
    };

    explicit VideohubHost(VideohubServer& server);
    ~VideohubHost();
    VideohubHost(const VideohubHost&) = delete;
    VideohubHost& operator=(const VideohubHost&) = delete;

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

    VideohubServer& server;
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
