#include "transport/SerialLink.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "PosixTestSupport.h"

namespace corvane {
namespace {

using namespace corvane::testing;

struct DevicePathCase {
    const char* name;
    const char* path;
};

class DevicePathTest : public ::testing::TestWithParam<DevicePathCase> {};

TEST_P(DevicePathTest, MapsWindowsNamesAndKeepsPaths) {
    EXPECT_EQ(SerialLink::DevicePath(GetParam().name), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DevicePathTest,
    ::testing::Values(DevicePathCase{"COM1", "/dev/ttyS0"}, DevicePathCase{"COM3", "/dev/ttyS2"},
                      DevicePathCase{"com12", "/dev/ttyS11"}, DevicePathCase{"COM0", "COM0"},
                      DevicePathCase{"COM", "COM"}, DevicePathCase{"COM1A", "COM1A"},
                      DevicePathCase{"COM-1", "COM-1"},
                      DevicePathCase{"/dev/ttyUSB0", "/dev/ttyUSB0"}, DevicePathCase{"", ""}));

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(pty.master, 0) << "no pseudo-terminal";
        hasProc = WatcherCount() == 0;
        events.Install(link);
    }
    void OpenPty(int speed = 115200) {
        ASSERT_EQ(link.Open(pty.slavePath, speed, 8, 0, 0), 1) << link.message;
        ASSERT_EQ(link.connected, 1);
    }
    // The watcher runs exactly when expected; skipped where there is no /proc.
    void ExpectWatchers(int watchers) {
        if (!hasProc)
            return;
        EXPECT_TRUE(WaitUntil([&] { return WatcherCount() == watchers; }))
            << WatcherCount() << " watcher threads, expected " << watchers;
    }

    Pty pty;
    EventRecorder events;  // outlives the link, whose watcher reports to it
    SerialLink link;
    bool hasProc = false;
};

TEST_F(SerialLinkTest, ReceivedBytesReachTheRingWithFewNotifications) {
    OpenPty();
    ExpectWatchers(1);
    const std::string burst = "MON=03!RS232=9600!LOCK=WL,DUL,KUL!";
    ASSERT_TRUE(pty.Send(burst));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == static_cast<int>(burst.size()); }));
    ASSERT_TRUE(events.WaitFor(SerialEvent::Received));
    EXPECT_EQ(Drain(link.ring), burst);

    // A large write arrives whole; the owner is woken per batch, not per byte.
    std::string large;
    for (int i = 0; i < 3000; ++i)
        large.push_back(static_cast<char>('A' + i % 26));
    const int before = events.Count(SerialEvent::Received);
    ASSERT_TRUE(pty.Send(large));
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        got += Drain(link.ring);
        return got.size() >= large.size();
    }));
    EXPECT_EQ(got, large);
    EXPECT_LT(events.Count(SerialEvent::Received) - before, 100);
    EXPECT_EQ(events.Count(SerialEvent::Overrun), 0);
    EXPECT_EQ(events.Count(SerialEvent::Hangup), 0);
}

TEST_F(SerialLinkTest, WriteReachesTheDeviceWhileOpenOnly) {
    const std::string command = "LINK=03^01,00^02!";
    EXPECT_EQ(link.Write(command.data(), command.size()), 0);
    OpenPty(9600);
    EXPECT_EQ(link.Write(command.data(), command.size()), static_cast<int>(command.size()));
    EXPECT_EQ(pty.Receive(command.size()), command);

    // More than the pseudo-terminal buffers at once: Write keeps going until done.
    std::string big(20000, 'x');
    std::string echoed;
    std::thread reader([&] { echoed = pty.Receive(big.size()); });
    EXPECT_EQ(link.Write(big.data(), big.size()), static_cast<int>(big.size()));
    reader.join();
    EXPECT_EQ(echoed.size(), big.size());

    link.Close();
    EXPECT_EQ(link.Write(command.data(), command.size()), 0);
}

TEST_F(SerialLinkTest, CloseWakesTheWaitingWatcherAndJoinsIt) {
    OpenPty();
    ExpectWatchers(1);
    auto closing = std::async(std::launch::async, [&] { link.Close(); });
    ASSERT_EQ(closing.wait_for(kPatience), std::future_status::ready) << "Close hangs";
    EXPECT_EQ(link.connected, 0);
    ExpectWatchers(0);
    EXPECT_EQ(events.Count(SerialEvent::Hangup), 0);
    link.Close();  // a second Close is harmless
}

TEST_F(SerialLinkTest, ReopeningLeavesOneWatcher) {
    OpenPty();
    link.Close();
    OpenPty();
    ExpectWatchers(1);
    OpenPty();  // Open on an open link replaces it
    ExpectWatchers(1);
    ASSERT_TRUE(pty.Send("VID=09_14!"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 10; }));
    EXPECT_EQ(Drain(link.ring), "VID=09_14!");
    link.Close();
    ExpectWatchers(0);
}

