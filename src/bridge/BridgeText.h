#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/RouterState.h"

// What every router-control bridge presents the same way, whatever protocol
// it speaks.

namespace corvane {

// A source after the inputs that feeds nothing: an output with no input is
// shown as routed from it, and routing an output from it takes the output
// off air. Its name is the view's for an output with no input; it cannot be
// renamed.
inline constexpr int kParkSource = kChannelCount + 1;
inline constexpr const char* kParkSourceName = "No Link";

// Channel names are 8-bit text, as config.ini keeps them: Latin-1 on Linux,
// the ANSI code page on Windows. Bridge clients speak UTF-8.
std::string NameToUtf8(std::string_view name);

// A client's UTF-8 label as a channel name: without blanks around, cut to
// maxBytes between two characters. nullopt when the text is not UTF-8, holds
// a control character, or holds one the 8-bit set cannot.
std::optional<std::string> NameFromUtf8(std::string_view utf8, std::size_t maxBytes);

}  // namespace corvane
