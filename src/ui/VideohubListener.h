#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bridge/VideohubServer.h"

class QSocketNotifier;

namespace corvane {

class BridgeHost;

// The Videohub server inside the window: the sockets are watched with socket
// notifiers on the GUI thread, everything else is the shared core.
class VideohubListener : public QObject {
    Q_OBJECT
public:
    VideohubListener(RouterSession& session, AppConfig& config, QObject* parent = nullptr);
    ~VideohubListener() override;

    // False (and logged) when the address is bad or taken.
    bool Start(const std::string& where);
    // Tells the clients what changed and writes it out (after every session
    // refresh by itself; the window calls it after its own changes).
    void Sync();
    int ClientCount() const;
    int Port() const;

    VideohubServer server;
    // A client came or went, renamed a channel or changed a lock.
    std::function<void()> changed;

private:
    void Rewatch();

    std::unique_ptr<BridgeHost> host_;
    int refreshSubscription_ = 0;
    QSocketNotifier* listenNotifier_ = nullptr;
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    std::map<int, Watch> watches_;
};

}  // namespace corvane
