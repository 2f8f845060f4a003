#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "FuzzCheck.h"
#include "settings/AppConfig.h"
#include "settings/IniFile.h"

using namespace corvane;

// One scratch directory per process, removed when it ends.
struct ScratchDir {
    ScratchDir() { std::filesystem::create_directories(path); }
    ~ScratchDir() { std::filesystem::remove_all(path, ec); }
    std::error_code ec;
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("corvane-fuzz-ini-" + std::to_string(std::random_device{}()));
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    static const ScratchDir scratch;
    const std::string path = (scratch.path / "config.ini").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    AppConfig config;
    RouterState state;
    LoadConfig(config, state, path);
    for (int n = 1; n < kChannelTableSize; ++n)
        FUZZ_CHECK(config.inputNames[n].size() <= 15 && config.outputNames[n].size() <= 15);
    FUZZ_CHECK(config.ipAddress.size() <= 15 && config.comName.size() <= 15);
    FUZZ_CHECK(ReadProfileString("CHANNELNAME", "InputChannel01", "", 4, path).size() <= 3);

    // A key written into the file reads back as written, wherever it lands.
    if (WriteProfileString("SETCOMMCONFIG", "UDPPort", "4321", path)) {
        FUZZ_CHECK(ReadProfileString("SETCOMMCONFIG", "UDPPort", "", 16, path) == "4321");
        FUZZ_CHECK(ReadProfileInt("setcommconfig", "udpport", 0, path) == 4321);
    }
    return 0;
}
