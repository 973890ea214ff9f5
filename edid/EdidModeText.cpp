#include "EdidEditing.h"
#include "EdidModeList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// The modes a user names: vic:N, dtd:N, WIDTHxHEIGHT@HZ and X modelines, and how timings compare.

namespace edits {

bool sameTiming(const VideoMode &a, const VideoMode &b)
{
    const std::uint32_t high = std::max(a.pixelClockKhz, b.pixelClockKhz);
    const std::uint32_t low = std::min(a.pixelClockKhz, b.pixelClockKhz);
    return a.hActive == b.hActive && a.vActive == b.vActive && a.interlaced == b.interlaced &&
           a.hTotal() == b.hTotal() && a.vTotalTimesTwo() == b.vTotalTimesTwo() &&
           high - low <= high / 1000 + 10;
}

namespace {

const char *const kModeForms =
    "a mode is vic:N, dtd:N, WIDTHxHEIGHT@HZ or an X modeline (CLOCK HDISP "
    "HSYNCSTART HSYNCEND HTOTAL VDISP VSYNCSTART VSYNCEND VTOTAL "
    "+hsync|-hsync +vsync|-vsync [interlace])";

// WIDTHxHEIGHT@HZ, with i before the @ for an interlaced mode; the rate may have decimals and
// matches a mode whose rate rounds to the same whole number (59.94 is 60).
std::optional<VideoMode> findMode(const std::string &text, const EdidDescription &description,
                                  bool &wellFormed)
{
    const std::optional<ModeRate> asked = parseModeRate(text);
    wellFormed = asked && asked->hz > 0;
    if (!wellFormed)
        return std::nullopt;
    const long rate = std::lround(asked->hz);
    const auto matches = [&](const VideoMode &mode) {
        return mode.hActive == asked->width && mode.vActive == asked->height &&
               mode.interlaced == asked->interlaced && std::lround(refreshRate(mode).hz()) == rate;
    };
    for (unsigned vic = 1; vic < 256; ++vic)
        if (const VideoMode *mode = ctaVideoMode(vic); mode && matches(*mode))
            return *mode;
    if (const DmtMode *dmt = findDmtMode(asked->width, asked->height, unsigned(rate));
        dmt && matches(dmt->mode))
        return dmt->mode;
    for (const DetailedTiming *timing : detailedTimings(description))
        if (matches(timingMode(*timing)))
            return timingMode(*timing);
    return std::nullopt;
}

} // namespace

std::optional<VideoMode> resolveMode(const std::string &text, const EdidDescription &description,
                                     std::string &refusal)
{
    if (text.compare(0, 4, "vic:") == 0) {
        const auto vic = parseNumber(text.substr(4), 255);
        if (const VideoMode *mode = vic ? ctaVideoMode(unsigned(*vic)) : nullptr)
            return *mode;
        refusal = "'" + text.substr(4) + "' is no CTA-861 VIC (1-127, 193-219)";
        return std::nullopt;
    }
    if (text.compare(0, 4, "dtd:") == 0) {
        // The EDID's own timing exactly, as the decoder numbers it: a size and rate alone could
        // find a table mode of other blanking first.
        const auto timings = detailedTimings(description);
        const auto number = parseNumber(text.substr(4), timings.size());
        if (number && *number > 0)
            return timingMode(*timings[*number - 1]);
        refusal = "this EDID has no DTD '" + text.substr(4) + "'";
        return std::nullopt;
    }
    bool wellFormed = false;
    if (const auto mode = findMode(text, description, wellFormed))
        return mode;
    if (wellFormed) {
        refusal = "no CTA-861 VIC, DMT mode or timing of this EDID is " + text;
        return std::nullopt;
    }
    std::string wrongModeline;
    if (const auto mode = parseModeline(text, wrongModeline))
        return mode;
    refusal = std::string(kModeForms) + ", not '" + text + "'";
    return std::nullopt;
}

} // namespace edits
