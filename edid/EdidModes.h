#pragma once

#include <cstdint>
#include <string>

// The video timings that EDIDs name by number: CTA-861 VICs, HDMI VICs, VESA DMT IDs and the
// established timings of the base block. Each carries enough to build a detailed timing.
struct VideoMode {
    std::uint16_t hActive;
    std::uint16_t vActive; // lines of a whole frame, both fields of an interlaced one
    std::uint16_t aspectWidth;
    std::uint16_t aspectHeight; // picture aspect ratio; 0:0 where the table gives none
    std::uint32_t pixelClockKhz;
    bool interlaced;
    std::uint16_t hFront;
    std::uint16_t hSync;
    std::uint16_t hBack;
    bool hSyncPositive;
    std::uint16_t vFront; // per field for an interlaced mode
    std::uint16_t vSync;
    std::uint16_t vBack;
    bool vSyncPositive;
    // An interlaced frame has one line more than its two fields' whole lines, except CTA-861
    // VIC 39, whose fields are of equal, whole length.
    bool wholeLineFields = false;

    std::uint32_t hTotal() const { return hActive + hFront + hSync + hBack; }
    bool operator==(const VideoMode &other) const;
    bool operator!=(const VideoMode &other) const { return !(*this == other); }
    // Lines of a frame, twice over for an interlaced mode (half lines counted whole).
    std::uint32_t vTotalTimesTwo() const;
};

// Frames a second (fields for an interlaced mode), exactly: numerator / denominator.
struct RefreshRate {
    std::uint64_t numerator;
    std::uint64_t denominator;

    double hz() const { return denominator ? double(numerator) / double(denominator) : 0.0; }
};

RefreshRate refreshRate(const VideoMode &mode);
// "60", "59.94", "23.98": the rate rounded to hundredths; a whole number without them.
std::string refreshText(RefreshRate rate);
// "3840x2160p60 16:9", "1920x1080i50 16:9"; without an aspect ratio for modes that have none.
std::string modeName(const VideoMode &mode);

// "148.5 MHz": a pixel clock in words.
std::string clockText(std::uint32_t kilohertz);
// "1920x1080p60": modeName without the aspect ratio.
std::string timingName(VideoMode mode);

// CTA-861 VICs 1-127 and 193-219; nullptr for any other number.
const VideoMode *ctaVideoMode(unsigned vic);
// HDMI 1.4 VICs 1-4 (the 4K formats of the HDMI vendor-specific data block).
const VideoMode *hdmiVideoMode(unsigned hdmiVic);

struct DmtMode {
    std::uint8_t id;
    bool reducedBlanking;
    std::uint16_t refreshHz; // nominal
    VideoMode mode;
};

// VESA DMT 1.0 rev 13, IDs 0x01-0x58; nullptr for any other.
const DmtMode *dmtMode(unsigned id);
// The DMT mode of this size and nominal rate, the one without reduced blanking where DMT has
// both; nullptr if none.
const DmtMode *findDmtMode(unsigned hActive, unsigned vActive, unsigned refreshHz);

struct EstablishedTiming {
    const char *name;   // "800x600@60"
    std::uint8_t dmtId; // 0 for the timings DMT does not hold
    VideoMode mode;
};

// The 17 timings of bytes 35-37 of the base block, by bit: 0 is byte 35 bit 7, 16 is byte 37
// bit 7. nullptr for bits 17-23 (byte 37 bits 6-0, the manufacturer's own timings).
const EstablishedTiming *establishedTiming(unsigned bit);
