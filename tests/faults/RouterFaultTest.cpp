// A router that misbehaves, end to end: hostile bytes, silence, a process
// that dies mid-poll and a serial line that hangs up mid-stream. Whatever
// happens, nothing crashes or spins, nothing queued disappears unseen, and the
// status and the log tell the user what really happened.

#include <signal.h>
#include <sys/wait.h>

#include <ctime>
#include <deque>
#include <thread>

#include "Harness.h"

namespace corvane::testing {
namespace {

// Every command the client still holds or has logged as sent, in order.
std::vector<std::string> SentThenQueued(const Client& client) {
    std::vector<std::string> all;
    for (const RecordingSink::Line& line : client.sink.With("-->Data[")) {
        all.push_back(line.text.substr(8, line.text.size() - 9));
    }
    all.insert(all.end(), client.session.commandQueue.begin(), client.session.commandQueue.end());
    return all;
}

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Runs the loop idle for a while and returns the share of one core it used.
double IdleCpuShare(Client& client, std::chrono::milliseconds span) {
    const double cpu = CpuSeconds();
    const auto wall = std::chrono::steady_clock::now();
    client.RunUntil([] { return false; }, span);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    return (CpuSeconds() - cpu) / elapsed;
}

struct HostileCase {
    const char* name;
    std::string bytes;                  // injected after the start-up poll
    std::vector<std::string> received;  // the "<--Recv[...]" texts they must give
    int monitoringChannel;              // the model afterwards (the poll left 3)
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileAnswers : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileAnswers, AreLoggedAsTheyCameAndLeaveTheLinkWorking) {
    const HostileCase& c = GetParam();
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    const std::size_t before = client.sink.With("<--Recv[").size();

    simulator->Inject(c.bytes);
    simulator->Inject("MON=09!", 100);  // a sound answer after the noise
    auto fresh = [&] {
        std::vector<std::string> texts;
        for (const auto& line : client.sink.With("<--Recv["))
            texts.push_back(line.text);
        texts.erase(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(before));
        return texts;
    };
    ASSERT_TRUE(client.RunUntil([&] { return fresh().size() >= c.received.size(); }, 5s));
    client.RunUntil([] { return false; }, 200ms);  // nothing more may follow

    const std::vector<std::string> got = fresh();
    std::vector<std::string> expected;
    for (const std::string& text : c.received)
        expected.push_back("<--Recv[" + text + "]");
    EXPECT_EQ(got, expected);
    EXPECT_EQ(client.session.state.monitoringChannel, c.monitoringChannel);
    EXPECT_EQ(client.session.connectionStatus, kConnected);

    // The link still carries commands both ways afterwards.
    client.session.EnqueueCommand("MON=05!");
    ASSERT_TRUE(client.RunUntil([&] { return client.session.state.monitoringChannel == 5; }, 5s));
    EXPECT_LT(IdleCpuShare(client, 300ms), 0.5);
}

std::string Bytes(const char* text, std::size_t size) {
    return std::string(text, size);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Udp, HostileAnswers, ::testing::Values(
    // A NUL ends the text early, so leading NULs hide the whole next answer.
    HostileCase{"NulBytesOnly", Bytes("\0\0\0\0", 4), {""}, 3},
    HostileCase{"BareBang", "!", {"!", "MON=09!"}, 9},
    HostileCase{"BangsOnly", "!!!!", {"!", "!", "!", "!", "MON=09!"}, 9},
    HostileCase{"NulInsideAnswer", Bytes("MON=0\0" "7!", 8), {"MON=0", "MON=09!"}, 9},
    HostileCase{"HighBytes", "\xff\xfe=\x80\x81!", {"\xff\xfe=\x80\x81!", "MON=09!"}, 9},
    HostileCase{"NegativeChannel", "MON=-5!LINK=-3^-2,99^99!", {"MON=-5!", "LINK=-3^-2,99^99!",
                                                               "MON=09!"}, 9},
    HostileCase{"HugeNumbers", "MON=99999999999999999999!SLOT=99999999999999_FFFFFFFFFFFF_1!",
                {"MON=99999999999999999999!", "SLOT=99999999999999_FFFFFFFFFFFF_1!", "MON=09!"},
                9}));
// clang-format on

std::unique_ptr<sim::RouterSim> StartSim(bool serial, const sim::SimOptions& options) {
    return serial ? StartSerialSim(options) : StartUdpSim(options);
}

void UseSim(Client& client, bool serial, const sim::RouterSim& simulator) {
    if (serial)
        client.UseSerial(simulator.ptyPath);
    else
        client.UseUdp(simulator.port);
}

class GarbageRouter : public ::testing::TestWithParam<bool> {};

TEST_P(GarbageRouter, GetsEveryQueryInOrderAndEveryAnswerIsShown) {
    sim::SimOptions options;
    options.fault = sim::Fault::Garbage;
    auto simulator = StartSim(GetParam(), options);
    ASSERT_TRUE(simulator);
    Client client;
    UseSim(client, GetParam(), *simulator);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil(
        [&] {
            return client.session.pollIndex == kStartupQueryCount &&
                   client.session.commandQueue.empty() &&
                   simulator->CommandCount() == kStartupQueryCount;
        },
        20s));
    client.RunUntil([] { return false; }, 200ms);

    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    EXPECT_EQ(SentThenQueued(client), StartupQueryList());
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    // Every "!" the noise held ended one response, and each was logged.
    EXPECT_GE(client.sink.With("<--Recv[").size(), static_cast<std::size_t>(kStartupQueryCount));
    const RouterState& state = client.session.state;
    for (int n = 1; n <= kChannelCount; ++n) {
        EXPECT_GE(state.routedInput[n], 0);
        EXPECT_LE(state.routedInput[n], kChannelCount);
    }
    EXPECT_LT(IdleCpuShare(client, 300ms), 0.5);
}

INSTANTIATE_TEST_SUITE_P(Links, GarbageRouter, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pty" : "Udp"; });

TEST(SlowRouter, EachQueryWaitsForItsAnswer) {
    sim::SimOptions options;
    options.delayMs = 150;  // three ticks, well inside the second a command waits
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }, 30s));

    // Never two commands out at once: an answer comes between any two sends.
    bool answered = true;
    for (const RecordingSink::Line& line : client.sink.lines) {
        if (line.text.find("]-->Data[") != std::string::npos) {
            EXPECT_TRUE(answered) << line.text;
            answered = false;
        } else if (line.text.find("]<--Recv[") != std::string::npos) {
            answered = true;
        }
    }
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    ExpectModelMatches(client.session.state, simulator->Router());
}

