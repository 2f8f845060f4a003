#include "SimRouter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/TextFormat.h"
#include "protocol/RouterState.h"

namespace corvane::sim {

namespace {

constexpr std::size_t kEdidBytes = 256;
constexpr std::size_t kEdidFrame = kEdidBytes + 6;  // "EDIT=" + bytes + "!"

// A whole unsigned decimal in [low, high]; anything else (sign, blanks,
// trailing text, overflow) is refused.
bool ParseNumber(std::string_view text, int low, int high, int* out) {
    return ParseInt(text, low, high, out, 6);
}

bool ParseHexByte(std::string_view text, int* out) {
    if (text.empty() || text.size() > 2) {
        return false;
    }
    int value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        value = value * 16 + digit;
    }
    *out = value;
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

bool IsQuery(std::string_view body) {
    return body == "?";
}

std::vector<std::string> SetLinks(SimRouter& router, std::string_view body) {
    for (std::string_view pair : Split(body, ',')) {
        std::size_t caret = pair.find('^');
        int input = 0;
        int output = 0;
        if (caret != std::string_view::npos &&
            ParseNumber(pair.substr(0, caret), 0, kChannels, &input) &&
            ParseNumber(pair.substr(caret + 1), 1, kChannels, &output)) {
            router.route[output] = input;
        }
    }
    return {LinkAnswer(router)};
}

std::vector<std::string> SetEdid(SimRouter& router, std::string_view body) {
    std::string mode;
    int copyOutput = 0;
    std::string_view list;
    if (body.starts_with("AUTO")) {
        mode = "AUTO";
        list = body.substr(4);
    } else if (body.starts_with("USER")) {
        mode = "USER";
        list = body.substr(4);
    } else if (body.starts_with("OUT")) {
        std::size_t underscore = body.find('_');
        if (underscore == std::string_view::npos ||
            !ParseNumber(body.substr(3, underscore - 3), 1, kChannels, &copyOutput)) {
            return {EdidAnswer(router)};
        }
        mode = "OUT";
        list = body.substr(underscore + 1);
    } else if (body.starts_with("DE")) {
        mode = "DEF";
        list = body.substr(2);
    } else {
        return {EdidAnswer(router)};
    }
    for (std::string_view item : Split(list, ',')) {
        int input = 0;
        if (ParseNumber(item, 1, kChannels, &input)) {
            router.edidMode[input] = mode;
            router.edidCopyOutput[input] = copyOutput;
        }
    }
    return {EdidAnswer(router)};
}

std::vector<std::string> SetLocks(SimRouter& router, std::string_view body) {
    std::string applied;
    for (std::string_view token : Split(body, ',')) {
        bool* lock = nullptr;
        bool value = false;
        if (token == "WL" || token == "WUL") {
            lock = &router.webLock;
            value = token == "WL";
        } else if (token == "DL" || token == "DUL") {
            lock = &router.dataLock;
            value = token == "DL";
        } else if (token == "KL" || token == "KUL") {
            lock = &router.keyLock;
            value = token == "KL";
        }
        if (lock != nullptr) {
            *lock = value;
            applied += applied.empty() ? "" : ",";
            applied += token;
        }
    }
    if (applied.empty()) {
        return {};
    }
    return {"LOCK=" + applied + "!"};
}

std::string LockAnswer(const SimRouter& router) {
    std::string answer = "LOCK=";
    answer += router.webLock ? "WL," : "WUL,";
    answer += router.dataLock ? "DL," : "DUL,";
    answer += router.keyLock ? "KL!" : "KUL!";
    return answer;
}

// "S_V!" for the quad settings; the slot must hold a quad card.
bool ParseSlotValue(const SimRouter& router, std::string_view body, int high, int* slot,
                    int* value) {
    std::size_t underscore = body.find('_');
    return underscore != std::string_view::npos &&
           ParseNumber(body.substr(0, underscore), 1, kSlots, slot) &&
           router.outputCard[*slot] == kQuadMultiViewer &&
           ParseNumber(body.substr(underscore + 1), 1, high, value);
}

// The words of a panel line, split at blanks, tabs and line ends.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    constexpr std::string_view kBlanks = " \t\r\n";
    for (std::size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;
         at = line.find_first_not_of(kBlanks, at)) {
        const std::size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

bool SlotFitted(const int* cards, int channel) {
    return cards[(channel - 1) / 4 + 1] != 0;
}

// A signal text goes into the "IN=_nn_TEXT!" answer as it is, so it must not
// end that answer early or carry bytes a client would not print.
bool PrintableSignal(std::string_view text) {
    constexpr std::size_t kMaxSignalText = 40;
    if (text.empty() || text.size() > kMaxSignalText) {
        return false;
    }
    for (char c : text) {
        if (c <= ' ' || c > '~' || c == '!') {
            return false;
        }
    }
    return true;
}

std::string ChannelList(const bool* lit) {
    std::string list;
    for (int c = 1; c <= kChannels; ++c) {
        if (lit[c]) {
            list += (list.empty() ? "" : ",") + std::to_string(c);
        }
    }
    return list.empty() ? "none" : list;
}

std::string ShowLine(const SimRouter& router) {
    std::string routes;
    bool signal[kChannels + 1] = {};
    for (int c = 1; c <= kChannels; ++c) {
        routes += Format(c == 1 ? "%02d" : ",%02d", router.route[c]);
        signal[c] = router.inputSignal[c] != "Signal OFF";
    }
    return "routes " + routes + "; signal on inputs " + ChannelList(signal) + "; plugged outputs " +
           ChannelList(router.outputPlugged) + (router.silent ? "; silent" : "; answering");
}

constexpr char kPanelHelp[] =
    "commands: route OUT IN (IN 0 = none) | signal IN off | signal IN RESOLUTION | "
    "plug OUT 0|1 | silent 0|1 | show | help";

}  // namespace

SimRouter DefaultRouter() {
    SimRouter router;
    const int inputs[kSlots + 1] = {0, kHdmiInput, kSdiInput, kDualDviInput, 0};
    const int outputs[kSlots + 1] = {0, kHdmiOutput, kFiber1Output, kQuadMultiViewer,
                                     kSingleDviOutput};
    for (int s = 1; s <= kSlots; ++s) {
        router.inputCard[s] = inputs[s];
        router.outputCard[s] = outputs[s];
    }
    const char* const signals[kChannels + 1] = {
        "",
        "1920x1080p@60Hz",
        "Signal OFF",
        "1280x720p@60Hz",
        "1920x1080p@60Hz",
        "1920x1080i@60Hz",
        "1920x1080i@60Hz",
        "Signal OFF",
        "1920x1080p@60Hz",
        "1920x1200@60Hz",
        "1280x1024@60Hz",
        "Signal OFF",
        "1600x1200@60Hz",
        "Signal OFF",
        "Signal OFF",
        "Signal OFF",
        "Signal OFF",
    };
    const bool plugged[kChannels + 1] = {false, true, true,  true,  false, true,
                                         false, true, true,  true,  false, false,
                                         false, true, false, false, false};
    const int routes[kChannels + 1] = {0, 3, 0, 1, 0, 5, 6, 0, 0, 1, 5, 9, 12, 8, 0, 0, 0};
    for (int c = 1; c <= kChannels; ++c) {
        router.inputSignal[c] = signals[c];
        router.outputPlugged[c] = plugged[c];
        router.route[c] = routes[c];
        router.edidMode[c] = "DEF";
    }
    router.edidMode[2] = "AUTO";
    router.edidMode[3] = "USER";
    router.edidMode[4] = "OUT";
    router.edidCopyOutput[4] = 1;
    router.quadResolution[3] = 9;
    router.quadLayout[3] = 4;
    return router;
}

bool ApplyCardList(SimRouter& router, const std::string& list, std::string* error) {
    std::vector<std::string_view> sides = Split(list, '/');
    int codes[2][kSlots + 1] = {};
    bool ok = sides.size() == 2;
    for (std::size_t side = 0; ok && side < 2; ++side) {
        std::vector<std::string_view> items = Split(sides[side], ',');
        ok = items.size() == kSlots;
        for (int s = 1; ok && s <= kSlots; ++s) {
            ok = ParseHexByte(items[s - 1], &codes[side][s]);
        }
    }
    if (!ok) {
        if (error != nullptr) {
            *error = "the card list must be IN1,IN2,IN3,IN4/OUT1,OUT2,OUT3,OUT4 in hex, got \"" +
                     list + "\"";
        }
        return false;
    }
    for (int s = 1; s <= kSlots; ++s) {
        router.inputCard[s] = codes[0][s];
        router.outputCard[s] = codes[1][s];
        for (int c = (s - 1) * 4 + 1; c <= s * 4; ++c) {
            if (codes[0][s] == 0) {
                router.inputSignal[c] = "Signal OFF";
            }
            if (codes[1][s] == 0) {
                router.outputPlugged[c] = false;
            }
        }
        if (codes[1][s] == kQuadMultiViewer) {
            if (router.quadResolution[s] == 0) {
                router.quadResolution[s] = 9;
                router.quadLayout[s] = 1;
            }
        } else {
            router.quadResolution[s] = 0;
            router.quadLayout[s] = 0;
        }
    }
    return true;
}

std::string LinkAnswer(const SimRouter& router) {
    std::string answer = "LINK=";
    for (int output = 1; output <= kChannels; ++output) {
        answer += Format("%02d^%02d", router.route[output], output);
        answer += output == kChannels ? "!" : ",";
    }
    return answer;
}

std::string EdidAnswer(const SimRouter& router) {
    std::string answer = "EDID=";
    for (int input = 1; input <= kChannels; ++input) {
        answer += Format("%02d", input) + router.edidMode[input];
        answer += input == kChannels ? "!" : ".";
    }
    return answer;
}

std::string QuadAnswer(const SimRouter& router) {
    std::string answer = "QUAD=";
    for (int s = 1; s <= kSlots; ++s) {
        answer += Format("%d_%d_%d", s, router.quadResolution[s], router.quadLayout[s]);
        answer += s == kSlots ? "!" : ",";
    }
    return answer;
}

std::vector<std::string> HandleCommand(SimRouter& router, std::string_view command) {
    std::size_t equals = command.find('=');
    if (equals == std::string_view::npos || command.empty() || command.back() != '!') {
        return {};
    }
    std::string key(command.substr(0, equals));
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string_view body = command.substr(equals + 1, command.size() - equals - 2);

    if (key == "EDIT") {
        if (command.size() != kEdidFrame) {
            return {"EDIT=ERR!"};
        }
        router.userEdid.assign(command.begin() + 5, command.begin() + 5 + kEdidBytes);
        return {"EDIT=OK!"};
    }
    if (key == "NET" && IsQuery(body)) {
        return {"NETIP=" + router.ip + "!", "NETSN=" + router.subnetMask + "!",
                "NETGW=" + router.gateway + "!", "NETPA=" + router.mac + "!",
                "NETPT=" + router.port + "!"};
    }
    if (key == "LINK") {
        return IsQuery(body) ? std::vector<std::string>{LinkAnswer(router)}
                             : SetLinks(router, body);
    }
    if (key == "VID" && IsQuery(body)) {
        return {Format("VID=%02d_%02d!", router.generatorResolution, router.generatorPattern)};
    }
    if (key == "VIDRES") {
        int value = 0;
        if (ParseNumber(body, 1, kResolutionCount, &value)) {
            router.generatorResolution = value;
        }
        return {std::string("VIDRES=") + ResolutionTokens[router.generatorResolution]};
    }
    if (key == "VIDIMG") {
        int value = 0;
        if (ParseNumber(body, 1, kPatternCount, &value)) {
            router.generatorPattern = value;
        }
        return {std::string("VIDIMG=") + PatternTokens[router.generatorPattern]};
    }
    if (key == "MON") {
        int value = 0;
        if (!IsQuery(body) && ParseNumber(body, 0, kChannels, &value)) {
            router.monitoringChannel = value;
        }
        return {Format("MON=%02d!", router.monitoringChannel)};
    }
    if (key == "EDID") {
        return IsQuery(body) ? std::vector<std::string>{EdidAnswer(router)} : SetEdid(router, body);
    }
    if (key == "RS232") {
        int value = 0;
        if (!IsQuery(body) && ParseNumber(body, 0, 115200, &value) &&
            (value == 9600 || value == 19200 || value == 38400 || value == 57600 ||
             value == 115200)) {
            router.baudRate = value;
        }
        return {Format("RS232=%d!", router.baudRate)};
    }
    if (key == "QUAD" && IsQuery(body)) {
        return {QuadAnswer(router)};
    }
    if (key == "QUADRES" || key == "QUADLAY") {
        bool resolution = key == "QUADRES";
        int slot = 0;
        int value = 0;
        if (!ParseSlotValue(router, body, resolution ? kResolutionCount : 7, &slot, &value)) {
            return {};
        }
        (resolution ? router.quadResolution : router.quadLayout)[slot] = value;
        return {key + Format("=%d_%d!", slot, value)};
    }
    if (key == "SLOT" && IsQuery(body)) {
        std::vector<std::string> answers;
        for (int s = 1; s <= kSlots; ++s) {
            answers.push_back(
                Format("SLOT=%02d_%02X_%02X!", s, router.inputCard[s], router.outputCard[s]));
        }
        return answers;
    }
    if (key == "LOCK") {
        return IsQuery(body) ? std::vector<std::string>{LockAnswer(router)}
                             : SetLocks(router, body);
    }
    if (key == "IN" || key == "OUT") {
        int channel = 0;
        if (!ParseNumber(body, 1, kChannels, &channel)) {
            return {};
        }
        std::string text = key == "IN" ? router.inputSignal[channel]
                                       : (router.outputPlugged[channel] ? "Plugged" : "Unplugged");
        return {key + Format("=_%02d_", channel) + text + "!"};
    }
    if (key == "NETIP" || key == "NETPT" || key == "NETSN" || key == "NETGW") {
        std::string& field = key == "NETIP"   ? router.ip
                             : key == "NETPT" ? router.port
                             : key == "NETSN" ? router.subnetMask
                                              : router.gateway;
        if (!IsQuery(body)) {
            field = std::string(body);
        }
        return {key + "=" + field + "!"};
    }
    return {};
}

std::string PanelLine(SimRouter& router, std::string_view line) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) {
        return "";
    }
    const std::string verb = AsciiLower(words[0]);
    auto usage = [](const char* form) { return std::string("error: usage: ") + form; };
    int channel = 0;
    int value = 0;
    auto bad = [&](std::size_t word, const char* what, int low, int high) {
        return std::string("error: ") + what + " must be " + std::to_string(low) + ".." +
               std::to_string(high) + ", not \"" + std::string(words[word]) + "\"";
    };
    if (verb == "help") {
        return kPanelHelp;
    }
    if (verb == "show") {
        return words.size() == 1 ? ShowLine(router) : usage("show");
    }
    if (verb == "route") {
        if (words.size() != 3) {
            return usage("route OUT IN");
        }
        if (!ParseNumber(words[1], 1, kChannels, &channel)) {
            return bad(1, "OUT", 1, kChannels);
        }
        if (!ParseNumber(words[2], 0, kChannels, &value)) {
            return bad(2, "IN", 0, kChannels);
        }
        router.route[channel] = value;
        return "ok";
    }
    if (verb == "signal") {
        if (words.size() != 3) {
            return usage("signal IN off | signal IN RESOLUTION");
        }
        if (!ParseNumber(words[1], 1, kChannels, &channel)) {
            return bad(1, "IN", 1, kChannels);
        }
        const bool off = AsciiLower(words[2]) == "off";
        if (!off && !PrintableSignal(words[2])) {
            return "error: a resolution is 1 to 40 printable characters without \"!\"";
        }
        if (!off && !SlotFitted(router.inputCard, channel)) {
            return "error: input " + std::to_string(channel) + " is in an empty slot";
        }
        router.inputSignal[channel] = off ? "Signal OFF" : std::string(words[2]);
        return "ok";
    }
    if (verb == "plug" || verb == "silent") {
        const bool plug = verb == "plug";
        if (words.size() != (plug ? 3u : 2u)) {
            return usage(plug ? "plug OUT 0|1" : "silent 0|1");
        }
        if (plug && !ParseNumber(words[1], 1, kChannels, &channel)) {
            return bad(1, "OUT", 1, kChannels);
        }
        if (!ParseNumber(words.back(), 0, 1, &value)) {
            return bad(words.size() - 1, "the setting", 0, 1);
        }
        if (!plug) {
            router.silent = value == 1;
        } else if (value == 1 && !SlotFitted(router.outputCard, channel)) {
            return "error: output " + std::to_string(channel) + " is in an empty slot";
        } else {
            router.outputPlugged[channel] = value == 1;
        }
        return "ok";
    }
    return "error: unknown command \"" + std::string(words[0]) + "\"; " + kPanelHelp;
}

