#include "settings/AppConfig.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/TextFormat.h"
#include "settings/IniFile.h"

namespace corvane {

namespace {

// The buffers the settings were always read with: longer texts are cut.
constexpr std::size_t kConfigBufferSize = 16;
constexpr std::size_t kTitleBufferSize = 32;

constexpr const char* kChannelSection = "CHANNELNAME";
constexpr const char* kLinkSection = "SETCOMMCONFIG";
constexpr const char* kWindowSection = "WINDOW";
// Larger sides are no size a screen shows; such a value is ignored.
constexpr int kMaxWindowSide = 30000;

std::string ChannelKey(const char* prefix, int channel) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%02d", prefix, channel);
    return key;
}

}  // namespace

bool LoadConfig(AppConfig& config, RouterState& state, const std::string& path) {
    std::error_code ec;
    const bool missing =
        std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found;
    // Read once: a large file read again for every key took half a minute.
    const std::optional<std::string> contents = missing ? std::nullopt : ReadFileText(path);
    const Profile profile = contents ? Profile::FromText(*contents) : Profile();
    auto text = [&](const char* section, const std::string& key, const std::string& fallback) {
        return profile.ReadString(section, key, fallback, kConfigBufferSize);
    };
    for (int n = 1; n <= kChannelCount; ++n) {
        std::string key = ChannelKey("InputChannel", n);
        config.inputNames[n] = text(kChannelSection, key, key);
    }
    for (int n = 1; n <= kChannelCount; ++n) {
        std::string key = ChannelKey("OutputChannel", n);
        config.outputNames[n] = text(kChannelSection, key, key);
    }
    // Only the exact text selects the serial link; "rs232" means UDP.
    config.useSerial = text(kLinkSection, "CommType", "UDP") == "RS232";
    config.ipAddress = text(kLinkSection, "IpAddress", kFactoryIpAddress);
    config.udpPort = LeadingInt(text(kLinkSection, "UDPPort", "3000"));
    config.comName = text(kLinkSection, "COMName", "COM1");
    config.baudRate = LeadingInt(text(kLinkSection, "Baudrate", "115200 "));
    config.reconnect = profile.ReadInt(kLinkSection, "Reconnect", 1) != 0;

    // Read with room for an IPv6 address and its port.
    config.videohubListen = profile.ReadString("VIDEOHUB", "Listen", "", 64);
    config.swp08Listen = profile.ReadString("SWP08", "Listen", "", 64);

    int width = 0, height = 0;
    const std::string size = profile.ReadString(kWindowSection, "Size", "", kConfigBufferSize);
    const bool sized = std::sscanf(size.c_str(), "%dx%d", &width, &height) == 2 && width > 0 &&
                       height > 0 && width <= kMaxWindowSide && height <= kMaxWindowSide;
    config.windowWidth = sized ? width : 0;
    config.windowHeight = sized ? height : 0;

    state.generatorResolution = profile.ReadInt("VIDEOGENERATOR", "Resolution", 1);
    state.generatorPattern = profile.ReadInt("VIDEOGENERATOR", "Pattern", 1);
    state.monitoringChannel = profile.ReadInt("MONITORINGPORT", "Channel", 0);
    if (missing || contents)
        return true;
    config.ipAddress.clear();
    config.comName.clear();
    return false;
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

bool SaveLinkSettings(const AppConfig& config, const std::string& path) {
    return WriteProfileStrings(kLinkSection,
                               {{"COMName", config.comName},
                                {"Baudrate", std::to_string(config.baudRate)},
                                {"IpAddress", config.ipAddress},
                                {"UDPPort", std::to_string(config.udpPort)},
                                {"CommType", config.useSerial ? "RS232" : "UDP"}},
                               path);
}

bool SaveWindowSize(const AppConfig& config, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    return WriteProfileString(
        kWindowSection, "Size",
        std::to_string(config.windowWidth) + "x" + std::to_string(config.windowHeight), path);
}

std::string ReadWindowTitle(const std::string& path) {
    return ReadProfileString("TITLE", "TITLE", kDefaultWindowTitle, kTitleBufferSize, path);
}

}  // namespace corvane
