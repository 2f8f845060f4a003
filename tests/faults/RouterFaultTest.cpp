// The connection against the simulated router end to end over loopback UDP
// and a pty, and a router that misbehaves: hostile bytes, a process that dies
// mid-poll, a serial line that hangs up mid-stream; a log that cannot be written.

#include <algorithm>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

using namespace std::string_literals;

// Every command the client has sent or still holds, in order.
std::vector<std::string> SentThenQueued(const Client& client) {
    std::vector<std::string> all = client.sent;
    all.insert(all.end(), client.session.commandQueue.begin(), client.session.commandQueue.end());
    return all;
}

const auto kLinkName = [](const auto& info) { return info.param ? "Pty" : "Udp"; };

class EndToEnd : public ::testing::TestWithParam<bool> {};

TEST_P(EndToEnd, StartupQueriesGoInOrderAndFillTheModel) {
    Client client;
    auto simulator = Connect(client, GetParam());
    ASSERT_TRUE(simulator);
    EXPECT_EQ(client.session.connectionStatus, kConnecting);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    EXPECT_EQ(client.sent, StartupQueryList());
    ExpectModelMatches(client.session.state, simulator->Router());
    const std::string opened = simulator->ptyPath + " Baudrate:115200 Open 8,1,NO OK!!! ";
    EXPECT_EQ(client.sink.Count(opened), GetParam() ? 1u : 0u);

    // A user EDID frame holding raw "!" bytes arrives whole, and queries still
    // frame correctly behind it.
    std::uint8_t edid[kEdidSize];
    for (std::size_t i = 0; i < kEdidSize; ++i)
        edid[i] = i % 3 == 0 ? '!' : static_cast<std::uint8_t>(i);
    const std::vector<std::uint8_t> frame = UserEdidFrame(edid);
    client.session.activeLink->Write(frame.data(), frame.size());
    client.session.EnqueueCommand("MON=07!");
    ASSERT_TRUE(client.RunUntil([&] { return client.session.state.monitoringChannel == 7; }, 5s));
    EXPECT_EQ(simulator->Router().userEdid, std::vector<std::uint8_t>(edid, edid + kEdidSize));
}

INSTANTIATE_TEST_SUITE_P(Links, EndToEnd, ::testing::Values(false, true), kLinkName);

TEST(HostileAnswers, AreLoggedAsTheyCameAndLeaveTheLinkWorking) {
    Client client;
    auto simulator = Connect(client, false);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    struct Case {
        std::string bytes;                  // injected, then a sound answer
        const char* answer;                 // 100 ms later
        std::vector<std::string> received;  // the answers they give
        int monitoringChannel;              // the model afterwards (the poll left 3)
    };
    const Case cases[] = {
        // A NUL ends the text early, so leading NULs hide the whole next answer.
        {"\0\0\0\0"s, "MON=05!", {""}, 3},
        {"!", "MON=06!", {"!", "MON=06!"}, 6},
        {"MON=0\0007!"s, "MON=08!", {"MON=0", "MON=08!"}, 8},
        {"\xff\xfe=\x80\x81!", "MON=09!", {"\xff\xfe=\x80\x81!", "MON=09!"}, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        const std::size_t before = client.answers.size();
        simulator->Inject(c.bytes);
        simulator->Inject(c.answer, 100);
        ASSERT_TRUE(client.RunUntil(
            [&] { return client.answers.size() >= before + c.received.size(); }, 5s));
        client.RunUntil([] { return false; }, 200ms);  // nothing more may follow
        EXPECT_EQ(std::vector<std::string>(client.answers.begin() + before, client.answers.end()),
                  c.received);
        EXPECT_EQ(client.session.state.monitoringChannel, c.monitoringChannel);
    }
    // The link still carries commands both ways afterwards.
    client.session.EnqueueCommand("MON=02!");
    ASSERT_TRUE(client.RunUntil([&] { return client.session.state.monitoringChannel == 2; }, 5s));
    EXPECT_EQ(client.session.connectionStatus, kConnected);
}

class GarbageRouter : public ::testing::TestWithParam<bool> {};

TEST_P(GarbageRouter, GetsEveryQueryInOrderAndEveryAnswerIsShown) {
    sim::SimOptions options;
    options.fault = sim::Fault::Garbage;
    Client client;
    auto simulator = Connect(client, GetParam(), options);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil(
        [&] {
            return client.session.pollIndex == kStartupQueryCount &&
                   client.session.commandQueue.empty() &&
                   simulator->CommandCount() == kStartupQueryCount;
        },
        20s));

    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    EXPECT_EQ(SentThenQueued(client), StartupQueryList());
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    // Every "!" the noise held ended one response, and each was logged.
    EXPECT_GE(client.answers.size(), static_cast<std::size_t>(kStartupQueryCount));
    client.ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Links, GarbageRouter, ::testing::Values(false, true), kLinkName);

