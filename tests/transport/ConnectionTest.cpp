// The serial link over pseudo-terminals, and the connection over them and
// loopback UDP.

#include "transport/Connection.h"

#include <sys/file.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <future>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

TEST(SerialDevicePath, MapsWindowsNamesAndKeepsPaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"}, {"com12", "/dev/ttyS11"}, {"COM0", "COM0"},
        {"COM1A", "COM1A"},     {"COM-1", "COM-1"},       {"/dev/ttyUSB0", "/dev/ttyUSB0"}};
    for (const auto& [name, path] : cases)
        EXPECT_EQ(SerialLink::DevicePath(name), path) << name;
}

// The one-notice hangup, reopening, the full ring and failed opens run in
// LinkFaultTest on every backend.
TEST(SerialLink, BytesPassRawBothWaysAndAHangupKeepsWhatWasNotDrained) {
    Pty pty;
    ASSERT_GE(pty.master, 0) << "no pseudo-terminal";
    std::atomic<int> received{0}, others{0};
    SerialLink link;
    link.notify = [&](SerialEvent event) {
        ++(event == SerialEvent::Received ? received : others);
    };
    EXPECT_EQ(link.Write("LINK=?!", 7), 0);
    for (int speed : {1200, 230400, 9600})
        ASSERT_EQ(link.Open(pty.slavePath, speed, 8, StopBits::kOne, Parity::kNone),
                  LinkResult::kOk)
            << link.message;
    EXPECT_TRUE(WaitUntil([] { return WatcherCount() == 1; })) << "reopening left a watcher";
    // Every byte value passes untranslated (the EDID frame is binary).
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(link.Write(all.data(), all.size()), 256);
    EXPECT_TRUE(pty.Receive(256) == all);
    std::string stream = all, got;
    for (int i = 0; i < 3000; ++i)
        stream.push_back(static_cast<char>('A' + i % 26));
    ASSERT_TRUE(pty.Send(stream));
    WaitUntil([&] { return (got += Drain(link.ring)).size() >= stream.size(); });
    EXPECT_TRUE(got == stream);
    // Woken per batch, not per byte.
    EXPECT_TRUE(received >= 1 && received < 100 && others == 0) << received << " " << others;
    // More than the terminal buffers, to a device that reads nothing: Write
    // takes what fits and returns at once; the rest goes as the device reads.
    const std::string big(20000, 'x');
    auto first = std::async(std::launch::async, [&] { return link.Write(big.data(), big.size()); });
    ASSERT_EQ(first.wait_for(kPatience), std::future_status::ready) << "Write waits";
    std::size_t sent = static_cast<std::size_t>(first.get());
    EXPECT_TRUE(sent > 0 && sent < big.size()) << sent;
    std::string echoed;
    WaitUntil([&] {
        sent += static_cast<std::size_t>(link.Write(big.data() + sent, big.size() - sent));
        echoed += pty.Receive(1);
        return echoed.size() == big.size();
    });
    EXPECT_EQ(echoed.size(), big.size());

    ASSERT_TRUE(pty.Send("IN=_01_Signal OFF!"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 18; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return others == 1; }));  // the hang-up
    EXPECT_TRUE(WaitUntil([] { return WatcherCount() == 0; })) << "spins on the dead descriptor";
    EXPECT_EQ(Drain(link.ring), "IN=_01_Signal OFF!");
    link.Close();
    EXPECT_EQ(link.hungUp, 0);
}

using Lines = std::vector<std::string>;

struct ConnectionTest : ::testing::Test, Client {
    ConnectionTest() {
        log.fileLogEnabled = false;
        connection.showMessage = [this](const std::string& text) { messages.push_back(text); };
        connection.udpLinkChanged = [this](UdpLink* link) { announced.push_back(link); };
    }
    void Connect(bool serial, const std::string& deviceOrAddress, int speedOrPort) {
        config.useSerial = serial;
        (serial ? config.comName : config.ipAddress) = deviceOrAddress;
        (serial ? config.baudRate : config.udpPort) = speedOrPort;
        connection.Connect();
    }
    Lines messages;
    std::vector<UdpLink*> announced;
};

TEST_F(ConnectionTest, UdpConnectIsConnectingUntilTheRouterAnswersAndACloseNoticeEndsIt) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    const int port = router->port;
    session.pollIndex = 7;
    Connect(false, "127.0.0.1", port);
    EXPECT_EQ(LogText(sink), "UDP Socket Create Port=" + std::to_string(port + 10) +
                                 " OK\nUDP Socket Connect IP Address=127.0.0.1 Port=" +
                                 std::to_string(port) + " \n");
    ASSERT_TRUE(connection.udpLink);
    // Announced once; the start-up queries begin again.
    EXPECT_TRUE(session.connectionStatus == kConnecting &&
                session.activeLink == connection.udpLink.get() && session.pollIndex == 0);
    EXPECT_EQ(announced, std::vector<UdpLink*>{connection.udpLink.get()});
    ASSERT_TRUE(RunUntil([&] { return Readable(router->fd, 0); }));  // a query is out
    EXPECT_EQ(session.connectionStatus, kConnecting);  // a datagram sent proves nothing

    LoopbackSocket stranger;  // only the router's datagrams count
    ASSERT_TRUE(stranger.SendTo(port + 10, "MON=09!"));
    ASSERT_TRUE(router->SendTo(port + 10, "RS232=9600!"));
    ASSERT_TRUE(RunUntil([&] { return session.connectionStatus == kConnected; }));
    // The router's answer applied, the stranger's not.
    EXPECT_EQ(std::pair(session.state.routerBaudRate, session.state.monitoringChannel),
              std::pair(9600, 0));

    // A UDP close notice logs first, then disconnects; what was asked is gone.
    session.RequestRoutes({{1, 2}});
    const std::size_t lines = sink.lines.size();
    connection.OnUdpClose();
    EXPECT_EQ(LogText(sink, lines), "UDP CLOSE\nUDP Disconnect \n");
    EXPECT_TRUE(!session.routing.HasPending() && !connection.udpLink && !announced.back());
}

