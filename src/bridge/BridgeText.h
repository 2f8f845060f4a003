#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What every router-control bridge presents the same way, whatever protocol
// it speaks.

namespace corvane {

// Channel names are 8-bit text, as config.ini keeps them: Latin-1 on Linux,
// the ANSI code page on Windows. Bridge clients speak UTF-8.
std::string NameToUtf8(std::string_view name);

// A client's UTF-8 label as a channel name: without blanks around, cut to
// maxBytes between two characters. nullopt when the text is not UTF-8, holds
// a control character, or holds one the 8-bit set cannot.
std::optional<std::string> NameFromUtf8(std::string_view utf8, std::size_t maxBytes);

}  // namespace corvane
