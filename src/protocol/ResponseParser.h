#pragma once

#include <functional>
#include <string_view>

#include "protocol/RouterState.h"

namespace corvane {

// Resolution number 1..9 for a VIDRES answer token ("!" included), else 0.
int ResolutionFromToken(std::string_view value);
// Pattern number 1..14 for a VIDIMG answer token ("!" included), else 0.
int PatternFromToken(std::string_view value);

// Writes one complete response (NUL-terminated, ending with "!") into the
// model. Unknown keys and malformed values change nothing harmful; nothing is
// ever read or written outside a table.
void ApplyResponse(RouterState& state, const char* text);

// For a LINK answer: true, and which outputs it names (read as ApplyResponse
// reads them). False for any other answer.
bool LinkAnswerOutputs(const char* text, bool (&named)[kChannelTableSize]);

// Collects bytes up to each "!" into one response. The buffer is shared by
// both links and survives reconnects, like the router's byte stream does.
class ResponseFramer {
public:
    // Calls onResponse with the NUL-terminated text of every response the
    // bytes complete, in order.
    void FeedResponseBytes(const void* bytes, int count,
                           const std::function<void(const char*)>& onResponse);

    char responseBuffer[257] = {};
    int responseLength = 0;  // 0..255
};

}  // namespace corvane
