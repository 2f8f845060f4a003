#include "transport/Connection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "LinkTestSupport.h"
#include "settings/EventLog.h"
#include "transport/HeadlessLoop.h"

namespace corvane {
namespace {

using namespace corvane::testing;
using Lines = std::vector<std::string>;

class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest() : session(log), connection(session, config), loop(connection) {
        log.screen = &screen;
        log.screenLogEnabled = true;
        log.fileLogEnabled = false;
        config.ipAddress = "127.0.0.1";
        session.refresh = [this] { ++refreshes; };
        connection.showMessage = [this](const std::string& text) { messages.push_back(text); };
        connection.udpLinkChanged = [this](UdpLink* link) { announced.push_back(link); };
    }

    // Log lines without their time stamps, from line `from` on.
    Lines Logged(std::size_t from = 0) const {
        Lines out;
        for (std::size_t i = from; i < screen.lines.size(); ++i)
            out.push_back(screen.lines[i].substr(screen.lines[i].find(']') + 1));
        return out;
    }
    bool Run(const std::function<bool()>& done) { return loop.RunUntil(done, kPatience); }
    void RunTicks(int ticks) {
        const long until = loop.ticks + ticks;
        Run([&] { return loop.ticks >= until; });
    }
    void ConnectUdp(int port) {
        config.useSerial = false;
        config.udpPort = port;
        connection.Connect();
    }
    void ConnectSerial(const std::string& device, int speed = 115200) {
        config.useSerial = true;
        config.comName = device;
        config.baudRate = speed;
        connection.Connect();
    }

    ScreenLog screen;
    EventLog log;
    RouterSession session;
    AppConfig config;
    Connection connection;
    HeadlessLoop loop;
    int refreshes = 0;
    std::vector<std::string> messages;
    std::vector<UdpLink*> announced;
};

TEST_F(ConnectionTest, UdpConnectSendsFromItsOwnPortAndCompletesOnTheFirstAnswer) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    const int port = router->port;
    session.EnqueueCommand("MON=05!");  // queued while disconnected: goes first
    session.pollIndex = 7;
    ConnectUdp(port);
    EXPECT_EQ(
        Logged(),
        (Lines{"UDP Socket Create Port=" + std::to_string(port + 10) + " OK",
               "UDP Socket Connect IP Address=127.0.0.1 Port=" + std::to_string(port) + " "}));
    EXPECT_EQ(session.connectionStatus, kConnecting);
    ASSERT_TRUE(connection.udpLink);
    EXPECT_EQ(session.activeLink, connection.udpLink.get());
    EXPECT_EQ(announced, std::vector<UdpLink*>{connection.udpLink.get()});
    EXPECT_EQ(session.pollIndex, 0u);
    EXPECT_EQ(refreshes, 1);

    std::string got;
    int from = 0;
    ASSERT_TRUE(Run([&] { return Readable(router->fd, 0); }));
    ASSERT_TRUE(router->Receive(got, &from));
    EXPECT_EQ(got, "MON=05!");
    EXPECT_EQ(from, port + 10);
    ASSERT_TRUE(router->SendTo(port + 10, "MON=05!RS232=9600!"));
    ASSERT_TRUE(Run([&] { return Readable(router->fd, 0); }));
    ASSERT_TRUE(router->Receive(got));
    EXPECT_EQ(got, "NET=?!");
    EXPECT_EQ(session.connectionStatus, kConnected);
    EXPECT_EQ(session.state.routerBaudRate, 9600);
}

