#pragma once

#include "EdidDescription.h"
#include "EdidModes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the EDIDs this program makes from nothing share: the project's identity, range limits that
// cover every mode, and a CTA-861 extension whose HDMI blocks let the link carry the fastest mode.
// A preset and a list of modes each fill an EdidPlan; composeEdid turns it into a description and
// the encoder into bytes.

// Audio formats and the speakers to match.
struct AudioSet {
    std::vector<ShortAudioDescriptor> descriptors;
    std::uint32_t speakers = 0; // SpeakerBlock::speakers
};

struct EdidPlan {
    std::uint16_t productCode = 0;
    std::string name; // the product name descriptor, 1-13 printable characters
    bool hdmi = true; // a CTA-861 extension with the HDMI blocks; else a DVI base block alone
    std::vector<VideoMode> dtds;            // DTD 1 is the preferred timing
    std::vector<unsigned> establishedBits;  // as establishedTiming() numbers them
    std::vector<unsigned> standardDmtIds;   // DMT modes written as standard timings
    std::vector<unsigned> vics;             // the video data block in order
    std::vector<unsigned> hdmiVics;         // the 4K formats of the HDMI VSDB
    std::vector<unsigned> ycbcr420OnlyVics; // a YCbCr 4:2:0 video data block
    std::vector<unsigned> ycbcr420AlsoVics; // of vics, those also sent as 4:2:0
    bool ycbcr444 = true;
    bool ycbcr422 = true;
    std::vector<unsigned> deepColourBits;    // 30, 36, 48 of RGB (and YCbCr 4:4:4)
    std::vector<unsigned> deepColour420Bits; // 30, 36, 48 of YCbCr 4:2:0
    AudioSet audio;
    std::array<unsigned, 4> physicalAddress{1, 0, 0, 0};
    std::optional<unsigned> maxTmdsMhz; // none: what the fastest mode needs, in 5 MHz steps
    bool hdr = false;                   // HDR10 and HLG, with BT.2020 colorimetry
    bool allm = false;
    std::optional<std::pair<unsigned, unsigned>> vrrHz; // the HDMI Forum block's VRRmin, VRRmax
};

struct ComposedEdid {
    std::optional<EdidImage> image;      // none when refused
    std::size_t size = EdidImage::kSize; // the bytes that hold it: 128 without an extension
    std::string refusal;
    bool overfull = false; // refused: the timings and blocks take more room than there is
};

ComposedEdid composeEdid(const EdidPlan &plan);

// The link this program builds EDIDs for: HDMI, TMDS up to 600 MHz (HDMI 2.0), above that the
// fixed rate links of HDMI 2.1.
constexpr unsigned kMaxTmdsKhz = 600000;
// The FRL rate (HDMI 2.1: 1 is 3 lanes of 3 Gb/s ... 6 is 4 lanes of 12 Gb/s) that
// carries a pixel clock as 8-bit RGB; 0 for TMDS, none above what the fastest carries.
std::optional<unsigned> frlRateFor(std::uint32_t pixelClockKhz);

// Range limits (EDID 1.3: 1-255 Hz, 1-255 kHz, up to 2550 MHz) that hold every mode: rates
// rounded outwards, the clock up to 10 MHz; a CTA-861 mode of a multiple of 6 Hz is also sent at
// 1000/1001 of it. A CTA-861 mode faster than they say is the extension's: they stop at 255. None,
// with the reason, when another mode lies beyond them.
std::optional<RangeLimits> rangeLimitsCovering(const std::vector<VideoMode> &modes,
                                               const std::vector<bool> &ctaModes,
                                               std::string &refusal);

// ---- What users type for them ----

// The compressed formats users name ("ac3", "AC-3"), with the channels and rates they are commonly
// declared with: AC-3, E-AC-3, DTS, DTS-HD and MAT.
struct CompressedAudio {
    const char *name;
    const char *label;
    ShortAudioDescriptor sad;
};
const std::vector<CompressedAudio> &compressedAudioFormats();
// "none", "lpcm2" (2 channels, 32-48 kHz), "lpcm8" (8 channels, 32-192 kHz), both 16-24 bit.
std::optional<AudioSet> audioSet(const std::string &name);
// A.B.C.D, digits 0-f (or 10-15); none with the reason.
std::optional<std::array<unsigned, 4>> parsePhysicalAddress(const std::string &text,
                                                            std::string &refusal);
// Why a text cannot be a display descriptor's (1-13 printable ASCII characters, no space last);
// empty when it can. what: "product name".
std::string displayTextRefusal(const std::string &text, const char *what);
