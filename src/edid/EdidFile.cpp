#include "edid/EdidFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace corvane {

namespace {

// Hex text of 256 bytes with generous spacing stays well below this.
constexpr std::size_t kMaxFileSize = 64 * 1024;

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Hex text: whitespace, commas and "0x" prefixes anywhere; before the first
// byte, label lines ("EDID:", "edid-decode (hex):"); after the bytes, a line of
// dashes ends the text (edid-decode prints its decoding below one). count: the
// bytes read, 128 or 256 when it is an EDID.
bool ParseHexText(const std::vector<std::uint8_t>& text, EdidBytes& bytes, std::size_t& count) {
    count = 0;
    int high = -1;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\n')
            ++end;
        std::size_t first = start, last = end;
        auto blank = [&](std::size_t i) {
            return text[i] == ' ' || text[i] == '\t' || text[i] == '\r';
        };
        while (first < last && blank(first))
            ++first;
        while (last > first && blank(last - 1))
            --last;
        const std::size_t next = end + 1;
        if (count == 0 && high < 0 && last > first && text[last - 1] == ':') {
            start = next;
            continue;
        }
        bool dashes = last - first >= 4;
        for (std::size_t i = first; i < last && dashes; ++i)
            dashes = text[i] == '-';
        if (dashes)
            break;
        bool tokenStart = true;
        for (std::size_t i = first; i < last; ++i) {
            const std::uint8_t c = text[i];
            if (blank(i) || c == ',') {
                tokenStart = true;
                continue;
            }
            // "0x" introduces a byte only at the start of a token, and never
            // inside an unfinished one.
            if (tokenStart && high < 0 && c == '0' && i + 1 < last &&
                (text[i + 1] == 'x' || text[i + 1] == 'X')) {
                ++i;
                tokenStart = false;
                continue;
            }
            tokenStart = false;
            const int value = HexValue(c);
            if (value < 0)
                return false;
            if (high < 0) {
                high = value;
                continue;
            }
            if (count == bytes.size())
                return false;
            bytes[count++] = static_cast<std::uint8_t>(high << 4 | value);
            high = -1;
        }
        start = next;
    }
    return (count == bytes.size() || count == kEdidBlockSize) && high < 0;
}

// Printable ASCII and line breaks only: a raw EDID starts with 00 FF, so it
// never is.
bool LooksLikeText(const std::vector<std::uint8_t>& contents) {
    for (std::uint8_t c : contents) {
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c > 0x7E)
            return false;
    }
    return true;
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}
#endif

}  // namespace

bool ParseEdidContents(const std::vector<std::uint8_t>& contents, EdidBytes& bytes, bool* padded) {
    std::size_t count = 0;
    if ((contents.size() == bytes.size() || contents.size() == kEdidBlockSize) &&
        !LooksLikeText(contents)) {
        count = contents.size();
        std::memcpy(bytes.data(), contents.data(), count);
    } else if (!ParseHexText(contents, bytes, count)) {
        return false;
    }
    // A base block alone (a DVI monitor's whole EDID): the router takes 256
    // bytes, and the extension count of 0 keeps sources off the rest.
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(count), bytes.end(), 0);
    if (padded != nullptr)
        *padded = count == kEdidBlockSize;
    return true;
}

EdidFileStatus ReadEdidFile(const std::string& path, EdidBytes& bytes, bool* padded) {
#ifdef _WIN32
    const int fd = _wopen(Wide(path).c_str(), _O_RDONLY | _O_BINARY);
    struct _stat64 info {};
    const bool regular = fd >= 0 && _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFREG) != 0;
    auto readSome = [fd](std::uint8_t* to, std::size_t n) {
        return static_cast<long>(_read(fd, to, static_cast<unsigned>(n)));
    };
    auto closeFile = [fd] { _close(fd); };
#else
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    const bool regular = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    auto readSome = [fd](std::uint8_t* to, std::size_t n) {
        return static_cast<long>(read(fd, to, n));
    };
    auto closeFile = [fd] { close(fd); };
#endif
    if (fd < 0)
        return EdidFileStatus::OpenFailed;
    if (!regular) {
        closeFile();
        return EdidFileStatus::OpenFailed;
    }
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > kMaxFileSize) {
        closeFile();
        return EdidFileStatus::FormatError;
    }
    // One byte more than allowed, so a file that grew since fstat is caught.
    std::vector<std::uint8_t> contents(kMaxFileSize + 1);
    std::size_t got = 0;
    while (got < contents.size()) {
        const long n = readSome(contents.data() + got, contents.size() - got);
        if (n < 0) {
            closeFile();
            return EdidFileStatus::OpenFailed;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    closeFile();
    contents.resize(got);
    if (got > kMaxFileSize)
        return EdidFileStatus::FormatError;
    return ParseEdidContents(contents, bytes, padded) ? EdidFileStatus::Ok
                                                      : EdidFileStatus::FormatError;
}

bool WriteEdidFile(const std::string& path, const EdidBytes& bytes) {
#ifdef _WIN32
    std::FILE* file = _wfopen(Wide(path).c_str(), L"wb");
#else
    std::FILE* file = std::fopen(path.c_str(), "wb");
#endif
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace corvane
