#include "settings/AppConfig.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "TempDir.h"

namespace corvane {
namespace {

class AppConfigTest : public testing::TempDirTest {};

std::string Key(const char* prefix, int n) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%02d", prefix, n);
    return key;
}

TEST_F(AppConfigTest, NoFileGivesTheDefaults) {
    AppConfig config;
    config.useSerial = true;
    RouterState state;
    state.monitoringChannel = 9;
    LoadConfig(config, state, PathOf("config.ini"));
    for (int n = 1; n <= kChannelCount; ++n) {
        EXPECT_EQ(config.inputNames[n], Key("InputChannel", n));
        EXPECT_EQ(config.outputNames[n], Key("OutputChannel", n));
    }
    EXPECT_FALSE(config.useSerial);
    EXPECT_EQ(config.ipAddress, kFactoryIpAddress);
    EXPECT_EQ(config.udpPort, 3000);
    EXPECT_EQ(config.comName, "COM1");
    EXPECT_EQ(config.baudRate, 115200);
    EXPECT_EQ(state.generatorResolution, 1);
    EXPECT_EQ(state.generatorPattern, 1);
    EXPECT_EQ(state.monitoringChannel, 0);
}

TEST_F(AppConfigTest, LoadsHandEditedValuesAsTheyStand) {
    using Check = std::function<void(const AppConfig&, const RouterState&)>;
    const std::vector<std::pair<std::string, Check>> cases = {
        {"[CHANNELNAME]\nInputChannel03=Camera one left side\noutputchannel16=  Beamer \n",
         [](const AppConfig& c, const RouterState&) {
             EXPECT_EQ(c.inputNames[3], "Camera one left");
             EXPECT_EQ(c.outputNames[16], "Beamer");
         }},
        {"[SETCOMMCONFIG]\nCommType= RS232 \n",
         [](const AppConfig& c, const RouterState&) { EXPECT_TRUE(c.useSerial); }},
        {"[SETCOMMCONFIG]\nCommType=rs232\n",
         [](const AppConfig& c, const RouterState&) { EXPECT_FALSE(c.useSerial); }},
        {"[SETCOMMCONFIG]\nCommType=RS232C\n",
         [](const AppConfig& c, const RouterState&) { EXPECT_FALSE(c.useSerial); }},
        {"[SETCOMMCONFIG]\nUDPPort=port\nBaudrate=9600 baud\n",
         [](const AppConfig& c, const RouterState&) {
             EXPECT_EQ(c.udpPort, 0);
             EXPECT_EQ(c.baudRate, 9600);
         }},
        {"[VIDEOGENERATOR]\nResolution=42\nPattern=-3\n[MONITORINGPORT]\nChannel=99\n",
         [](const AppConfig&, const RouterState& s) {
             EXPECT_EQ(s.generatorResolution, 42);
             EXPECT_EQ(s.generatorPattern, -3);
             EXPECT_EQ(s.monitoringChannel, 99);
         }},
    };
    for (const auto& [ini, check] : cases) {
        SCOPED_TRACE(ini);
        AppConfig config;
        RouterState state;
        LoadConfig(config, state, Write("config.ini", ini));
        check(config, state);
    }
}

TEST_F(AppConfigTest, SaversCreateTheFileInItsKeyOrder) {
    AppConfig config;
    for (int n = 1; n <= kChannelCount; ++n) {
        config.inputNames[n] = "in" + std::to_string(n);
        config.outputNames[n] = "out" + std::to_string(n);
    }
    config.inputNames[1] = "A rather long camera name";
    config.comName = "COM3";
    config.baudRate = 38400;
    config.ipAddress = "127.0.0.1";
    config.udpPort = 0;
    config.useSerial = true;
    std::string path = PathOf("config.ini");
    SaveChannelNames(config, path);
    SaveLinkSettings(config, path);

    std::string expected = "[CHANNELNAME]\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        expected += Key("InputChannel", n) + "=" + config.inputNames[n] + "\n";
        expected += Key("OutputChannel", n) + "=" + config.outputNames[n] + "\n";
    }
    expected +=
        "\n[SETCOMMCONFIG]\nCOMName=COM3\nBaudrate=38400\nIpAddress=127.0.0.1\nUDPPort=0\n"
        "CommType=RS232\n";
    EXPECT_EQ(Slurp(path), expected);

    // Written whole, read back through the 16-byte buffer.
    AppConfig loaded;
    RouterState state;
    LoadConfig(loaded, state, path);
    EXPECT_EQ(loaded.inputNames[1], "A rather long c");
    EXPECT_EQ(loaded.outputNames[16], "out16");
    EXPECT_TRUE(loaded.useSerial);

    config.useSerial = false;
    SaveLinkSettings(config, path);
    EXPECT_EQ(Slurp(path), expected.substr(0, expected.size() - 6) + "UDP\n");
}

TEST_F(AppConfigTest, WindowTitle) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {nullptr, kDefaultWindowTitle},
        {"[TITLE]\nOther=x\n", kDefaultWindowTitle},
        {"[TITLE]\nTITLE=\n", ""},
        {"[title]\ntitle=  Studio B  \n", "Studio B"},
        {"[TITLE]\nTITLE=0123456789012345678901234567890123456789\n",
         "0123456789012345678901234567890"},
    };
    for (const auto& [content, expected] : cases) {
        SCOPED_TRACE(content ? content : "no file");
        std::filesystem::remove(PathOf("logo.txt"));
        if (content != nullptr) {
            Write("logo.txt", content);
        }
        EXPECT_EQ(ReadWindowTitle(PathOf("logo.txt")), expected);
    }
}

}  // namespace
}  // namespace corvane
