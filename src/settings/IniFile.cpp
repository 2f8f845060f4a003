#include "settings/IniFile.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
// Our own functions of these names, not the system's profile calls.
#undef WriteProfileString
#undef ReplaceFile
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

#include "base/TextFormat.h"

namespace corvane {

namespace {

namespace fs = std::filesystem;

enum class LineKind { kOther, kSection, kEntry };

// One line of the file, as offsets into the text so that a rewrite can keep
// every byte it does not mean to change.
struct Line {
    std::size_t begin = 0;       // first byte
    std::size_t end = 0;         // end of content, before "\r\n" or "\n"
    std::size_t next = 0;        // first byte of the following line
    std::size_t valueBegin = 0;  // entries: the trimmed value
    std::size_t valueEnd = 0;
    LineKind kind = LineKind::kOther;
    bool blank = true;
    std::string_view name;  // section or key name, trimmed
};

// Text editors on Windows like to start a file with a UTF-8 byte order mark;
// a section header right behind it must still be found.
std::size_t SkipByteOrderMark(const std::string& text) {
    return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = SkipByteOrderMark(text);
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        // "\r\n", "\n" and a lone "\r" (old Mac files) all end a line.
        std::size_t newline = text.find_first_of("\r\n", pos);
        if (newline == std::string::npos) {
            line.end = text.size();
            line.next = text.size();
        } else {
            line.end = newline;
            line.next = newline + 1;
            if (text[newline] == '\r' && line.next < text.size() && text[line.next] == '\n') {
                ++line.next;
            }
        }
        pos = line.next;

        std::string_view content(text.data() + line.begin, line.end - line.begin);
        std::string_view trimmed = Trim(content);
        line.blank = trimmed.empty();
        if (!trimmed.empty() && trimmed.front() == '[') {
            std::size_t close = trimmed.find(']');
            if (close != std::string_view::npos) {
                line.kind = LineKind::kSection;
                line.name = Trim(trimmed.substr(1, close - 1));
            }
        } else if (std::size_t eq = content.find('='); eq != std::string_view::npos) {
            line.kind = LineKind::kEntry;
            line.name = Trim(content.substr(0, eq));
            std::string_view value = Trim(content.substr(eq + 1));
            if (value.empty()) {
                // Nothing to keep after "=": a new value goes straight behind it.
                line.valueBegin = line.begin + eq + 1;
                line.valueEnd = line.end;
            } else {
                line.valueBegin = static_cast<std::size_t>(value.data() - text.data());
                line.valueEnd = line.valueBegin + value.size();
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// Where a section and a key were found. Only the first section of a name is
// searched, and its first entry of a name wins.
struct Lookup {
    std::optional<std::size_t> section;  // index of the header line
    std::optional<std::size_t> entry;    // index of the entry line
    std::size_t sectionEnd = 0;          // index of the line after the section
};

Lookup Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Lookup found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::kSection && EqualsNoCase(lines[i].name, section)) {
            found.section = i;
            break;
        }
    }
    if (!found.section) {
        return found;
    }
    std::size_t i = *found.section + 1;
    for (; i < lines.size() && lines[i].kind != LineKind::kSection; ++i) {
        if (!found.entry && lines[i].kind == LineKind::kEntry && EqualsNoCase(lines[i].name, key)) {
            found.entry = i;
        }
    }
    found.sectionEnd = i;
    return found;
}

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string& text) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return ReadResult::kMissing;
    }
    if (ec || status.type() != fs::file_type::regular) {
        return ReadResult::kFailed;
    }
    // C stdio rather than streams: a read error must not become an exception.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return ReadResult::kFailed;
    }
    text.clear();
    char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, n);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? ReadResult::kFailed : ReadResult::kOk;
}

int ProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// More links in a row than this is taken for a loop.
constexpr int kMaxLinkHops = 40;

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#if !defined(_WIN32)
    // Make the new content durable before the rename makes it visible.
    if (fsync(fileno(file)) != 0) {
        return false;
    }
#endif
    return true;
}

// Writes bytes over the start of the file and cuts it to their length.
bool OverwriteFile(const fs::path& target, const std::string& bytes) {
    std::FILE* file = std::fopen(target.string().c_str(), "r+b");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = FlushToDisk(file) && ok;
    ok = std::fclose(file) == 0 && ok;
    std::error_code ec;
    if (ok) {
        fs::resize_file(target, bytes.size(), ec);
    }
    return ok && !ec;
}

