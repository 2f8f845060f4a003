// The connection against the simulated router end to end over loopback UDP
// and a pty, with a log that cannot be written, and a router that misbehaves:
// one that answers noise, falls silent, goes away and comes back, a serial
// line that hangs up.

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

const auto kLinkName = [](const auto& info) { return info.param ? "Pty" : "Udp"; };

class EndToEnd : public ::testing::TestWithParam<bool> {};

// The log directory is a plain file: the screen still shows every line.
TEST_P(EndToEnd, StartupQueriesGoInOrderAndFillTheModelThoughTheLogCannotBeWritten) {
    Client client;
    client.dir.Write("plain", "");
    client.log.directory = client.dir.path + "/plain";
    auto simulator = Connect(client, GetParam());
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    EXPECT_EQ(client.sent, StartupQueryList());
    EXPECT_EQ(ModelText(client.session.state), ModelText(PolledModel(simulator->Router())));
    EXPECT_EQ(LogCount(client.sink, "-->Data["), client.sent.size());
    EXPECT_EQ(LogCount(client.sink, "<--Recv["), client.answers.size());
    const std::string opened = simulator->ptyPath + " Baudrate:115200 Open 8,1,NO OK!!! ";
    EXPECT_EQ(LogCount(client.sink, opened), GetParam() ? 1u : 0u);

    // Disconnect forgets what the connection showed but not the router's
    // settings, drops a command half out, and closes the open link whatever
    // the settings say by now (the log line follows them).
    client.session.EnqueueCommand("MON=01!");
    client.session.RequestRoutes({{1, 2}});
    client.session.headSent = 3;
    client.config.useSerial = !GetParam();
    client.connection.Disconnect();
    EXPECT_TRUE(
        client.sink.lines.back().ends_with(GetParam() ? "]UDP Disconnect " : "]RS232 Disconnect "));
    EXPECT_EQ(client.session.connectionStatus, kDisconnected);
    EXPECT_TRUE(client.session.commandQueue.empty());
    EXPECT_EQ(client.session.headSent, 0u);
    EXPECT_FALSE(client.session.routing.HasPending());
    sim::SimRouter forgotten = simulator->Router();
    for (int n = 1; n <= kChannelCount; ++n) {
        forgotten.route[n] = forgotten.outputPlugged[n] = 0;
        forgotten.inputSignal[n] = forgotten.edidMode[n] = "";
    }
    for (int s = 1; s <= kSlotCount; ++s)
        forgotten.inputCard[s] = forgotten.outputCard[s] = 0;
    EXPECT_EQ(ModelText(client.session.state), ModelText(PolledModel(forgotten)));
    EXPECT_TRUE(GetParam() ? SerialLink().Open(simulator->ptyPath, 9600, 8, StopBits::kOne,
                                               Parity::kNone) == LinkResult::kOk
                           : NeighbourFree(simulator->port))
        << "link still held";
}

// Noise for answers: each "!" in it ends one answer, every query still goes
// once and in order, and nothing spins.
TEST_P(EndToEnd, ANoisyRouterGetsEveryQueryInOrder) {
    sim::SimOptions options;
    options.fault = sim::Fault::Garbage;
    Client client;
    auto simulator = Connect(client, GetParam(), options);
    ASSERT_TRUE(simulator);
    const auto polled = [&] {
        return simulator->CommandCount() == kStartupQueryCount &&
               client.session.commandQueue.empty();
    };
    ASSERT_TRUE(client.RunUntil(polled, 20s));
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    std::vector<std::string> all = client.sent;  // sent, then still queued
    all.insert(all.end(), client.session.commandQueue.begin(), client.session.commandQueue.end());
    EXPECT_EQ(all, StartupQueryList());
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    client.ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Links, EndToEnd, ::testing::Values(false, true), kLinkName);

// A router whose process goes away and comes back on the same port is
// noticed, logged once, read again and routable again without anyone pressing
// a button; the attempts in between leave nothing in the log. (A router that
// falls silent with its socket open is the session's, tests/protocol.)
TEST(RouterComesBack, AfterARestart) {
    Client client;
    client.config.reconnect = true;
    auto simulator = Connect(client, false);
    ASSERT_TRUE(simulator);
    const int port = simulator->port;
    ASSERT_TRUE(client.RunUntil([&] { return client.session.Live(); }, 10s));

    simulator.reset();  // the process is gone; the next query meets a closed port
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 10s));
    const std::string failed =
        "Router link to 127.0.0.1:" + std::to_string(port) + " failed; trying again every 3 s";
    EXPECT_EQ(LogCount(client.sink, failed), 1u);
    EXPECT_EQ(LogCount(client.sink, "UDP Socket Receive ERR="), 1u);
    // Failed means quiet until the next attempt: nothing queued is sent or dropped.
    client.session.EnqueueCommand("MON=04!");
    client.ExpectIdle();
    EXPECT_EQ(client.session.commandQueue.back(), "MON=04!");
    EXPECT_EQ(std::count(client.sent.begin(), client.sent.end(), "MON=04!"), 0);
    const std::size_t linesWhileDown = client.sink.lines.size();
    client.ExpectIdle(4s);  // at least one attempt meets the closed port
    EXPECT_EQ(client.sink.lines.size(), linesWhileDown);
    sim::SimOptions options;
    options.udpPort = port;
    simulator = StartSim(options);
    ASSERT_TRUE(simulator && simulator->port == port);
    ASSERT_TRUE(client.RunUntil([&] { return client.session.Live(); }, 10s));
    EXPECT_EQ(
        LogCount(client.sink, "Router link to 127.0.0.1:" + std::to_string(port) + " is back"), 1u);
    // The attempts that met the closed port did not use up what was queued.
    EXPECT_EQ(std::count(client.sent.begin(), client.sent.end(), "MON=04!"), 1);
    EXPECT_EQ(simulator->Router().monitoringChannel, 4);
    client.session.RequestRoutes({{13, 2}});
    ASSERT_TRUE(client.RunUntil([&] { return simulator->Router().route[13] == 2; }, 5s));
}

// The tick comes before the hang-up notice is handled, so the command due
// then cannot be written and must neither vanish nor be logged as sent. The
// failed link is reported once and nothing spins on it.
TEST(HungUpPty, KeepsTheUnsentCommandAndIsReportedOnce) {
    Client client;
    auto simulator = Connect(client, true);
    ASSERT_TRUE(simulator && client.RunUntil([&] { return client.StartupDone(); }));
    simulator->DropLink();
    for (int wait = 0; wait < 1000 && client.connection.serialLink.connected; ++wait)
        std::this_thread::sleep_for(2ms);
    ASSERT_EQ(client.connection.serialLink.connected.load(), 0);
    client.session.EnqueueCommand("MON=04!");
    client.session.sendCountdown = 0;
    client.session.OnSendTimer();
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));

    EXPECT_EQ(client.session.activeLink, nullptr);
    client.connection.OnSerialHangup();  // a late notice changes nothing
    EXPECT_EQ(LogCount(client.sink, simulator->ptyPath + " Disconnected by the device "), 1u);
    client.ExpectIdle();
    EXPECT_EQ(std::count(client.sent.begin(), client.sent.end(), "MON=04!"), 0);
    ASSERT_FALSE(client.session.commandQueue.empty());
    EXPECT_EQ(client.session.commandQueue.back(), "MON=04!");
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
}

}  // namespace
}  // namespace corvane::testing
