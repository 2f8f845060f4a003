// The links' own fault handling through their interface only, so that the
// same cases run on every platform's backend (the Windows build runs them
// under Wine). The serial cases talk to the router port named in
// CORVANE_TEST_COM (and CORVANE_TEST_COM_DROP); on Linux, without them, to the
// simulator on a pseudo-terminal of its own.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#ifndef _WIN32
#include "../support/LinkSupport.h"
#endif

#include "transport/SerialLink.h"
#include "transport/UdpLink.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// The program's link on port + 10 and a stand-in router on port, both on
// loopback; the ports are tried until a free pair is found.
struct LinkPair {
    LinkPair() {
        const int base =
            20000 +
            static_cast<int>(std::chrono::steady_clock::now().time_since_epoch().count() % 20000);
        for (int attempt = 0; attempt < 50 && port == 0; ++attempt) {
            const int candidate = base + attempt * 37;
            router = std::make_unique<UdpLink>();
            program = std::make_unique<UdpLink>();
            if (router->Create(candidate) == LinkResult::kOk &&
                program->Create(candidate + 10) == LinkResult::kOk &&
                router->Connect("127.0.0.1", candidate + 10) == LinkResult::kOk &&
                program->Connect("127.0.0.1", candidate) == LinkResult::kOk) {
                port = candidate;
            }
        }
    }
    std::unique_ptr<UdpLink> router;
    std::unique_ptr<UdpLink> program;
    int port = 0;
};

// The next datagram for link within a bounded wait: its text, or "(error)".
std::string Next(UdpLink& link) {
    char buffer[256];
    for (int wait = 0; wait < 1000; ++wait) {
        const int n = link.ReceiveFrom(buffer, sizeof buffer);
        if (n < 0)
            return "(error)";
        if (n > 0)
            return std::string(buffer, static_cast<std::size_t>(n));
        std::this_thread::sleep_for(2ms);
    }
    return "(nothing)";
}

TEST(UdpFaults, DatagramsOverTheReadSizeFailAndTheNextStillArrives) {
    LinkPair pair;
    ASSERT_NE(pair.port, 0);
    char buffer[256];
    EXPECT_EQ(pair.program->ReceiveFrom(buffer, sizeof buffer), 0);  // nothing waiting
    EXPECT_EQ(pair.program->lastError, 0);
    for (int size : {256, 257, 9000}) {
        SCOPED_TRACE(size);
        const std::string datagram(static_cast<std::size_t>(size), 'X');
        ASSERT_EQ(pair.router->Write(datagram.data(), datagram.size()), size);
        ASSERT_EQ(pair.router->Write("MON=01!", 7), 7);
        EXPECT_EQ(Next(*pair.program), size <= 256 ? datagram : "(error)");
        EXPECT_EQ(pair.program->lastError != 0, size > 256);
        EXPECT_EQ(Next(*pair.program), "MON=01!");
    }
}

