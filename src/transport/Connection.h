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
// connectionStatus. Shared by the GUI and the command-line client; the owner
// drives it from one thread.
class Connection {
public:
    Connection(RouterSession& session, AppConfig& config);
    ~Connection();

    void Connect();
    void Disconnect();
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
};

}  // namespace corvane
