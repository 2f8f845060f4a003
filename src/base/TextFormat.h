#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program's one way of each: formatting a text, quoting it for JSON,
// trimming it, comparing it without case and reading a number from it. Bytes
// are tested by value, never by the C locale, so 8-bit names stay as they are.

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

// What a settings file takes for blanks around names and values.
inline constexpr std::string_view kBlanks = " \t\v\f\r";
// The text without the given blank bytes at either end.
std::string_view Trim(std::string_view text, std::string_view blanks = kBlanks);

// ASCII letters in lower case; every other byte as it was.
std::string AsciiLower(std::string_view text);
// Equal but for the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The whole text as a decimal number within low..high: 1 to maxDigits digits,
// with a '-' before them only when low is negative; no blanks, no '+', nothing
// after. False (out untouched) for anything else.
bool ParseInt(std::string_view text, int low, int high, int* out, std::size_t maxDigits = 9);

// The number at the start of the text as atoi (base 10) or strtol (base 16,
// optional "0x") read it: leading white space, a sign, then digits up to the
// first other character. No digits gives 0; a value beyond int saturates
// instead of overflowing.
int LeadingInt(std::string_view text, int base = 10);

}  // namespace corvane
