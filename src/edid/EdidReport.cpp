#include "edid/EdidReport.h"

#include "base/TextFormat.h"

namespace corvane {

namespace {

std::string TimingText(const DetailedTiming& t) {
    std::string text = Format("%dx%d%s %.2f Hz, %.2f MHz", t.hActive, t.FrameHeight(),
                              t.interlaced ? "i" : "", t.RefreshHz(), t.pixelClockKHz / 1000.0);
    text += Format(" (h %d %d %d%s, v %d %d %d%s", t.hFront, t.hSync, t.hBlank - t.hFront - t.hSync,
                   t.hPolarity == 0     ? ""
                   : t.hPolarity == '+' ? " +"
                                        : " -",
                   t.vFront, t.vSync, t.vBlank - t.vFront - t.vSync,
                   t.vPolarity == 0     ? ""
                   : t.vPolarity == '+' ? " +"
                                        : " -");
    if (t.widthMm > 0 || t.heightMm > 0)
        text += Format("; %d x %d mm", t.widthMm, t.heightMm);
    return text + ")";
}

std::string ModeList(const std::vector<ModeRate>& modes) {
    std::string text;
    for (const ModeRate& m : modes) {
        if (!text.empty())
            text += ", ";
        text += Format("%dx%d%s@%d", m.width, m.height, m.interlaced ? "i" : "", m.refreshHz);
    }
    return text.empty() ? "none" : text;
}

std::string VicText(const VideoFormat& f) {
    const CtaVideoFormatInfo* info = CtaVideoFormat(f.vic);
    std::string text = Format("VIC %3d  ", f.vic);
    if (info == nullptr)
        text += "unknown";
    else
        text += Format("%dx%d%s %d Hz %s", info->width, info->height, info->interlaced ? "i" : "",
                       info->refreshHz, info->aspect);
    return text + (f.native ? " (native)" : "");
}

std::string AudioText(const ShortAudio& a) {
    static const char* const kRates[] = {"32", "44.1", "48", "88.2", "96", "176.4", "192"};
    std::string rates;
    for (int bit = 0; bit < 7; ++bit) {
        if (a.ratesMask & (1 << bit))
            rates += (rates.empty() ? "" : " ") + std::string(kRates[bit]);
    }
    std::string text = Format("%s, %d channels, %s kHz", AudioFormatName(a.format), a.channels,
                              rates.empty() ? "no" : rates.c_str());
    if (a.format == 1) {
        std::string sizes;
        for (int bit = 0; bit < 3; ++bit) {
            if (a.third & (1 << bit))
                sizes += (sizes.empty() ? "" : " ") + std::to_string(16 + 4 * bit);
        }
        text += ", " + (sizes.empty() ? std::string("no") : sizes) + " bits";
    }
    return text;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (const std::string& item : items)
        text += (text.size() > 1 ? ", " : "") + JsonString(item);
    return text + "]";
}

}  // namespace

std::string EdidSummaryText(const Edid& e) {
    std::string s;
    s += Format("EDID %d.%d: %s\n", e.version, e.revision,
                e.Valid() ? "valid" : "INVALID, not uploaded");
    s += Format("Maker:      %s, product code %d (0x%04X), serial number %u\n",
                e.manufacturer.c_str(), e.productCode, e.productCode, e.serialNumber);
    s += "Name:       " + (e.name.empty() ? std::string("(none)") : e.name) + "\n";
    if (!e.serialText.empty())
        s += "Serial:     " + e.serialText + "\n";
    if (e.modelYear)
        s += Format("Made:       model year %d\n", e.year);
    else if (e.week > 0)
        s += Format("Made:       week %d of %d\n", e.week, e.year);
    else
        s += Format("Made:       %d\n", e.year);
    s += "Input:      ";
    if (!e.digital)
        s += "analog";
    else if (e.version == 1 && e.revision >= 4)
        s += Format("digital, %s, %s", InterfaceName(e.interfaceType),
                    e.bitDepth ? Format("%d bits per colour", e.bitDepth).c_str()
                               : "colour depth not given");
    else
        s += "digital";
    s += "\n";
    if (e.widthCm > 0 && e.heightCm > 0)
        s += Format("Screen:     %d x %d cm\n", e.widthCm, e.heightCm);
    else
        s += "Screen:     size not given\n";
    const DetailedTiming* preferred = e.Preferred();
    s += "Preferred:  " + (preferred ? TimingText(*preferred) : std::string("none")) + "\n";
    for (std::size_t i = 1; i < e.timings.size(); ++i)
        s += "Timing:     " + TimingText(e.timings[i]) + "\n";
    if (e.range)
        s += Format("Range:      %d-%d Hz V, %d-%d kHz H, max %d MHz\n", e.range->minVHz,
                    e.range->maxVHz, e.range->minHKHz, e.range->maxHKHz, e.range->maxPixelClockMHz);
    s += "Established: " + ModeList(e.established) + "\n";
    s += "Standard:   " + ModeList(e.standard) + "\n";

    if (e.padded)
        s += "Padded:     the file holds the base block only; 128 zero bytes follow it for the "
             "router\n";
    if (e.blocksRead < 2)
        s += e.padded ? "Extension:  none\n" : "Extension:  none announced (block 1 is not read)\n";
    else
        s += Format("Extension:  %s (tag 0x%02X)\n", ExtensionName(e.extensionTag), e.extensionTag);
    if (e.cta) {
        const CtaBlock& c = *e.cta;
        std::string flags;
        for (auto [on, name] : {std::pair{c.underscan, "underscan"},
                                {c.basicAudio, "basic audio"},
                                {c.ycbcr444, "YCbCr 4:4:4"},
                                {c.ycbcr422, "YCbCr 4:2:2"}}) {
            if (on)
                flags += (flags.empty() ? "" : ", ") + std::string(name);
        }
        s += Format("CTA-861:    revision %d%s%s, native timings: %d\n", c.revision,
                    flags.empty() ? "" : ", ", flags.c_str(), c.nativeDtds);
        s += "Video:      ";
        if (c.videoFormats.empty())
            s += "none\n";
        for (std::size_t i = 0; i < c.videoFormats.size(); ++i)
            s += (i ? "            " : "") + VicText(c.videoFormats[i]) + "\n";
        s += "Audio:      ";
        if (c.audio.empty())
            s += "none\n";
        for (std::size_t i = 0; i < c.audio.size(); ++i)
            s += (i ? "            " : "") + AudioText(c.audio[i]) + "\n";
        if (c.speakerMask >= 0)
            s += "Speakers:   " + SpeakerNames(c.speakerMask) + "\n";
        if (c.physicalAddress) {
            const auto& a = *c.physicalAddress;
            s += Format("HDMI:       physical address %d.%d.%d.%d", a[0], a[1], a[2], a[3]);
            s += c.maxTmdsMHz ? Format(", max TMDS clock %d MHz\n", c.maxTmdsMHz) : "\n";
        } else {
            s += "HDMI:       no HDMI vendor block (no physical address)\n";
        }
        if (c.hdmiForum)
            s += Format("HDMI Forum: version %d, max TMDS character rate %d MHz\n",
                        c.hdmiForumVersion, c.maxTmdsCharacterRateMHz);
        for (const DetailedTiming& t : c.timings)
            s += "Timing:     " + TimingText(t) + "\n";
    }
    s += Format("Checksums:  block 0 %s", e.checksumOk[0] ? "ok" : "WRONG");
    s += e.blocksRead < 2 ? "\n" : Format(", block 1 %s\n", e.checksumOk[1] ? "ok" : "WRONG");
    for (const std::string& error : e.errors)
        s += "Error:      " + error + "\n";
    for (const std::string& warning : e.warnings)
        s += "Warning:    " + warning + "\n";
    return s;
}

std::string EdidJson(const Edid& e) {
    std::string j = "{\n";
    j += Format("  \"valid\": %s,\n", e.Valid() ? "true" : "false");
    j += "  \"errors\": " + JsonList(e.errors) + ",\n";
    j += "  \"warnings\": " + JsonList(e.warnings) + ",\n";
    j += "  \"version\": " + JsonString(Format("%d.%d", e.version, e.revision)) + ",\n";
    j += "  \"manufacturer\": " + JsonString(e.manufacturer) + ",\n";
    j += Format("  \"productCode\": %d,\n", e.productCode);
    j += Format("  \"serialNumber\": %u,\n", e.serialNumber);
    j += e.modelYear ? std::string("  \"week\": null,\n") : Format("  \"week\": %d,\n", e.week);
    j += Format("  \"year\": %d,\n", e.year);
    j += "  \"name\": " + JsonString(e.name) + ",\n";
    if (const DetailedTiming* p = e.Preferred())
        j += Format(
            "  \"preferred\": {\"width\": %d, \"height\": %d, \"interlaced\": %s, "
            "\"pixelClockKHz\": %d, \"refreshHz\": %.3f},\n",
            p->hActive, p->FrameHeight(), p->interlaced ? "true" : "false", p->pixelClockKHz,
            p->RefreshHz());
    else
        j += "  \"preferred\": null,\n";
    j += Format("  \"padded\": %s,\n", e.padded ? "true" : "false");
    j += Format("  \"blocks\": [{\"tag\": 0, \"checksumOk\": %s}",
                e.checksumOk[0] ? "true" : "false");
    if (e.blocksRead == 2)
        j += Format(", {\"tag\": %d, \"checksumOk\": %s}", e.extensionTag,
                    e.checksumOk[1] ? "true" : "false");
    j += "]";
    if (e.cta) {
        const CtaBlock& c = *e.cta;
        std::string vics;
        for (const VideoFormat& f : c.videoFormats)
            vics += (vics.empty() ? "" : ", ") + std::to_string(f.vic);
        std::string address = "null";
        if (c.physicalAddress) {
            const auto& a = *c.physicalAddress;
            address = JsonString(Format("%d.%d.%d.%d", a[0], a[1], a[2], a[3]));
        }
        j += Format(
            ",\n  \"cta\": {\"revision\": %d, \"vics\": [%s], \"physicalAddress\": %s, "
            "\"maxTmdsMHz\": %s}",
            c.revision, vics.c_str(), address.c_str(),
            c.maxTmdsMHz ? std::to_string(c.maxTmdsMHz).c_str() : "null");
    }
    return j + "\n}\n";
}

}  // namespace corvane
