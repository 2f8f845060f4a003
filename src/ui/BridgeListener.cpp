#include "ui/BridgeListener.h"

#include <QSocketNotifier>
#include <set>

#include "base/EventLog.h"
#ifndef _WIN32
#include "bridgehost/BridgeHost.h"
#endif

namespace corvane {

#ifndef _WIN32

BridgeListener::BridgeListener(BridgeServer& server, RouterSession& session,
                               const std::string& name, int maxClients, QObject* parent)
    : QObject(parent),
      session_(session),
      name_(name),
      host_(std::make_unique<BridgeHost>(server, session.log, name, maxClients)) {
    host_->clientsChanged = [this] {
        if (clientsChanged)
            clientsChanged();
    };
    // After the server's own subscription: what it said goes out at once.
    refreshSubscription_ = session.onRefresh.Subscribe([this] { Flush(); });
}

BridgeListener::~BridgeListener() {
    session_.onRefresh.Unsubscribe(refreshSubscription_);
    host_->clientsChanged = nullptr;
    host_->Close();
}

bool BridgeListener::Start(const std::string& where) {
    if (!host_->Listen(where)) {
        session_.log.LogEvent(true, true, "%s server off: %s", name_.c_str(), host_->error.c_str());
        return false;
    }
    listenNotifier_ = new QSocketNotifier(host_->listenFd, QSocketNotifier::Read, this);
    connect(listenNotifier_, &QSocketNotifier::activated, this, [this] {
        host_->OnAcceptReady();
        Rewatch();
    });
    return true;
}

void BridgeListener::Flush() {
    host_->Flush();
    Rewatch();
}

int BridgeListener::ClientCount() const {
    return static_cast<int>(host_->sockets.size());
}

int BridgeListener::Port() const {
    return host_->port;
}

void BridgeListener::Rewatch() {
    std::set<int> open;
    for (const BridgeHost::Socket& s : host_->sockets)
        open.insert(s.fd);
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (open.count(it->first)) {
            ++it;
            continue;
        }
        // Possibly inside its own signal: switch off now, delete later.
        for (QSocketNotifier* n : {it->second.read, it->second.write}) {
            n->setEnabled(false);
            n->deleteLater();
        }
        it = watches_.erase(it);
    }
    for (int fd : open) {
        Watch& w = watches_[fd];
        if (w.read == nullptr) {
            w.read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(w.read, &QSocketNotifier::activated, this, [this, fd] {
                host_->OnReadable(fd);
                Rewatch();
            });
            w.write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(w.write, &QSocketNotifier::activated, this, [this] {
                host_->Flush();
                Rewatch();
            });
        }
        // Only while something waits, or it would fire all the time.
        w.write->setEnabled(host_->WantsWrite(fd));
    }
}

#else  // The socket host is POSIX only so far.

BridgeListener::BridgeListener(BridgeServer&, RouterSession& session, const std::string& name, int,
                               QObject* parent)
    : QObject(parent), session_(session), name_(name) {}
BridgeListener::~BridgeListener() = default;
bool BridgeListener::Start(const std::string&) {
    session_.log.LogEvent(true, true, "%s server off: not built for Windows yet", name_.c_str());
    return false;
}
void BridgeListener::Flush() {}
int BridgeListener::ClientCount() const {
    return 0;
}
int BridgeListener::Port() const {
    return 0;
}
void BridgeListener::Rewatch() {}

#endif

}  // namespace corvane
