#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace corvane {

// Text as the library writes new lines: "\n" becomes "\r\n" on Windows.
inline std::string NewLines(std::string text) {
#if defined(_WIN32)
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
#endif
    return text;
}

// A fresh directory, removed again with everything in it.
class TempDir {
public:
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path, ec); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Joined with "/" as the event log joins its file names; Windows takes it too.
    std::string PathOf(const std::string& file) const { return path + "/" + file; }
    std::string Write(const std::string& file, const std::string& bytes) const {
        std::ofstream(PathOf(file), std::ios::binary) << bytes;
        return PathOf(file);
    }
    std::string Read(const std::string& file) const { return Slurp(PathOf(file)); }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    const std::string path = (std::filesystem::temp_directory_path() /
                              ("corvane-test-" + std::to_string(std::random_device{}())))
                                 .string();
    std::error_code ec;
};

// A test with a directory of its own.
class TempDirTest : public ::testing::Test, public TempDir {
protected:
    const std::filesystem::path dir{path};
};

}  // namespace corvane
