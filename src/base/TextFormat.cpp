#include "base/TextFormat.h"

#include <climits>
#include <cstdarg>
#include <cstdio>

namespace corvane {

namespace {

char LowerByte(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int DigitValue(char c, int base) {
    int digit = -1;
    if (c >= '0' && c <= '9')
        digit = c - '0';
    else if (c >= 'a' && c <= 'z')
        digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        digit = c - 'A' + 10;
    return digit < base ? digit : -1;
}

}  // namespace

std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buffer);
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            quoted += Format("\\u%04x", c);
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return text.substr(text.size());
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = LowerByte(c);
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerByte(a[i]) != LowerByte(b[i]))
            return false;
    }
    return true;
}

bool ParseInt(std::string_view text, int low, int high, int* out, std::size_t maxDigits) {
    const bool negative = low < 0 && !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    // At most 18 digits fit the sum below whatever maxDigits says.
    if (text.empty() || text.size() > maxDigits || text.size() > 18)
        return false;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (negative)
        value = -value;
    if (value < low || value > high)
        return false;
    *out = static_cast<int>(value);
    return true;
}

int LeadingInt(std::string_view text, int base) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (base == 16 && i + 2 < text.size() && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X') && DigitValue(text[i + 2], 16) >= 0)
        i += 2;
    // Grows no further than one past INT_MAX, so -INT_MIN still fits.
    constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0)
            break;
        value = value * base + digit;
        if (value > kCap)
            value = kCap;
    }
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

}  // namespace corvane
