#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// INI file access with the rules the settings files were written for: section and key names match
// without regard to case, blanks around a value are not part of it, a missing file, section or key
// gives the caller's default, and a string longer than bufferSize - 1 is cut.

// A file read once for many lookups, with the same results as the readers
// below (which use it). values: (section, key) in lower case -> trimmed value
// of the first entry of that key in the first section of that name.
struct Profile {
    Profile() = default;
    explicit Profile(const std::string& path);
    // The same from a file's text already in memory.
    static Profile FromText(const std::string& text);
    std::optional<std::string> Find(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue, std::size_t bufferSize) const;
    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;

    std::map<std::pair<std::string, std::string>, std::string> values;
};

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& path);

// The decimal number at the start of the value (0 when it has no digits).
int ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& path);

// Creates the file, the section and the key when missing; otherwise replaces
// the value in place and leaves every other line as it was. False when the
// file cannot be written.
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path);

// The writers' step on a file's text in memory: sets one entry as
// WriteProfileString would. False (text untouched) for a section or key that
// could not be read back as the same names.
bool SetProfileEntry(std::string& text, const std::string& section, const std::string& key,
                     const std::string& value);

// Several keys of one section in one replacement of the file, as if written
// one after the other: either all of them land or, on failure, none.
bool WriteProfileStrings(const std::string& section,
                         const std::vector<std::pair<std::string, std::string>>& entries,
                         const std::string& path);

// The whole file replaced in one step (a temporary file renamed over it): it
// lands whole or not at all.
bool ReplaceFileText(const std::string& path, const std::string& text);
// The whole file; nullopt when it is missing, not a regular file or unreadable.
std::optional<std::string> ReadFileText(const std::string& path);

// What identifies one version of a file without reading it: a replacement by
// rename changes the file id, a rewrite in place the time or the size.
struct FileStamp {
    bool exists = false;
    unsigned long long id = 0, size = 0;
    long long timeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

// An advisory lock on a lock file (created when missing, never removed, so
// every process locks the same file). Waits up to timeoutMs for a holder to
// let go; held until destruction.
class FileLock {
public:
    FileLock(const std::string& lockPath, int timeoutMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // The lock file could be opened but another process kept the lock.
    bool busy = false;
    bool held = false;

private:
#if defined(_WIN32)
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace corvane
