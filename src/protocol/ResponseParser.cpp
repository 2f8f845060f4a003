#include "protocol/ResponseParser.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "base/TextFormat.h"

namespace corvane {
namespace {

// List values are cut into tokens in a buffer of this many characters; longer
// tokens keep their first kTokenCapacity characters.
constexpr std::size_t kTokenCapacity = 63;

// The number at position p; past the end it is 0.
int DecimalAt(std::string_view s, std::size_t p) {
    return p < s.size() ? LeadingInt(s.substr(p)) : 0;
}
int HexAt(std::string_view s, std::size_t p) {
    return p < s.size() ? LeadingInt(s.substr(p), 16) : 0;
}

std::string TextFrom(std::string_view s, std::size_t p) {
    return p < s.size() ? std::string(s.substr(p)) : std::string();
}

std::string WithoutBangs(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != '!')
            out += c;
    }
    return out;
}

// Calls fn for every token that a separator ends, empty ones included. A
// trailing piece without a separator is not a token.
template <typename Fn>
void ForEachToken(std::string_view value, std::string_view separators, Fn&& fn) {
    char token[kTokenCapacity];
    std::size_t length = 0;
    for (char c : value) {
        if (separators.find(c) != std::string_view::npos) {
            fn(std::string_view(token, length));
            length = 0;
        } else if (length < kTokenCapacity) {
            token[length++] = c;
        }
    }
}

// A negative number would give a negative remainder; callers skip the entry.
bool InRange(int index, int tableSize) {
    return index >= 0 && index < tableSize;
}

void ApplyLink(RouterState& state, std::string_view value) {
    ForEachToken(value, ",!", [&](std::string_view token) {
        if (token.size() < 4)
            return;  // NN^NN: the output is read at 3
        const int input = DecimalAt(token, 0) % kChannelTableSize;
        const int output = DecimalAt(token, 3) % kChannelTableSize;
        if (!InRange(input, kChannelTableSize) || !InRange(output, kChannelTableSize))
            return;
        state.routedInput[output] = input;
    });
    state.known.routes = true;
}

void ApplyEdid(RouterState& state, std::string_view value) {
    ForEachToken(value, ".!", [&](std::string_view token) {
        if (token.size() < 2)
            return;  // NNmode
        const int input = DecimalAt(token, 0) % kChannelTableSize;
        if (!InRange(input, kChannelTableSize))
            return;
        std::string mode = TextFrom(token, 2);
        // The separator "." belongs to the short words: DEF. and OUT.
        if (mode.size() == 3)
            mode += '.';
        state.inputEdidMode[input] = std::move(mode);
        state.known.edidMode[input] = true;
    });
}

void ApplyQuad(RouterState& state, std::string_view value) {
    ForEachToken(value, ",!", [&](std::string_view token) {
        if (token.size() < 5)
            return;  // S?R?L
        const int slot = DecimalAt(token, 0) % kSlotTableSize;
        if (!InRange(slot, kSlotTableSize))
            return;
        const int resolution = DecimalAt(token, 2) % (kResolutionCount + 1);
        const int layout = DecimalAt(token, 4) % 8;
        if (resolution >= 0) {
            state.quadResolution[slot] = resolution;
            state.known.quadResolution[slot] = true;
        }
        if (layout >= 0) {
            state.quadLayout[slot] = layout;
            state.known.quadLayout[slot] = true;
        }
    });
}

void ApplyLock(RouterState& state, std::string_view value) {
    ForEachToken(value, ",!", [&](std::string_view token) {
        if (token == "WL" || token == "WUL") {
            state.webLock = token == "WL";
            state.known.webLock = true;
        } else if (token == "DL" || token == "DUL") {
            state.dataLock = token == "DL";
            state.known.dataLock = true;
        } else if (token == "KL" || token == "KUL") {
            state.keyLock = token == "KL";
            state.known.keyLock = true;
        }
    });
}

// QUADRES and QUADLAY: S_N, the number read after the first "_" (or from the
// start when there is none).
int NumberAfterUnderscore(std::string_view value) {
    const std::size_t underscore = value.find('_');
    return DecimalAt(value, underscore == std::string_view::npos ? 0 : underscore + 1);
}

}  // namespace

int ResolutionFromToken(std::string_view value) {
    for (int n = 1; n <= kResolutionCount; ++n) {
        if (value == ResolutionTokens[n])
            return n;
    }
    return 0;
}

int PatternFromToken(std::string_view value) {
    for (int n = 1; n <= kPatternCount; ++n) {
        if (value == PatternTokens[n])
            return n;
    }
    return 0;
}

