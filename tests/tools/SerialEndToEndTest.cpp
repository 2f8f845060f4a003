// The program's connection against the simulated router over a real
// pseudo-terminal: the serial link with its watcher thread and ring.

#include <ctime>

#include "Harness.h"

namespace corvane::testing {
namespace {

TEST(SerialEndToEnd, StartupQueriesArriveInOrderAndFillTheModel) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseSerial(simulator->ptyPath);
    client.connection.Connect();
    ASSERT_EQ(client.session.connectionStatus, kConnecting);

    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));
    EXPECT_EQ(client.session.connectionStatus, kConnected);
    EXPECT_EQ(simulator->Commands(), StartupQueryList());
    ExpectModelMatches(client.session.state, simulator->Router());
    EXPECT_EQ(client.sink.With(simulator->ptyPath + " Baudrate:115200 Open 8,1,NO OK!!! ").size(),
              1u);
}

TEST(SerialEndToEnd, BytesSplitOverSeveralReadsAreParsedOnce) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseSerial(simulator->ptyPath);
    client.connection.Connect();
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

TEST(SerialEndToEnd, UserEdidFrameWithRawBangsArrivesWhole) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.UseSerial(simulator->ptyPath);
    client.connection.Connect();
    std::uint8_t edid[kEdidSize];
    for (std::size_t i = 0; i < kEdidSize; ++i) {
        edid[i] = i % 3 == 0 ? '!' : static_cast<std::uint8_t>(i);
    }
    std::vector<std::uint8_t> frame = UserEdidFrame(edid);
    ASSERT_NE(client.session.activeLink, nullptr);
    client.session.activeLink->Write(frame.data(), frame.size());
    ASSERT_TRUE(client.RunUntil([&] { return !simulator->Router().userEdid.empty(); }, 5s));
    EXPECT_EQ(simulator->Router().userEdid, std::vector<std::uint8_t>(edid, edid + kEdidSize));
    // Queries still frame correctly behind the raw bytes.
    ASSERT_TRUE(client.RunUntil([&] { return simulator->CommandCount() >= 3; }, 5s));
}

TEST(SerialEndToEnd, AHungUpPtyEndsTheWatcherWithoutSpinningAndShowsConnectionFailed) {
    sim::SimOptions options;
    options.fault = sim::Fault::Drop;
    auto simulator = StartSerialSim(options);
    ASSERT_TRUE(simulator);
    Client client;
    client.UseSerial(simulator->ptyPath);
    client.connection.Connect();
    ASSERT_TRUE(
        client.RunUntil([&] { return client.session.connectionStatus == kConnectionFailed; }, 10s));
    EXPECT_TRUE(simulator->LinkDropped());
    EXPECT_EQ(client.connection.serialLink.connected.load(), 0);
    EXPECT_EQ(client.session.activeLink, nullptr);

    // Idle afterwards: a watcher spinning on the dead device would burn a core.
    std::clock_t cpuBefore = std::clock();
    auto wallBefore = std::chrono::steady_clock::now();
    client.RunUntil([] { return false; }, 800ms);
    double cpu = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    EXPECT_LT(cpu, 0.5 * wall) << "cpu " << cpu << " s in " << wall << " s";
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);

    // Disconnect then brings it back to a clean start.
    client.connection.Disconnect();
    EXPECT_EQ(client.session.connectionStatus, kDisconnected);
    EXPECT_EQ(client.sink.With("RS232 Disconnect ").size(), 1u);
}

TEST(SerialEndToEnd, ADeviceThatDoesNotExistGivesConnectionFailed) {
    TempDir dir;
    Client client;
    client.UseSerial(dir.path + "/no-such-tty");
    client.connection.Connect();
    EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
    EXPECT_EQ(client.sink.With(dir.path + "/no-such-tty Baudrate:115200 Open ERR!! ").size(), 1u);
    client.RunUntil([] { return false; }, 200ms);
    EXPECT_TRUE(client.sink.With("-->Data[").empty());
}

}  // namespace
}  // namespace corvane::testing
