#include "transport/Connection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "PosixTestSupport.h"
#include "UdpTestSupport.h"
#include "settings/EventLog.h"
#include "transport/HeadlessLoop.h"

namespace corvane {
namespace {

using namespace corvane::testing;

bool Waiting(const LoopbackSocket& socket) {
    pollfd p{socket.fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest()
        : log(dir.path, [] { return LocalTime{2026, 12, 6, 20, 15, 0}; }),
          session(log),
          connection(session, config),
          loop(connection) {
        log.screen = &screen;
        log.screenLogEnabled = true;
        config.ipAddress = "127.0.0.1";
        session.refresh = [this] { ++refreshes; };
        connection.showMessage = [this](const std::string& text) { messages.push_back(text); };
        connection.udpLinkChanged = [this](UdpLink* link) { announced.push_back(link); };
    }

    // The screen log without time stamps, from line `from` on.
    std::vector<std::string> Lines(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (std::size_t i = from; i < screen.lines.size(); ++i) {
            const std::string& line = screen.lines[i];
            const std::size_t close = line.find(']');
            out.push_back(close == std::string::npos ? line : line.substr(close + 1));
        }
        return out;
    }
    bool Logged(const std::string& text) const {
        for (const std::string& line : Lines())
            if (line == text)
                return true;
        return false;
    }
    bool RunUntil(const std::function<bool()>& done) { return loop.RunUntil(done, kPatience); }

    void ConnectUdp(const LoopbackSocket& router) {
        config.useSerial = false;
        config.udpPort = router.port;
        connection.Connect();
        ASSERT_EQ(session.connectionStatus, kConnecting);
    }
    void ConnectSerial(const Pty& pty) {
        config.useSerial = true;
        config.comName = pty.slavePath;
        config.baudRate = 115200;
        connection.Connect();
        ASSERT_EQ(session.connectionStatus, kConnecting);
    }

    TempDir dir;
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

TEST_F(ConnectionTest, UdpConnectLogsBothStepsAndWaitsForTheFirstAnswer) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    session.pollIndex = 7;
    session.sendCountdown = 13;
    ConnectUdp(*router);
    const int port = router->port;
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  "UDP Socket Create Port=" + std::to_string(port + 10) + " OK",
                  "UDP Socket Connect IP Address=127.0.0.1 Port=" + std::to_string(port) + " "}));
    ASSERT_TRUE(connection.udpLink);
    EXPECT_EQ(session.activeLink, connection.udpLink.get());
    EXPECT_EQ(announced, std::vector<UdpLink*>{connection.udpLink.get()});
    EXPECT_EQ(session.pollIndex, 0u);
    EXPECT_EQ(session.sendCountdown, 0);
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(messages.empty());

    // The first tick sends the first start-up query from port + 10; the answer
    // completes the connection.
    std::string got;
    int from = 0;
    ASSERT_TRUE(RunUntil([&] { return session.commandQueue.empty() && loop.ticks > 0; }));
    ASSERT_TRUE(router->Receive(got, &from));
    EXPECT_EQ(got, "NET=?!");
    EXPECT_EQ(from, port + 10);
    ASSERT_TRUE(router->SendTo(port + 10, "MON=03!RS232=9600!"));
    ASSERT_TRUE(RunUntil([&] { return session.connectionStatus == kConnected; }));
    EXPECT_EQ(session.state.monitoringChannel, 3);
    ASSERT_TRUE(RunUntil([&] { return session.state.routerBaudRate == 9600; }));
}

TEST_F(ConnectionTest, UdpCreateFailureIsLoggedAndLeavesNoSocket) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    LoopbackSocket holder(router->port + 10);  // the program's own port is taken
    ASSERT_GE(holder.fd, 0);
    config.udpPort = router->port;
    connection.Connect();
    EXPECT_EQ(Lines(), std::vector<std::string>{
                           "UDP Socket Create Port=" + std::to_string(router->port + 10) +
                           " ERR=" + std::to_string(EADDRINUSE)});
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    EXPECT_FALSE(connection.udpLink);
    EXPECT_EQ(session.activeLink, nullptr);
    EXPECT_TRUE(announced.empty());

    // Connect again changes nothing; Disconnect logs and resets.
    connection.Connect();
    EXPECT_EQ(Lines().size(), 1u);
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    connection.Disconnect();
    EXPECT_EQ(Lines(1), std::vector<std::string>{"UDP Disconnect "});
    EXPECT_EQ(session.connectionStatus, kDisconnected);
    EXPECT_TRUE(announced.empty());
    EXPECT_EQ(refreshes, 3);
}

