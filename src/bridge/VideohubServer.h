#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bridge/BridgeClients.h"
#include "settings/AppConfig.h"

namespace corvane {

// What the Videohub server keeps of a client besides what every bridge keeps.
struct VideohubClient : BridgeClient {
    std::string partial;  // the line being received
    std::vector<std::string> block;
    bool badBlock = false;  // a line or the block was too long
    // What this client was last told; kUntold before the first time.
    int route[kChannelTableSize];
    char lock[kChannelTableSize] = {};
    std::string inputLabel[kChannelTableSize];
    std::string outputLabel[kChannelTableSize];
};

// The Videohub Ethernet protocol served over our router, without sockets: a
// host feeds each client's bytes in and writes each client's `out` to its
// socket. Routes go through the session's intended map; what clients are told
// about routes is only what the router's answers confirmed. It follows the
// session itself: after every refresh it tells its clients what changed.
class VideohubServer : public BridgeClients<VideohubClient> {
public:
    using Client = VideohubClient;

    static constexpr std::size_t kMaxLine = 1024;
    static constexpr int kMaxBlockLines = 64;
    // config.ini gives back this many bytes of a channel name.
    static constexpr std::size_t kMaxLabel = 15;

    VideohubServer(RouterSession& session, AppConfig& config);

    // A new client with its status dump queued. When kMaxClients are
    // connected already, the one silent longest gives way if it has been
    // silent for kIdleGrace (it is dropped); otherwise 0 (the host closes the
    // newcomer). peer is for the log.
    int AddClient(const std::string& peer) override;
    // Parses, answers every complete block with one ACK or NAK, in order.
    // Feed what one wake-up read in one call: renames are saved once per call.
    void Feed(int id, const char* bytes, std::size_t count) override;
    // Tells every client what changed since it was last told: routes the
    // router confirmed, locks, labels. Call after every parsed router answer
    // and after the window changed protect or names.
    void Sync() override;

    AppConfig& config;
    std::string friendlyName = "Corvane";  // 8-bit, like the names
    std::string configPath = kConfigPath;

    static constexpr int kUntold = -2;

private:
    void Answer(Client& client);
    bool Route(Client& client);
    bool Labels(Client& client, bool inputs);
    bool Locks(Client& client);
    void SaveNames(Client& client);
    bool Query(Client& client, const std::string& header);
    void SendRoutes(Client& client, bool all);
    void SendLocks(Client& client, bool all);
    void SendLabels(Client& client, bool inputs, bool all);
    char LockFor(const Client& client, int output) const;
    std::string DeviceBlock() const;
    std::string UniqueId() const;

    int routes_[kChannelTableSize] = {};  // last confirmed while connected
    bool routesKnown_ = false;
    // Renames of the current Feed, saved at its end.
    int renamedBlocks_ = 0;
    std::vector<std::size_t> renameAnswers_;  // where their ACKs are in out
    std::string namesBefore_[2][kChannelTableSize];
};

}  // namespace corvane
