#pragma once

#include "EdidDescription.h"
#include "EdidModes.h"

#include <optional>
#include <vector>

// The timings an EDID says its display accepts, whichever way it lists them, as VideoModes: so
// that one timing is recognised whether an EDID names it by VIC, by HDMI VIC, in a DTD, as a
// standard timing or as an established timing.

enum class TimingListing { Detailed, Vic, HdmiVic, Standard, Established };

struct AcceptedMode {
    VideoMode mode;
    TimingListing listing;
    unsigned code = 0;         // the VIC, HDMI VIC or DMT ID; the bit of an established timing
    bool ycbcr420Only = false; // a VIC of a YCbCr 4:2:0 video data block
    bool ycbcr420 = false;     // may be sent as YCbCr 4:2:0 (only, or by the capability map)
};

// In this order: the DTDs (base block first), the VICs of the video data blocks, those of the
// YCbCr 4:2:0 video data blocks, the HDMI VICs, the standard timings, the established timings. A
// timing listed twice is there twice. A standard timing that VESA DMT does not hold is left out:
// its timing would come from the GTF formula, which this program does not compute.
std::vector<AcceptedMode> acceptedModes(const EdidDescription &description);

// Whether two listings mean the same timing: the same active size, scan and totals, and pixel
// clocks at most 10 kHz apart (a DTD's step: the tables' 25.175 MHz is 25.17 or 25.18 MHz in a
// DTD). So 59.94 Hz and 60 Hz differ, and so do normal and reduced blanking of one size and rate,
// which need other pixel clocks. Where the sync pulse sits in the blanking, its polarity and the
// picture aspect ratio do not count: over HDMI and DVI the data-enable signal marks the active
// area, and the aspect ratio travels in the InfoFrame, not in the timing. Displays list one
// timing with other sync pulses themselves: a DTD and a VIC of one EDID often differ so.
bool sameTiming(const VideoMode &a, const VideoMode &b);

// The timing a display prefers: its first DTD, else the first VIC of its video data block.
std::optional<VideoMode> preferredMode(const EdidDescription &description);