TEST_F(ConnectionTest, UdpConnectFailureLogsTheAddressAndCode) {
    config.udpPort = UnusedPort();
    ASSERT_GT(config.udpPort, 0);
    config.ipAddress = "router.local";
    connection.Connect();
    const std::string port = std::to_string(config.udpPort);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "UDP Socket Create Port=" + std::to_string(config.udpPort + 10) + " OK",
                           "UDP Socket Connect IP Address=router.local Port=" + port +
                               " ERR=" + std::to_string(EINVAL) + " "}));
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    EXPECT_FALSE(connection.udpLink);
    EXPECT_TRUE(announced.empty());
}

struct ReadFailureCase {
    const char* label;
    bool listening;      // false: nobody at the router's port
    int datagramLength;  // what the router answers with
    int error;
};

class UdpReadFailure : public ConnectionTest,
                       public ::testing::WithParamInterface<ReadFailureCase> {};

TEST_P(UdpReadFailure, ShowsConnectionFailedAndLogsTheCode) {
    const ReadFailureCase& c = GetParam();
    std::unique_ptr<LoopbackSocket> router;
    if (c.listening) {
        router = MakeRouter();
        ASSERT_TRUE(router);
        config.udpPort = router->port;
    } else {
        config.udpPort = UnusedPort();
        ASSERT_GT(config.udpPort, 0);
    }
    connection.Connect();
    ASSERT_EQ(session.connectionStatus, kConnecting);
    if (router) {
        std::string query;
        ASSERT_TRUE(RunUntil([&] { return loop.ticks > 0; }));
        ASSERT_TRUE(router->Receive(query));
        ASSERT_TRUE(router->SendTo(config.udpPort + 10, std::string(c.datagramLength, 'X')));
    }
    const int before = refreshes;
    ASSERT_TRUE(RunUntil([&] { return session.connectionStatus == kConnectionFailed; }));
    EXPECT_TRUE(Logged("UDP Socket Receive ERR=" + std::to_string(c.error)));
    EXPECT_GT(refreshes, before);

    // Nothing more goes out until the user disconnects and connects again.
    const std::size_t lines = Lines().size();
    const long ticks = loop.ticks;
    RunUntil([&] { return loop.ticks >= ticks + 3; });
    EXPECT_EQ(Lines().size(), lines);
    connection.Disconnect();
    EXPECT_EQ(Lines(lines), std::vector<std::string>{"UDP Disconnect "});
    EXPECT_EQ(announced.back(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UdpReadFailure,
    ::testing::Values(ReadFailureCase{"RouterPortClosed", false, 0, ECONNREFUSED},
                      ReadFailureCase{"OversizeDatagram", true, 257, EMSGSIZE}),
    [](const ::testing::TestParamInfo<ReadFailureCase>& info) { return info.param.label; });

TEST_F(ConnectionTest, DisconnectForgetsTheConnectionButNotTheRouter) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    ConnectUdp(*router);
    RouterState& s = session.state;
    s.routedInput[2] = 3;
    s.routedInput[16] = 1;
    s.inputStatusText[1] = "1920x1080p@60Hz";
    s.outputPlugged[5] = 1;
    s.inputEdidMode[4] = "USER";
    s.inputCardType[1] = kHdmiInput;
    s.outputCardType[2] = kQuadMultiViewer;
    s.routerIp = "10.0.0.9";
    s.webLock = 1;
    s.keyLock = 1;
    s.monitoringChannel = 7;
    s.generatorPattern = 4;
    s.quadLayout[2] = 5;
    session.EnqueueCommand("LINK=?!");
    session.EnqueueCommand("MON=?!");
    const std::size_t lines = Lines().size();

    connection.Disconnect();
    EXPECT_EQ(Lines(lines), std::vector<std::string>{"UDP Disconnect "});
    EXPECT_EQ(session.connectionStatus, kDisconnected);
    EXPECT_TRUE(session.commandQueue.empty());
    EXPECT_FALSE(connection.udpLink);
    EXPECT_EQ(session.activeLink, nullptr);
    ASSERT_EQ(announced.size(), 2u);
    EXPECT_EQ(announced[1], nullptr);
    for (int i = 0; i < kChannelTableSize; ++i) {
        EXPECT_EQ(s.routedInput[i], 0) << i;
        EXPECT_EQ(s.outputPlugged[i], 0) << i;
        EXPECT_EQ(s.inputStatusText[i], "") << i;
        EXPECT_EQ(s.inputEdidMode[i], "") << i;
    }
    for (int i = 0; i < kSlotTableSize; ++i) {
        EXPECT_EQ(s.inputCardType[i], 0) << i;
        EXPECT_EQ(s.outputCardType[i], 0) << i;
    }
    EXPECT_EQ(s.routerIp, "10.0.0.9");
    EXPECT_EQ(s.webLock, 1);
    EXPECT_EQ(s.keyLock, 1);
    EXPECT_EQ(s.monitoringChannel, 7);
    EXPECT_EQ(s.generatorPattern, 4);
    EXPECT_EQ(s.quadLayout[2], 5);

    // A second Disconnect logs nothing but still clears and refreshes.
    s.routedInput[1] = 2;
    const int before = refreshes;
    connection.Disconnect();
    EXPECT_EQ(Lines(lines).size(), 1u);
    EXPECT_EQ(s.routedInput[1], 0);
    EXPECT_EQ(refreshes, before + 1);
}

TEST_F(ConnectionTest, CommandsQueuedBeforeConnectGoFirst) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    session.EnqueueCommand("MON=05!");
    ConnectUdp(*router);
    std::string got;
    ASSERT_TRUE(RunUntil([&] { return loop.ticks > 0; }));
    ASSERT_TRUE(router->Receive(got));
    EXPECT_EQ(got, "MON=05!");
    ASSERT_TRUE(router->SendTo(router->port + 10, "MON=05!"));
    ASSERT_TRUE(RunUntil([&] { return Waiting(*router); }));
    ASSERT_TRUE(router->Receive(got));
    EXPECT_EQ(got, "NET=?!");
    EXPECT_TRUE(Logged("-->Data[MON=05!]"));
    EXPECT_TRUE(Logged("<--Recv[MON=05!]"));
}

