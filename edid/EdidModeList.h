#pragma once

#include "EdidComposer.h"
#include "EdidModes.h"

#include <optional>
#include <string>
#include <vector>

// The modes a user lists for a new EDID: WIDTHxHEIGHT@HZ, found among the CTA-861 VICs and the
// DMT modes or made by the VESA CVT formula, and X modelines taken as they are; and the EDID of
// such a list.

// WIDTHxHEIGHT@HZ, with i (or p) before the @ for an interlaced (progressive) mode; the rate may
// have decimals. None when the text has another form; the numbers are not checked.
struct ModeRate {
    unsigned width = 0;
    unsigned height = 0;
    bool interlaced = false;
    double hz = 0;
};
std::optional<ModeRate> parseModeRate(const std::string &text);

// An X modeline as xrandr, cvt and gtf print it, with or without "Modeline" and its quoted name:
// CLOCK HDISP HSYNCSTART HSYNCEND HTOTAL VDISP VSYNCSTART VSYNCEND VTOTAL +hsync|-hsync
// +vsync|-vsync [interlace]; the vertical values of an interlaced one count the frame. None with
// the field that is wrong.
std::optional<VideoMode> parseModeline(const std::string &text, std::string &refusal);

struct ListedMode {
    VideoMode timing;
    unsigned vic = 0; // the CTA-861 VIC that names it; 0 for a DTD's timing
};

// A WIDTHxHEIGHT@HZ as the lowest CTA-861 VIC of that size and rate (a multiple of 6 Hz also at
// 1000/1001 of it: 59.94 is VIC 16's), else the DMT mode (of the nominal or the exact rate), else
// the CVT timing: normal blanking where a DTD holds it and TMDS carries it, else reduced blanking
// v1, else v2. A modeline as given. None with the reason when no EDID can carry the mode.
std::optional<ListedMode> resolveListedMode(const std::string &text, bool modeline,
                                            std::string &refusal);

struct ModeListRequest {
    struct Mode {
        std::string text;
        bool modeline = false;
    };
    std::vector<Mode> modes; // the first is the preferred timing
    std::string audio = "lpcm2";
    std::string name = "VNX Modes";
    std::string physicalAddress = "1.0.0.0";
    bool hdr = false;
};

// The EDID of the modes: the first is DTD 1; the others VICs of the video data block where they
// have one, else further DTDs, in the base block and then the extension. Refused with the reason
// when a mode cannot be carried or more are listed than fit.
ComposedEdid modeListEdid(const ModeListRequest &request);

// The product code of every EDID made from a list of modes.
constexpr std::uint16_t kModeListProductCode = 0x5000;
