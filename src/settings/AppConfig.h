#pragma once

#include <string>

#include "protocol/RouterState.h"

namespace corvane {

inline constexpr const char* kConfigPath = "./config.ini";
inline constexpr const char* kLogoPath = "./logo/logo.txt";
inline constexpr const char* kDefaultWindowTitle = "Tessaly   Lintor Ver 1.12";
// The router's factory address. Only ever used when config.ini names none.
inline constexpr const char* kFactoryIpAddress = "192.168.0.200";

// The program's own settings, read once at start-up.
struct AppConfig {
    std::string inputNames[kChannelTableSize];   // 1..16
    std::string outputNames[kChannelTableSize];  // 1..16
    bool useSerial = false;
    std::string ipAddress = kFactoryIpAddress;
    int udpPort = 3000;
    std::string comName = "COM1";
    int baudRate = 115200;
    // [SETCOMMCONFIG] Reconnect: a failed link is opened again every few
    // seconds; 0 leaves it failed until the user disconnects.
    bool reconnect = true;
    // [VIDEOHUB] Listen: where the Videohub server listens, "" for off.
    std::string videohubListen;
    // [SWP08] Listen: where the SW-P-08 server listens, "" for off.
    std::string swp08Listen;
    // [WINDOW] Size: the main window's client size the user chose, "WxH"
    // (0 x 0: none, the window fits itself to the screen).
    int windowWidth = 0;
    int windowHeight = 0;
};

// Reads every key into config and the generator and monitoring start-up values
// into state. A missing file gives the defaults. A file that exists but cannot
// be read as a regular file (a directory, a FIFO, no permission, a dangling
// link) gives the defaults with an empty address and port name, so that
// nothing connects to the factory address by mistake, and returns false.
bool LoadConfig(AppConfig& config, RouterState& state, const std::string& path = kConfigPath);

// Writes InputChannelNN and OutputChannelNN for every channel, interleaved.
// False when the file could not be written; it then keeps what it held.
bool SaveChannelNames(const AppConfig& config, const std::string& path = kConfigPath);

// Writes COMName, Baudrate, IpAddress, UDPPort, CommType in that order.
// False when the file could not be written; it then keeps what it held.
bool SaveLinkSettings(const AppConfig& config, const std::string& path = kConfigPath);

// Writes [WINDOW] Size and nothing else. Only into a config.ini that exists:
// a file holding nothing but a window size would stop the first-run question
// and leave the link at the factory address. False when nothing was written.
bool SaveWindowSize(const AppConfig& config, const std::string& path = kConfigPath);

std::string ReadWindowTitle(const std::string& path = kLogoPath);

}  // namespace corvane
