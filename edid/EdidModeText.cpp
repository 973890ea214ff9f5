#include "EdidEditing.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>

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

std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> found;
    std::string word;
    for (char c : text + ' ') {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            if (!word.empty())
                found.push_back(word);
            word.clear();
        } else {
            word += char(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return found;
}

const char *const kModeForms =
    "a mode is vic:N, dtd:N, WIDTHxHEIGHT@HZ or an X modeline (CLOCK HDISP "
    "HSYNCSTART HSYNCEND HTOTAL VDISP VSYNCSTART VSYNCEND VTOTAL "
    "+hsync|-hsync +vsync|-vsync [interlace])";

// An X modeline as xrandr, cvt and gtf print it, with or without "Modeline" and its quoted name;
// vertical values of an interlaced one count the frame.
std::optional<VideoMode> parseModeline(std::vector<std::string> tokens)
{
    if (!tokens.empty() && tokens.front() == "modeline")
        tokens.erase(tokens.begin());
    if (!tokens.empty() && tokens.front().front() == '"') {
        while (!tokens.empty() && tokens.front().back() != '"')
            tokens.erase(tokens.begin());
        if (tokens.empty())
            return std::nullopt;
        tokens.erase(tokens.begin());
    }
    if (tokens.size() < 11)
        return std::nullopt;
    char *end = nullptr;
    const double megahertz = std::strtod(tokens[0].c_str(), &end);
    if (*end || !(megahertz > 0 && megahertz < 10000))
        return std::nullopt;
    unsigned n[8];
    for (std::size_t i = 0; i < 8; ++i) {
        const auto value = parseNumber(tokens[i + 1], 65535);
        if (!value)
            return std::nullopt;
        n[i] = unsigned(*value);
    }
    int hPositive = -1;
    int vPositive = -1;
    bool interlaced = false;
    for (std::size_t i = 9; i < tokens.size(); ++i) {
        const std::string &flag = tokens[i];
        if (flag == "+hsync" || flag == "-hsync")
            hPositive = flag[0] == '+';
        else if (flag == "+vsync" || flag == "-vsync")
            vPositive = flag[0] == '+';
        else if (flag == "interlace")
            interlaced = true;
        else
            return std::nullopt;
    }
    const bool ordered = n[0] <= n[1] && n[1] < n[2] && n[2] <= n[3] && n[4] <= n[5] &&
                         n[5] < n[6] && n[6] <= n[7] && n[0] && n[4];
    if (hPositive < 0 || vPositive < 0 || !ordered)
        return std::nullopt;
    const unsigned fields = interlaced ? 2 : 1;
    VideoMode mode{};
    mode.hActive = std::uint16_t(n[0]);
    mode.hFront = std::uint16_t(n[1] - n[0]);
    mode.hSync = std::uint16_t(n[2] - n[1]);
    mode.hBack = std::uint16_t(n[3] - n[2]);
    mode.vActive = std::uint16_t(n[4]);
    mode.vFront = std::uint16_t((n[5] - n[4]) / fields);
    mode.vSync = std::uint16_t((n[6] - n[5]) / fields);
    mode.vBack = std::uint16_t((n[7] - n[6]) / fields);
    mode.pixelClockKhz = std::uint32_t(std::lround(megahertz * 1000));
    mode.interlaced = interlaced;
    mode.hSyncPositive = hPositive == 1;
    mode.vSyncPositive = vPositive == 1;
    return mode;
}

// WIDTHxHEIGHT@HZ, with i before the @ for an interlaced mode; the rate may have decimals and
// matches a mode whose rate rounds to the same whole number (59.94 is 60).
std::optional<VideoMode> findMode(const std::string &text, const EdidDescription &description,
                                  bool &wellFormed)
{
    static const std::regex form(R"(([0-9]{1,5})[xX]([0-9]{1,5})([ip]?)@([0-9]{1,3}(\.[0-9]+)?))");
    std::smatch parts;
    wellFormed = std::regex_match(text, parts, form) && std::stod(parts[4]) > 0;
    if (!wellFormed)
        return std::nullopt;
    const unsigned width = unsigned(std::stoul(parts[1]));
    const unsigned height = unsigned(std::stoul(parts[2]));
    const bool interlaced = parts[3] == "i";
    const double hz = std::stod(parts[4]);
    const long rate = std::lround(hz);
    const auto matches = [&](const VideoMode &mode) {
        return mode.hActive == width && mode.vActive == height && mode.interlaced == interlaced &&
               std::lround(refreshRate(mode).hz()) == rate;
    };
    for (unsigned vic = 1; vic < 256; ++vic)
        if (const VideoMode *mode = ctaVideoMode(vic); mode && matches(*mode))
            return *mode;
    if (const DmtMode *dmt = findDmtMode(width, height, unsigned(rate)); dmt && matches(dmt->mode))
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
    if (const auto mode = parseModeline(words(text)))
        return mode;
    refusal = std::string(kModeForms) + ", not '" + text + "'";
    return std::nullopt;
}

} // namespace edits
