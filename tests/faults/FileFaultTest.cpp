// Damaged settings files and a log directory that cannot be written.

#include <algorithm>

#include "../support/LinkSupport.h"

namespace corvane::testing {
namespace {

std::string Noise(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

TEST(DamagedSettings, LoadBoundedValuesAndNeverConnectElsewhere) {
    const std::string mb(1 << 20, 'A');
    const std::string files[] = {
        Noise(64 * 1024, 7),
        mb,
        "[" + mb + "]\n[TITLE]\nTITLE=" + mb + "\n[CHANNELNAME]\nInputChannel01=" + mb +
            "\n[SETCOMMCONFIG]\nIpAddress=" + mb + "\nUDPPort=" + mb + "\n",
        std::string("[SETCOMMCONFIG]\nUDP\0Port=5\nCOMName=CO\0M2\n", 40),
        "[SETCOMMCONFIG]\nUDPPort=99999999999999999999\nBaudrate=-2147483649\n"
        "[VIDEOGENERATOR]\nResolution=-7\nPattern=4000000000\n[MONITORINGPORT]\nChannel=-1\n",
    };
    for (const std::string& content : files) {
        SCOPED_TRACE(content.substr(0, 24));
        Client client;
        const TempDir& dir = client.dir;
        dir.Write("config.ini", content);
        dir.Write("logo.txt", content);
        AppConfig& config = client.config;
        RouterState state;
        LoadConfig(config, state, dir.path + "/config.ini");

        // The reading buffers bound every text, whatever the file holds.
        EXPECT_LT(ReadWindowTitle(dir.path + "/logo.txt").size(), 32u);
        for (int n = 1; n <= kChannelCount; ++n)
            EXPECT_LT(std::max(config.inputNames[n].size(), config.outputNames[n].size()), 16u);
        EXPECT_LT(config.ipAddress.size(), 16u);
        EXPECT_LT(config.comName.size(), 16u);

        // Bound to exactly the file's port plus ten, or the connect fails and says so once.
        client.UseUdp(config.udpPort);
        client.connection.Connect();
        const long long localPort = static_cast<long long>(config.udpPort) + 10;
        if (client.session.connectionStatus == kConnecting) {
            EXPECT_LE(localPort, 65535);
            EXPECT_EQ(
                client.sink.Count("UDP Socket Create Port=" + std::to_string(localPort) + " OK"),
                1u);
        } else {
            EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
            std::size_t errors = 0;
            for (const std::string& line : client.sink.lines)
                errors += line.find("]UDP Socket C") != std::string::npos &&
                          line.find(" ERR=") != std::string::npos;
            EXPECT_EQ(errors, 1u);
        }
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
