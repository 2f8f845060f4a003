// The program's connection against the simulated router over loopback UDP and a pty.

#include <regex>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

class EndToEnd : public ::testing::TestWithParam<bool> {};

TEST_P(EndToEnd, StartupQueriesGoOnePerAnswerInOrderAndFillTheModel) {
    Client client;
    auto simulator = Connect(client, GetParam());
    ASSERT_TRUE(simulator);
    EXPECT_EQ(client.session.connectionStatus, kConnecting);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    ExpectModelMatches(client.session.state, simulator->Router());
    const std::string opened = simulator->ptyPath + " Baudrate:115200 Open 8,1,NO OK!!! ";
    EXPECT_EQ(client.sink.With(opened).size(), GetParam() ? 1u : 0u);

    // Every send after the first leaves within a tick of the answer before it.
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

// A reply arriving in pieces is parsed once, with what follows it in the same read.
TEST_P(EndToEnd, AnswersSplitOverSeveralReadsAreParsedOnce) {
    Client client;
    auto simulator = Connect(client, GetParam());
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    simulator->Inject("LINK=0", 0);
    simulator->Inject("9^0", 60);
    simulator->Inject("4!MON=1", 120);
    simulator->Inject("2!", 180);
    ASSERT_TRUE(client.RunUntil([&] { return client.session.state.monitoringChannel == 12; }, 5s));
    EXPECT_EQ(client.session.state.routedInput[4], 9);
    EXPECT_EQ(client.sink.With("<--Recv[LINK=09^04!]").size(), 1u);
    EXPECT_EQ(client.sink.With("<--Recv[MON=12!]").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Links, EndToEnd, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pty" : "Udp"; });

TEST(UdpEndToEnd, WithASilentRouterCommandsLeaveTwentyTicksApart) {
    sim::SimOptions options;
    options.silent = true;
    Client client;
    auto simulator = Connect(client, false, options);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("-->Data[").size() >= 4; }, 20s));
    std::vector<RecordingSink::Line> sent = client.sink.With("-->Data[");
    for (std::size_t i = 1; i < sent.size(); ++i)
        EXPECT_EQ(sent[i].tick - sent[i - 1].tick, 20) << sent[i].text;
    EXPECT_EQ(client.session.connectionStatus, kConnecting);  // nothing answered
    // Every datagram reached the router although none was answered.
    ASSERT_TRUE(client.RunUntil([&] { return simulator->CommandCount() >= 4; }, 2s));
    EXPECT_EQ(simulator->Commands()[3], "MON=?!");
}

TEST(UdpEndToEnd, CommandsQueuedBeforeConnectGoFirst) {
    Client client;
    client.session.EnqueueCommand("MON=07!");
    client.session.LinkOutput(3, 2);  // unknown map yet: only output 2 linked
    auto simulator = Connect(client, false);
    ASSERT_TRUE(simulator);
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

// A router that is gone entirely is the killed-router fault case.
TEST(UdpEndToEnd, AnswersOverTheReadSizeGiveConnectionFailedAndStopSending) {
    sim::SimOptions options;
    options.fault = sim::Fault::Oversize;
    Client client;
    auto simulator = Connect(client, false, options);
    ASSERT_TRUE(simulator);
    ASSERT_EQ(client.session.connectionStatus, kConnecting);
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_FALSE(client.sink.With("UDP Socket Receive ERR=" + std::to_string(EMSGSIZE)).empty());
    EXPECT_TRUE(client.sink.With("<--Recv[").empty());
    const std::size_t sent = client.sink.With("-->Data[").size();
    client.RunUntil([] { return false; }, 300ms);
    EXPECT_EQ(client.sink.With("-->Data[").size(), sent);  // failed stays failed
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
}

TEST(UdpEndToEnd, LogLinesFollowTheirFormats) {
    Client client;
    auto simulator = Connect(client, false);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("<--Recv[LINK=").size() == 1; }));
    client.connection.Disconnect();

    const std::string port = std::to_string(simulator->port);
    const std::regex form(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\])"
                          "(UDP Socket Create Port=" +
                          std::to_string(simulator->port + 10) +
                          " OK|UDP Socket Connect IP Address=127\\.0\\.0\\.1 Port=" + port +
                          " |-->Data\\[[A-Z0-9]+=[^\\]]*!\\]|<--Recv\\[[A-Z0-9]+=[^\\]]*!\\]"
                          "|UDP Disconnect )");
    std::ifstream file(client.log.DailyFileName());
    std::size_t i = 0;
    for (std::string line; std::getline(file, line); ++i) {
        ASSERT_LT(i, client.sink.lines.size());
        EXPECT_EQ(line, client.sink.lines[i].text);  // the file holds what the screen shows
        EXPECT_TRUE(std::regex_match(line, form)) << line;
    }
    EXPECT_EQ(i, client.sink.lines.size());
    EXPECT_EQ(client.sink.With("-->Data[NET=?!]").size(), 1u);
    EXPECT_EQ(client.sink.With("<--Recv[NETIP=127.0.0.1!]").size(), 1u);
}

TEST(PtyEndToEnd, UserEdidFrameWithRawBangsArrivesWhole) {
    Client client;
    auto simulator = Connect(client, true);
    ASSERT_TRUE(simulator);
    std::uint8_t edid[kEdidSize];
    for (std::size_t i = 0; i < kEdidSize; ++i)
        edid[i] = i % 3 == 0 ? '!' : static_cast<std::uint8_t>(i);
    std::vector<std::uint8_t> frame = UserEdidFrame(edid);
    ASSERT_NE(client.session.activeLink, nullptr);
    client.session.activeLink->Write(frame.data(), frame.size());
    ASSERT_TRUE(client.RunUntil([&] { return !simulator->Router().userEdid.empty(); }, 5s));
    EXPECT_EQ(simulator->Router().userEdid, std::vector<std::uint8_t>(edid, edid + kEdidSize));
    // Queries still frame correctly behind the raw bytes.
    ASSERT_TRUE(client.RunUntil([&] { return simulator->CommandCount() >= 3; }, 5s));
}

TEST(PtyEndToEnd, AHungUpPtyShowsConnectionFailedWithoutSpinning) {
    sim::SimOptions options;
    options.fault = sim::Fault::Drop;
    Client client;
    auto simulator = Connect(client, true, options);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 10s));
    EXPECT_TRUE(simulator->LinkDropped());
    EXPECT_EQ(client.connection.serialLink.connected.load(), 0);
    EXPECT_EQ(client.session.activeLink, nullptr);
    client.connection.OnSerialHangup();  // a late notice changes nothing
    EXPECT_EQ(client.sink.With(simulator->ptyPath + " Disconnected by the device ").size(), 1u);

    client.ExpectIdle(800ms);
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
    client.connection.Disconnect();
    EXPECT_EQ(client.session.connectionStatus, kDisconnected);
}

}  // namespace
}  // namespace corvane::testing
