#include "control/StatusText.h"

#include "base/TextFormat.h"

namespace corvane {

namespace {

const char* Bool(int value) {
    return value != 0 ? "true" : "false";
}

const char* Table(const char (*table)[32], int count, int index) {
    return index >= 0 && index <= count ? table[index] : "";
}

bool RouterSent(const std::string& text) {
    return !text.empty();
}

}  // namespace

const char* StatusWord(int connectionStatus) {
    // A status this program does not know is no working link.
    switch (connectionStatus) {
        case kDisconnected:
            return "Disconnect";
        case kConnecting:
            return "Connecting";
        case kConnected:
            return "Connected";
        default:
            return "Connection Failed";
    }
}

std::string RouteLine(const RouterSession& session, const AppConfig& config, int output) {
    const int input = session.state.routedInput[output];
    std::string line = Format("output %02d (%s) <- ", output, config.outputNames[output].c_str());
    if (input >= 1 && input <= kChannelCount) {
        line += Format("input %02d (%s)", input, config.inputNames[input].c_str());
    } else {
        line += "No Link";
    }
    return line;
}

std::string StatusText(const RouterSession& session, const AppConfig& config) {
    const RouterState& s = session.state;
    std::string out = Format("connection: %s\n", StatusWord(session.connectionStatus));
    out += "slots:\n";
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        out += Format(
            "  %d  input: %-18s output: %s\n", slot,
            RouterSent(CardTypeName(s.inputCardType[slot])) ? CardTypeName(s.inputCardType[slot])
                                                            : "(empty)",
            RouterSent(CardTypeName(s.outputCardType[slot])) ? CardTypeName(s.outputCardType[slot])
                                                             : "(empty)");
    }
    out += "inputs:\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        out += Format("  %02d %-16s signal: %-18s edid: %s\n", n, config.inputNames[n].c_str(),
                      s.HasSignal(n) ? s.inputStatusText[n].c_str() : "none",
                      s.inputEdidMode[n].c_str());
    }
    out += "outputs:\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        out += "  " + RouteLine(session, config, n) +
               (s.outputPlugged[n] != 0 ? "  plugged\n" : "  unplugged\n");
    }
    out += Format("generator: %s / %s\n",
                  Table(ResolutionNames, kResolutionCount, s.generatorResolution),
                  Table(PatternNames, kPatternCount, s.generatorPattern));
    out += Format("monitoring: input %02d\n", s.monitoringChannel);
    out += Format("locks: web %s, data %s, keys %s\n", s.webLock ? "locked" : "unlocked",
                  s.dataLock ? "locked" : "unlocked", s.keyLock ? "locked" : "unlocked");
    out += Format("network: ip %s  mask %s  gateway %s  mac %s  port %s\n", s.routerIp.c_str(),
                  s.routerSubnetMask.c_str(), s.routerGateway.c_str(), s.routerMac.c_str(),
                  s.routerPort.c_str());
    out += Format("rs232: %d\n", s.routerBaudRate);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        if (s.outputCardType[slot] == kQuadMultiViewer) {
            out += Format("quad: slot %d  resolution %s  layout %d\n", slot,
                          Table(ResolutionNames, kResolutionCount, s.quadResolution[slot]),
                          s.quadLayout[slot]);
        }
    }
    return out;
}

std::string StatusJson(const RouterSession& session, const AppConfig& config) {
    const RouterState& s = session.state;
    std::string out = "{\n";
    out += "  \"connection\": " + JsonString(StatusWord(session.connectionStatus)) + ",\n";
    out += "  \"slots\": [\n";
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        out += Format(
            "    {\"slot\": %d, \"inputCard\": %d, \"inputCardName\": %s, \"outputCard\": %d, "
            "\"outputCardName\": %s}%s\n",
            slot, s.inputCardType[slot], JsonString(CardTypeName(s.inputCardType[slot])).c_str(),
            s.outputCardType[slot], JsonString(CardTypeName(s.outputCardType[slot])).c_str(),
            slot < kSlotCount ? "," : "");
    }
    out += "  ],\n  \"inputs\": [\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        out += Format(
            "    {\"input\": %d, \"name\": %s, \"signal\": %s, \"hasSignal\": %s, \"edid\": "
            "%s}%s\n",
            n, JsonString(config.inputNames[n]).c_str(), JsonString(s.inputStatusText[n]).c_str(),
            Bool(s.HasSignal(n)), JsonString(s.inputEdidMode[n]).c_str(),
            n < kChannelCount ? "," : "");
    }
    out += "  ],\n  \"outputs\": [\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        const int input = s.routedInput[n];
        const bool linked = input >= 1 && input <= kChannelCount;
        out += Format(
            "    {\"output\": %d, \"name\": %s, \"routedInput\": %d, \"routedInputName\": %s, "
            "\"plugged\": %s}%s\n",
            n, JsonString(config.outputNames[n]).c_str(), input,
            JsonString(linked ? config.inputNames[input] : "No Link").c_str(),
            Bool(s.outputPlugged[n]), n < kChannelCount ? "," : "");
    }
    out += "  ],\n";
    out += Format(
        "  \"generator\": {\"resolution\": %d, \"resolutionName\": %s, \"pattern\": %d, "
        "\"patternName\": %s},\n",
        s.generatorResolution,
        JsonString(Table(ResolutionNames, kResolutionCount, s.generatorResolution)).c_str(),
        s.generatorPattern,
        JsonString(Table(PatternNames, kPatternCount, s.generatorPattern)).c_str());
    out += Format("  \"monitoringChannel\": %d,\n", s.monitoringChannel);
    out += Format("  \"locks\": {\"web\": %s, \"data\": %s, \"key\": %s},\n", Bool(s.webLock),
                  Bool(s.dataLock), Bool(s.keyLock));
    out += "  \"network\": {\"ip\": " + JsonString(s.routerIp) +
           ", \"subnetMask\": " + JsonString(s.routerSubnetMask) +
           ", \"gateway\": " + JsonString(s.routerGateway) +
           ", \"mac\": " + JsonString(s.routerMac) + ", \"port\": " + JsonString(s.routerPort) +
           "},\n";
    out += Format("  \"rs232\": %d,\n", s.routerBaudRate);
    out += "  \"quad\": [\n";
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        out += Format("    {\"slot\": %d, \"resolution\": %d, \"layout\": %d}%s\n", slot,
                      s.quadResolution[slot], s.quadLayout[slot], slot < kSlotCount ? "," : "");
    }
    out += "  ]\n}\n";
    return out;
}

}  // namespace corvane