TEST_F(ConnectionTest, FailedConnectsAreLoggedAndHoldNothingOpen) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    LoopbackSocket taken(router->port + 10);  // the program's own port is busy
    const int dead = UnusedPort();
    Pty pty;
    struct Case {
        bool serial;
        std::string device;  // COM name or IP address
        int speedOrPort;
        Lines lines;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {false,
         "127.0.0.1",
         router->port,
         {"UDP Socket Create Port=" + std::to_string(router->port + 10) +
          " ERR=" + std::to_string(EADDRINUSE)},
         {}},
        {false,
         "router.local",
         dead,
         {"UDP Socket Create Port=" + std::to_string(dead + 10) + " OK",
          "UDP Socket Connect IP Address=router.local Port=" + std::to_string(dead) +
              " ERR=" + std::to_string(EINVAL) + " "},
         {}},
        {false,
         "127.0.0.1",
         65530,
         {"UDP Socket Create Port=65540 ERR=" + std::to_string(EINVAL)},
         {}},
        {true,
         "/nonexistent/ttyS42",
         9600,
         {"/nonexistent/ttyS42 Baudrate:9600 Open ERR!! "},
         {"fail Port open"}},
        {true, pty.slavePath, 12345, {pty.slavePath + " Baudrate:12345 Open ERR!! "}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const std::size_t before = screen.lines.size();
        messages.clear();
        config.ipAddress = c.device;
        c.serial ? ConnectSerial(c.device, c.speedOrPort) : ConnectUdp(c.speedOrPort);
        EXPECT_EQ(Logged(before), c.lines);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(session.connectionStatus, kConnectionFailed);
        EXPECT_FALSE(connection.udpLink);
        EXPECT_EQ(session.activeLink, nullptr);
        EXPECT_TRUE(announced.empty());
        EXPECT_EQ(connection.serialLink.connected, 0);
        connection.Connect();  // changes nothing while failed
        EXPECT_EQ(Logged(before).size(), c.lines.size());
        connection.Disconnect();
        EXPECT_EQ(Logged(before + c.lines.size()),
                  Lines{c.serial ? "RS232 Disconnect " : "UDP Disconnect "});
        EXPECT_EQ(session.connectionStatus, kDisconnected);
    }
}

TEST_F(ConnectionTest, UdpReadErrorsShowConnectionFailedAndStopSending) {
    for (const bool routerListens : {false, true}) {
        SCOPED_TRACE(routerListens ? "oversize answer" : "router port closed");
        auto router = routerListens ? MakeRouter() : nullptr;
        ConnectUdp(routerListens ? router->port : UnusedPort());
        ASSERT_EQ(session.connectionStatus, kConnecting);
        if (router) {
            std::string query;
            ASSERT_TRUE(Run([&] { return Readable(router->fd, 0); }));
            ASSERT_TRUE(router->Receive(query));
            ASSERT_TRUE(router->SendTo(router->port + 10, std::string(257, 'X')));
        }
        const int refreshed = refreshes;
        ASSERT_TRUE(Run([&] { return session.connectionStatus == kConnectionFailed; }));
        const int error = routerListens ? EMSGSIZE : ECONNREFUSED;
        EXPECT_EQ(Logged().back(), "UDP Socket Receive ERR=" + std::to_string(error));
        EXPECT_GT(refreshes, refreshed);
        const std::size_t lines = screen.lines.size();
        RunTicks(3);
        EXPECT_EQ(screen.lines.size(), lines);  // nothing queued or sent meanwhile
        connection.Disconnect();
        EXPECT_EQ(Logged(lines), Lines{"UDP Disconnect "});
        EXPECT_EQ(announced.back(), nullptr);
    }
}

TEST_F(ConnectionTest, DisconnectForgetsTheConnectionButNotTheRouter) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    ConnectUdp(router->port);
    RouterState& s = session.state;
    s.routedInput[2] = 3;
    s.inputStatusText[1] = "1920x1080p@60Hz";
    s.outputPlugged[16] = 1;
    s.inputEdidMode[4] = "USER";
    s.inputCardType[1] = kHdmiInput;
    s.outputCardType[4] = kQuadMultiViewer;
    s.routerIp = "10.0.0.9";
    s.webLock = s.keyLock = 1;
    s.monitoringChannel = 7;
    s.quadLayout[2] = 5;
    session.EnqueueCommand("LINK=?!");
    const std::size_t lines = screen.lines.size();

    connection.Disconnect();
    EXPECT_EQ(Logged(lines), Lines{"UDP Disconnect "});
    EXPECT_EQ(session.connectionStatus, kDisconnected);
    EXPECT_TRUE(session.commandQueue.empty());
    EXPECT_FALSE(connection.udpLink);
    EXPECT_EQ(session.activeLink, nullptr);
    EXPECT_EQ(announced.back(), nullptr);
    for (int i = 0; i < kChannelTableSize; ++i) {
        EXPECT_EQ(s.routedInput[i] + s.outputPlugged[i], 0) << i;
        EXPECT_EQ(s.inputStatusText[i] + s.inputEdidMode[i], "") << i;
    }
    for (int i = 0; i < kSlotTableSize; ++i)
        EXPECT_EQ(s.inputCardType[i] + s.outputCardType[i], 0) << i;
    EXPECT_EQ(s.routerIp, "10.0.0.9");
    EXPECT_EQ(s.webLock + s.keyLock, 2);
    EXPECT_EQ(s.monitoringChannel, 7);
    EXPECT_EQ(s.quadLayout[2], 5);

    // A UDP close notice logs first, then disconnects the same way.
    ConnectUdp(router->port);
    const std::size_t again = screen.lines.size();
    connection.OnUdpClose();
    EXPECT_EQ(Logged(again), (Lines{"UDP CLOSE", "UDP Disconnect "}));
    EXPECT_FALSE(connection.udpLink);
}

