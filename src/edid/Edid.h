#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// A base block and one extension, as the router takes them.
inline constexpr int kEdidBlockSize = 128;
using EdidBytes = std::array<std::uint8_t, 2 * kEdidBlockSize>;

struct DetailedTiming {
    int pixelClockKHz = 0;
    int hActive = 0, hBlank = 0, hFront = 0, hSync = 0;
    int vActive = 0, vBlank = 0, vFront = 0, vSync = 0;  // per field when interlaced
    int widthMm = 0, heightMm = 0;
    bool interlaced = false;
    char hPolarity = 0, vPolarity = 0;  // '+', '-' for digital separate sync, else 0
    int FrameHeight() const { return interlaced ? 2 * vActive : vActive; }
    double RefreshHz() const;  // field rate for interlaced timings, as displays quote it
};

struct RangeLimits {
    int minVHz = 0, maxVHz = 0, minHKHz = 0, maxHKHz = 0;
    int maxPixelClockMHz = 0;  // 0: not given
};

struct ModeRate {  // established and standard timings
    int width = 0, height = 0, refreshHz = 0;
    bool interlaced = false;
};

struct ShortAudio {
    int format = 0;  // 1 = linear PCM
    int channels = 0;
    int ratesMask = 0;  // bit 0 = 32 kHz ... bit 6 = 192 kHz
    int third = 0;      // LPCM: sample size bits (16, 20, 24); else format specific
};

struct VideoFormat {  // an entry of the video data block
    int vic = 0;
    bool native = false;
};

struct CtaBlock {
    int revision = 0;
    bool underscan = false, basicAudio = false, ycbcr444 = false, ycbcr422 = false;
    int nativeDtds = 0;
    std::vector<VideoFormat> videoFormats;  // in the block's order
    std::vector<ShortAudio> audio;
    int speakerMask = -1;                               // -1: no speaker allocation block
    std::optional<std::array<int, 4>> physicalAddress;  // from the HDMI vendor block
    int maxTmdsMHz = 0;                                 // 0: not given
    bool hdmiForum = false;
    int hdmiForumVersion = 0;
    int maxTmdsCharacterRateMHz = 0;  // HDMI Forum block; 0: not given
    std::vector<DetailedTiming> timings;
};

struct Edid {
    bool headerOk = false;
    bool checksumOk[2] = {};
    int extensionCount = 0;
    int extensionTag = 0;
    // Blocks a source reads: 2, or 1 when the base block announces no
    // extension (block 1 is then padding or a stale copy nobody reads).
    int blocksRead = 2;
    bool padded = false;  // the file held the base block only; zeros follow it
    bool manufacturerOk = false;

    int version = 0, revision = 0;
    std::string manufacturer;  // three-letter PNP ID
    int productCode = 0;
    std::uint32_t serialNumber = 0;
    int week = 0;  // 0: not given
    int year = 0;
    bool modelYear = false;
    bool digital = false;
    int bitDepth = 0;  // 1.4 digital only; 0: not given
    int interfaceType = 0;
    int widthCm = 0, heightCm = 0;
    std::vector<ModeRate> established;
    std::vector<ModeRate> standard;
    std::vector<DetailedTiming> timings;  // the first is the preferred timing
    std::string name, serialText;
    std::optional<RangeLimits> range;
    std::optional<CtaBlock> cta;

    std::vector<std::string> errors;    // a display would not take it: never uploaded
    std::vector<std::string> warnings;  // worth a look, may be uploaded

    bool Valid() const { return errors.empty(); }
    const DetailedTiming* Preferred() const { return timings.empty() ? nullptr : &timings[0]; }
};

// padded: the file held only the base block, and block 1 is the zeros
// ParseEdidContents added.
Edid DecodeEdid(const EdidBytes& bytes, bool padded = false);

// What a card of this type (CardType code) makes of the EDID, for warnings.
std::vector<std::string> CardWarnings(const Edid& edid, int cardType);

// Each block's last byte set so the block sums to zero modulo 256.
EdidBytes FixChecksums(const EdidBytes& bytes);

// Names for the summary.
const char* ExtensionName(int tag);
const char* InterfaceName(int code);
const char* AudioFormatName(int code);
std::string SpeakerNames(int mask);

struct CtaVideoFormatInfo {
    int width, height;
    bool interlaced;
    int refreshHz;  // nominal: 59.94 and 60 share a code
    const char* aspect;
    int pixelClockKHz;
};
// The CTA-861 format of a VIC; nullptr for codes the table does not define.
const CtaVideoFormatInfo* CtaVideoFormat(int vic);

}  // namespace corvane
