#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "bridge/BridgeServer.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"

namespace corvane {

class EventLog;

// The Videohub Ethernet protocol served over our router, without sockets: a
// host feeds each client's bytes in and writes each client's `out` to its
// socket. Routes go through the session's intended map; what clients are told
// about routes is only what the router's answers confirmed. It follows the
// session itself: after every refresh it tells its clients what changed.
class VideohubServer : public BridgeServer {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMaxClients = 16;
    // When every place is taken, a client that has sent no complete block for
    // this long gives way to a newcomer (the longest silent first).
    static constexpr Clock::duration kIdleGrace = std::chrono::seconds(10);
    static constexpr std::size_t kMaxOutput = 256 * 1024;
    static constexpr std::size_t kMaxLine = 1024;
    static constexpr int kMaxBlockLines = 64;
    // config.ini gives back this many bytes of a channel name.
    static constexpr std::size_t kMaxLabel = 15;

    struct Client {
        int id = 0;
        std::string peer;         // where it connected from, for messages
        std::string out;          // waiting for the socket
        bool drop = false;        // given up on: the host closes it
        Clock::time_point heard;  // its last complete block, or when it came
        std::string partial;      // the line being received
        std::vector<std::string> block;
        bool badBlock = false;  // a line or the block was too long
        // What this client was last told; kUntold before the first time.
        int route[kChannelTableSize];
        char lock[kChannelTableSize] = {};
        std::string inputLabel[kChannelTableSize];
        std::string outputLabel[kChannelTableSize];
    };

    VideohubServer(RouterSession& session, AppConfig& config);
    ~VideohubServer() override;
    VideohubServer(const VideohubServer&) = delete;
    VideohubServer& operator=(const VideohubServer&) = delete;

    // A new client with its status dump queued. When kMaxClients are
    // connected already, the one silent longest gives way if it has been
    // silent for kIdleGrace (it is dropped); otherwise 0 (the host closes the
    // newcomer). peer is for the log.
    int AddClient(const std::string& peer);
    // Ends the client's locks; a half-received block is forgotten.
    void RemoveClient(int id, const char* why = "disconnected");
    // Parses, answers every complete block with one ACK or NAK, in order.
    // Feed what one wake-up read in one call: renames are saved once per call.
    void Feed(int id, const char* bytes, std::size_t count);
    // Tells every client what changed since it was last told: routes the
    // router confirmed, locks, labels. Call after every parsed router answer
    // and after the window changed protect or names.
    void Sync();

    Client* Find(int id);

    // What the socket host calls.
    int OnConnect(const std::string& peer) override { return AddClient(peer); }
    void OnBytes(int id, const char* bytes, std::size_t count) override { Feed(id, bytes, count); }
    std::string* PendingOutput(int id) override;
    void OnClose(int id, const char* why) override { RemoveClient(id, why); }

    RouterSession& session;
    AppConfig& config;
    std::vector<Client> clients;
    std::string friendlyName = "Corvane";  // 8-bit, like the names
    std::string configPath = kConfigPath;
    // Called after a client renamed a channel or changed a lock (the window
    // repaints).
    std::function<void()> changed;
    // What kIdleGrace is measured by; tests set a clock of their own.
    std::function<Clock::time_point()> clock = Clock::now;

    static constexpr int kUntold = -2;

private:
    void Answer(Client& client);
    bool Route(Client& client);
    bool Labels(Client& client, bool inputs);
    bool Locks(Client& client);
    void SaveNames(Client& client);
    bool Query(Client& client, const std::string& header);
    void Send(Client& client, const std::string& text);
    void SendRoutes(Client& client, bool all);
    void SendLocks(Client& client, bool all);
    void SendLabels(Client& client, bool inputs, bool all);
    bool RoutesKnown() const;
    bool MakeRoom(const std::string& peer);
    char LockFor(const Client& client, int output) const;
    std::string DeviceBlock() const;
    std::string UniqueId() const;

    int refreshSubscription_ = 0;
    int nextId_ = kFirstClient;
    int routes_[kChannelTableSize] = {};  // last confirmed while connected
    bool routesKnown_ = false;
    // Renames of the current Feed, saved at its end.
    int renamedBlocks_ = 0;
    std::vector<std::size_t> renameAnswers_;  // where their ACKs are in out
    std::string namesBefore_[2][kChannelTableSize];
};

}  // namespace corvane
