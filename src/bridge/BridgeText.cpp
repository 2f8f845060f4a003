#include "bridge/BridgeText.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvane {

namespace {

// The code point of the valid UTF-8 character at `at`, which moves past it;
// -1 for anything else: a stray or cut sequence, an overlong form (a second
// spelling of a character), a surrogate, beyond U+10FFFF.
long NextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    long value = 0, least = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return -1;
    }
    if (text.size() - at < length)
        return -1;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return -1;
        value = value << 6 | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return -1;
    at += length;
    return value;
}

void AppendUtf8(std::string& out, long c) {
    auto put = [&out](long byte) { out.push_back(static_cast<char>(byte)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | c >> 6), put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | c >> 12), put(0x80 | (c >> 6 & 0x3F)), put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | c >> 18), put(0x80 | (c >> 12 & 0x3F)), put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

// The character in the 8-bit set, "" when the set lacks it.
std::string EightBit(long c) {
#ifdef _WIN32
    std::string bytes;
    if (GetACP() == CP_UTF8) {
        AppendUtf8(bytes, c);
        return bytes;
    }
    wchar_t wide[2];
    int units = 1;
    if (c < 0x10000) {
        wide[0] = static_cast<wchar_t>(c);
    } else {
        wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        wide[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        units = 2;
    }
    char text[8];
    BOOL lost = FALSE;
    // No best fit: "→" must not quietly become "-".
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, text, sizeof text,
                                      nullptr, &lost);
    if (n > 0 && !lost)
        bytes.assign(text, static_cast<std::size_t>(n));
    return bytes;
#else
    return c <= 0xFF ? std::string(1, static_cast<char>(c)) : std::string();
#endif
}

}  // namespace

std::string NameToUtf8(std::string_view name) {
    std::string out;
#ifdef _WIN32
    const int length = static_cast<int>(name.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, name.data(), length, nullptr, 0);
    if (units <= 0)
        return out;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), length, wide.data(), units);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(bytes > 0 ? bytes : 0));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
#else
    for (char c : name)
        AppendUtf8(out, static_cast<unsigned char>(c));
#endif
    return out;
}

std::optional<std::string> NameFromUtf8(std::string_view utf8, std::size_t maxBytes) {
    std::string name;
    bool cut = false;
    for (std::size_t at = 0; at < utf8.size();) {
        const long c = NextCodePoint(utf8, at);
        // Not UTF-8 (-1), or a C0 or C1 control: a line break or worse in the
        // settings file.
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return std::nullopt;
        const std::string character = EightBit(c);
        if (character.empty())
            return std::nullopt;
        // Every character is checked, also those beyond the cut.
        if ((c == ' ' && name.empty()) || cut)
            continue;
        cut = name.size() + character.size() > maxBytes;
        if (!cut)
            name += character;
    }
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

}  // namespace corvane