TEST(SilentRouter, KeepsEveryCommandQueuedAndShowsConnecting) {
    sim::SimOptions options;
    options.silent = true;
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.session.LinkOutput(3, 2);
    client.session.EnqueueCommand("MON=07!");
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return simulator->CommandCount() >= 3; }, 10s));
    client.RunUntil([] { return false; }, 100ms);

    // What left is exactly what the router got; the rest waits, in order.
    const std::vector<std::string> all = SentThenQueued(client);
    ASSERT_EQ(all.size(), 2 + client.session.pollIndex);
    EXPECT_EQ(all[1], "MON=07!");
    for (unsigned i = 0; i < client.session.pollIndex; ++i) {
        EXPECT_EQ(all[2 + i], StartupQueries[i]);
    }
    std::vector<std::string> routerGot = simulator->Commands();
    EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + routerGot.size()), routerGot);
    EXPECT_EQ(client.session.connectionStatus, kConnecting);
    EXPECT_TRUE(client.sink.With("<--Recv[").empty());
}

// The router as a separate process that can be killed at any moment.
class RouterProcess {
public:
    explicit RouterProcess(int port) {
        pid = fork();
        if (pid == 0) {
            // Stays up at most a minute even if the test dies first.
            execl(ROUTERSIM_PATH, ROUTERSIM_PATH, "--udp", std::to_string(port).c_str(),
                  "--duration", "60", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~RouterProcess() { Kill(); }
    void Kill() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    pid_t pid = -1;
};

TEST(KilledRouter, MidPollGivesConnectionFailedAndKeepsTheRestQueued) {
    int port = 0;
    {
        auto probe = StartUdpSim();
        ASSERT_TRUE(probe);
        port = probe->port;
    }
    RouterProcess router(port);
    ASSERT_GT(router.pid, 0);
    Client client;
    client.UseUdp(port);
    client.connection.Connect();
    // The process needs a moment to bind; until then the poll may fail.
    ASSERT_TRUE(client.RunUntil(
        [&] {
            return client.sink.With("<--Recv[").size() >= 10 ||
                   client.session.connectionStatus == kConnectionFailed;
        },
        10s));
    if (client.session.connectionStatus == kConnectionFailed)
        GTEST_SKIP() << "router not up";

    router.Kill();
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_EQ(client.sink.With("UDP Socket Receive ERR=").size(), 1u);

    // Failed means quiet: nothing more is sent, nothing queued is dropped.
    const std::vector<std::string> before = SentThenQueued(client);
    client.session.EnqueueCommand("MON=04!");
    EXPECT_LT(IdleCpuShare(client, 300ms), 0.5);
    std::vector<std::string> after = SentThenQueued(client);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back(), "MON=04!");
    EXPECT_EQ(std::vector<std::string>(after.begin(), after.end() - 1), before);
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
}

TEST(OversizedAnswers, FailTheLinkVisiblyAndKeepTheRestQueued) {
    sim::SimOptions options;
    options.fault = sim::Fault::Oversize;
    auto simulator = StartUdpSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseUdp(simulator->port);
    client.session.EnqueueCommand("MON=07!");
    client.connection.Connect();
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_EQ(client.sink.With("UDP Socket Receive ERR=").size(), 1u);
    EXPECT_TRUE(client.sink.With("<--Recv[").empty());

    // What was sent is what the router got; the rest waits, in order.
    const std::size_t polled = client.session.pollIndex;
    EXPECT_LT(IdleCpuShare(client, 300ms), 0.5);
    EXPECT_EQ(client.session.pollIndex, polled);  // failed: no more polling
    const std::vector<std::string> all = SentThenQueued(client);
    ASSERT_EQ(all.size(), 1 + polled);
    EXPECT_EQ(all[0], "MON=07!");
    for (std::size_t i = 0; i < polled; ++i)
        EXPECT_EQ(all[1 + i], StartupQueries[i]);
    EXPECT_EQ(
        simulator->Commands(),
        std::vector<std::string>(all.begin(), all.begin() + client.sink.With("-->Data[").size()));
}

std::string Sequence(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "SEQ=%06d!", n);
    return text;
}

TEST(HungUpPty, MidStreamKeepsWhatArrivedInOrderAndFails) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseSerial(simulator->ptyPath);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    constexpr int kAnswers = 4000;
    std::string stream;
    for (int n = 0; n < kAnswers; ++n)
        stream += Sequence(n);
    simulator->Inject(stream);
    ASSERT_TRUE(client.RunUntil([&] { return client.sink.With("<--Recv[SEQ=").size() >= 50; }, 5s));
    simulator->DropLink();
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));

    // Whatever got through is a gap-free prefix of what was sent.
    const auto seen = client.sink.With("<--Recv[SEQ=");
    for (std::size_t i = 0; i < seen.size(); ++i) {
        ASSERT_EQ(seen[i].text, "<--Recv[" + Sequence(static_cast<int>(i)) + "]");
    }
    EXPECT_EQ(client.sink.With(simulator->ptyPath + " Disconnected by the device ").size(), 1u);
    EXPECT_EQ(client.connection.serialLink.connected.load(), 0);

    client.session.EnqueueCommand("MON=04!");
    EXPECT_LT(IdleCpuShare(client, 500ms), 0.5);
    ASSERT_FALSE(client.session.commandQueue.empty());
    EXPECT_EQ(client.session.commandQueue.back(), "MON=04!");
    EXPECT_TRUE(client.sink.With("-->Data[MON=04!]").empty());
}

// The tick may come before the hang-up notice is handled: the command due
// then cannot be written, and must neither vanish nor be logged as sent.
TEST(HungUpPty, ACommandDueBeforeTheNoticeIsKept) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseSerial(simulator->ptyPath);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    client.session.EnqueueCommand("MON=04!");
    simulator->DropLink();
    for (int wait = 0; wait < 1000 && client.connection.serialLink.connected; ++wait)
        std::this_thread::sleep_for(2ms);
    ASSERT_EQ(client.connection.serialLink.connected.load(), 0);
    client.session.sendCountdown = 0;
    client.session.OnSendTimer();  // before the loop has seen the notice

    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 5s));
    EXPECT_TRUE(client.sink.With("-->Data[MON=04!]").empty());
    ASSERT_EQ(client.session.commandQueue.size(), 1u);
    EXPECT_EQ(client.session.commandQueue.front(), "MON=04!");
}

}  // namespace
}  // namespace corvane::testing