TEST(KilledRouter, MidPollGivesConnectionFailedAndKeepsTheRestQueued) {
    const int port = FreeRouterPort();
    ASSERT_NE(port, 0);
    // The router as a separate process, up a minute at most if the test dies.
    Child router({ROUTERSIM_PATH, "--udp", std::to_string(port), "--duration", "60"});
    // It says "udp: ..." once it is bound; a poll sent before would go unheard.
    router.Collect(kPatience, true);
    ASSERT_EQ(router.out.rfind("udp: ", 0), 0u) << router.out;
    Client client;
    client.UseUdp(port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.answers.size() >= 10; }, 10s));
    router.Stop(SIGKILL);

    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_EQ(client.sink.Count("UDP Socket Receive ERR="), 1u);

    // Failed means quiet: nothing more is sent, nothing queued is dropped.
    std::vector<std::string> expected = SentThenQueued(client);
    expected.push_back("MON=04!");
    client.session.EnqueueCommand("MON=04!");
    client.ExpectIdle();
    EXPECT_EQ(SentThenQueued(client), expected);
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
}

// The first case hangs up mid-stream; in the second the tick comes before the
// hang-up notice is handled, so the command due then cannot be written and
// must neither vanish nor be logged as sent. Either way the failed link is
// reported once and nothing spins on it.
TEST(HungUpPty, KeepsWhatArrivedInOrderAndTheUnsentCommand) {
    for (const bool tickFirst : {false, true}) {
        SCOPED_TRACE(tickFirst ? "tick before the notice" : "mid-stream");
        Client client;
        auto simulator = Connect(client, true);
        ASSERT_TRUE(simulator && client.RunUntil([&] { return client.StartupDone(); }));

        if (!tickFirst) {
            std::string stream;
            for (int n = 0; n < 4000; ++n)
                stream += Sequence(n);
            simulator->Inject(stream);
            ASSERT_TRUE(client.RunUntil([&] { return client.answers.size() >= 50; }, 5s));
        }
        simulator->DropLink();
        if (tickFirst) {
            for (int wait = 0; wait < 1000 && client.connection.serialLink.connected; ++wait)
                std::this_thread::sleep_for(2ms);
            ASSERT_EQ(client.connection.serialLink.connected.load(), 0);
            client.session.EnqueueCommand("MON=04!");
            client.session.sendCountdown = 0;
            client.session.OnSendTimer();
        }
        ASSERT_TRUE(client.RunUntil(
            [&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
        if (!tickFirst)
            client.session.EnqueueCommand("MON=04!");

        // Whatever got through is a gap-free prefix of what was sent.
        std::vector<std::string> seen;
        for (const std::string& answer : client.answers)
            if (answer.starts_with("SEQ="))
                seen.push_back(answer);
        for (std::size_t i = 0; i < seen.size(); ++i)
            ASSERT_EQ(seen[i], Sequence(static_cast<int>(i)));
        EXPECT_EQ(client.connection.serialLink.connected.load(), 0);
        EXPECT_EQ(client.session.activeLink, nullptr);
        client.connection.OnSerialHangup();  // a late notice changes nothing
        EXPECT_EQ(client.sink.Count(simulator->ptyPath + " Disconnected by the device "), 1u);
        client.ExpectIdle();
        EXPECT_EQ(std::count(client.sent.begin(), client.sent.end(), "MON=04!"), 0);
        ASSERT_FALSE(client.session.commandQueue.empty());
        EXPECT_EQ(client.session.commandQueue.back(), "MON=04!");
        EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
    }
}

// A log directory that is a plain file: every way of failing to open today's
// file ends in the same failed open. The screen still shows each line.
TEST(UnwritableLog, ScreenStillShowsEveryLineAndTheLinkWorks) {
    TempDir dir;
    dir.Write("plain", "");
    Client client;
    client.log.directory = dir.path + "/plain";
    auto simulator = Connect(client, false);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    EXPECT_EQ(client.sink.Count("-->Data["), static_cast<std::size_t>(kStartupQueryCount));
    EXPECT_EQ(client.sink.Count("<--Recv["), simulator->CommandCount() + 4 + 3);
    ExpectModelMatches(client.session.state, simulator->Router());
}

}  // namespace
}  // namespace corvane::testing