TEST_F(SerialLinkTest, DeviceHangupEndsTheWatcherWithOneNotice) {
    OpenPty();
    ASSERT_TRUE(pty.Send("IN=_01_Signal OFF!"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 18; }));
    pty.CloseMaster();
    ASSERT_TRUE(events.WaitFor(SerialEvent::Hangup));
    EXPECT_EQ(link.connected, 0);
    EXPECT_EQ(link.hungUp, 1);
    // The watcher has ended rather than spinning on the dead descriptor.
    ExpectWatchers(0);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(events.Count(SerialEvent::Hangup), 1);
    EXPECT_EQ(Drain(link.ring), "IN=_01_Signal OFF!");
    EXPECT_EQ(link.Write("X!", 2), 0);
    link.Close();
    EXPECT_EQ(link.hungUp, 0);
}

TEST_F(SerialLinkTest, UndrainedBytesSurviveCloseAndReopen) {
    OpenPty();
    ASSERT_TRUE(pty.Send("MON=0"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 5; }));
    link.Close();
    OpenPty();
    EXPECT_EQ(link.ring.Count(), 5);
    ASSERT_TRUE(pty.Send("7!"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 7; }));
    EXPECT_EQ(Drain(link.ring), "MON=07!");
}

TEST_F(SerialLinkTest, FullRingMakesTheWatcherWaitInsteadOfDropping) {
    OpenPty();
    // More than the ring holds, sent while nobody drains.
    std::string stream;
    for (int i = 0; i < 6000; ++i)
        stream.push_back(static_cast<char>(i * 13 + i / 251));
    std::thread writer([&] { pty.Send(stream); });
    ASSERT_TRUE(events.WaitFor(SerialEvent::Overrun)) << "no overrun notice";
    EXPECT_EQ(link.ring.Free(), 0);
    EXPECT_GE(events.Count(SerialEvent::Received), 1);  // the owner was told to drain

    std::string got;
    WaitUntil([&] {
        got += Drain(link.ring);
        return got.size() >= stream.size();
    });
    writer.join();
    ASSERT_EQ(got.size(), stream.size());
    EXPECT_TRUE(got == stream) << "bytes lost, repeated or reordered";
    EXPECT_EQ(events.Count(SerialEvent::Overrun), 1);
    EXPECT_EQ(link.connected, 1);
}

TEST_F(SerialLinkTest, CloseWakesAWatcherWaitingForRoom) {
    OpenPty();
    // The ring takes most of it, the terminal's own buffer the rest.
    ASSERT_TRUE(pty.Send(std::string(5000, 'z')));
    ASSERT_TRUE(events.WaitFor(SerialEvent::Overrun));
    auto closing = std::async(std::launch::async, [&] { link.Close(); });
    ASSERT_EQ(closing.wait_for(kPatience), std::future_status::ready) << "Close hangs";
    ExpectWatchers(0);
    EXPECT_EQ(Drain(link.ring), std::string(ReceiveRing::kCapacity, 'z'));
}

struct BadOpenCase {
    const char* label;
    const char* device;  // empty: the test's pseudo-terminal
    int speed;
    int dataBits;
    int parity;
    const char* message;
};

class SerialOpenFailure : public SerialLinkTest,
                          public ::testing::WithParamInterface<BadOpenCase> {};

TEST_P(SerialOpenFailure, FailsWithoutAWatcher) {
    const BadOpenCase& c = GetParam();
    const std::string device = c.device[0] ? c.device : pty.slavePath;
    EXPECT_EQ(link.Open(device, c.speed, c.dataBits, 0, c.parity), 0);
    EXPECT_EQ(link.message, c.message);
    EXPECT_EQ(link.portName, device);
    EXPECT_EQ(link.connected, 0);
    ExpectWatchers(0);
    EXPECT_EQ(link.Write("A!", 2), 0);
    // The port was released: a good Open afterwards works.
    OpenPty();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialOpenFailure,
    ::testing::Values(BadOpenCase{"MissingDevice", "/nonexistent/ttyS99", 115200, 8, 0,
                                  "fail Port open"},
                      BadOpenCase{"NotATerminal", "/dev/null", 115200, 8, 0, ""},
                      BadOpenCase{"UnsupportedSpeed", "", 12345, 8, 0, ""},
                      BadOpenCase{"BadDataBits", "", 9600, 9, 0, ""},
                      BadOpenCase{"BadParity", "", 9600, 8, 7, ""}),
    [](const ::testing::TestParamInfo<BadOpenCase>& info) { return info.param.label; });

TEST(SerialLinkSpeeds, StandardSpeedsOpen) {
    for (int speed : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400}) {
        Pty pty;
        SerialLink link;
        EXPECT_EQ(link.Open(pty.slavePath, speed, 8, 0, 0), 1) << speed;
    }
}

}  // namespace
}  // namespace corvane