TEST_F(ConnectionTest, UdpCloseNoticeDisconnects) {
    auto router = MakeRouter();
    ASSERT_TRUE(router);
    ConnectUdp(*router);
    const std::size_t lines = Lines().size();
    connection.OnUdpClose();
    EXPECT_EQ(Lines(lines), (std::vector<std::string>{"UDP CLOSE", "UDP Disconnect "}));
    EXPECT_EQ(session.connectionStatus, kDisconnected);
    EXPECT_FALSE(connection.udpLink);
}

TEST_F(ConnectionTest, SerialConnectExchangesOverThePort) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    ConnectSerial(pty);
    EXPECT_EQ(Lines(),
              std::vector<std::string>{pty.slavePath + " Baudrate:115200 Open 8,1,NO OK!!! "});
    EXPECT_EQ(session.activeLink, &connection.serialLink);
    EXPECT_TRUE(announced.empty());
    EXPECT_TRUE(messages.empty());

    ASSERT_TRUE(RunUntil([&] { return loop.ticks > 0 && session.sendCountdown > 0; }));
    EXPECT_EQ(pty.Receive(6), "NET=?!");
    // An answer split over several reads is parsed once, when its "!" comes.
    ASSERT_TRUE(pty.Send("MON"));
    ASSERT_TRUE(RunUntil([&] { return connection.serialLink.ring.Count() == 0; }));
    EXPECT_EQ(session.connectionStatus, kConnecting);
    ASSERT_TRUE(pty.Send("=11!SLOT=02_0A_21!"));
    ASSERT_TRUE(RunUntil([&] { return session.state.outputCardType[2] == kQuadMultiViewer; }));
    EXPECT_EQ(session.connectionStatus, kConnected);
    EXPECT_EQ(session.state.monitoringChannel, 11);
    EXPECT_EQ(session.state.inputCardType[2], kHdmiInput);

    session.EnqueueCommand("LINK=?!");
    const std::size_t lines = Lines().size();
    connection.Disconnect();
    EXPECT_EQ(Lines(lines), std::vector<std::string>{"RS232 Disconnect "});
    EXPECT_EQ(connection.serialLink.connected, 0);
    EXPECT_EQ(session.activeLink, nullptr);
    EXPECT_TRUE(session.commandQueue.empty());
}

TEST_F(ConnectionTest, SerialOpenFailureShowsTheMessageAndLogs) {
    config.useSerial = true;
    config.comName = "/nonexistent/ttyS42";
    config.baudRate = 9600;
    connection.Connect();
    EXPECT_EQ(messages, std::vector<std::string>{"fail Port open"});
    EXPECT_EQ(Lines(), std::vector<std::string>{"/nonexistent/ttyS42 Baudrate:9600 Open ERR!! "});
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
    EXPECT_EQ(session.activeLink, nullptr);

    // A port that opens but rejects its settings fails without a message box.
    Pty pty;
    connection.Disconnect();
    config.comName = pty.slavePath;
    config.baudRate = 12345;
    connection.Connect();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(Logged(pty.slavePath + " Baudrate:12345 Open ERR!! "));
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);
}

