#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "edid/Edid.h"
#include "edid/EdidFile.h"
#include "edid/EdidReport.h"

using namespace corvane;

// Any file contents: raw bytes or hex text. Whatever decodes must render, and
// the checksum repair must leave no checksum error and change nothing else.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024)
        return 0;
    EdidBytes bytes{};
    bool padded = false;
    const bool parsed =
        ParseEdidContents(std::vector<std::uint8_t>(data, data + size), bytes, &padded);
    if (!parsed) {
        // A raw EDID (256 bytes starting 00 FF) is always taken.
        FUZZ_CHECK(size != bytes.size() || data[0] != 0x00 || data[1] != 0xFF);
        if (size < bytes.size())
            return 0;
        std::memcpy(bytes.data(), data, bytes.size());  // decode the bytes anyway
    }
    FUZZ_CHECK(!padded || (bytes[128] == 0 && bytes[255] == 0));
    const Edid edid = DecodeEdid(bytes, padded);
    FUZZ_CHECK(edid.Valid() == edid.errors.empty());
    FUZZ_CHECK(!EdidSummaryText(edid).empty() && EdidJson(edid).back() == '\n');
    for (int card : {0x02, 0x06, 0x0A, 0x12})
        CardWarnings(edid, card);

    const EdidBytes fixed = FixChecksums(bytes);
    const Edid repaired = DecodeEdid(fixed, padded);
    FUZZ_CHECK(repaired.checksumOk[0] && repaired.checksumOk[1]);
    FUZZ_CHECK(repaired.headerOk == edid.headerOk);
    FUZZ_CHECK(repaired.errors.size() == edid.errors.size() - !edid.checksumOk[0] -
                                             (edid.blocksRead == 2 && !edid.checksumOk[1]));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        FUZZ_CHECK(i % kEdidBlockSize == kEdidBlockSize - 1 || fixed[i] == bytes[i]);
    return 0;
}