// Replaces the file in one step: the new text goes to a temporary file next to
// it, which is then renamed over the old one. A crash leaves either the old
// file or the new one, never half of it. A folder that refuses the temporary
// file (read-only, but the file itself writable) gets the file rewritten in
// place instead, with the old text put back if that fails.
bool ReplaceFile(const std::string& path, const std::string& text, const std::string& oldText) {
    std::error_code ec;
    fs::path target(path);
    // Follow the whole chain of links, so that none of them is replaced.
    for (int hops = 0; fs::is_symlink(target, ec); ++hops) {
        fs::path next = fs::read_symlink(target, ec);
        if (ec || hops == kMaxLinkHops) {
            return false;  // unreadable, or a loop
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }

    static std::atomic<int> counter{0};
    fs::path temp = target;
    temp += ".tmp" + std::to_string(ProcessId()) + "." + std::to_string(++counter);

    std::FILE* file = std::fopen(temp.string().c_str(), "wb");
    if (file == nullptr) {
        if (!fs::is_regular_file(target, ec)) {
            return false;
        }
        if (OverwriteFile(target, text)) {
            return true;
        }
        OverwriteFile(target, oldText);
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = FlushToDisk(file) && ok;
    ok = std::fclose(file) == 0 && ok;
    if (ok) {
        fs::file_status old = fs::status(target, ec);
        if (!ec && fs::exists(old)) {
            fs::permissions(temp, old.permissions(), ec);
        }
        ec.clear();
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
    }
    return ok;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool EndsWithLineBreak(const Line& line) {
    return line.next > line.end;
}

// The file's own line break, taken from its first line that has one.
std::string LineBreakOf(const std::string& text, const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (EndsWithLineBreak(line)) {
            return text.substr(line.end, line.next - line.end);
        }
    }
#if defined(_WIN32)
    return "\r\n";
#else
    return "\n";
#endif
}

// Sets one entry in the file's text. False for names that could not be read
// back as the same section and key: they are refused rather than written.
bool SetEntry(std::string& text, std::string_view section, std::string_view key,
              std::string value) {
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    if (sectionName.empty() || keyName.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        sectionName.find(']') != std::string_view::npos ||
        keyName.find('=') != std::string_view::npos || keyName.front() == '[') {
        return false;
    }
    // A line break inside a value would start a new line, possibly a new section.
    for (char& c : value) {
        if (c == '\r' || c == '\n' || c == '\0') {
            c = ' ';
        }
    }

    std::vector<Line> lines = SplitLines(text);
    std::string eol = LineBreakOf(text, lines);
    Lookup found = Find(lines, sectionName, keyName);
    std::string entry = std::string(keyName) + "=" + value;
    if (found.entry) {
        const Line& line = lines[*found.entry];
        text.replace(line.valueBegin, line.valueEnd - line.valueBegin, value);
    } else if (found.section) {
        // After the last non-blank line of the section, so a blank line that
        // separates it from the next section stays where it is.
        std::size_t last = *found.section;
        for (std::size_t i = *found.section + 1; i < found.sectionEnd; ++i) {
            if (!lines[i].blank) {
                last = i;
            }
        }
        const Line& line = lines[last];
        bool closed = EndsWithLineBreak(line);
        text.insert(line.next, (closed ? "" : eol) + entry + eol);
    } else {
        bool hasContent = false;
        for (const Line& line : lines) {
            hasContent = hasContent || !line.blank;
        }
        if (!text.empty() && text.back() != '\n' && text.back() != '\r') {
            text += eol;
        }
        if (hasContent && !lines.back().blank) {
            text += eol;  // one blank line between sections
        }
        text += "[" + std::string(sectionName) + "]" + eol + entry + eol;
    }
    return true;
}

// The longest prefix of at most limit bytes that ends on a character boundary:
// the ANSI code page of East Asian Windows has two-byte characters, Latin-1
// has one byte each.
std::size_t WholeCharacters(const std::string& text, std::size_t limit) {
#if defined(_WIN32)
    std::size_t end = 0;
    while (end < limit) {
        const std::size_t width = IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1;
        if (end + width > limit)
            break;
        end += width;
    }
    return end;
#else
    (void)text;
    return limit;
#endif
}

}  // namespace

Profile::Profile(const std::string& path) {
    std::string text;
    if (ReadWholeFile(path, text) == ReadResult::kOk) {
        *this = FromText(text);
    }
}

Profile Profile::FromText(const std::string& text) {
    Profile profile;
    auto& values = profile.values;
    std::string section;
    bool searched = false;  // only the first section of a name is
    std::set<std::string> sections;
    for (const Line& line : SplitLines(text)) {
        if (line.kind == LineKind::kSection) {
            section = AsciiLower(line.name);
            searched = sections.insert(section).second;
        } else if (line.kind == LineKind::kEntry && searched) {
            std::string value = text.substr(line.valueBegin, line.valueEnd - line.valueBegin);
            // The value ends at a NUL byte, as it would in the classic character buffer.
            if (std::size_t nul = value.find('\0'); nul != std::string::npos) {
                value.resize(nul);
            }
            std::string_view trimmed = Trim(value);
            // One pair of surrounding quotes is not part of the value.
            if (trimmed.size() >= 2 && trimmed.front() == trimmed.back() &&
                (trimmed.front() == '"' || trimmed.front() == '\'')) {
                trimmed = trimmed.substr(1, trimmed.size() - 2);
            }
            // emplace keeps the first entry of a name.
            values.emplace(std::pair(section, AsciiLower(line.name)), std::string(trimmed));
        }
    }
    return profile;
}

bool SetProfileEntry(std::string& text, const std::string& section, const std::string& key,
                     const std::string& value) {
    return SetEntry(text, section, key, value);
}

std::optional<std::string> Profile::Find(const std::string& section, const std::string& key) const {
    auto found = values.find({AsciiLower(Trim(section)), AsciiLower(Trim(key))});
    if (found == values.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string Profile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue, std::size_t bufferSize) const {
    if (bufferSize == 0) {
        return {};
    }
    std::string value = Find(section, key).value_or(defaultValue);
    if (value.size() > bufferSize - 1) {
        value.resize(WholeCharacters(value, bufferSize - 1));
    }
    return value;
}

int Profile::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
    std::optional<std::string> value = Find(section, key);
    // An empty value counts as absent: the caller's default applies.
    if (!value || value->empty()) {
        return defaultValue;
    }
    return LeadingInt(*value);
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& path) {
    return Profile(path).ReadString(section, key, defaultValue, bufferSize);
}

int ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& path) {
    return Profile(path).ReadInt(section, key, defaultValue);
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path) {
    return WriteProfileStrings(section, {{key, value}}, path);
}