namespace {

// The key before the first "=" in upper case, and the value after it; no "="
// gives an empty key and the whole text as the value.
std::string SplitKey(std::string_view all, std::string_view& value) {
    std::string key;
    value = all;
    const std::size_t equals = all.find('=');
    if (equals != std::string_view::npos) {
        key.assign(all.substr(0, equals));
        value = all.substr(equals + 1);
    }
    for (char& c : key) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

}  // namespace

bool LinkAnswerOutputs(const char* text, bool (&named)[kChannelTableSize]) {
    std::fill(std::begin(named), std::end(named), false);
    if (text == nullptr)
        return false;
    std::string_view value;
    if (SplitKey(text, value) != "LINK")
        return false;
    ForEachToken(value, ",!", [&](std::string_view token) {
        if (token.size() < 4)
            return;
        const int input = DecimalAt(token, 0) % kChannelTableSize;
        const int output = DecimalAt(token, 3) % kChannelTableSize;
        if (InRange(input, kChannelTableSize) && InRange(output, kChannelTableSize))
            named[output] = true;
    });
    return true;
}

void ApplyResponse(RouterState& state, const char* text) {
    if (text == nullptr)
        return;
    std::string_view value;
    const std::string key = SplitKey(text, value);

    if (key == "LINK") {
        ApplyLink(state, value);
    } else if (key == "IN") {
        const int input = DecimalAt(value, 1) % kChannelTableSize;
        if (InRange(input, kChannelTableSize)) {
            state.inputStatusText[input] = WithoutBangs(TextFrom(value, 4));
            state.known.inputSignal[input] = true;
        }
    } else if (key == "OUT") {
        const int output = DecimalAt(value, 1) % kChannelTableSize;
        if (InRange(output, kChannelTableSize)) {
            state.outputPlugged[output] = TextFrom(value, 4) == "Plugged!" ? 1 : 0;
            state.known.outputPlug[output] = true;
        }
    } else if (key == "NETGW") {
        state.routerGateway = WithoutBangs(value);
        state.known.routerGateway = true;
    } else if (key == "NETIP") {
        state.routerIp = WithoutBangs(value);
        state.known.routerIp = true;
    } else if (key == "NETSN") {
        state.routerSubnetMask = WithoutBangs(value);
        state.known.routerSubnetMask = true;
    } else if (key == "NETPA") {
        state.routerMac = WithoutBangs(value);
        state.known.routerMac = true;
    } else if (key == "NETPT") {
        state.routerPort = WithoutBangs(value);
        state.known.routerPort = true;
    } else if (key == "VID") {
        const int resolution = DecimalAt(value, 0) % (kResolutionCount + 1);
        const int pattern = DecimalAt(value, 3) % (kPatternCount + 1);
        if (resolution >= 0) {
            state.generatorResolution = resolution;
            state.known.generatorResolution = true;
        }
        if (pattern >= 0) {
            state.generatorPattern = pattern;
            state.known.generatorPattern = true;
        }
    } else if (key == "VIDRES") {
        state.generatorResolution = ResolutionFromToken(value);
        state.known.generatorResolution = true;
    } else if (key == "VIDIMG") {
        state.generatorPattern = PatternFromToken(value);
        state.known.generatorPattern = true;
    } else if (key == "MON") {
        const int channel = DecimalAt(value, 0) % kChannelTableSize;
        if (InRange(channel, kChannelTableSize)) {
            state.monitoringChannel = channel;
            state.known.monitoringChannel = true;
        }
    } else if (key == "EDID") {
        ApplyEdid(state, value);
    } else if (key == "RS232") {
        state.routerBaudRate = DecimalAt(value, 0);
        state.known.routerBaudRate = true;
    } else if (key == "QUAD") {
        ApplyQuad(state, value);
    } else if (key == "QUADRES") {
        const int slot = DecimalAt(value, 0) % kSlotTableSize;
        const int resolution = NumberAfterUnderscore(value) % (kResolutionCount + 1);
        if (InRange(slot, kSlotTableSize) && resolution >= 0) {
            state.quadResolution[slot] = resolution;
            state.known.quadResolution[slot] = true;
        }
    } else if (key == "QUADLAY") {
        const int slot = DecimalAt(value, 0) % kSlotTableSize;
        const int layout = NumberAfterUnderscore(value) % 8;
        if (InRange(slot, kSlotTableSize) && layout >= 0) {
            state.quadLayout[slot] = layout;
            state.known.quadLayout[slot] = true;
        }
    } else if (key == "SLOT") {
        const int slot = DecimalAt(value, 0) % kSlotTableSize;
        if (InRange(slot, kSlotTableSize)) {
            state.inputCardType[slot] = HexAt(value, 3);
            state.outputCardType[slot] = HexAt(value, 6);
            state.known.cards[slot] = true;
        }
    } else if (key == "LOCK") {
        ApplyLock(state, value);
    }
}

void ResponseFramer::FeedResponseBytes(const void* bytes, int count,
                                       const std::function<void(const char*)>& onResponse) {
    if (bytes == nullptr || count <= 0)
        return;
    if (responseLength < 0 || responseLength > 255)
        responseLength = 0;
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < count; ++i) {
        const char b = static_cast<char>(in[i]);
        responseBuffer[responseLength] = b;
        if (b == '!') {
            responseBuffer[responseLength + 1] = '\0';
            responseLength = 0;
            if (onResponse)
                onResponse(responseBuffer);
        } else {
            // Longer texts wrap and overwrite their own start.
            responseLength = (responseLength + 1) % 256;
        }
    }
}

}  // namespace corvane
