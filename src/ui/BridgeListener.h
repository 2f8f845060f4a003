#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bridge/BridgeServer.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"

class QSocketNotifier;

namespace corvane {

class BridgeHost;

// A bridge server inside the window: its sockets are watched with socket
// notifiers on the GUI thread, everything else is the shared core.
class BridgeListener : public QObject {
    Q_OBJECT
public:
    // name: the protocol's, for the log ("Videohub server listening on ...").
    BridgeListener(BridgeServer& server, RouterSession& session, const std::string& name,
                   int maxClients, QObject* parent = nullptr);
    ~BridgeListener() override;

    // False (and logged) when the address is bad or taken.
    bool Start(const std::string& where);
    // Writes out what the server has for its clients (after every session
    // refresh by itself; the window calls it after its own changes).
    void Flush();
    int ClientCount() const;
    int Port() const;

    // A client came or went.
    std::function<void()> clientsChanged;

private:
    void Rewatch();

    RouterSession& session_;
    const std::string name_;
    std::unique_ptr<BridgeHost> host_;
    int refreshSubscription_ = 0;
    QSocketNotifier* listenNotifier_ = nullptr;
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    std::map<int, Watch> watches_;
};

// A bridge server (VideohubServer, Swp08Server) served from the window.
template <class Server>
struct WindowBridge {
    WindowBridge(RouterSession& session, AppConfig& config, const std::string& name)
        : server(session, config), listener(server, session, name, Server::kMaxClients) {}
    Server server;
    BridgeListener listener;
};

}  // namespace corvane
