#pragma once

#include <functional>
#include <memory>
#include <string>

#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "transport/SerialLink.h"
#include "transport/UdpLink.h"

namespace corvane {

// Opens and closes the link chosen in the settings, logs every step and keeps
// connectionStatus. A link that fails is opened again every few seconds until
// it works or the user disconnects. Shared by the GUI and the command-line
// client; the owner drives it from one thread.
class Connection {
public:
    Connection(RouterSession& session, AppConfig& config);
    ~Connection();

    // Opens the link. After a failure it opens it again at once; while a link
    // is open it changes nothing.
    void Connect();
    // Closes the link and forgets the connection; no more attempts.
    void Disconnect();
    // Once per tick, after the session's: a failed link is opened again every
    // kRetryTicks while config.reconnect is on, with one log line for the
    // failure and one when the router answers again; the attempts in between
    // leave nothing in the log.
    void OnTick();
    // In a failure episode: attempts are being made.
    bool Retrying() const { return retrying_; }
    void OnUdpClose();
    // Drains what the watcher has put into the ring (on the watcher's Received).
    void OnSerialData();
    // Reads one datagram (when the UDP socket is readable).
    void OnUdpData();
    // The watcher saw the device go away: logged, shown as Connection Failed.
    // A late notice for a port that has been closed since is ignored.
    void OnSerialHangup();
    // The ring filled up and the watcher is waiting for room: logged.
    void OnSerialOverrun();

    RouterSession& session;
    AppConfig& config;
    SerialLink serialLink;
    std::unique_ptr<UdpLink> udpLink;

    // A message the user must see (a message box in the GUI).
    std::function<void(const std::string&)> showMessage;
    // The UDP socket came or went: the owner starts or stops watching it.
    // Called with the link once it is connected, and with nullptr just before
    // a link announced that way is destroyed.
    std::function<void(UdpLink*)> udpLinkChanged;

private:
    bool OpenLink();
    void CloseLink();
    void Failed();
    std::string LinkName() const;

    bool retrying_ = false;
    int retryCountdown_ = 0;
};

}  // namespace corvane
