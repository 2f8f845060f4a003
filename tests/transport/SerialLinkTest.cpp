#include "transport/SerialLink.h"

#include <atomic>
#include <future>

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

// The one-notice hangup, reopening, the full ring and failed opens run in
// LinkFaultTest on every backend.
TEST(SerialLink, BytesPassRawBothWaysAndAHangupKeepsWhatWasNotDrained) {
    Pty pty;
    ASSERT_GE(pty.master, 0) << "no pseudo-terminal";
    std::atomic<int> received{0}, others{0};
    SerialLink link;
    link.notify = [&](SerialEvent event) {
        ++(event == SerialEvent::Received ? received : others);
    };
    EXPECT_EQ(link.Write("LINK=?!", 7), 0);
    for (int speed : {1200, 230400, 9600})
        ASSERT_EQ(link.Open(pty.slavePath, speed, 8, StopBits::kOne, Parity::kNone),
                  LinkResult::kOk)
            << link.message;
    EXPECT_TRUE(WaitUntil([] { return WatcherCount() == 1; })) << "reopening left a watcher";
    // Every byte value passes untranslated (the EDID frame is binary).
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(link.Write(all.data(), all.size()), 256);
    EXPECT_TRUE(pty.Receive(256) == all);
    std::string stream = all, got;
    for (int i = 0; i < 3000; ++i)
        stream.push_back(static_cast<char>('A' + i % 26));
    ASSERT_TRUE(pty.Send(stream));
    WaitUntil([&] { return (got += Drain(link.ring)).size() >= stream.size(); });
    EXPECT_TRUE(got == stream);
    EXPECT_GE(received.load(), 1);
    EXPECT_LT(received.load(), 100);  // woken per batch, not per byte
    EXPECT_EQ(others.load(), 0);
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

    ASSERT_TRUE(pty.Send("IN=_01_Signal OFF!"));
    ASSERT_TRUE(WaitUntil([&] { return link.ring.Count() == 18; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return others == 1; }));  // the hang-up
    EXPECT_TRUE(WaitUntil([] { return WatcherCount() == 0; })) << "spins on the dead descriptor";
    EXPECT_EQ(Drain(link.ring), "IN=_01_Signal OFF!");
    link.Close();
    EXPECT_EQ(link.hungUp, 0);
}

}  // namespace
}  // namespace corvane::testing