TEST(UdpFaults, UnusableAddressesAndPortsFailAndSaySo) {
    for (int port : {-1, 65536}) {
        SCOPED_TRACE(port);
        UdpLink link;
        EXPECT_EQ(link.Create(port), LinkResult::kInvalidArgument);
        EXPECT_NE(link.lastError, 0);
    }
    LinkPair pair;
    ASSERT_NE(pair.port, 0);
    for (const char* address : {"", "localhost", "256.1.1.1", "127.0.0.1 ", "::1"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(pair.program->Connect(address, pair.port), LinkResult::kInvalidArgument);
        EXPECT_NE(pair.program->lastError, 0);
    }
    EXPECT_EQ(pair.program->Connect("127.0.0.1", 65536), LinkResult::kInvalidArgument);
}

// The router's serial port: named in the environment, or (Linux) the
// simulator's pseudo-terminal, stopped with this object. dropping: a router
// that hangs up after its first answer.
struct RouterPort {
    explicit RouterPort(bool dropping = false) {
        if (const char* named =
                std::getenv(dropping ? "CORVANE_TEST_COM_DROP" : "CORVANE_TEST_COM")) {
            path = named;
            return;
        }
#ifdef ROUTERSIM_PATH
        std::vector<std::string> argv = {ROUTERSIM_PATH, "--serial", "--duration", "60"};
        if (dropping)
            argv.insert(argv.end(), {"--fault", "drop"});
        simulator = std::make_unique<testing::Child>(argv);
        simulator->Collect(testing::kPatience, true);
        const std::string& out = simulator->out;
        if (out.rfind("serial: ", 0) == 0)
            path = out.substr(8, out.find('\n') - 8);
#endif
    }
    const char* Path() const {
        return path.empty() ? nullptr : path.c_str();
    }

    std::string path;
#ifndef _WIN32
    std::unique_ptr<testing::Child> simulator;
#endif
};

// Skips where no router port can be had (a Windows run given none); on
// Linux the simulator is always there, so a missing port fails.
#ifdef _WIN32
#define REQUIRE_ROUTER_PORT(port) \
    if ((port).Path() == nullptr) \
    GTEST_SKIP() << "no router port named in the environment"
#else
#define REQUIRE_ROUTER_PORT(port) ASSERT_NE((port).Path(), nullptr) << "simulator gave no pty"
#endif

// What the ring holds until `answers` answers are in, within a bounded wait.
std::string Drain(SerialLink& link, int answers) {
    std::string got;
    for (int wait = 0; wait < 2500 && answers > 0; ++wait) {
        std::uint8_t byte = 0;
        while (link.ring.Get(byte)) {
            got += static_cast<char>(byte);
            answers -= byte == '!';
        }
        std::this_thread::sleep_for(2ms);
    }
    return got;
}

// Write takes what the port has room for; the rest is offered again.
bool WriteAll(SerialLink& link, const std::string& text) {
    std::size_t sent = 0;
    for (int tries = 0; tries < 1000 && sent < text.size(); ++tries) {
        sent += static_cast<std::size_t>(link.Write(text.data() + sent, text.size() - sent));
        std::this_thread::sleep_for(2ms);
    }
    return sent == text.size();
}

TEST(SerialFaults, ReopensAndAFullRingMakesTheWatcherWaitInsteadOfDropping) {
    const RouterPort router;
    REQUIRE_ROUTER_PORT(router);
    SerialLink link;
    std::atomic<int> overruns{0}, received{0};
    link.notify = [&](SerialEvent event) {
        overruns += event == SerialEvent::Overrun;
        received += event == SerialEvent::Received;
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(link.Open(router.Path(), 115200, 8, StopBits::kOne, Parity::kNone),
                  LinkResult::kOk)
            << link.message;
        if (round == 2)
            break;  // opened over the open link, and stays open for the flood
        ASSERT_EQ(link.Write("MON=?!", 6), 6);
        for (int wait = 0; wait < 2500 && link.ring.Count() < 7 * (round + 1); ++wait)
            std::this_thread::sleep_for(2ms);
        if (round == 0) {
            link.Close();
            EXPECT_EQ(link.connected.load(), 0);
            EXPECT_EQ(link.Write("MON=?!", 6), 0);
        }
    }
    // What the owner had not drained is kept through Close and Open.
    const std::string kept = Drain(link, 2);
    EXPECT_EQ(kept.rfind("MON=", 0), 0u);
    EXPECT_EQ(kept, kept.substr(0, 7) + kept.substr(0, 7));
    // Sixty full link maps, about 6 KB: more than the ring holds.
    constexpr int kQueries = 60;
    std::string queries;
    for (int i = 0; i < kQueries; ++i)
        queries += "LINK=?!";
    received = 0;
    ASSERT_TRUE(WriteAll(link, queries));
    for (int wait = 0; wait < 2500 && (overruns == 0 || received == 0); ++wait)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(link.ring.Count(), ReceiveRing::kCapacity);
    EXPECT_GT(received.load(), 0);  // told to drain while it waits

    const std::string got = Drain(link, kQueries);
    const std::string first = got.substr(0, got.find('!') + 1);
    EXPECT_EQ(first.rfind("LINK=", 0), 0u);
    std::string expected;
    for (int i = 0; i < kQueries; ++i)
        expected += first;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(overruns.load(), 1);  // once for the whole flood

    // Close also wakes a watcher that waits for room.
    ASSERT_TRUE(WriteAll(link, queries));
    for (int wait = 0; wait < 2500 && overruns == 1; ++wait)
        std::this_thread::sleep_for(2ms);
    ASSERT_EQ(overruns.load(), 2);
    auto closing = std::async(std::launch::async, [&] { link.Close(); });
    ASSERT_EQ(closing.wait_for(10s), std::future_status::ready) << "Close hangs";
    EXPECT_EQ(link.connected.load(), 0);
}

// A port that does not exist, and line formats the router's port cannot take.
TEST(SerialFaults, FailedOpensLeaveNoWatcher) {
    const RouterPort router;
    REQUIRE_ROUTER_PORT(router);
    const std::tuple<const char*, int, int, Parity> cases[] = {
        {"COM250", 115200, 8, Parity::kNone},     {router.Path(), 0, 8, Parity::kNone},
        {router.Path(), -9600, 8, Parity::kNone}, {router.Path(), 9600, 8, Parity(7)},
#ifndef _WIN32
        {"/dev/null", 9600, 8, Parity::kNone},  // not a terminal
        {router.Path(), 9600, 9, Parity::kNone},
#endif
    };
    for (const auto& [port, speed, dataBits, parity] : cases) {
        SCOPED_TRACE(std::string(port) + " " + std::to_string(speed) + " " +
                     std::to_string(dataBits) + " " + std::to_string(int(parity)));
        SerialLink link;
        EXPECT_NE(link.Open(port, speed, dataBits, StopBits::kOne, parity), LinkResult::kOk);
        EXPECT_EQ(link.message, std::string(port) == "COM250" ? "fail Port open" : "");
        EXPECT_EQ(link.portName, port);
        EXPECT_EQ(link.connected.load(), 0);
#ifndef _WIN32
        EXPECT_EQ(testing::WatcherCount(), 0);
#endif
        EXPECT_EQ(link.Write("MON=?!", 6), 0);
    }
}

// A router that hangs up after its first answer, named in
// CORVANE_TEST_COM_DROP (the simulator with --fault drop).
TEST(SerialFaults, AHangUpEndsTheWatcherWithOneNotice) {
    const RouterPort router(true);
    REQUIRE_ROUTER_PORT(router);
    const char* port = router.Path();
    SerialLink link;
    std::atomic<int> hangups{0};
    link.notify = [&](SerialEvent event) { hangups += event == SerialEvent::Hangup; };
    ASSERT_EQ(link.Open(port, 115200, 8, StopBits::kOne, Parity::kNone), LinkResult::kOk)
        << link.message;
    ASSERT_EQ(link.Write("MON=?!", 6), 6);
    for (int wait = 0; wait < 2500 && hangups == 0; ++wait)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(hangups.load(), 1);
    EXPECT_EQ(link.connected.load(), 0);
    EXPECT_EQ(link.hungUp.load(), 1);
    EXPECT_EQ(link.Write("MON=?!", 6), 0);
    link.Close();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(hangups.load(), 1);
}

}  // namespace
}  // namespace corvane
