// Damaged settings files and a log directory that cannot be written: the
// program starts with sane values, and a link it cannot open is reported as
// failed rather than opened somewhere else.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "Harness.h"

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

struct FileCase {
    const char* name;
    std::string content;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kMegabyte(1 << 20, 'A');

// clang-format off
const FileCase kDamagedFiles[] = {
    {"Empty", ""},
    {"BinaryNoise", Noise(64 * 1024, 7)},
    {"NulBytes", std::string(4096, '\0')},
    {"OneMegabyteLine", kMegabyte},
    {"OneMegabyteSectionName", "[" + kMegabyte + "]\nTITLE=x\n"},
    {"OneMegabyteValues",
     "[TITLE]\nTITLE=" + kMegabyte + "\n[CHANNELNAME]\nInputChannel01=" + kMegabyte +
     "\n[SETCOMMCONFIG]\nIpAddress=" + kMegabyte + "\nUDPPort=" + kMegabyte + "\n"},
    {"NulInsideKeys", std::string("[SETCOMMCONFIG]\nUDP\0Port=5\nCOMName=CO\0M2\n", 40)},
    {"NumbersOutOfRange",
     "[SETCOMMCONFIG]\nUDPPort=99999999999999999999\nBaudrate=-2147483649\n"
     "[VIDEOGENERATOR]\nResolution=-7\nPattern=4000000000\n[MONITORINGPORT]\nChannel=-1\n"},
    {"ManyEmptyLines", std::string(64 * 1024, '\n')},
};
// clang-format on

class DamagedSettings : public ::testing::TestWithParam<FileCase> {};

TEST_P(DamagedSettings, LoadBoundedValuesAndNeverConnectElsewhere) {
    TempDir dir;
    dir.Write("config.ini", GetParam().content);
    dir.Write("logo.txt", GetParam().content);

    AppConfig config;
    RouterState state;
    LoadConfig(config, state, dir.path + "/config.ini");
    const std::string title = ReadWindowTitle(dir.path + "/logo.txt");

    // The reading buffers bound every text, whatever the file holds.
    EXPECT_LT(title.size(), 32u);
    for (int n = 1; n <= kChannelCount; ++n) {
        EXPECT_LT(config.inputNames[n].size(), 16u);
        EXPECT_LT(config.outputNames[n].size(), 16u);
    }
    EXPECT_LT(config.ipAddress.size(), 16u);
    EXPECT_LT(config.comName.size(), 16u);

    // Whatever port the file gave, the socket is bound to exactly that port
    // plus ten, or the connect fails and says so.
    Client client;
    client.config = config;
    client.config.useSerial = false;
    client.config.ipAddress = "127.0.0.1";
    client.connection.Connect();
    const long long localPort = static_cast<long long>(config.udpPort) + 10;
    if (client.session.connectionStatus == kConnecting) {
        EXPECT_GE(localPort, 0);
        EXPECT_LE(localPort, 65535);
        EXPECT_EQ(
            client.sink.With("UDP Socket Create Port=" + std::to_string(localPort) + " OK").size(),
            1u);
    } else {
        EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
        std::size_t errors = 0;
        for (const auto& line : client.sink.With("UDP Socket C"))
            errors += line.text.find(" ERR=") != std::string::npos;
        EXPECT_EQ(errors, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedSettings, ::testing::ValuesIn(kDamagedFiles));

TEST(DamagedSettings, ABaudRateThePortCannotTakeFailsTheOpen) {
    auto simulator = StartSerialSim();
    ASSERT_TRUE(simulator);
    for (int speed : {0, -9600, 12345, 2147483647}) {
        SCOPED_TRACE(speed);
        Client client;
        client.UseSerial(simulator->ptyPath);
        client.config.baudRate = speed;
        client.connection.Connect();
        EXPECT_EQ(client.session.connectionStatus, kConnectionFailed);
        EXPECT_EQ(
            client.sink
                .With(simulator->ptyPath + " Baudrate:" + std::to_string(speed) + " Open ERR!! ")
                .size(),
            1u);
        EXPECT_EQ(client.connection.serialLink.connected.load(), 0);
    }
}

struct LogDirCase {
    const char* name;
    // Makes the log directory unusable below root; returns the path to log to.
    std::string (*spoil)(const std::string& root);
};

void PrintTo(const LogDirCase& c, std::ostream* os) {
    *os << c.name;
}

// clang-format off
const LogDirCase kSpoiledLogDirs[] = {
    {"Missing", [](const std::string& root) { return root + "/gone/deeper"; }},
    {"IsAFile", [](const std::string& root) {
         std::FILE* f = std::fopen((root + "/plain").c_str(), "w");
         if (f != nullptr) std::fclose(f);
         return root + "/plain";
     }},
    {"TodaysFileIsADirectory", [](const std::string& root) {
         LocalTime now = SystemLocalTime();
         char name[32];
         std::snprintf(name, sizeof name, "/%04d%02d%02d.log", now.year, now.month, now.day);
         mkdir((root + name).c_str(), 0700);
         return root;
     }},
    {"ReadOnly", [](const std::string& root) {
         mkdir((root + "/ro").c_str(), 0500);
         return root + "/ro";
     }},
};
// clang-format on

class UnwritableLog : public ::testing::TestWithParam<LogDirCase> {};

TEST_P(UnwritableLog, ScreenStillShowsEveryLineAndTheLinkWorks) {
    TempDir dir;
    auto simulator = StartUdpSim();
    ASSERT_TRUE(simulator);
    Client client;
    client.log.directory = GetParam().spoil(dir.path);
    client.UseUdp(simulator->port);
    client.connection.Connect();
    ASSERT_TRUE(client.RunUntil([&] { return client.StartupDone(); }));

    EXPECT_EQ(client.sink.With("-->Data[").size(), static_cast<std::size_t>(kStartupQueryCount));
    EXPECT_EQ(client.sink.With("<--Recv[").size(), simulator->CommandCount() + 4 + 3);
    ExpectModelMatches(client.session.state, simulator->Router());
}

INSTANTIATE_TEST_SUITE_P(Dirs, UnwritableLog, ::testing::ValuesIn(kSpoiledLogDirs));

}  // namespace
}  // namespace corvane::testing
