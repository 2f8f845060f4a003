#include "ui/VideohubListener.h"

#include <QSocketNotifier>
#include <set>

#include "base/EventLog.h"
#ifndef _WIN32
#include "bridgehost/BridgeHost.h"
#endif

namespace corvane {

#ifndef _WIN32

VideohubListener::VideohubListener(RouterSession& session, AppConfig& config, QObject* parent)
    : QObject(parent),
      server(session, config),
      host_(std::make_unique<BridgeHost>(server, session.log, "Videohub",
                                         VideohubServer::kMaxClients)) {
    server.changed = [this] {
        if (changed)
            changed();
    };
    host_->clientsChanged = server.changed;
    // After the server's own subscription: what it said goes out at once.
    refreshSubscription_ = session.onRefresh.Subscribe([this] {
        host_->Flush();
        Rewatch();
    });
}

VideohubListener::~VideohubListener() {
    server.session.onRefresh.Unsubscribe(refreshSubscription_);
    server.changed = nullptr;
    host_->clientsChanged = nullptr;
    host_->Close();
}

bool VideohubListener::Start(const std::string& where) {
    if (!host_->Listen(where)) {
        server.session.log.LogEvent(true, true, "Videohub server off: %s", host_->error.c_str());
        return false;
    }
    listenNotifier_ = new QSocketNotifier(host_->listenFd, QSocketNotifier::Read, this);
    connect(listenNotifier_, &QSocketNotifier::activated, this, [this] {
        host_->OnAcceptReady();
        Rewatch();
    });
    return true;
}

void VideohubListener::Sync() {
    server.Sync();
    host_->Flush();
    Rewatch();
}

int VideohubListener::ClientCount() const {
    return static_cast<int>(host_->sockets.size());
}

int VideohubListener::Port() const {
    return host_->port;
}

void VideohubListener::Rewatch() {
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

VideohubListener::VideohubListener(RouterSession& session, AppConfig& config, QObject* parent)
    : QObject(parent), server(session, config) {}
VideohubListener::~VideohubListener() = default;
bool VideohubListener::Start(const std::string&) {
    server.session.log.LogEvent(true, true, "Videohub server off: not built for Windows yet");
    return false;
}
void VideohubListener::Sync() {}
int VideohubListener::ClientCount() const {
    return 0;
}
int VideohubListener::Port() const {
    return 0;
}
void VideohubListener::Rewatch() {}

#endif

}  // namespace corvane
