#include "settings/AppConfig.h"

#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"

namespace corvane {
namespace {

class AppConfigTest : public testing::TempDirTest {};

TEST_F(AppConfigTest, LoadsHandEditedValuesAsTheyStand) {
    AppConfig config;
    RouterState state;
    LoadConfig(
        config, state,
        Write("config.ini",
              "[CHANNELNAME]\nInputChannel03=Camera one left side\noutputchannel16=  Beamer \n"
              "[SETCOMMCONFIG]\nUDPPort=port\nBaudrate=9600 baud\nCommType= RS232 \n"
              "[VIDEOGENERATOR]\nResolution=42\nPattern=-3\n[MONITORINGPORT]\nChannel=99\n"));
    EXPECT_EQ(config.inputNames[3], "Camera one left");
    EXPECT_EQ(config.outputNames[16], "Beamer");
    EXPECT_EQ(config.udpPort, 0);
    EXPECT_EQ(config.baudRate, 9600);
    EXPECT_TRUE(config.useSerial);
    EXPECT_EQ(state.generatorResolution, 42);
    EXPECT_EQ(state.generatorPattern, -3);
    EXPECT_EQ(state.monitoringChannel, 99);
    // Only "RS232" as written selects the serial link.
    for (std::string type : {"rs232", "RS232C"}) {
        LoadConfig(config, state, Write("config.ini", "[SETCOMMCONFIG]\nCommType=" + type + "\n"));
        EXPECT_FALSE(config.useSerial) << type;
    }
}

// The defaults, as the savers then write them into a new file in its key order.
TEST_F(AppConfigTest, NoFileGivesDefaultsThatSaveInKeyOrderThenInPlace) {
    AppConfig config;
    config.useSerial = true;
    RouterState state;
    state.monitoringChannel = 9;
    const std::string path = PathOf("config.ini");
    LoadConfig(config, state, path);
    EXPECT_EQ(state.generatorResolution, 1);
    EXPECT_EQ(state.generatorPattern, 1);
    EXPECT_EQ(state.monitoringChannel, 0);
    SaveChannelNames(config, path);
    SaveLinkSettings(config, path);

    std::string expected = "[CHANNELNAME]\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        const std::string two = (n < 10 ? "0" : "") + std::to_string(n);
        expected += "InputChannel" + two + "=InputChannel" + two + "\n";
        expected += "OutputChannel" + two + "=OutputChannel" + two + "\n";
    }
    expected += "\n[SETCOMMCONFIG]\nCOMName=COM1\nBaudrate=115200\nIpAddress=" +
                std::string(kFactoryIpAddress) + "\nUDPPort=3000\nCommType=UDP\n";
    EXPECT_EQ(Slurp(path), testing::NewLines(expected));

    config.useSerial = true;
    config.outputNames[16] = "A rather long camera name";  // written whole
    SaveLinkSettings(config, path);
    SaveChannelNames(config, path);
    expected.replace(expected.find("=OutputChannel16\n"), 17, "=A rather long camera name\n");
    EXPECT_EQ(Slurp(path), testing::NewLines(expected.substr(0, expected.size() - 4) + "RS232\n"));
}

TEST_F(AppConfigTest, WindowTitle) {
    EXPECT_EQ(ReadWindowTitle(PathOf("logo.txt")), kDefaultWindowTitle);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[TITLE]\nOther=x\n", kDefaultWindowTitle},
        {"[TITLE]\nTITLE=\n", ""},
        {"[title]\ntitle=  Studio B  \n", "Studio B"},
        {"[TITLE]\nTITLE=0123456789012345678901234567890123456789\n",
         "0123456789012345678901234567890"},
    };
    for (const auto& [content, expected] : cases)
        EXPECT_EQ(ReadWindowTitle(Write("logo.txt", content)), expected) << content;
}

}  // namespace
}  // namespace corvane
