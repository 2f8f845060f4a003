#pragma once

#include <string>

namespace corvane {

// printf into a string, cut at 1023 characters: the panel and report texts
// that show the router's state.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A JSON string of an 8-bit text: quotes and backslashes escaped, control
// bytes and bytes past ASCII as \u escapes (read as Latin-1), so the result
// is valid JSON whatever the bytes were.
std::string JsonString(const std::string& text);

}  // namespace corvane
