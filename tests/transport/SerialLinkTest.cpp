#include "transport/SerialLink.h"

#include <algorithm>
#include <future>
#include <mutex>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

TEST(SerialDevicePath, MapsWindowsNamesAndKeepsPaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"}, {"com12", "/dev/ttyS11"}, {"COM0", "COM0"},
        {"COM1A", "COM1A"},     {"COM-1", "COM-1"},       {"/dev/ttyUSB0", "/dev/ttyUSB0"}};
    for (const auto& [name, path] : cases)
        EXPECT_EQ(SerialLink::DevicePath(name), path) << name;
}

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(pty.master, 0) << "no pseudo-terminal";
        link.notify = [this](SerialEvent event) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(event);
        };
    }
    void Open(int speed = 115200) {
        ASSERT_EQ(link.Open(pty.slavePath, speed, 8, StopBits::kOne, Parity::kNone),
                  LinkResult::kOk)
            << link.message;
    }
    int Count(SerialEvent kind) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(events.begin(), events.end(), kind));
    }
    void ExpectWatchers(int watchers) {
        EXPECT_TRUE(WaitUntil([&] { return WatcherCount() == watchers; }))
            << WatcherCount() << " watcher threads, expected " << watchers;
    }
    // Collects bytes from the ring, as the owner would, until `length` came.
    std::string Collect(std::size_t length) {
        std::string got;
        WaitUntil([&] { return (got += Drain(link.ring)).size() >= length; });
        return got;
    }

    Pty pty;
    std::mutex mutex;
    std::vector<SerialEvent> events;  // declared before the link, whose watcher fills it
    SerialLink link;
};

TEST_F(SerialLinkTest, BytesPassRawBothWaysWhileOpenOnly) {
    EXPECT_EQ(link.Write("LINK=?!", 7), 0);
    for (int speed : {1200, 230400, 9600})
        Open(speed);
    // Every byte value passes untranslated (the EDID frame is binary).
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(link.Write(all.data(), all.size()), 256);
    EXPECT_TRUE(pty.Receive(256) == all);
    std::string stream = all;
    for (int i = 0; i < 3000; ++i)
        stream.push_back(static_cast<char>('A' + i % 26));
    ASSERT_TRUE(pty.Send(stream));
    EXPECT_TRUE(Collect(stream.size()) == stream);
    EXPECT_GE(Count(SerialEvent::Received), 1);
    EXPECT_LT(Count(SerialEvent::Received), 100);  // woken per batch, not per byte
    EXPECT_EQ(Count(SerialEvent::Overrun) + Count(SerialEvent::Hangup), 0);
    // More than the terminal buffers, to a device that reads nothing: Write
    // takes what fits and returns at once; the rest goes as the device reads.
    const std::string big(20000, 'x');
    auto first = std::async(std::launch::async, [&] { return link.Write(big.data(), big.size()); });
    ASSERT_EQ(first.wait_for(kPatience), std::future_status::ready) << "Write waits";
    std::size_t sent = static_cast<std::size_t>(first.get());
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, big.size());
    std::string echoed;
    WaitUntil([&] {
        sent += static_cast<std::size_t>(link.Write(big.data() + sent, big.size() - sent));
        echoed += pty.Receive(1);
        return echoed.size() == big.size();
    });
    EXPECT_EQ(echoed.size(), big.size());
    link.Close();
    EXPECT_EQ(link.Write("LINK=?!", 7), 0);
}

// The one-notice hangup, the full ring and failed opens run in LinkFaultTest on
// every backend.
TEST_F(SerialLinkTest, ReopeningAndAHangupKeepTheUndrainedBytes) {
    Open();
    ASSERT_TRUE(pty.Send("MON=0"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 5; }));
    auto closing = std::async(std::launch::async, [&] { link.Close(); });
    ASSERT_EQ(closing.wait_for(kPatience), std::future_status::ready) << "Close hangs";
    ExpectWatchers(0);
    for (int round = 0; round < 2; ++round) {
        Open();
        ExpectWatchers(1);
    }
    ASSERT_TRUE(pty.Send("7!"));
    EXPECT_EQ(Collect(7), "MON=07!");
    EXPECT_EQ(Count(SerialEvent::Hangup) + Count(SerialEvent::Overrun), 0);
    ASSERT_TRUE(pty.Send("IN=_01_Signal OFF!"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 18; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return Count(SerialEvent::Hangup) == 1; }));
    ExpectWatchers(0);  // ended rather than spinning on the dead descriptor
    EXPECT_EQ(Drain(link.ring), "IN=_01_Signal OFF!");
    link.Close();
    EXPECT_EQ(link.hungUp, 0);
}

}  // namespace
}  // namespace corvane::testing
