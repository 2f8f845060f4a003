// The decoder against real monitors (values as edid-decode reads them), broken
// copies of them, and the file forms the inspector accepts.

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/TextFormat.h"
#include "edid/Edid.h"
#include "edid/EdidFile.h"
#include "edid/EdidReport.h"
#include "protocol/RouterState.h"

namespace corvane {
namespace {

const std::string kSamples = CORVANE_EDID_SAMPLES;

EdidBytes Sample(const std::string& name) {
    EdidBytes bytes{};
    EXPECT_EQ(ReadEdidFile(kSamples + "/" + name, bytes), EdidFileStatus::Ok) << name;
    return bytes;
}

// What edid-decode shows of a sample, in one line: version, maker, product
// code, serial, week (-1: model year)/year, name | preferred timing (0x0 0:
// none) | extension tag, and for CTA-861: VICs | physical address, max TMDS.
std::string Summary(const Edid& e) {
    const DetailedTiming* p = e.Preferred();
    std::string s = Format("%d.%d %s %d %u %d/%d %s | %dx%d %d | %02X", e.version, e.revision,
                           e.manufacturer.c_str(), e.productCode, e.serialNumber,
                           e.modelYear ? -1 : e.week, e.year, e.name.c_str(), p ? p->hActive : 0,
                           p ? p->FrameHeight() : 0, p ? p->pixelClockKHz : 0, e.extensionTag);
    if (e.cta) {
        for (const VideoFormat& f : e.cta->videoFormats)
            s += Format(" %d", f.vic);
        s += " |";
        if (const auto& a = e.cta->physicalAddress)
            s += Format(" %d.%d.%d.%d", (*a)[0], (*a)[1], (*a)[2], (*a)[3]);
        s += Format(" %d", e.cta->maxTmdsMHz);
    }
    return s;
}

TEST(Samples, DecodeAsEdidDecodeReadsThem) {
    const std::pair<const char*, const char*> samples[] = {
        {"01-Goldstar-GSM59F1.bin",
         "1.3 GSM 23025 367561 3/2017 LG ULTRAWIDE | 2560x1080 185580 | 02 16 4 3 20 18 5 31 1 19 "
         "| 2.0.0.0 0"},
        {"02-Samsung-SAM0C4E.bin",
         "1.3 SAM 3150 810375238 28/2017 U28E590 | 3840x2160 297000 | 02 95 16 4 31 19 3 18 32 34 "
         "| 1.0.0.0 300"},
        {"04-AOC-AOC2281.bin",
         "1.3 AOC 8833 1641 29/2018 2281W | 1920x1080 148500 | 02 16 31 5 20 "
         "4 19 3 18 2 17 1 | 1.0.0.0 0"},
        {"05-MSI-MSI3DB5.bin",
         "1.4 MSI 15797 1798 7/2022 MSI G32CQ4 | 2560x1440 640000 | 02 1 2 3 "
         "17 18 19 15 29 30 14 16 31 4 | 1.0.0.0 0"},
        {"06-Dell-DEL41B3.bin",
         "1.4 DEL 16819 1094268236 23/2020 DELL U2720Q | 3840x2160 533250 | "
         "02 16 31 32 5 20 4 19 18 17 3 2 1 | 0"},
        {"07-BenQ-BNQ78CA.bin",  // every 480/576 line VIC, pixel repetition included
         "1.3 BNQ 30922 21573 51/2016 BenQ GW2760HS | 1920x1080 148500 | 02 "
         "1 2 3 4 5 6 7 16 17 18 19 20 21 22 31 | 1.0.0.0 225"},
        {"08-Samsung-SAM0C28.bin",
         "1.3 SAM 3112 16777217 44/2014 SAMSUNG | 1920x1080 148500 | 02 "
         "16 31 4 19 5 20 3 18 32 33 34 7 22 | 4.0.0.0 225"},
        {"10-Samsung-SAM0FE0.bin",
         "1.3 SAM 4064 810899797 31/2019 C32JG5x | 2560x1440 580080 | 02 "
         "16 31 4 19 3 18 | 2.0.0.0 300"},
        {"11-Apple-APPA042.bin", "1.4 APP 41026 0 7/2018 Color LCD | 2560x1600 260730 | 70"},
        {"12-Valve-VLV91A8.bin", "1.3 VLV 37288 721096406 -1/2018 Index HMD | 0x0 0 | 70"}};
    for (const auto& [file, summary] : samples) {
        const Edid e = DecodeEdid(Sample(file));
        EXPECT_TRUE(e.Valid()) << file << ": " << e.errors.front();
        EXPECT_EQ(Summary(e), summary) << file;
    }
}

// The finer fields of one rich sample each, where a wrong shift or mask shows.
TEST(EdidDetails, TimingsDescriptorsAndCtaBlocks) {
    const Edid aoc = DecodeEdid(Sample("04-AOC-AOC2281.bin"));
    ASSERT_TRUE(aoc.range && aoc.cta && aoc.standard.size() == 6 && aoc.cta->audio.size() == 1 &&
                aoc.cta->timings.size() == 4 && !aoc.timings.empty());
    const DetailedTiming& t = aoc.timings[0];
    const RangeLimits& r = *aoc.range;
    const CtaBlock& cta = *aoc.cta;
    const ShortAudio& a = cta.audio[0];
    EXPECT_EQ(Format("%d %d %d %d %d %d %dx%d mm %c%c %s | %d-%d Hz %d-%d kHz %d MHz | %zu %dx%d | "
                     "%d %d %x %x %s %d %dx%d",
                     t.hFront, t.hSync, t.hBlank, t.vFront, t.vSync, t.vBlank, t.widthMm,
                     t.heightMm, t.hPolarity, t.vPolarity, aoc.serialText.c_str(), r.minVHz,
                     r.maxVHz, r.minHKHz, r.maxHKHz, r.maxPixelClockMHz, aoc.established.size(),
                     aoc.standard[1].width, aoc.standard[1].height, a.format, a.channels,
                     a.ratesMask, a.third, SpeakerNames(cta.speakerMask).c_str(), cta.nativeDtds,
                     cta.timings[1].hActive, cta.timings[1].vActive),
              "88 44 280 4 5 45 476x268 mm ++ ANTJ79A001641 | 50-76 Hz 30-83 kHz 170 MHz | "
              "14 1680x1050 | 1 2 7 7 FL/FR 1 1280x720");
    EXPECT_TRUE(cta.underscan && cta.basicAudio && cta.ycbcr444 && cta.ycbcr422);
    // Before 1.3 aspect code 0 meant 1:1; flagged range limits are 255 higher.
    EdidBytes older = Sample("04-AOC-AOC2281.bin");
    older[19] = 2;
    for (int at = 54; at < 126; at += 18)
        older[at + 4] = older[at] == 0 && older[at + 3] == 0xFD ? 0x0A : older[at + 4];
    const Edid o = DecodeEdid(older);
    EXPECT_EQ(Format("%d %d %d", o.standard[1].height, o.range->maxVHz, o.range->maxHKHz),
              "1680 331 338");

    const Edid msi = DecodeEdid(Sample("05-MSI-MSI3DB5.bin"));
    EXPECT_TRUE(msi.digital && msi.bitDepth == 10);
    EXPECT_STREQ(InterfaceName(msi.interfaceType), "DisplayPort");
    EXPECT_TRUE(msi.cta->videoFormats.at(10).vic == 16 && msi.cta->videoFormats[10].native);
    const Edid forum = DecodeEdid(Sample("10-Samsung-SAM0FE0.bin"));
    EXPECT_TRUE(forum.cta->hdmiForum && forum.cta->maxTmdsCharacterRateMHz == 600);
    // Interlaced: the frame height, and the field rate with its half line.
    const Edid goldstar = DecodeEdid(Sample("01-Goldstar-GSM59F1.bin"));
    const DetailedTiming& i = goldstar.cta->timings.at(1);
    EXPECT_TRUE(i.interlaced && i.FrameHeight() == 1080);
    EXPECT_NEAR(i.RefreshHz(), 60.0, 0.001);
}

// Every flipped byte is caught by its block's checksum; the fixed copy is whole again.
TEST(BrokenEdid, EachFlippedByteIsCaughtAndFixChecksumsRepairsIt) {
    for (const auto& entry : std::filesystem::directory_iterator(kSamples)) {
        if (entry.path().extension() != ".bin")
            continue;
        const EdidBytes good = Sample(entry.path().filename().string());
        for (int at : {0x14, 0x40, 0x7F, 0x83, 0xC8, 0xFF}) {
            SCOPED_TRACE(entry.path().filename().string() + Format(" byte 0x%02X", at));
            EdidBytes broken = good;
            broken[at] ^= 0x10;
            const Edid e = DecodeEdid(broken);
            EXPECT_TRUE(!e.checksumOk[at / kEdidBlockSize] &&
                        e.checksumOk[1 - at / kEdidBlockSize]);
            ASSERT_EQ(e.errors.size(), 1u);
            EXPECT_NE(e.errors[0].find(Format("checksum in block %d", at / kEdidBlockSize)),
                      std::string::npos);
            EXPECT_TRUE(DecodeEdid(FixChecksums(broken)).Valid());
        }
    }
}

// What no display sends is an error, one each; what sources never read is a
// warning at most.
TEST(EdidVerdicts, ErrorsForWhatNoDisplaySendsWarningsForWhatSourcesSkip) {
    const EdidBytes aoc = Sample("04-AOC-AOC2281.bin");
    const std::uint8_t padding[128] = {};
    // the bytes changed (offset, value; -1: block 0 copied to 1), whether padded,
    // the only error ("": valid), a part of the summary
    const std::tuple<std::vector<std::pair<int, int>>, bool, const char*, const char*> cases[] = {
        {{{0, 0x01}}, false, "bad header", "Checksums:  block 0 ok, block 1 ok"},
        {{{7, 0xFF}}, false, "bad header", ""},
        {{{126, 2}}, false, "extension count 2 does not match", ""},
        {{{18, 2}}, false, "version 2.3 is not EDID 1.x", ""},
        {{{8, 0x80 | 0x04}}, false, "manufacturer ID 0x84E3 is not three letters", ""},
        {{{9, 0x00}, {8, 0x04}}, false, "manufacturer ID 0x0400 is not", "Maker:      A??,"},
        // A 128-byte EEPROM read as 256 bytes: the copy or padding behind is not read.
        {{{126, 0}, {-1, 0}}, false, "", "Extension:  none announced (block 1 is not read)"},
        {{{126, 0}, {255, 0x55}}, false, "", "Checksums:  block 0 ok\n"},
        {{{126, 1}}, true, "extension count 1, but the file holds the base block only", ""},
        {{{126, 0}}, true, "", "Padded:     the file holds the base block only"},
    };
    for (const auto& [changes, padded, error, summary] : cases) {
        EdidBytes bytes = aoc;
        for (const auto& [at, value] : changes) {
            if (at < 0)
                std::copy(aoc.begin(), aoc.begin() + 128, bytes.begin() + 128);
            else
                bytes[at] = static_cast<std::uint8_t>(value);
        }
        if (padded)
            std::copy(padding, padding + 128, bytes.begin() + 128);
        bytes = FixChecksums(bytes);
        bytes[255] ^= changes.back().first == 255 ? 0x01 : 0;  // a block 1 checksum left wrong
        const Edid e = DecodeEdid(bytes, padded);
        SCOPED_TRACE(error + std::string(" / ") + summary);
        ASSERT_EQ(e.errors.size(), *error ? 1u : 0u) << (e.errors.empty() ? "" : e.errors[0]);
        EXPECT_TRUE(e.errors.empty() || e.errors[0].starts_with(error)) << e.errors[0];
        EXPECT_NE(EdidSummaryText(e).find(summary), std::string::npos) << EdidSummaryText(e);
        const bool unannounced = e.extensionCount == 0 && !padded;
        EXPECT_EQ(
            std::count(e.warnings.begin(), e.warnings.end(),
                       "block 1 is not announced by the base block; sources will not read it"),
            unannounced ? 1 : 0);
        EXPECT_EQ(e.blocksRead, e.extensionCount == 0 || padded ? 1 : 2);
    }
    // Established timings alone are enough; without them nothing is left.
    EdidBytes bare = aoc;
    bare[126] = 0;
    for (int at : {54, 72, 90, 108})
        bare[at] = bare[at + 1] = 0;
    std::fill(bare.begin() + 38, bare.begin() + 54, 0x01);
    EXPECT_TRUE(DecodeEdid(FixChecksums(bare)).Valid());
    std::fill(bare.begin() + 35, bare.begin() + 38, 0);
    EXPECT_EQ(DecodeEdid(FixChecksums(bare)).errors.back(),
              "no timing at all: a source has no mode to send");
    // The header alone: no version, no maker, nothing to show.
    EdidBytes empty{};
    std::copy(aoc.begin(), aoc.begin() + 8, empty.begin());
    empty[126] = 1;
    const Edid e = DecodeEdid(FixChecksums(empty));
    EXPECT_EQ(e.errors,
              (std::vector<std::string>{"version 0.0 is not EDID 1.x",
                                        "manufacturer ID 0x0000 is not three letters",
                                        "no timing at all: a source has no mode to send"}));
}

TEST(CardWarnings, PixelClockAboveTheCardAndNonCtaOnHdmi) {
    // clang-format off
    const std::string samsung = "02-Samsung-SAM0C4E.bin", msi = "05-MSI-MSI3DB5.bin",
                      apple = "11-Apple-APPA042.bin";
    // "": no warning
    const std::tuple<std::string, int, const char*> cases[] = {
        {samsung, kSingleDviInput, "preferred pixel clock 297.00 MHz"}, {msi, kSdiInput, ""},
        {msi, kDualDviInput, "preferred pixel clock 640.00 MHz"}, {samsung, kDualDviInput, ""},
        {msi, kHdmiInput, "preferred pixel clock 640.00 MHz"}, {"12-Valve-VLV91A8.bin", 0, ""},
        {apple, kHdmiInput, "DisplayID extension on an HDMI input"},
        {apple, kSingleDviInput, "preferred pixel clock 260.73 MHz"},
        {"04-AOC-AOC2281.bin", kHdmiInput, ""}};
    // clang-format on
    for (const auto& [file, card, start] : cases) {
        const std::vector<std::string> warnings = CardWarnings(DecodeEdid(Sample(file)), card);
        ASSERT_EQ(warnings.size(), *start ? 1u : 0u) << file << " card " << card;
        EXPECT_TRUE(warnings.empty() || warnings[0].starts_with(start)) << warnings[0];
    }
    // 330 MHz: within dual DVI and HDMI, above single DVI.
    EdidBytes fast = Sample("04-AOC-AOC2281.bin");
    fast[54] = 0xE8;
    fast[55] = 0x80;
    for (int card : {kSingleDviInput, kDualDviInput, kHdmiInput})
        EXPECT_EQ(CardWarnings(DecodeEdid(fast), card).size(), card == kSingleDviInput ? 1u : 0u);
}

// The hex forms people paste: edid-decode's blocks (and its whole output),
// xrandr's indented lines, one long run, C-style lists; a base block alone is
// padded.
TEST(EdidContents, HexTextInTheCommonDumpFormsAndNothingElse) {
    const EdidBytes sample = Sample("04-AOC-AOC2281.bin");
    std::string spaced, xrandr, run, cStyle;
    for (int i = 0; i < 256; ++i) {
        const std::string hex = Format("%02x", sample[i]);
        run += hex;
        spaced += hex + (i % 16 == 15 ? (i == 127 ? "\n\n" : "\n") : " ");
        xrandr += (i % 16 == 0 ? "\t\t" : "") + hex + (i % 16 == 15 ? "\n" : "");
        cStyle += Format("0x%02X,%s", sample[i], i % 8 == 7 ? "\r\n" : " ");
    }
    EdidBytes base = sample;
    std::fill(base.begin() + 128, base.end(), 0);
    const std::string raw(sample.begin(), sample.end());
    // text, what it reads as (nullptr: File Format Error)
    // clang-format off
    const std::pair<std::string, const EdidBytes*> cases[] = {
        {spaced, &sample}, {xrandr, &sample}, {run, &sample}, {cStyle, &sample}, {raw, &sample},
        {" \n" + run + "\n\n", &sample}, {"\tEDID: \n" + xrandr, &sample},
        {"edid-decode (hex):\n\n" + spaced + "\n----------------\n\nBlock 0, Base EDID:\n",
         &sample},
        {run.substr(0, 256), &base},  // 256 characters: hex, not raw bytes
        {raw.substr(0, 128), &base},
        // 255 bytes, 257 bytes, an odd trailing digit, an odd digit count
        {run.substr(0, 510), nullptr}, {run + "00", nullptr}, {run + "7", nullptr},
        {run.substr(1), nullptr},
        {run.substr(0, 256) + "\nEDID:\n" + run.substr(256), nullptr},  // labels come first
        {run.substr(0, 100) + "0x" + run.substr(100), nullptr},         // "0x" inside a run
        {"", nullptr}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        EdidBytes bytes{};
        bool padded = false;
        ASSERT_EQ(
            ParseEdidContents(std::vector<std::uint8_t>(text.begin(), text.end()), bytes, &padded),
            expected != nullptr)
            << text;
        EXPECT_TRUE(!expected || (bytes == *expected && padded == (expected == &base))) << text;
    }
}

TEST(EdidReport, JsonCarriesTheListedFields) {
    const std::string json = EdidJson(DecodeEdid(Sample("04-AOC-AOC2281.bin")));
    for (const char* field :
         {"\"valid\": true", "\"errors\": []", "\"version\": \"1.3\"", "\"manufacturer\": \"AOC\"",
          "\"productCode\": 8833", "\"serialNumber\": 1641", "\"week\": 29", "\"year\": 2018",
          "\"name\": \"2281W\"",
          "\"preferred\": {\"width\": 1920, \"height\": 1080, \"interlaced\": false, "
          "\"pixelClockKHz\": 148500, \"refreshHz\": 60.000}",
          "\"padded\": false,\n  \"blocks\": [{\"tag\": 0, \"checksumOk\": true}, {\"tag\": 2, "
          "\"checksumOk\": true}]",
          "\"cta\": {\"revision\": 3, \"vics\": [16, 31, 5, 20, 4, 19, 3, 18, 2, 17, 1], "
          "\"physicalAddress\": \"1.0.0.0\", \"maxTmdsMHz\": null}"})
        EXPECT_NE(json.find(field), std::string::npos) << field << " not in " << json;
    EXPECT_NE(EdidJson(DecodeEdid(Sample("12-Valve-VLV91A8.bin"))).find("\"week\": null"),
              std::string::npos);
}

}  // namespace
}  // namespace corvane
