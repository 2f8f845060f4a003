#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>

#include "FuzzCheck.h"
#include "base/TextFormat.h"
#include "settings/IniFile.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    // All in memory, so that each run is cheap: the reader LoadConfig uses
    // bounds every text by its buffer, whatever the file holds.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Profile before = Profile::FromText(text);
    for (const auto& [name, value] : before.values)
        FUZZ_CHECK(before.ReadString(name.first, name.second, "", 16).size() <= 15);
    FUZZ_CHECK(before.ReadString("CHANNELNAME", "InputChannel01", "dflt", 4).size() <= 3);

    // The writer in memory: the entry written reads back as written, and every
    // other entry survives as it was. The key is an existing one or a new one.
    std::string section = "SETCOMMCONFIG", key = "UDPPort";
    if (!before.values.empty() && size > 0 && data[0] % 2 == 0) {
        auto chosen = before.values.begin();
        std::advance(chosen, data[size / 2] % before.values.size());
        std::tie(section, key) = chosen->first;
    }
    const std::string value = "v" + std::to_string(size);
    std::string written = text;
    if (!SetProfileEntry(written, section, key, value)) {
        FUZZ_CHECK(written == text);
        return 0;
    }
    Profile after = Profile::FromText(written);
    FUZZ_CHECK(after.Find(section, key) == value);
    after.values.erase({AsciiLower(section), AsciiLower(key)});
    auto expected = before.values;
    expected.erase({AsciiLower(section), AsciiLower(key)});
    FUZZ_CHECK(after.values == expected);
    return 0;
}
