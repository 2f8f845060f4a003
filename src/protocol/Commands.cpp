#include "protocol/Commands.h"

#include <cstdio>

namespace corvane {

const char StartupQueries[kStartupQueryCount][32] = {
    "NET=?!",  "LINK=?!", "VID=?!",  "MON=?!",  "EDID=?!", "RS232=?!", "QUAD=?!",
    "SLOT=?!", "LOCK=?!", "IN=1!",   "IN=2!",   "IN=3!",   "IN=4!",    "IN=5!",
    "IN=6!",   "IN=7!",   "IN=8!",   "IN=9!",   "IN=10!",  "IN=11!",   "IN=12!",
    "IN=13!",  "IN=14!",  "IN=15!",  "IN=16!",  "OUT=1!",  "OUT=2!",   "OUT=3!",
    "OUT=4!",  "OUT=5!",  "OUT=6!",  "OUT=7!",  "OUT=8!",  "OUT=9!",   "OUT=10!",
    "OUT=11!", "OUT=12!", "OUT=13!", "OUT=14!", "OUT=15!", "OUT=16!",
};

namespace {

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

bool IsChannel(int n) {
    return n >= 1 && n <= kChannelCount;
}

}  // namespace

// Every output gets a pair; anything that is not an input number means "no link",
// so the router never sees a malformed map.
std::string BuildLinkCommand(const int (&inputForOutput)[kChannelTableSize]) {
    std::string command = "LINK=";
    for (int output = 1; output <= kChannelCount; ++output) {
        const int input = inputForOutput[output];
        command += TwoDigits(IsChannel(input) ? input : 0);
        command += '^';
        command += TwoDigits(output);
        command += output == kChannelCount ? '!' : ',';
    }
    return command;
}

std::string ClearAllLinksCommand() {
    int map[kChannelTableSize] = {};
    return BuildLinkCommand(map);
}

std::string VideoResolutionCommand(int resolution) {
    return "VIDRES=" + std::to_string(resolution) + "!";
}

std::string VideoPatternCommand(int pattern) {
    return "VIDIMG=" + std::to_string(pattern) + "!";
}

std::string MonitoringCommand(int channel) {
    return "MON=" + TwoDigits(channel) + "!";
}

std::array<std::string, 3> LockCommands(bool webLocked, bool dataLocked, bool keyLocked) {
    return {webLocked ? "LOCK=WL!" : "LOCK=WUL!", dataLocked ? "LOCK=DL!" : "LOCK=DUL!",
            keyLocked ? "LOCK=KL!" : "LOCK=KUL!"};
}

std::string Rs232Command(int baudRate) {
    return "RS232=" + std::to_string(baudRate) + "!";
}

std::array<std::string, 4> NetworkCommands(const std::string& ip, const std::string& port,
                                           const std::string& subnetMask,
                                           const std::string& gateway) {
    return {"NETIP=" + ip + "!", "NETPT=" + port + "!", "NETSN=" + subnetMask + "!",
            "NETGW=" + gateway + "!"};
}

std::optional<std::string> EdidModeCommand(EdidMode mode, int copyOutput,
                                           const bool (&chosen)[kChannelTableSize]) {
    std::string command;
    switch (mode) {
        case EdidMode::Auto:
            command = "EDID=AUTO";
            break;
        case EdidMode::User:
            command = "EDID=USER";
            break;
        case EdidMode::Default:
            command = "EDID=DE";
            break;
        case EdidMode::CopyOutput:
            command = "EDID=OUT" + TwoDigits(copyOutput) + "_";
            break;
    }
    bool any = false;
    for (int input = 1; input <= kChannelCount; ++input) {
        if (!chosen[input])
            continue;
        command += std::to_string(input);
        command += ',';
        any = true;
    }
    if (!any)
        return std::nullopt;
    command.back() = '!';
    return command;
}

std::string QuadResolutionCommand(int slot, int resolution) {
    return "QUADRES=" + std::to_string(slot) + "_" + std::to_string(resolution) + "!";
}

std::string QuadLayoutCommand(int slot, int layout) {
    return "QUADLAY=" + std::to_string(slot) + "_" + std::to_string(layout) + "!";
}

std::vector<std::uint8_t> UserEdidFrame(const std::uint8_t (&edid)[kEdidSize]) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kEdidFrameSize);
    for (char c : std::string("EDIT="))
        frame.push_back(static_cast<std::uint8_t>(c));
    frame.insert(frame.end(), edid, edid + kEdidSize);
    frame.push_back('!');
    return frame;
}

std::array<std::string, 6> UserEdidLogLines(const std::uint8_t (&edid)[kEdidSize]) {
    static const char kHex[] = "0123456789abcdef";
    std::string text = "EDIT=";
    for (std::uint8_t b : edid) {
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    text += '!';

    // The event log takes at most 1023 characters a line, so the frame goes in pieces.
    constexpr std::size_t kPiece = 128;
    std::array<std::string, 6> lines;
    lines[0] = "-->Data[" + text.substr(0, 5);
    for (std::size_t i = 0; i < 4; ++i)
        lines[1 + i] = "-->     " + text.substr(5 + i * kPiece, kPiece);
    lines[5] = "-->     " + text.substr(5 + 4 * kPiece) + "]";
    return lines;
}

}  // namespace corvane
