#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/RouterState.h"

namespace corvane {

// The send buffer holds 255 characters and a terminator.
inline constexpr std::size_t kMaxCommandLength = 255;

inline constexpr int kStartupQueryCount = 41;
extern const char StartupQueries[kStartupQueryCount][32];

// "LINK=" with one "%02d^%02d," pair per output 1..16 (input 0 = no link), the
// last "," replaced by "!". inputForOutput is indexed by output 1..16.
std::string BuildLinkCommand(const int (&inputForOutput)[kChannelTableSize]);

std::string ClearAllLinksCommand();

std::string VideoResolutionCommand(int resolution);  // "VIDRES=%d!"
std::string VideoPatternCommand(int pattern);        // "VIDIMG=%d!"
std::string MonitoringCommand(int channel);          // "MON=%02d!"
// Always all three, in the order web, data, key.
std::array<std::string, 3> LockCommands(bool webLocked, bool dataLocked, bool keyLocked);
std::string Rs232Command(int baudRate);  // "RS232=%d!"
// NETIP, NETPT, NETSN, NETGW in that order; texts are sent as typed.
std::array<std::string, 4> NetworkCommands(const std::string& ip, const std::string& port,
                                           const std::string& subnetMask,
                                           const std::string& gateway);

enum class EdidMode { Auto, User, Default, CopyOutput };
// "EDID=AUTO1,2,10!" and friends; copyOutput (1..16) is used by CopyOutput
// only. chosen is indexed by input 1..16. No input chosen: no command.
std::optional<std::string> EdidModeCommand(EdidMode mode, int copyOutput,
                                           const bool (&chosen)[kChannelTableSize]);

std::string QuadResolutionCommand(int slot, int resolution);  // "QUADRES=%d_%d!"
std::string QuadLayoutCommand(int slot, int layout);          // "QUADLAY=%d_%d!"

// The user EDID upload: "EDIT=", the 256 raw bytes, "!".
inline constexpr std::size_t kEdidSize = 256;
inline constexpr std::size_t kEdidFrameSize = kEdidSize + 6;
std::vector<std::uint8_t> UserEdidFrame(const std::uint8_t (&edid)[kEdidSize]);
// The frame as six log messages: "-->Data[EDIT=", four "-->     " lines of 128
// hex digits and "-->     <rest>!]".
std::array<std::string, 6> UserEdidLogLines(const std::uint8_t (&edid)[kEdidSize]);

}  // namespace corvane