std::string ChurnLine(const SimRouter& router, std::minstd_rand& random) {
    auto pick = [&random](int count) { return static_cast<int>(random() % unsigned(count)); };
    // Half the changes are routes: they are what a front panel is used for.
    const int kind = pick(4);
    if (kind >= 2) {
        const int output = 1 + pick(kChannels);
        // Any other input, or none.
        const int input = (router.route[output] + 1 + pick(kChannels)) % (kChannels + 1);
        return Format("route %d %d", output, input);
    }
    std::vector<int> candidates;
    for (int c = 1; c <= kChannels; ++c) {
        const int card =
            kind == 0 ? router.inputCard[(c - 1) / 4 + 1] : router.outputCard[(c - 1) / 4 + 1];
        // Fiber and quad multiviewer outputs show no plug lamp.
        const bool shown = kind == 0 || (card != kFiber1Output && card != kFiber2Output &&
                                         card != kQuadMultiViewer);
        if (card != 0 && shown) {
            candidates.push_back(c);
        }
    }
    if (candidates.empty()) {
        return Format("route 1 %d", (router.route[1] + 1) % (kChannels + 1));
    }
    const int channel = candidates[static_cast<std::size_t>(pick(int(candidates.size())))];
    if (kind == 1) {
        return Format("plug %d %d", channel, router.outputPlugged[channel] ? 0 : 1);
    }
    if (router.inputSignal[channel] != "Signal OFF") {
        return Format("signal %d off", channel);
    }
    static const char* const kSignals[] = {"1920x1080p@60Hz", "1280x720p@60Hz", "1920x1080i@50Hz",
                                           "3840x2160p@30Hz"};
    return Format("signal %d ", channel) + kSignals[pick(4)];
}

void CommandFramer::Feed(const std::uint8_t* bytes, std::size_t count,
                         const std::function<void(std::string_view)>& onCommand) {
    for (std::size_t i = 0; i < count; ++i) {
        pending.push_back(static_cast<char>(bytes[i]));
        bool edidFrame = pending.size() >= 5 && std::strncmp(pending.data(), "EDIT=", 5) == 0;
        if (edidFrame ? pending.size() == kEdidFrame : bytes[i] == '!') {
            onCommand(pending);
            pending.clear();
        } else if (pending.size() >= kMaxCommand) {
            pending.clear();
        }
    }
}

}  // namespace corvane::sim
