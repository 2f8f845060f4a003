// The program's connection against the simulated router over real loopback
// UDP, driven by the headless loop exactly as the client drives it.

#include <regex>

#include "Harness.h"

namespace corvane::testing {
namespace {

TEST(UdpEndToEnd, StartupQueriesArriveInOrderAndFillTheModel) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    EXPECT_EQ(client.session.connectionStatus, kConnecting);

    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    ExpectModelMatches(client.session.state, simulator->Router());
}

TEST(UdpEndToEnd, AnsweredCommandsLeaveWithinATickOfTheAnswer) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    // For every send after the first, the newest answer before it.
    long lastAnswerTick = -1;
    int checked = 0;
    for (const RecordingSink::Line& line : client.sink.lines) {
        if (line.text.find("<--Recv[") != std::string::npos) {
            lastAnswerTick = line.tick;
        } else if (line.text.find("-->Data[") != std::string::npos && lastAnswerTick >= 0) {
            EXPECT_LE(line.tick - lastAnswerTick, 1) << line.text;
            ++checked;
        }
    }
    EXPECT_EQ(checked, kStartupQueryCount - 1);
}

TEST(UdpEndToEnd, WithASilentRouterCommandsLeaveTwentyTicksApart) {
    sim::SimOptions options;
    options.silent = true;
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("-->Data[").size() >= 4; }, 20s));

    std::vector<RecordingSink::Line> sent = client.sink.With("-->Data[");
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].tick - sent[i - 1].tick, 20) << sent[i].text;
    }
    EXPECT_EQ(client.session.connectionStatus, kConnecting);  // nothing answered
    // Every datagram reached the router although none was answered.
    ASSERT_TRUE(client.RunUntil([&] { return simulator->CommandCount() >= 4; }, 2s));
    EXPECT_EQ(simulator->Commands()[3], "MON=?!");
}

TEST(UdpEndToEnd, ASlowRouterIsWaitedForNotOverrun) {
    sim::SimOptions options;
    options.delayMs = 150;  // about three ticks, well under the one-second wait
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("-->Data[").size() >= 5; }));

    // Every command after the first waits for an answer to the one before.
    bool answeredSinceSend = true;
    for (const RecordingSink::Line& line : client.sink.lines) {
        if (line.text.find("-->Data[") != std::string::npos) {
            EXPECT_TRUE(answeredSinceSend) << line.text;
            answeredSinceSend = false;
        } else if (line.text.find("<--Recv[") != std::string::npos) {
            answeredSinceSend = true;
        }
    }
}

TEST(UdpEndToEnd, CommandsQueuedBeforeConnectGoFirst) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.session.EnqueueCommand("MON=07!");
    client.session.LinkOutput(3, 2);  // unknown map yet: only output 2 linked
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    std::vector<std::string> commands = simulator->Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0], "MON=07!");
    EXPECT_EQ(commands[1].substr(0, 17), "LINK=00^01,03^02,");
    EXPECT_EQ(commands[2], "NET=?!");
    // The model follows the router, which has the new settings by now.
    EXPECT_EQ(client.session.state.monitoringChannel, 7);
    EXPECT_EQ(client.session.state.routedInput[2], 3);
    EXPECT_EQ(client.session.state.routedInput[1], 0);
}

TEST(UdpEndToEnd, DisconnectClearsTheTablesAndTheQueue) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    simulator->SetSilent(true);
    for (const char* command : {"MON=01!", "MON=02!", "MON=03!"}) {
        client.session.EnqueueCommand(command);
    }
    ASSERT_TRUE(client.RunUntil(
        [&] {
            return client.session.commandQueue.size() == 2 &&
                   simulator->CommandCount() == kStartupQueryCount + 1;
        },
        2s));
    client.connection.Disconnect();

    EXPECT_EQ(client.session.connectionStatus, kDisconnected);
    EXPECT_TRUE(client.session.commandQueue.empty());
    EXPECT_EQ(client.connection.udpLink, nullptr);
    const RouterState& state = client.session.state;
    for (int n = 1; n <= kChannelCount; ++n) {
        EXPECT_EQ(state.routedInput[n], 0);
        EXPECT_EQ(state.outputPlugged[n], 0);
        EXPECT_TRUE(state.inputStatusText[n].empty());
        EXPECT_TRUE(state.inputEdidMode[n].empty());
    }
    for (int s = 1; s <= kSlotCount; ++s) {
        EXPECT_EQ(state.inputCardType[s], 0);
        EXPECT_EQ(state.outputCardType[s], 0);
    }
    // What belongs to the router, not the connection, stays.
    EXPECT_EQ(state.routerIp, "127.0.0.1");
    EXPECT_EQ(state.webLock, 1);
    EXPECT_EQ(state.quadLayout[3], 4);
    EXPECT_EQ(client.sink.With("UDP Disconnect ").size(), 1u);

    // Nothing more leaves after the disconnect.
    std::size_t received = simulator->CommandCount();
    client.RunUntil([] { return false; }, 300ms);
    EXPECT_EQ(simulator->CommandCount(), received);
}