TEST_F(ConnectionTest, SerialExchangeParsesAnswersSplitAcrossReads) {
    Pty pty;
    ConnectSerial(pty.slavePath);
    EXPECT_EQ(Logged(), Lines{pty.slavePath + " Baudrate:115200 Open 8,1,NO OK!!! "});
    EXPECT_EQ(session.connectionStatus, kConnecting);
    EXPECT_EQ(session.activeLink, &connection.serialLink);

    ASSERT_TRUE(Run([&] { return session.sendCountdown > 0; }));
    EXPECT_EQ(pty.Receive(6), "NET=?!");
    ASSERT_TRUE(pty.Send("MON"));
    ASSERT_TRUE(Run([&] { return connection.serialLink.ring.Count() == 0; }));
    EXPECT_EQ(session.connectionStatus, kConnecting);
    ASSERT_TRUE(pty.Send("=11!SLOT=02_0A_21!"));
    ASSERT_TRUE(Run([&] { return session.state.outputCardType[2] == kQuadMultiViewer; }));
    EXPECT_EQ(session.connectionStatus, kConnected);
    EXPECT_EQ(session.state.monitoringChannel, 11);

    const std::size_t lines = screen.lines.size();
    connection.Disconnect();
    EXPECT_EQ(Logged(lines), Lines{"RS232 Disconnect "});
    EXPECT_EQ(connection.serialLink.connected, 0);
    EXPECT_EQ(session.activeLink, nullptr);
}

TEST_F(ConnectionTest, DeviceHangupShowsConnectionFailed) {
    Pty pty;
    ConnectSerial(pty.slavePath);
    pty.CloseMaster();
    ASSERT_TRUE(Run([&] { return session.connectionStatus == kConnectionFailed; }));
    EXPECT_EQ(Logged().back(), pty.slavePath + " Disconnected by the device ");
    EXPECT_EQ(session.activeLink, nullptr);
    const std::size_t lines = screen.lines.size();
    connection.OnSerialHangup();  // a late notice changes nothing
    RunTicks(3);
    EXPECT_EQ(screen.lines.size(), lines);
    connection.Disconnect();
    EXPECT_EQ(Logged(lines), Lines{"RS232 Disconnect "});
}

TEST_F(ConnectionTest, FullRingIsLoggedAndEveryAnswerIsParsedInOrder) {
    Pty pty;
    ConnectSerial(pty.slavePath);
    std::vector<int> parsed, expected;
    session.refresh = [&] { parsed.push_back(session.state.monitoringChannel); };
    std::string stream;
    for (int i = 0; i < 1300; ++i) {  // 9100 bytes, more than twice the ring
        char answer[16];
        std::snprintf(answer, sizeof answer, "MON=%02d!", i % 17);
        stream += answer;
        expected.push_back(i % 17);
    }
    ASSERT_TRUE(pty.Send(stream));
    ASSERT_TRUE(WaitUntil([&] { return connection.serialLink.ring.Free() == 0; }));
    ASSERT_TRUE(Run([&] { return parsed.size() >= expected.size(); }));
    EXPECT_TRUE(parsed == expected) << "answers lost, repeated or reordered";
    int overruns = 0;
    for (const std::string& line : Logged())
        overruns += line == pty.slavePath + " Receive buffer full, reading paused ";
    EXPECT_GE(overruns, 1);
}

TEST_F(ConnectionTest, DisconnectClosesTheOpenLinkAfterTheTypeChanged) {
    Pty pty;
    ConnectSerial(pty.slavePath);
    config.useSerial = false;  // changed in the settings while the port is open
    connection.Disconnect();
    EXPECT_EQ(Logged().back(), "UDP Disconnect ");
    EXPECT_EQ(connection.serialLink.connected, 0);
    SerialLink again;  // the port is free again
    EXPECT_EQ(again.Open(pty.slavePath, 9600, 8, 0, 0), 1);

    auto router = MakeRouter();
    ASSERT_TRUE(router);
    ConnectUdp(router->port);
    config.useSerial = true;
    connection.Disconnect();
    EXPECT_EQ(Logged().back(), "RS232 Disconnect ");
    EXPECT_FALSE(connection.udpLink);
    EXPECT_EQ(announced.back(), nullptr);
}

}  // namespace
}  // namespace corvane
