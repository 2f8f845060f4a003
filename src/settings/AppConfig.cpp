#include "settings/AppConfig.h"

#include <cstdio>

#include "settings/IniFile.h"

namespace corvane {

namespace {

// The buffers the settings were always read with: longer texts are cut.
constexpr std::size_t kConfigBufferSize = 16;
constexpr std::size_t kTitleBufferSize = 32;

constexpr const char* kChannelSection = "CHANNELNAME";
constexpr const char* kLinkSection = "SETCOMMCONFIG";

std::string ChannelKey(const char* prefix, int channel) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%02d", prefix, channel);
    return key;
}

std::string ReadConfigString(const char* section, const std::string& key,
                             const std::string& defaultValue, const std::string& path) {
    return ReadProfileString(section, key, defaultValue, kConfigBufferSize, path);
}

}  // namespace

void LoadConfig(AppConfig& config, RouterState& state, const std::string& path) {
    for (int n = 1; n <= kChannelCount; ++n) {
        std::string key = ChannelKey("InputChannel", n);
        config.inputNames[n] = ReadConfigString(kChannelSection, key, key, path);
    }
    for (int n = 1; n <= kChannelCount; ++n) {
        std::string key = ChannelKey("OutputChannel", n);
        config.outputNames[n] = ReadConfigString(kChannelSection, key, key, path);
    }
    // Only the exact text selects the serial link; "rs232" means UDP.
    config.useSerial = ReadConfigString(kLinkSection, "CommType", "UDP", path) == "RS232";
    config.ipAddress = ReadConfigString(kLinkSection, "IpAddress", kFactoryIpAddress, path);
    config.udpPort = ParseLeadingInt(ReadConfigString(kLinkSection, "UDPPort", "3000", path));
    config.comName = ReadConfigString(kLinkSection, "COMName", "COM1", path);
    config.baudRate = ParseLeadingInt(ReadConfigString(kLinkSection, "Baudrate", "115200 ", path));

    // Read with room for an IPv6 address and its port.
    config.videohubListen = ReadProfileString("VIDEOHUB", "Listen", "", 64, path);

    state.generatorResolution = ReadProfileInt("VIDEOGENERATOR", "Resolution", 1, path);
    state.generatorPattern = ReadProfileInt("VIDEOGENERATOR", "Pattern", 1, path);
    state.monitoringChannel = ReadProfileInt("MONITORINGPORT", "Channel", 0, path);
}

// Each saver replaces the file once, so a save lands whole or not at all.
bool SaveChannelNames(const AppConfig& config, const std::string& path) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (int n = 1; n <= kChannelCount; ++n) {
        entries.emplace_back(ChannelKey("InputChannel", n), config.inputNames[n]);
        entries.emplace_back(ChannelKey("OutputChannel", n), config.outputNames[n]);
    }
    return WriteProfileStrings(kChannelSection, entries, path);
}

void SaveLinkSettings(const AppConfig& config, const std::string& path) {
    WriteProfileStrings(kLinkSection,
                        {{"COMName", config.comName},
                         {"Baudrate", std::to_string(config.baudRate)},
                         {"IpAddress", config.ipAddress},
                         {"UDPPort", std::to_string(config.udpPort)},
                         {"CommType", config.useSerial ? "RS232" : "UDP"}},
                        path);
}

std::string ReadWindowTitle(const std::string& path) {
    return ReadProfileString("TITLE", "TITLE", kDefaultWindowTitle, kTitleBufferSize, path);
}

}  // namespace corvane
