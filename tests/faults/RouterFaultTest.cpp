// A router that misbehaves end to end: hostile bytes, a process that dies
// mid-poll, a serial line that hangs up mid-stream.

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

using namespace std::string_literals;

// Every command the client has logged as sent or still holds, in order.
std::vector<std::string> SentThenQueued(const Client& client) {
    std::vector<std::string> all;
    for (const RecordingSink::Line& line : client.sink.With("-->Data["))
        all.push_back(line.text.substr(8, line.text.size() - 9));
    all.insert(all.end(), client.session.commandQueue.begin(), client.session.commandQueue.end());
    return all;
}

TEST(HostileAnswers, AreLoggedAsTheyCameAndLeaveTheLinkWorking) {
    Client client;
    auto simulator = Connect(client, false);
    ASSERT_TRUE(simulator);
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    struct Case {
        std::string bytes;                  // injected, then a sound answer
        const char* answer;                 // 100 ms later
        std::vector<std::string> received;  // the "<--Recv[...]" texts they give
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
        const std::size_t before = client.sink.With("<--Recv[").size();
        simulator->Inject(c.bytes);
        simulator->Inject(c.answer, 100);
        ASSERT_TRUE(client.RunUntil(
            [&] { return client.sink.With("<--Recv[").size() >= before + c.received.size(); }, 5s));
        client.RunUntil([] { return false; }, 200ms);  // nothing more may follow
        const auto lines = client.sink.With("<--Recv[");
        ASSERT_EQ(lines.size(), before + c.received.size());
        for (std::size_t i = 0; i < c.received.size(); ++i)
            EXPECT_EQ(lines[before + i].text, "<--Recv[" + c.received[i] + "]");
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
    EXPECT_GE(client.sink.With("<--Recv[").size(), static_cast<std::size_t>(kStartupQueryCount));
    client.ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Links, GarbageRouter, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pty" : "Udp"; });

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
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("<--Recv[").size() >= 10; }, 10s));
    router.Stop(SIGKILL);

    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_EQ(client.sink.With("UDP Socket Receive ERR=").size(), 1u);

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
// must neither vanish nor be logged as sent.
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
            ASSERT_TRUE(
                client.RunUntil([&] { return client.sink.With("<--Recv[SEQ=").size() >= 50; }, 5s));
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
        const auto seen = client.sink.With("<--Recv[SEQ=");
        for (std::size_t i = 0; i < seen.size(); ++i)
            ASSERT_EQ(seen[i].text, "<--Recv[" + Sequence(static_cast<int>(i)) + "]");
        client.RunUntil([] { return false; }, 200ms);
        EXPECT_TRUE(client.sink.With("-->Data[MON=04!]").empty());
        ASSERT_FALSE(client.session.commandQueue.empty());
        EXPECT_EQ(client.session.commandQueue.back(), "MON=04!");
    }
}

}  // namespace
}  // namespace corvane::testing
