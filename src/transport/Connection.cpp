#include "transport/Connection.h"

#include <climits>
#include <cstdint>

#include "settings/EventLog.h"

namespace corvane {

namespace {

constexpr int kUdpLocalPortOffset = 10;
constexpr int kDatagramSize = 256;
// The router's line format, fixed: 8 data bits, one stop bit, no parity.
constexpr int kDataBits = 8;

}  // namespace

Connection::Connection(RouterSession& session, AppConfig& config)
    : session(session), config(config) {}

Connection::~Connection() {
    // Stop the watcher before the callbacks it might use go away.
    serialLink.Close();
    if (session.activeLink == &serialLink || session.activeLink == udpLink.get())
        session.activeLink = nullptr;
}

void Connection::Connect() {
    if (session.connectionStatus == kDisconnected) {
        EventLog& log = session.log;
        if (!config.useSerial) {
            // A port near INT_MAX from a damaged config.ini must not overflow;
            // -1 makes Create fail with its error logged.
            const int localPort = config.udpPort <= INT_MAX - kUdpLocalPortOffset
                                      ? config.udpPort + kUdpLocalPortOffset
                                      : -1;
            udpLink = std::make_unique<UdpLink>();
            bool opened = false;
            if (udpLink->Create(localPort) != LinkResult::kOk) {
                log.LogEvent(true, true, "UDP Socket Create Port=%d ERR=%d", localPort,
                             udpLink->lastError);
            } else {
                log.LogEvent(true, true, "UDP Socket Create Port=%d OK", localPort);
                if (udpLink->Connect(config.ipAddress, config.udpPort) == LinkResult::kOk) {
                    log.LogEvent(true, true, "UDP Socket Connect IP Address=%s Port=%d ",
                                 config.ipAddress.c_str(), config.udpPort);
                    opened = true;
                } else {
                    log.LogEvent(true, true, "UDP Socket Connect IP Address=%s Port=%d ERR=%d ",
                                 config.ipAddress.c_str(), config.udpPort, udpLink->lastError);
                }
            }
            if (opened) {
                session.SetStatus(kConnecting);
                session.activeLink = udpLink.get();
                if (udpLinkChanged)
                    udpLinkChanged(udpLink.get());
            } else {
                session.SetStatus(kConnectionFailed);
                udpLink.reset();
            }
        } else {
            const LinkResult opened = serialLink.Open(config.comName, config.baudRate, kDataBits,
                                                      StopBits::kOne, Parity::kNone);
            if (!serialLink.message.empty() && showMessage)
                showMessage(serialLink.message);
            if (opened == LinkResult::kBusy)
                log.LogEvent(true, true, "%s is in use by another program ERR=%d ",
                             config.comName.c_str(), serialLink.lastError);
            if (opened == LinkResult::kOk) {
                session.SetStatus(kConnecting);
                session.activeLink = &serialLink;
                log.LogEvent(true, true, "%s Baudrate:%d Open 8,1,NO OK!!! ",
                             config.comName.c_str(), config.baudRate);
            } else {
                log.LogEvent(true, true, "%s Baudrate:%d Open ERR!! ", config.comName.c_str(),
                             config.baudRate);
                session.SetStatus(kConnectionFailed);
                serialLink.Close();
            }
        }
        session.pollIndex = 0;
        session.linkAnswers = 0;
        session.sendCountdown = 0;
        session.headSent = 0;
        session.stalledTicks = -1;
    }
    if (session.refresh)
        session.refresh();
}

void Connection::Disconnect() {
    if (session.connectionStatus != kDisconnected) {
        session.SetStatus(kDisconnected);
        // Close whatever is really open: the link type may have been changed in
        // the settings since this link was opened.
        if (udpLink && udpLinkChanged)
            udpLinkChanged(nullptr);  // before its socket goes
        if (session.activeLink)
            session.activeLink->Close();
        session.activeLink = nullptr;
        udpLink.reset();
        session.commandQueue.clear();
        session.routing.DropPending();
        session.headSent = 0;
        session.stalledTicks = -1;
        if (config.useSerial)
            session.log.LogEvent(true, true, "RS232 Disconnect ");
        else
            session.log.LogEvent(true, true, "UDP Disconnect ");
    }
    session.state.ClearConnectionTables();
    if (session.refresh)
        session.refresh();
}

void Connection::OnUdpClose() {
    session.log.LogEvent(true, true, "%s", "UDP CLOSE");
    Disconnect();
}

void Connection::OnSerialData() {
    const int count = serialLink.ring.Count();
    if (count <= 0)
        return;
    std::uint8_t bytes[ReceiveRing::kSize];
    int taken = 0;
    while (taken < count && serialLink.ring.Get(bytes[taken]))
        ++taken;
    session.FeedResponseBytes(bytes, taken);
}

void Connection::OnUdpData() {
    if (!udpLink)
        return;
    char datagram[kDatagramSize];
    const int received = udpLink->ReceiveFrom(datagram, kDatagramSize);
    if (received < 0) {
        session.log.LogEvent(true, true, "UDP Socket Receive ERR=%d", udpLink->lastError);
        session.SetStatus(kConnectionFailed);
        if (session.refresh)
            session.refresh();
        return;
    }
    session.FeedResponseBytes(datagram, received);
}

void Connection::OnSerialHangup() {
    // Only a port whose watcher ended by itself; a notice that arrives after
    // Disconnect (or after a new Open) has nothing to do with the port now.
    if (!serialLink.hungUp)
        return;
    session.log.LogEvent(true, true, "%s Disconnected by the device ", serialLink.portName.c_str());
    serialLink.Close();
    if (session.activeLink == &serialLink)
        session.activeLink = nullptr;
    session.SetStatus(kConnectionFailed);
    if (session.refresh)
        session.refresh();
}

void Connection::OnSerialOverrun() {
    if (!serialLink.IsOpen())
        return;
    session.log.LogEvent(true, true, "%s Receive buffer full, reading paused ",
                         serialLink.portName.c_str());
}

}  // namespace corvane