bool WriteProfileStrings(const std::string& section,
                         const std::vector<std::pair<std::string, std::string>>& entries,
                         const std::string& path) {
    std::string text;
    if (ReadWholeFile(path, text) == ReadResult::kFailed) {
        return false;  // never replace a file we could not read
    }
    const std::string oldText = text;
    for (const auto& [key, value] : entries) {
        if (!SetEntry(text, section, key, value)) {
            return false;
        }
    }
    return ReplaceFile(path, text, oldText);
}

bool ReplaceFileText(const std::string& path, const std::string& text) {
    // The old text is what an in-place rewrite puts back if it fails.
    std::string oldText;
    ReadWholeFile(path, oldText);
    return ReplaceFile(path, text, oldText);
}

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
#if defined(_WIN32)
    struct _stat64 info {};
    if (_stat64(path.c_str(), &info) != 0)
        return stamp;
    stamp.timeNs = static_cast<long long>(info.st_mtime) * 1000000000LL;
#else
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return stamp;
    stamp.id = static_cast<unsigned long long>(info.st_ino);
    stamp.timeNs =
        static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
#endif
    stamp.exists = true;
    stamp.size = static_cast<unsigned long long>(info.st_size);
    return stamp;
}

FileLock::FileLock(const std::string& lockPath, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
#if defined(_WIN32)
    HANDLE file = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    handle_ = file;
    while (true) {
        OVERLAPPED at{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            held = true;
            return;
        }
#else
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0)
        return;
    while (true) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held = true;
            return;
        }
#endif
        if (std::chrono::steady_clock::now() >= until) {
            busy = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

FileLock::~FileLock() {
#if defined(_WIN32)
    if (handle_ != nullptr) {
        if (held) {
            OVERLAPPED at{};
            UnlockFileEx(handle_, 0, 1, 0, &at);
        }
        CloseHandle(handle_);
    }
#else
    if (fd_ >= 0)
        close(fd_);  // lets go of the lock too
#endif
}

std::optional<std::string> ReadFileText(const std::string& path) {
    std::string text;
    if (ReadWholeFile(path, text) != ReadResult::kOk)
        return std::nullopt;
    return text;
}

}  // namespace corvane
