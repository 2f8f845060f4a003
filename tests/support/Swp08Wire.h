#pragma once

#include <string>
#include <vector>

namespace corvane {

// "02 00 10" as bytes, and back.
inline std::string Hex(const std::string& text) {
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); at += 3)
        bytes.push_back(static_cast<char>(std::stoi(text.substr(at, 2), nullptr, 16)));
    return bytes;
}

inline std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes)
        text += std::string(text.empty() ? "" : " ") + digits[c >> 4] + digits[c & 15];
    return text;
}

// What an SW-P-08 stream holds, in order, found the simple way (not with the
// reader under test): "ACK" and "NAK" between messages, each message's data
// in hex, "bad" for one whose count or checksum is wrong. A message starts at
// any DLE STX; inside, DLE DLE is one DLE, DLE ETX ends it, DLE STX starts it
// again and any other DLE pair makes it noise.
inline std::vector<std::string> Swp08Items(const std::string& s) {
    std::vector<std::string> items;
    for (std::size_t at = 0;;) {
        const std::size_t start = s.find("\x10\x02", at);
        for (std::size_t i = at; i + 1 < std::min(start, s.size()); ++i) {
            if (s[i] == 0x10 && (s[i + 1] == 0x06 || s[i + 1] == 0x15))
                items.push_back(s[++i] == 0x06 ? "ACK" : "NAK");
        }
        if (start == std::string::npos)
            return items;
        std::string body;
        std::size_t i = start + 2;
        for (; i + 1 < s.size() && (s[i] != 0x10 || s[i + 1] == 0x10); ++i)
            body.push_back(s[i] == 0x10 ? s[++i] : s[i]);
        if (i + 1 >= s.size())
            return items;  // unfinished
        at = s[i + 1] == 0x02 ? i : i + 2;
        if (s[i + 1] != 0x03)
            continue;
        unsigned sum = 0;
        for (char c : body)
            sum += static_cast<unsigned char>(c);
        const std::size_t n = body.size();
        const bool ok = n >= 3 && n <= 257 && sum % 256 == 0 &&
                        static_cast<unsigned char>(body[n - 2]) == n - 2;
        items.push_back(ok ? ToHex(body.substr(0, n - 2)) : "bad");
    }
}

}  // namespace corvane