TEST_F(ConnectionTest, DeviceHangupShowsConnectionFailed) {
    Pty pty;
    ConnectSerial(pty);
    session.EnqueueCommand("LOCK=?!");
    pty.CloseMaster();
    ASSERT_TRUE(RunUntil([&] { return session.connectionStatus == kConnectionFailed; }));
    EXPECT_TRUE(Logged(pty.slavePath + " Disconnected by the device "));
    EXPECT_EQ(connection.serialLink.connected, 0);
    EXPECT_EQ(session.activeLink, nullptr);
    // The loop keeps running without the port; a late notice changes nothing.
    const std::size_t lines = Lines().size();
    connection.OnSerialHangup();
    const long ticks = loop.ticks;
    RunUntil([&] { return loop.ticks >= ticks + 3; });
    EXPECT_EQ(Lines().size(), lines);
    EXPECT_EQ(session.connectionStatus, kConnectionFailed);

    connection.Disconnect();
    EXPECT_EQ(Lines(lines), std::vector<std::string>{"RS232 Disconnect "});
    EXPECT_EQ(session.connectionStatus, kDisconnected);
}

TEST_F(ConnectionTest, FullRingIsLoggedAndNothingIsLost) {
    Pty pty;
    ConnectSerial(pty);
    // More answers than the ring holds, all sent before the loop drains anything.
    constexpr int kAnswers = 1300;
    std::vector<std::string> expected;
    std::string stream;
    for (int i = 0; i < kAnswers; ++i) {
        char answer[16];
        std::snprintf(answer, sizeof answer, "MON=%02d!", i % 17);
        stream += answer;
        expected.push_back(std::string("<--Recv[") + answer + "]");
    }
    ASSERT_TRUE(pty.Send(stream));
    ASSERT_TRUE(WaitUntil([&] { return connection.serialLink.ring.Free() == 0; }));
    const int before = refreshes;
    ASSERT_TRUE(RunUntil([&] { return refreshes - before >= kAnswers; }));
    EXPECT_EQ(refreshes - before, kAnswers);
    EXPECT_EQ(session.state.monitoringChannel, (kAnswers - 1) % 17);

    std::ifstream file(log.DailyFileName());
    std::vector<std::string> parsed;
    int overruns = 0;
    for (std::string line; std::getline(file, line);) {
        const std::string text = line.substr(line.find(']') + 1);
        if (text.rfind("<--Recv[", 0) == 0)
            parsed.push_back(text);
        overruns += text == pty.slavePath + " Receive buffer full, reading paused ";
    }
    EXPECT_TRUE(parsed == expected) << "answers lost, repeated or reordered";
    EXPECT_GE(overruns, 1);
}

TEST_F(ConnectionTest, DisconnectClosesTheOpenLinkEvenAfterTheTypeChanged) {
    Pty pty;
    ConnectSerial(pty);
    config.useSerial = false;  // changed in the settings while the port is open
    connection.Disconnect();
    EXPECT_EQ(connection.serialLink.connected, 0);
    EXPECT_TRUE(Logged("UDP Disconnect "));
    // The port is really closed: the device can be opened again at once.
    SerialLink again;
    EXPECT_EQ(again.Open(pty.slavePath, 9600, 8, 0, 0), 1);
    again.Close();

    auto router = MakeRouter();
    ASSERT_TRUE(router);
    ConnectUdp(*router);
    config.useSerial = true;
    connection.Disconnect();
    EXPECT_FALSE(connection.udpLink);
    EXPECT_EQ(announced.back(), nullptr);
    EXPECT_TRUE(Logged("RS232 Disconnect "));
}

TEST_F(ConnectionTest, LoopTicksAndTimesOut) {
    EXPECT_TRUE(RunUntil([&] { return loop.ticks >= 3; }));
    EXPECT_FALSE(loop.RunUntil([] { return false; }, std::chrono::milliseconds(20)));
    // Disconnected: ticks send nothing and queue nothing.
    EXPECT_TRUE(session.commandQueue.empty());
    EXPECT_TRUE(Lines().empty());
}

}  // namespace
}  // namespace corvane
