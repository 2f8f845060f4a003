#include "settings/AppConfig.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "settings/IniFile.h"

namespace corvane {
namespace {

using testing::TempDirTest;

class AppConfigTest : public TempDirTest {};

std::string Key(const char* prefix, int n) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%02d", prefix, n);
    return key;
}

TEST_F(AppConfigTest, NoFileGivesTheDefaults) {
    AppConfig config;
    config.useSerial = true;
    config.udpPort = 1;
    RouterState state;
    state.generatorResolution = 5;
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
    struct Case {
        const char* what;
        std::string ini;
        std::function<void(const AppConfig&, const RouterState&)> check;
    };
    const std::vector<Case> cases = {
        {"names cut to 15 characters",
         "[CHANNELNAME]\nInputChannel03=Camera one left side\nOutputChannel16=  Beamer  \n",
         [](const AppConfig& c, const RouterState&) {
             EXPECT_EQ(c.inputNames[3], "Camera one left");
             EXPECT_EQ(c.outputNames[16], "Beamer");
             EXPECT_EQ(c.inputNames[4], "InputChannel04");
         }},
        {"exact RS232 selects serial", "[SETCOMMCONFIG]\nCommType= RS232 \n",
         [](const AppConfig& c, const RouterState&) { EXPECT_TRUE(c.useSerial); }},
        {"lower-case rs232 selects UDP", "[SETCOMMCONFIG]\nCommType=rs232\n",
         [](const AppConfig& c, const RouterState&) { EXPECT_FALSE(c.useSerial); }},
        {"RS232 with more text selects UDP", "[SETCOMMCONFIG]\nCommType=RS232C\n",
         [](const AppConfig& c, const RouterState&) { EXPECT_FALSE(c.useSerial); }},
        {"non-numeric numbers give 0", "[SETCOMMCONFIG]\nUDPPort=port\nBaudrate=fast\n",
         [](const AppConfig& c, const RouterState&) {
             EXPECT_EQ(c.udpPort, 0);
             EXPECT_EQ(c.baudRate, 0);
         }},
        {"leading digits count", "[setcommconfig]\nudpport=4001x\nBAUDRATE=9600 baud\n",
         [](const AppConfig& c, const RouterState&) {
             EXPECT_EQ(c.udpPort, 4001);
             EXPECT_EQ(c.baudRate, 9600);
         }},
        {"link text fields", "[SETCOMMCONFIG]\nIpAddress=127.0.0.1\nCOMName=/dev/ttyUSB0\n",
         [](const AppConfig& c, const RouterState&) {
             EXPECT_EQ(c.ipAddress, "127.0.0.1");
             EXPECT_EQ(c.comName, "/dev/ttyUSB0");
         }},
        {"start-up values out of range are kept",
         "[VIDEOGENERATOR]\nResolution=42\nPattern=-3\n[MONITORINGPORT]\nChannel=99\n",
         [](const AppConfig&, const RouterState& s) {
             EXPECT_EQ(s.generatorResolution, 42);
             EXPECT_EQ(s.generatorPattern, -3);
             EXPECT_EQ(s.monitoringChannel, 99);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppConfig config;
        RouterState state;
        LoadConfig(config, state, Write("config.ini", c.ini));
        c.check(config, state);
    }
}

TEST_F(AppConfigTest, SaversCreateTheFileInItsKeyOrder) {
    AppConfig config;
    for (int n = 1; n <= kChannelCount; ++n) {
        config.inputNames[n] = "in" + std::to_string(n);
        config.outputNames[n] = "out" + std::to_string(n);
    }
    config.comName = "COM3";
    config.baudRate = 38400;
    config.ipAddress = "127.0.0.1";
    config.udpPort = 3100;
    config.useSerial = true;
    std::string path = PathOf("config.ini");
    SaveChannelNames(config, path);
    SaveLinkSettings(config, path);

    std::string expected = "[CHANNELNAME]\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        expected += Key("InputChannel", n) + "=in" + std::to_string(n) + "\n";
        expected += Key("OutputChannel", n) + "=out" + std::to_string(n) + "\n";
    }
    expected +=
        "\n[SETCOMMCONFIG]\nCOMName=COM3\nBaudrate=38400\nIpAddress=127.0.0.1\nUDPPort=3100\n"
        "CommType=RS232\n";
    EXPECT_EQ(Slurp(path), expected);

    AppConfig loaded;
    RouterState state;
    LoadConfig(loaded, state, path);
    for (int n = 1; n <= kChannelCount; ++n) {
        EXPECT_EQ(loaded.inputNames[n], config.inputNames[n]);
        EXPECT_EQ(loaded.outputNames[n], config.outputNames[n]);
    }
    EXPECT_TRUE(loaded.useSerial);
    EXPECT_EQ(loaded.comName, "COM3");
    EXPECT_EQ(loaded.baudRate, 38400);
    EXPECT_EQ(loaded.udpPort, 3100);

    config.useSerial = false;
    SaveLinkSettings(config, path);
    EXPECT_NE(Slurp(path).find("CommType=UDP\n"), std::string::npos);
}

TEST_F(AppConfigTest, SavingKeepsHandEditsAndNamesAreCutOnlyWhenRead) {
    std::string path = Write("config.ini",
                             "; edited by hand\r\n[VIDEOGENERATOR]\r\nResolution=4\r\n\r\n"
                             "[SETCOMMCONFIG]\r\nUDPPort=abc\r\n");
    AppConfig config;
    RouterState state;
    LoadConfig(config, state, path);
    ASSERT_EQ(config.udpPort, 0);
    config.inputNames[1] = "A rather long camera name";
    SaveChannelNames(config, path);
    SaveLinkSettings(config, path);

    std::string text = Slurp(path);
    EXPECT_EQ(text.rfind("; edited by hand\r\n[VIDEOGENERATOR]\r\nResolution=4\r\n\r\n", 0), 0u);
    EXPECT_NE(text.find("UDPPort=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("InputChannel01=A rather long camera name\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos) << "CRLF file got a bare line break";

    AppConfig again;
    LoadConfig(again, state, path);
    EXPECT_EQ(again.inputNames[1], "A rather long c");
    EXPECT_EQ(state.generatorResolution, 4);
}

TEST_F(AppConfigTest, WindowTitle) {
    struct Case {
        const char* what;
        const char* content;  // nullptr: no file
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no file", nullptr, kDefaultWindowTitle},
        {"no key", "[TITLE]\nOther=x\n", kDefaultWindowTitle},
        {"empty value", "[TITLE]\nTITLE=\n", ""},
        {"own title", "[title]\ntitle=  Studio B Router  \n", "Studio B Router"},
        {"cut to 31", "[TITLE]\nTITLE=0123456789012345678901234567890123456789\n",
         "0123456789012345678901234567890"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = PathOf("logo.txt");
        std::filesystem::remove(path);
        if (c.content != nullptr) {
            Write("logo.txt", c.content);
        }
        EXPECT_EQ(ReadWindowTitle(path), c.expected);
    }
}

}  // namespace
}  // namespace corvane
