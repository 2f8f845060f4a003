#include "transport/Connection.h"

#include <climits>
#include <cstdint>

#include "base/EventLog.h"
#include "base/TextFormat.h"
#include "protocol/Pacing.h"

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

std::string Connection::LinkName() const {
    return config.useSerial ? config.comName
                            : config.ipAddress + ":" + std::to_string(config.udpPort);
}

bool Connection::OpenLink() {
    if (!config.useSerial) {
        // A port near INT_MAX from a damaged config.ini must not overflow;
        // -1 makes Create fail with its error logged.
        const int localPort = config.udpPort <= INT_MAX - kUdpLocalPortOffset
                                  ? config.udpPort + kUdpLocalPortOffset
                                  : -1;
        udpLink = std::make_unique<UdpLink>();
        if (udpLink->Create(localPort) != LinkResult::kOk) {
            session.LogLink(
                Format("UDP Socket Create Port=%d ERR=%d", localPort, udpLink->lastError));
            udpLink.reset();
            return false;
        }
        session.LogLink(Format("UDP Socket Create Port=%d OK", localPort));
        if (udpLink->Connect(config.ipAddress, config.udpPort) != LinkResult::kOk) {
            session.LogLink(Format("UDP Socket Connect IP Address=%s Port=%d ERR=%d ",
                                   config.ipAddress.c_str(), config.udpPort, udpLink->lastError));
            udpLink.reset();
            return false;
        }
        session.LogLink(Format("UDP Socket Connect IP Address=%s Port=%d ",
                               config.ipAddress.c_str(), config.udpPort));
        session.OnLinkOpened(udpLink.get(), retrying_);
        if (udpLinkChanged)
            udpLinkChanged(udpLink.get());
        return true;
    }
    const LinkResult opened =
        serialLink.Open(config.comName, config.baudRate, kDataBits, StopBits::kOne, Parity::kNone);
    // A retry keeps quiet about a port that is still missing.
    if (!serialLink.message.empty() && showMessage && !retrying_)
        showMessage(serialLink.message);
    if (opened == LinkResult::kBusy)
        session.LogLink(Format("%s is in use by another program ERR=%d ", config.comName.c_str(),
                               serialLink.lastError));
    if (opened != LinkResult::kOk) {
        session.LogLink(
            Format("%s Baudrate:%d Open ERR!! ", config.comName.c_str(), config.baudRate));
        serialLink.Close();
        return false;
    }
    session.OnLinkOpened(&serialLink, retrying_);
    session.LogLink(
        Format("%s Baudrate:%d Open 8,1,NO OK!!! ", config.comName.c_str(), config.baudRate));
    return true;
}

void Connection::CloseLink() {
    if (udpLink && udpLinkChanged)
        udpLinkChanged(nullptr);  // before its socket goes
    // Close whatever is really open: the link type may have been changed in
    // the settings since this link was opened.
    if (udpLink)
        udpLink->Close();
    serialLink.Close();
    session.activeLink = nullptr;
    udpLink.reset();
}

void Connection::Failed() {
    CloseLink();
    session.OnLinkFailed();
    session.DiscardHeldLines();
    session.holdLines = false;
    if (config.reconnect) {
        if (!retrying_) {
            session.log.LogEvent(true, true, "Router link to %s failed; trying again every %d s",
                                 LinkName().c_str(), kRetryTicks / kTicksPerSecond);
            retrying_ = true;
        }
        retryCountdown_ = kRetryTicks;
    }
    session.onRefresh.Notify();
}

void Connection::Connect() {
    if (session.connectionStatus == kConnectionFailed) {
        // Pressed after a failure: try now, as the user asked, and say so.
        retrying_ = false;
        CloseLink();
    }
    if (session.connectionStatus == kDisconnected ||
        session.connectionStatus == kConnectionFailed) {
        session.holdLines = false;
        if (!OpenLink())
            Failed();
    }
    session.onRefresh.Notify();
}

void Connection::Disconnect() {
    retrying_ = false;
    const bool wasOpen = session.connectionStatus != kDisconnected;
    CloseLink();
    session.OnLinkClosed();
    if (wasOpen)
        session.log.LogEvent(true, true,
                             config.useSerial ? "RS232 Disconnect " : "UDP Disconnect ");
    session.onRefresh.Notify();
}

void Connection::OnTick() {
    const int status = session.connectionStatus;
    // The session gave up on a link that stopped taking bytes.
    if (status == kConnectionFailed && session.activeLink != nullptr) {
        Failed();
        return;
    }
    if (!retrying_)
        return;
    if (status == kConnected && session.lastAnswerTick >= 0) {
        retrying_ = false;
        session.log.LogEvent(true, true, "Router link to %s is back", LinkName().c_str());
        return;
    }
    if (status == kConnectionFailed && --retryCountdown_ <= 0) {
        // The attempt's lines wait until the router answers.
        session.holdLines = true;
        if (OpenLink()) {
            session.onRefresh.Notify();
        } else {
            Failed();
        }
    }
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
        session.LogLink(Format("UDP Socket Receive ERR=%d", udpLink->lastError));
        Failed();
        return;
    }
    session.FeedResponseBytes(datagram, received);
}

void Connection::OnSerialHangup() {
    // Only a port whose watcher ended by itself; a notice that arrives after
    // Disconnect (or after a new Open) has nothing to do with the port now.
    if (!serialLink.hungUp)
        return;
    session.LogLink(Format("%s Disconnected by the device ", serialLink.portName.c_str()));
    Failed();
}

void Connection::OnSerialOverrun() {
    if (!serialLink.IsOpen())
        return;
    session.log.LogEvent(true, true, "%s Receive buffer full, reading paused ",
                         serialLink.portName.c_str());
}

}  // namespace corvane
