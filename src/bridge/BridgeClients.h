#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/EventLog.h"
#include "bridge/BridgeServer.h"
#include "protocol/RouterSession.h"

// What every router-control bridge does the same way, whatever protocol it
// speaks: its clients' places, route requests and locks.

namespace corvane {

// True when the router's routes are known: connected, and a LINK answer read
// since. Until then there is nothing true to tell a client about routes.
bool RoutesKnown(const RouterSession& session);

// A bridge client's route requests, all or none, into the one intended map.
// Refused while no router can confirm them (not connected, or not answering:
// taking them would promise what nobody can keep) and when any output is
// locked against the client.
bool RequestBridgeRoutes(RouterSession& session, const std::vector<RouteChange>& changes,
                         int client);

// A client's lock request on one output, applied to its owner (0 none,
// kOperator the window's protect, else a client). Owning and releasing work on
// a free output or the client's own; forcing breaks another client's lock but
// never the window's protect, which is the operator's.
enum class LockRequest { Own, Release, Force };
bool ApplyLockRequest(int& owner, int client, LockRequest request);

// What a bridge keeps of every client.
struct BridgeClient {
    int id = 0;
    std::string peer;                             // where it connected from, for messages
    std::string out;                              // waiting for the socket
    bool drop = false;                            // given up on: the host closes it
    std::chrono::steady_clock::time_point heard;  // it last spoke, or came
};

// One bridge's clients (Client derives from BridgeClient) and the rules every
// bridge keeps for them: at most kMaxClients; when all places are taken, the
// client silent longest gives way to a newcomer once it has been silent for
// kIdleGrace (monitors that only read keep their place while there is room);
// a client that stops reading is dropped once kMaxOutput bytes wait for it;
// its locks end when it leaves. Ids come from the routing map, so they are
// unique across bridges. It follows the session: after every refresh, Sync
// tells the clients what changed.
template <class Client>
class BridgeClients : public BridgeServer {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMaxClients = 16;
    static constexpr Clock::duration kIdleGrace = std::chrono::seconds(10);
    static constexpr std::size_t kMaxOutput = 256 * 1024;

    BridgeClients(RouterSession& session, const char* protocol)
        : session(session), protocol_(protocol) {
        refreshSubscription_ = session.onRefresh.Subscribe([this] { Sync(); });
    }
    ~BridgeClients() override { session.onRefresh.Unsubscribe(refreshSubscription_); }
    BridgeClients(const BridgeClients&) = delete;
    BridgeClients& operator=(const BridgeClients&) = delete;

    // A new client (the protocol's greeting queued), or 0 when there is no
    // place for it.
    virtual int AddClient(const std::string& peer) = 0;
    // Forgets the client and ends its locks, telling the others.
    void RemoveClient(int id, const char* why = "disconnected") {
        if (Forget(id, why))
            Sync();
    }
    // What one wake-up read from the client, answered.
    virtual void Feed(int id, const char* bytes, std::size_t count) = 0;
    // Tells every client what changed since it was last told.
    virtual void Sync() = 0;

    // What the socket host calls.
    int OnConnect(const std::string& peer) override { return AddClient(peer); }
    void OnBytes(int id, const char* bytes, std::size_t count) override { Feed(id, bytes, count); }
    void OnClose(int id, const char* why) override { RemoveClient(id, why); }

    std::string* PendingOutput(int id) override {
        Client* client = Find(id);
        return client != nullptr && !client->drop ? &client->out : nullptr;
    }

    Client* Find(int id) {
        for (Client& client : clients) {
            if (client.id == id)
                return &client;
        }
        return nullptr;
    }

    RouterSession& session;
    std::vector<Client> clients;
    // Called after a client changed a lock or a name (the window repaints).
    std::function<void()> changed;
    // What kIdleGrace is measured by; tests set a clock of their own.
    std::function<Clock::time_point()> clock = Clock::now;

protected:
    // A new client, or nullptr when there is no place for it (logged).
    Client* Admit(const std::string& peer) {
        const auto staying =
            std::count_if(clients.begin(), clients.end(), [](const Client& c) { return !c.drop; });
        if (staying >= kMaxClients && !MakeRoom(peer)) {
            session.log.LogEvent(
                true, true, "%s client from %s refused: %d connected already, none silent for %d s",
                protocol_, peer.c_str(), kMaxClients, Seconds(kIdleGrace));
            return nullptr;
        }
        Client& client = clients.emplace_back();
        client.id = session.routing.AddClient(protocol_);
        client.heard = clock();
        client.peer = peer;
        session.log.LogEvent(true, true, "%s client %d connected from %s", protocol_, client.id,
                             peer.c_str());
        return &client;
    }

    // Forgets the client; true when locks of its ended (the caller tells the
    // others).
    bool Forget(int id, const char* why) {
        const auto it = std::find_if(clients.begin(), clients.end(),
                                     [id](const Client& c) { return c.id == id; });
        if (it == clients.end())
            return false;
        clients.erase(it);
        session.log.LogEvent(true, true, "%s client %d %s", protocol_, id, why);
        const bool released = session.routing.RemoveClient(id);
        if (released && changed)
            changed();
        return released;
    }

    void Send(Client& client, std::string_view bytes) {
        if (client.drop)
            return;
        if (client.out.size() + bytes.size() > kMaxOutput) {
            client.drop = true;
            client.out.clear();
            session.log.LogEvent(true, true, "%s client %d dropped: it stopped reading", protocol_,
                                 client.id);
            return;
        }
        client.out += bytes;
    }

private:
    static int Seconds(Clock::duration d) {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(d).count());
    }

    // Sockets left open by a panel that lost power, or opened and never used,
    // must not keep a real panel out.
    bool MakeRoom(const std::string& peer) {
        Client* silent = nullptr;
        for (Client& c : clients) {
            if (!c.drop && (silent == nullptr || c.heard < silent->heard))
                silent = &c;
        }
        const Clock::time_point now = clock();
        if (silent == nullptr || now - silent->heard < kIdleGrace)
            return false;
        silent->drop = true;
        silent->out.clear();
        session.log.LogEvent(true, true, "%s client %d gave way to %s: silent for %d s", protocol_,
                             silent->id, peer.c_str(), Seconds(now - silent->heard));
        return true;
    }

    const char* protocol_;
    int refreshSubscription_ = 0;
};

}  // namespace corvane
