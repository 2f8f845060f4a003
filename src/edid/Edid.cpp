#include "edid/Edid.h"

#include <algorithm>

#include "base/TextFormat.h"
#include "protocol/RouterState.h"

namespace corvane {

namespace {

constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kCtaTag = 0x02;

bool ChecksumOk(const std::uint8_t* block) {
    unsigned sum = 0;
    for (int i = 0; i < kEdidBlockSize; ++i)
        sum += block[i];
    return sum % 256 == 0;
}

// 18 bytes with a pixel clock: a detailed timing.
DetailedTiming DecodeTiming(const std::uint8_t* d) {
    DetailedTiming t;
    t.pixelClockKHz = (d[0] | d[1] << 8) * 10;
    t.hActive = d[2] | (d[4] & 0xF0) << 4;
    t.hBlank = d[3] | (d[4] & 0x0F) << 8;
    t.vActive = d[5] | (d[7] & 0xF0) << 4;
    t.vBlank = d[6] | (d[7] & 0x0F) << 8;
    t.hFront = d[8] | (d[11] & 0xC0) << 2;
    t.hSync = d[9] | (d[11] & 0x30) << 4;
    t.vFront = (d[10] >> 4) | (d[11] & 0x0C) << 2;
    t.vSync = (d[10] & 0x0F) | (d[11] & 0x03) << 4;
    t.widthMm = d[12] | (d[14] & 0xF0) << 4;
    t.heightMm = d[13] | (d[14] & 0x0F) << 8;
    t.interlaced = (d[17] & 0x80) != 0;
    if ((d[17] & 0x18) == 0x18) {
        t.vPolarity = (d[17] & 0x04) ? '+' : '-';
        t.hPolarity = (d[17] & 0x02) ? '+' : '-';
    }
    return t;
}

// Descriptor text: up to 13 characters, ended by a line feed, padded with blanks.
std::string DescriptorText(const std::uint8_t* d) {
    std::string text;
    for (int i = 5; i < 18 && d[i] != 0x0A; ++i)
        text += static_cast<char>(d[i]);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

RangeLimits DecodeRange(const std::uint8_t* d) {
    RangeLimits r;
    // Offsets of 255 (1.4) for rates above what one byte holds.
    const int flags = d[4];
    r.minVHz = d[5] + ((flags & 0x03) == 0x03 ? 255 : 0);
    r.maxVHz = d[6] + ((flags & 0x02) ? 255 : 0);
    r.minHKHz = d[7] + ((flags & 0x0C) == 0x0C ? 255 : 0);
    r.maxHKHz = d[8] + ((flags & 0x08) ? 255 : 0);
    r.maxPixelClockMHz = d[9] * 10;
    return r;
}

// A display descriptor (pixel clock 0); those of interest land in edid.
void DecodeDisplayDescriptor(const std::uint8_t* d, Edid& edid) {
    if (d[2] != 0)
        return;
    switch (d[3]) {
        case 0xFC:
            edid.name = DescriptorText(d);
            break;
        case 0xFF:
            edid.serialText = DescriptorText(d);
            break;
        case 0xFD:
            edid.range = DecodeRange(d);
            break;
        default:
            break;
    }
}

void DecodeDescriptors(const std::uint8_t* base, Edid& edid) {
    for (int at = 54; at + 18 <= 126; at += 18) {
        const std::uint8_t* d = base + at;
        if (d[0] != 0 || d[1] != 0)
            edid.timings.push_back(DecodeTiming(d));
        else
            DecodeDisplayDescriptor(d, edid);
    }
}

void DecodeEstablished(const std::uint8_t* base, Edid& edid) {
    static const ModeRate kModes[17] = {
        {720, 400, 70},   {720, 400, 88},        {640, 480, 60},  {640, 480, 67},  {640, 480, 72},
        {640, 480, 75},   {800, 600, 56},        {800, 600, 60},  {800, 600, 72},  {800, 600, 75},
        {832, 624, 75},   {1024, 768, 87, true}, {1024, 768, 60}, {1024, 768, 70}, {1024, 768, 75},
        {1280, 1024, 75}, {1152, 870, 75},
    };
    const int bits = base[35] << 16 | base[36] << 8 | base[37];
    for (int i = 0; i < 17; ++i) {
        if (bits & (1 << (23 - i)))
            edid.established.push_back(kModes[i]);
    }
}

void DecodeStandard(const std::uint8_t* base, Edid& edid) {
    for (int at = 38; at < 54; at += 2) {
        const int b0 = base[at], b1 = base[at + 1];
        // 01 01 marks an unused slot; 00 and 20 20 turn up in the wild too.
        if ((b0 == 0x01 && b1 == 0x01) || b0 == 0x00 || (b0 == 0x20 && b1 == 0x20))
            continue;
        ModeRate m;
        m.width = (b0 + 31) * 8;
        switch (b1 >> 6) {
            case 0:  // 16:10 since 1.3, 1:1 before
                m.height = edid.version == 1 && edid.revision < 3 ? m.width : m.width * 10 / 16;
                break;
            case 1:
                m.height = m.width * 3 / 4;
                break;
            case 2:
                m.height = m.width * 4 / 5;
                break;
            default:
                m.height = m.width * 9 / 16;
                break;
        }
        m.refreshHz = (b1 & 0x3F) + 60;
        edid.standard.push_back(m);
    }
}

void DecodeBase(const std::uint8_t* b, Edid& edid) {
    const int id = b[8] << 8 | b[9];
    edid.manufacturerOk = (id & 0x8000) == 0;  // the top bit is reserved
    for (int shift : {10, 5, 0}) {
        const int letter = (id >> shift) & 0x1F;
        const bool ok = letter >= 1 && letter <= 26;
        edid.manufacturer += ok ? static_cast<char>('@' + letter) : '?';
        edid.manufacturerOk = edid.manufacturerOk && ok;
    }
    edid.productCode = b[10] | b[11] << 8;
    edid.serialNumber = static_cast<std::uint32_t>(b[12]) | static_cast<std::uint32_t>(b[13]) << 8 |
                        static_cast<std::uint32_t>(b[14]) << 16 |
                        static_cast<std::uint32_t>(b[15]) << 24;
    edid.modelYear = b[16] == 0xFF;
    edid.week = edid.modelYear ? 0 : b[16];
    edid.year = 1990 + b[17];
    edid.version = b[18];
    edid.revision = b[19];
    edid.digital = (b[20] & 0x80) != 0;
    if (edid.digital && edid.version == 1 && edid.revision >= 4) {
        const int depth = (b[20] >> 4) & 0x07;
        edid.bitDepth = depth >= 1 && depth <= 6 ? 4 + 2 * depth : 0;
        edid.interfaceType = b[20] & 0x0F;
    }
    edid.widthCm = b[21];
    edid.heightCm = b[22];
    DecodeEstablished(b, edid);
    DecodeStandard(b, edid);
    DecodeDescriptors(b, edid);
}

void DecodeCtaDataBlocks(const std::uint8_t* x, int end, CtaBlock& cta) {
    for (int at = 4; at < end;) {
        const int tag = x[at] >> 5, length = x[at] & 0x1F;
        const std::uint8_t* p = x + at + 1;
        if (at + 1 + length > end)
            break;  // a block running past the timings: the rest is not trusted
        switch (tag) {
            case 1:
                for (int i = 0; i + 3 <= length; i += 3)
                    cta.audio.push_back(
                        {(p[i] >> 3) & 0x0F, (p[i] & 0x07) + 1, p[i + 1] & 0x7F, p[i + 2]});
                break;
            case 2:
                for (int i = 0; i < length; ++i) {
                    const int code = p[i];
                    // 129..192 are VICs 1..64 marked native; 193 and up are plain VICs.
                    if (code >= 129 && code <= 192)
                        cta.videoFormats.push_back({code & 0x7F, true});
                    else
                        cta.videoFormats.push_back({code, false});
                }
                break;
            case 3:
                if (length >= 5 && p[0] == 0x03 && p[1] == 0x0C && p[2] == 0x00) {
                    cta.physicalAddress = {p[3] >> 4, p[3] & 0x0F, p[4] >> 4, p[4] & 0x0F};
                    if (length >= 7)
                        cta.maxTmdsMHz = p[6] * 5;
                } else if (length >= 5 && p[0] == 0xD8 && p[1] == 0x5D && p[2] == 0xC4) {
                    cta.hdmiForum = true;
                    cta.hdmiForumVersion = p[3];
                    cta.maxTmdsCharacterRateMHz = p[4] * 5;
                }
                break;
            case 4:
                if (length >= 1)
                    cta.speakerMask = p[0] | (length >= 2 ? p[1] << 8 : 0);
                break;
            default:
                break;
        }
        at += 1 + length;
    }
}

void DecodeCta(const std::uint8_t* x, CtaBlock& cta, Edid& edid) {
    cta.revision = x[1];
    const int dtdStart = x[2];
    cta.underscan = (x[3] & 0x80) != 0;
    cta.basicAudio = (x[3] & 0x40) != 0;
    cta.ycbcr444 = (x[3] & 0x20) != 0;
    cta.ycbcr422 = (x[3] & 0x10) != 0;
    cta.nativeDtds = x[3] & 0x0F;
    // Offset 0: neither data blocks nor timings. Past 127: not a valid block.
    if (dtdStart < 4 || dtdStart > kEdidBlockSize - 1)
        return;
    DecodeCtaDataBlocks(x, dtdStart, cta);
    // Some displays keep their serial text here, between the timings and the padding.
    for (int at = dtdStart; at + 18 <= kEdidBlockSize - 1; at += 18) {
        if (x[at] != 0 || x[at + 1] != 0)
            cta.timings.push_back(DecodeTiming(x + at));
        else
            DecodeDisplayDescriptor(x + at, edid);
    }
}

}  // namespace

double DetailedTiming::RefreshHz() const {
    // An interlaced frame has an odd line count: each field gets half a line more.
    const double total = double(hActive + hBlank) * (vActive + vBlank + (interlaced ? 0.5 : 0.0));
    return total > 0 ? pixelClockKHz * 1000.0 / total : 0.0;
}

Edid DecodeEdid(const EdidBytes& bytes, bool padded) {
    Edid edid;
    const std::uint8_t* base = bytes.data();
    const std::uint8_t* ext = base + kEdidBlockSize;
    edid.headerOk = std::equal(kHeader, kHeader + 8, base);
    edid.checksumOk[0] = ChecksumOk(base);
    edid.checksumOk[1] = ChecksumOk(ext);
    edid.extensionCount = base[126];
    edid.padded = padded;
    // What a tool reads from a 128-byte EEPROM comes as 256 bytes whose second
    // half sources never ask for.
    edid.blocksRead = padded || edid.extensionCount == 0 ? 1 : 2;
    edid.extensionTag = edid.blocksRead == 2 ? ext[0] : 0;
    DecodeBase(base, edid);
    if (edid.blocksRead == 2 && edid.extensionTag == kCtaTag) {
        edid.cta.emplace();
        DecodeCta(ext, *edid.cta, edid);
    }

    if (!edid.headerOk)
        edid.errors.push_back("bad header: the first 8 bytes are not 00 FF FF FF FF FF FF 00");
    for (int block = 0; block < edid.blocksRead; ++block) {
        if (!edid.checksumOk[block])
            edid.errors.push_back(Format("wrong checksum in block %d (byte 0x%02X)", block,
                                         bytes[block * kEdidBlockSize + 127]));
    }
    if (padded && edid.extensionCount != 0)
        edid.errors.push_back(Format("extension count %d, but the file holds the base block only",
                                     edid.extensionCount));
    else if (edid.extensionCount > 1)
        edid.errors.push_back(
            Format("extension count %d does not match the one extension block in the file",
                   edid.extensionCount));
    // No display sends these; a source given one falls back to a safe mode.
    if (edid.version != 1)
        edid.errors.push_back(Format("version %d.%d is not EDID 1.x", edid.version, edid.revision));
    if (!edid.manufacturerOk)
        edid.errors.push_back(
            Format("manufacturer ID 0x%04X is not three letters", base[8] << 8 | base[9]));
    // Timings of DisplayID and Video Timing Block extensions are not decoded
    // here: trust them.
    const bool otherExtension =
        edid.blocksRead == 2 && (edid.extensionTag == 0x70 || edid.extensionTag == 0x10);
    if (edid.timings.empty() && edid.established.empty() && edid.standard.empty() &&
        !otherExtension &&
        !(edid.cta && (!edid.cta->timings.empty() || !edid.cta->videoFormats.empty())))
        edid.errors.push_back("no timing at all: a source has no mode to send");

    if (edid.name.empty())
        edid.warnings.push_back("no display name");
    if (!edid.range)
        edid.warnings.push_back("no range limits");
    if (edid.timings.empty())
        edid.warnings.push_back("no preferred timing in the base block");
    if (edid.extensionCount == 0 && !padded)
        edid.warnings.push_back(
            "block 1 is not announced by the base block; sources will not "
            "read it");
    return edid;
}

std::vector<std::string> CardWarnings(const Edid& edid, int cardType) {
    std::vector<std::string> warnings;
    int limitMHz = 0;
    switch (cardType) {
        case kSingleDviInput:
            limitMHz = 165;
            break;
        case kDualDviInput:
            limitMHz = 330;
            break;
        case kHdmiInput:
            limitMHz = 340;
            break;
        default:
            break;
    }
    const DetailedTiming* preferred = edid.Preferred();
    if (limitMHz > 0 && preferred != nullptr && preferred->pixelClockKHz > limitMHz * 1000)
        warnings.push_back(Format("preferred pixel clock %.2f MHz is above the %d MHz of a %s card",
                                  preferred->pixelClockKHz / 1000.0, limitMHz,
                                  CardTypeName(cardType)));
    if (cardType == kHdmiInput && edid.blocksRead < 2)
        warnings.push_back("no extension on an HDMI input (sources expect CTA-861)");
    else if (cardType == kHdmiInput && edid.extensionTag != kCtaTag)
        warnings.push_back(Format("%s extension on an HDMI input (sources expect CTA-861)",
                                  ExtensionName(edid.extensionTag)));
    return warnings;
}

EdidBytes FixChecksums(const EdidBytes& bytes) {
    EdidBytes fixed = bytes;
    for (int block = 0; block < 2; ++block) {
        std::uint8_t* b = fixed.data() + block * kEdidBlockSize;
        unsigned sum = 0;
        for (int i = 0; i < kEdidBlockSize - 1; ++i)
            sum += b[i];
        b[kEdidBlockSize - 1] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
    }
    return fixed;
}

const char* ExtensionName(int tag) {
    switch (tag) {
        case 0x02:
            return "CTA-861";
        case 0x10:
            return "Video Timing Block";
        case 0x20:
            return "EDID 2.0";
        case 0x40:
            return "Display Information";
        case 0x50:
            return "Localized String";
        case 0x60:
            return "Digital Packet Video Link";
        case 0x70:
            return "DisplayID";
        case 0xA7:
        case 0xAF:
        case 0xBF:
            return "DisplayTile";
        case 0xF0:
            return "Block Map";
        case 0xFF:
            return "Manufacturer Specific";
        default:
            return "Unknown";
    }
}

const char* InterfaceName(int code) {
    static const char* const kNames[] = {"undefined", "DVI",  "HDMI-a",
                                         "HDMI-b",    "MDDI", "DisplayPort"};
    return code >= 0 && code <= 5 ? kNames[code] : "reserved";
}

const char* AudioFormatName(int code) {
    static const char* const kNames[] = {
        "reserved", "Linear PCM", "AC-3",   "MPEG 1", "MP3", "MPEG 2", "AAC LC",  "DTS",
        "ATRAC",    "One Bit",    "E-AC-3", "DTS-HD", "MAT", "DST",    "WMA Pro", "extended"};
    return code >= 0 && code <= 15 ? kNames[code] : "reserved";
}

std::string SpeakerNames(int mask) {
    static const char* const kNames[] = {
        "FL/FR",     "LFE", "FC",   "BL/BR", "BC",   "FLc/FRc", "RLC/RRC", "FLw/FRw",
        "TpFL/TpFR", "TpC", "TpFC", "LS/RS", "LFE2", "TpBC",    "SiL/SiR", "TpSiL/TpSiR"};
    std::string names;
    for (int bit = 0; bit < 16; ++bit) {
        if (mask >= 0 && (mask & (1 << bit))) {
            if (!names.empty())
                names += ", ";
            names += kNames[bit];
        }
    }
    return names;
}

}  // namespace corvane