TEST_F(ConnectionTest, FailedConnectsAreLoggedAndHoldNothingOpen) {
    auto router = MakeRouter(), other = MakeRouter();
    ASSERT_TRUE(router && other);
    LoopbackSocket taken(router->port + 10);  // the program's own port is busy
    const std::string busy = std::to_string(router->port + 10), free = std::to_string(other->port);
    Pty pty, held, locked;  // in exclusive mode for another program; locked by another Corvane
    const int heldFd = open(held.slavePath.c_str(), O_RDWR | O_NOCTTY);
    const int lockedFd = open(locked.slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_TRUE(ioctl(heldFd, TIOCEXCL) == 0 && flock(lockedFd, LOCK_EX | LOCK_NB) == 0);
    auto inUse = [](const std::string& path, int error) {
        return path + " is in use by another program ERR=" + std::to_string(error) + " \n" + path +
               " Baudrate:9600 Open ERR!! \n";
    };
    const std::string local = std::to_string(other->port + 10);
    // serial, device or IP address, speed or port, what is logged, what is shown
    const std::tuple<bool, std::string, int, std::string, const char*> cases[] = {
        {false, "127.0.0.1", router->port,
         "UDP Socket Create Port=" + busy + " ERR=" + std::to_string(EADDRINUSE) + "\n", ""},
        {false, "router.local", other->port,
         "UDP Socket Create Port=" + local +
             " OK\nUDP Socket Connect IP Address=router.local Port=" + free +
             " ERR=" + std::to_string(EINVAL) + " \n",
         ""},
        // A damaged config.ini's port near INT_MAX: no overflow into a real port.
        {false, "127.0.0.1", INT_MAX,
         "UDP Socket Create Port=-1 ERR=" + std::to_string(EINVAL) + "\n", ""},
        {true, "/nonexistent/ttyS42", 9600, "/nonexistent/ttyS42 Baudrate:9600 Open ERR!! \n",
         "fail Port open"},
        {true, pty.slavePath, 12345, pty.slavePath + " Baudrate:12345 Open ERR!! \n", ""},
        {true, held.slavePath, 9600, inUse(held.slavePath, EBUSY), "fail Port open"},
        {true, locked.slavePath, 9600, inUse(locked.slavePath, EWOULDBLOCK), "fail Port open"},
    };
    config.reconnect = false;  // retries are a case of their own
    for (const auto& [serial, device, speedOrPort, lines, message] : cases) {
        SCOPED_TRACE(device);
        const std::size_t before = sink.lines.size();
        messages.clear();
        Connect(serial, device, speedOrPort);
        EXPECT_EQ(LogText(sink, before), lines);
        EXPECT_EQ(messages, *message ? Lines{message} : Lines{});
        // Nothing left open, nothing announced, no watcher.
        EXPECT_TRUE(session.connectionStatus == kConnectionFailed && !connection.udpLink &&
                    !session.activeLink && announced.empty() &&
                    connection.serialLink.connected == 0 && WatcherCount() == 0);
        connection.Connect();  // after a failure: tries again at once
        EXPECT_EQ(messages.size(), *message ? 2u : 0u);
        connection.Disconnect();
        EXPECT_TRUE(LogText(sink, before)
                        .ends_with(std::string(serial ? "RS232" : "UDP") + " Disconnect \n"));
        EXPECT_EQ(session.connectionStatus, kDisconnected);
    }
    close(heldFd);
    close(lockedFd);
}

TEST_F(ConnectionTest, FullRingIsLoggedAndEveryAnswerIsParsedInOrder) {
    Pty pty;
    Connect(true, pty.slavePath, 115200);
    std::string parsed, expected, stream;
    session.onRefresh.Subscribe(
        [&] { parsed += std::to_string(session.state.monitoringChannel) + ","; });
    for (int i = 0; i < 1300; ++i) {  // 9100 bytes, more than twice the ring
        stream += "MON=" + std::to_string(10 + i % 7) + "!";
        expected += std::to_string(10 + i % 7) + ",";
    }
    ASSERT_TRUE(pty.Send(stream));
    ASSERT_TRUE(WaitUntil([&] { return connection.serialLink.ring.Free() == 0; }));
    ASSERT_TRUE(RunUntil([&] { return parsed.size() >= expected.size(); }));
    EXPECT_TRUE(parsed == expected) << "answers lost, repeated or reordered";
    EXPECT_NE(LogText(sink).find(pty.slavePath + " Receive buffer full, reading paused \n"),
              std::string::npos);
}

}  // namespace
}  // namespace corvane::testing
