#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/BridgeClients.h"
#include "bridge/Swp08Frame.h"
#include "settings/AppConfig.h"

namespace corvane {

// The SW-P-08 messages served, by command byte.
namespace swp08 {
inline constexpr std::uint8_t kCrosspointInterrogate = 0x01, kCrosspointConnect = 0x02,
                              kCrosspointTally = 0x03, kCrosspointConnected = 0x04,
                              kDualStatusRequest = 0x08, kDualStatus = 0x09,
                              kProtectInterrogate = 0x0A, kProtectTally = 0x0B,
                              kProtectConnect = 0x0C, kProtectConnected = 0x0D,
                              kProtectDisconnect = 0x0E, kProtectDisconnected = 0x0F,
                              kTallyDumpRequest = 0x15, kTallyDump = 0x16,
                              kImplementationRequest = 0x61, kImplementation = 0x62,
                              kSourceNamesRequest = 0x64, kSourceNameRequest = 0x65,
                              kDestNamesRequest = 0x66, kDestNameRequest = 0x67,
                              kSourceNames = 0x6A, kDestNames = 0x6B;
// Protect states in a protect tally: a client's lock, and the window's
// protect, which no client can lift.
inline constexpr std::uint8_t kNotProtected = 0, kProtected = 1, kOverrideProtected = 2;
}  // namespace swp08

struct Swp08Client : BridgeClient {
    Swp08Reader reader;
    int device = 0;  // the device number of its last protect request
    // Its connects the router has not answered yet: the input asked for
    // (0 none), kNoRoute where none waits.
    int asked[kChannelTableSize];
};

// The SW-P-08 protocol served over our router, without sockets, as the
// Videohub server is: a host feeds each client's bytes in and writes each
// client's `out` to its socket. The router is matrix 0, level 0, with the 16
// inputs and the park source after them as sources and the 16 outputs as
// destinations; messages for any other matrix or level are acknowledged and
// otherwise ignored. Connects go into the one intended map; CONNECTED goes to
// every client when the router's answers show a destination's source changed,
// whoever changed it.
class Swp08Server : public BridgeClients<Swp08Client> {
public:
    using Client = Swp08Client;

    // Data per message, command byte included, that every client takes.
    static constexpr std::size_t kMaxData = 128;

    Swp08Server(RouterSession& session, AppConfig& config);

    // A new client, or 0 when there is no place for it (the host closes it).
    int AddClient(const std::string& peer) override;
    // Acknowledges and answers every message in the bytes, in order.
    void Feed(int id, const char* bytes, std::size_t count) override;
    // Tells every client what the router's answers changed (CONNECTED) and
    // what protects changed; answers the connects the router has answered.
    // Call after every parsed router answer and after the window changed
    // protect.
    void Sync() override;

    AppConfig& config;

    static constexpr int kUntold = -2;

private:
    void Handle(Client& client, std::string_view m);
    void Connect(Client& client, int output, int source);
    void Protect(Client& client, int output, int device, bool on);
    void SendNames(Client& client, bool sources, int address, int lengthCode, int first, int count);
    // The source number an output (1..16) shows: an output with no input
    // shows the park source.
    int Source(int output) const;
    // A crosspoint or protect message about one output.
    std::string Crosspoint(std::uint8_t command, int output) const;
    std::string ProtectState(std::uint8_t command, int output);
    // Tells every client of a protect that changed; false if none did.
    bool TellOwner(int output);
    void SendMessage(Client& client, std::string_view data);
    void Broadcast(std::string_view data);

    int toldRoutes_[kChannelTableSize];  // as every client was last told
    int toldOwners_[kChannelTableSize];
};

}  // namespace corvane
