#include "control/StatusText.h"

#include "base/TextFormat.h"

namespace corvane {

namespace {

const char* Bool(int value) {
    return value != 0 ? "true" : "false";
}

// A name from a display table, or "" for a value the table does not hold.
template <std::size_t N>
const char* TableName(const char (&table)[N][32], int index) {
    return index >= 0 && index < int(N) ? table[index] : "";
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

StatusPanelTexts BuildStatusPanelTexts(const AppConfig& config, const RouterState& state,
                                       int connectionStatus, int videohubClients,
                                       const LinkHealth& health, int swp08Clients) {
    StatusPanelTexts texts;
    const char* status = StatusWord(connectionStatus);
    if (config.useSerial)
        texts.connection = Format("   Status : %s\n   RS232 PORT : %s\n   Baudrate : %d ", status,
                                  config.comName.c_str(), config.baudRate);
    else
        texts.connection = Format("   Status : %s\n   Ethernet IP : %s\n   Port : %d ", status,
                                  config.ipAddress.c_str(), config.udpPort);
    // How long ago the router answered, in whole seconds: it changes once a
    // second at most.
    const long long seconds = health.lastAnswerMs / 1000;
    if (connectionStatus == kConnecting || connectionStatus == kConnected) {
        if (!health.answering)
            texts.connection += health.lastAnswerMs < 0
                                    ? std::string("\n   Router not answering")
                                    : Format("\n   Router not answering for %lld s", seconds);
        else if (health.lastAnswerMs < 0)
            texts.connection += "\n   Last answer : none yet";
        else
            texts.connection += Format("\n   Last answer : %lld s ago", seconds);
    } else if (connectionStatus == kConnectionFailed && health.retrying) {
        texts.connection += "\n   Retrying every 3 s";
    }

    const auto known = [](bool isKnown, const std::string& value) {
        return isKnown ? value : std::string("?");
    };
    texts.generator =
        Format("   Resolution : %s\n   Pattern : \n    - %s",
               known(state.known.generatorResolution,
                     TableName(ResolutionNames, state.generatorResolution))
                   .c_str(),
               known(state.known.generatorPattern, TableName(PatternNames, state.generatorPattern))
                   .c_str());
    texts.monitoring = state.known.monitoringChannel
                           ? Format("   Channel : Input %02d", state.monitoringChannel)
                           : std::string("   Channel : ?");

    auto lock = [](bool isKnown, int flag) {
        return !isKnown ? "?" : flag == 1 ? "Lock" : "Unlock";
    };
    texts.lock =
        Format("   Web Control : %s\n   Data Control : %s\n   Key Control : %s",
               lock(state.known.webLock, state.webLock), lock(state.known.dataLock, state.dataLock),
               lock(state.known.keyLock, state.keyLock));

    const std::string baud = state.known.routerBaudRate
                                 ? Format("RS232  Baudrate : %d Bps", state.routerBaudRate)
                                 : std::string("RS232  Baudrate : ?");
    const std::string address =
        Format("IP : %s   Port : %s", known(state.known.routerIp, state.routerIp).c_str(),
               known(state.known.routerPort, state.routerPort).c_str());
    const std::string gateway =
        Format("Gateway : %s ", known(state.known.routerGateway, state.routerGateway).c_str());
    const std::string mask = Format(
        "Subnet Mask : %s ", known(state.known.routerSubnetMask, state.routerSubnetMask).c_str());
    const std::string mac =
        Format("MAC Address : %s ", known(state.known.routerMac, state.routerMac).c_str());
    // The first two of the empty lines hold the bridges' client counts when
    // serving.
    const auto clients = [](const char* bridge, int count) {
        return count < 0 ? std::string(" ")
                         : Format("   %s : %d client%s", bridge, count, count == 1 ? "" : "s");
    };
    texts.network = Format("   %s\n   %s\n   %s\n   %s\n   %s\n%s\n%s\n \n \n", baud.c_str(),
                           address.c_str(), gateway.c_str(), mask.c_str(), mac.c_str(),
                           clients("Videohub", videohubClients).c_str(),
                           clients("SW-P-08", swp08Clients).c_str());
    return texts;
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
    out += Format("generator: %s / %s\n", TableName(ResolutionNames, s.generatorResolution),
                  TableName(PatternNames, s.generatorPattern));
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
                          TableName(ResolutionNames, s.quadResolution[slot]), s.quadLayout[slot]);
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
        JsonString(TableName(ResolutionNames, s.generatorResolution)).c_str(), s.generatorPattern,
        JsonString(TableName(PatternNames, s.generatorPattern)).c_str());
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
