#include "transport/Connection.h"

#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

using Lines = std::vector<std::string>;

struct ConnectionTest : ::testing::Test, Client {
    ConnectionTest() {
        log.fileLogEnabled = false;
        connection.showMessage = [this](const std::string& text) { messages.push_back(text); };
        connection.udpLinkChanged = [this](UdpLink* link) { announced.push_back(link); };
    }
    // Log lines without their time stamps, from line `from` on, one per line.
    std::string Logged(std::size_t from = 0) const {
        std::string out;
        for (std::size_t i = from; i < sink.lines.size(); ++i)
            out += sink.lines[i].substr(sink.lines[i].find(']') + 1) + "\n";
        return out;
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
    EXPECT_EQ(Logged(), "UDP Socket Create Port=" + std::to_string(port + 10) +
                            " OK\nUDP Socket Connect IP Address=127.0.0.1 Port=" +
                            std::to_string(port) + " \n");
    EXPECT_EQ(session.connectionStatus, kConnecting);
    ASSERT_TRUE(connection.udpLink);
    EXPECT_EQ(session.activeLink, connection.udpLink.get());
    EXPECT_EQ(announced, std::vector<UdpLink*>{connection.udpLink.get()});
    EXPECT_EQ(session.pollIndex, 0u);  // the start-up queries begin again

    LoopbackSocket stranger;  // only the router's datagrams count
    ASSERT_TRUE(stranger.SendTo(port + 10, "MON=09!"));
    ASSERT_TRUE(router->SendTo(port + 10, "RS232=9600!"));
    ASSERT_TRUE(RunUntil([&] { return session.connectionStatus == kConnected; }));
    EXPECT_EQ(session.state.routerBaudRate, 9600);
    EXPECT_EQ(session.state.monitoringChannel, 0);

    // A UDP close notice logs first, then disconnects.
    const std::size_t lines = sink.lines.size();
    connection.OnUdpClose();
    EXPECT_EQ(Logged(lines), "UDP CLOSE\nUDP Disconnect \n");
    EXPECT_FALSE(connection.udpLink);
    EXPECT_EQ(announced.back(), nullptr);
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
    struct Case {
        bool serial;
        std::string device;  // device or IP address
        int speedOrPort;
        std::string lines;
        const char* message;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const std::size_t before = sink.lines.size();
        messages.clear();
        Connect(c.serial, c.device, c.speedOrPort);
        EXPECT_EQ(Logged(before), c.lines);
        EXPECT_EQ(messages, *c.message ? Lines{c.message} : Lines{});
        EXPECT_EQ(session.connectionStatus, kConnectionFailed);
        EXPECT_FALSE(connection.udpLink);
        EXPECT_EQ(session.activeLink, nullptr);
        EXPECT_TRUE(announced.empty());
        EXPECT_EQ(connection.serialLink.connected, 0);
        EXPECT_EQ(WatcherCount(), 0);
        connection.Connect();  // changes nothing while failed
        EXPECT_EQ(Logged(before), c.lines);
        connection.Disconnect();
        EXPECT_EQ(Logged(before), c.lines + (c.serial ? "RS232" : "UDP") + " Disconnect \n");
        EXPECT_EQ(session.connectionStatus, kDisconnected);
    }
    close(heldFd);
    close(lockedFd);
}

TEST_F(ConnectionTest, FullRingIsLoggedAndEveryAnswerIsParsedInOrder) {
    Pty pty;
    Connect(true, pty.slavePath, 115200);
    std::string parsed, expected, stream;
    session.refresh = [&] { parsed += std::to_string(session.state.monitoringChannel) + ","; };
    for (int i = 0; i < 1300; ++i) {  // 9100 bytes, more than twice the ring
        stream += "MON=" + std::to_string(10 + i % 7) + "!";
        expected += std::to_string(10 + i % 7) + ",";
    }
    ASSERT_TRUE(pty.Send(stream));
    ASSERT_TRUE(WaitUntil([&] { return connection.serialLink.ring.Free() == 0; }));
    ASSERT_TRUE(RunUntil([&] { return parsed.size() >= expected.size(); }));
    EXPECT_TRUE(parsed == expected) << "answers lost, repeated or reordered";
    EXPECT_NE(Logged().find(pty.slavePath + " Receive buffer full, reading paused \n"),
              std::string::npos);
}

}  // namespace
}  // namespace corvane::testing