TEST(UdpEndToEnd, ARouterPortNobodyListensOnGivesConnectionFailed) {
    int port = 0;
    {
        auto probe = StartUdpSim();
        ASSERT_TRUE(probe);
        port = probe->port;
    }  // stopped: the port is closed again
    Client client;
    client.UseUdp(port);
    client.connection.Connect();
    ASSERT_EQ(client.session.connectionStatus, kConnecting);
    EXPECT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));

    // Failed stays failed: no more polling, no more sending.
    std::size_t sent = client.sink.With("-->Data[").size();
    client.RunUntil([] { return false; }, 300ms);
    EXPECT_EQ(client.sink.With("-->Data[").size(), sent);
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
}

TEST(UdpEndToEnd, ADatagramOverTwoHundredFiftySixBytesGivesConnectionFailed) {
    sim::SimOptions options;
    options.fault = sim::Fault::Oversize;
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    EXPECT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_TRUE(client.sink.With("<--Recv[").empty());
}

TEST(UdpEndToEnd, GarbageAnswersNeitherStopNorBreakThePoll) {
    sim::SimOptions options;
    options.fault = sim::Fault::Garbage;
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil(
        [&] {
            return client.session.pollIndex >= static_cast<unsigned>(kStartupQueryCount) &&
                   client.session.commandQueue.empty() &&
                   simulator->CommandCount() >= static_cast<std::size_t>(kStartupQueryCount);
        },
        30s));
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
}

TEST(UdpEndToEnd, AResponseSplitOverDatagramsIsParsedOnce) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    simulator->Inject("MON", 0);
    simulator->Inject("=1", 60);
    simulator->Inject("1!", 120);
    ASSERT_TRUE(client.RunUntil([&] { return client.session.state.monitoringChannel == 11; }, 5s));
    EXPECT_EQ(client.sink.With("<--Recv[MON").size(), 2u);  // the poll's answer and this one
    EXPECT_EQ(client.sink.With("<--Recv[MON=11!]").size(), 1u);
}

TEST(UdpEndToEnd, LogLinesFollowTheirFormats) {
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("<--Recv[LINK=").size() == 1; }));
    client.connection.Disconnect();

    const std::string port = std::to_string(simulator->port);
    const std::string local = std::to_string(simulator->port + 10);
    const std::vector<std::regex> forms = {
        std::regex("UDP Socket Create Port=" + local + " OK"),
        std::regex("UDP Socket Connect IP Address=127\\.0\\.0\\.1 Port=" + port + " "),
        std::regex("-->Data\\[[A-Z0-9]+=[^\\]]*!\\]"),
        std::regex("<--Recv\\[[A-Z0-9]+=[^\\]]*!\\]"),
        std::regex("UDP Disconnect "),
    };
    const std::regex stamped(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\](.*))");

    std::vector<std::string> fileLines;
    std::ifstream file(client.log.DailyFileName());
    for (std::string line; std::getline(file, line);) {
        fileLines.push_back(line);
    }
    ASSERT_EQ(fileLines.size(), client.sink.lines.size());
    for (std::size_t i = 0; i < fileLines.size(); ++i) {
        EXPECT_EQ(fileLines[i], client.sink.lines[i].text);
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(fileLines[i], parts, stamped)) << fileLines[i];
        const std::string message = parts[1];
        bool known = false;
        for (const std::regex& form : forms) {
            known = known || std::regex_match(message, form);
        }
        EXPECT_TRUE(known) << message;
    }
    EXPECT_EQ(client.sink.With("-->Data[NET=?!]").size(), 1u);
    EXPECT_EQ(client.sink.With("<--Recv[NETIP=127.0.0.1!]").size(), 1u);
}

}  // namespace
}  // namespace corvane::testing
