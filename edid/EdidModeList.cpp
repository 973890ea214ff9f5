#include "EdidModeList.h"

#include "CvtTiming.h"
#include "EdidEncoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <regex>

namespace {

constexpr double kMaxRateHz = 1000;
constexpr double kRateSlackHz = 0.01; // a rate written to hundredths
constexpr unsigned kDtdMaxClockKhz = 655350;
constexpr unsigned kDtdMaxSize = 4095;

// The words of a modeline, lower case: white space and commas part them.
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

const char *const kModelineFields[] = {"HDISP", "HSYNCSTART", "HSYNCEND", "HTOTAL",
                                       "VDISP", "VSYNCSTART", "VSYNCEND", "VTOTAL"};

// Each value of a modeline's H and V halves is at least the one before; sync lasts a line.
std::string modelineOrder(const unsigned n[8])
{
    for (int half = 0; half < 8; half += 4) {
        if (!n[half])
            return std::string("modeline ") + kModelineFields[half] + " is 0";
        for (int i = half + 1; i < half + 4; ++i)
            if (n[i] < n[i - 1] || (i == half + 2 && n[i] == n[i - 1]))
                return std::string("modeline ") + kModelineFields[i] + " " + std::to_string(n[i]) +
                       (n[i] < n[i - 1] ? " is below " : " is not above ") +
                       kModelineFields[i - 1] + " " + std::to_string(n[i - 1]);
    }
    return {};
}

// The flags after the numbers: both polarities, maybe interlace.
std::string modelineFlags(const std::vector<std::string> &tokens, VideoMode &mode)
{
    int hPositive = -1, vPositive = -1;
    for (std::size_t i = 9; i < tokens.size(); ++i) {
        const std::string &flag = tokens[i];
        if (flag == "+hsync" || flag == "-hsync")
            hPositive = flag[0] == '+';
        else if (flag == "+vsync" || flag == "-vsync")
            vPositive = flag[0] == '+';
        else if (flag == "interlace")
            mode.interlaced = true;
        else
            return "modeline flag '" + flag +
                   "' is none of +hsync, -hsync, +vsync, -vsync and interlace";
    }
    if (hPositive < 0 || vPositive < 0)
        return std::string("a modeline gives both sync polarities: ") +
               (hPositive < 0 ? "+hsync or -hsync" : "+vsync or -vsync") + " is missing";
    mode.hSyncPositive = hPositive == 1;
    mode.vSyncPositive = vPositive == 1;
    return {};
}

// A rate within a hundredth of rate, or of 1000/1001 of a multiple of 6 Hz.
bool sameRate(double asked, double rate)
{
    const long whole = std::lround(rate);
    return std::abs(asked - rate) <= kRateSlackHz ||
           (whole % 6 == 0 && (std::abs(asked - double(whole)) <= kRateSlackHz ||
                               std::abs(asked - whole * 1000 / 1001.0) <= kRateSlackHz));
}

std::optional<ListedMode> tableMode(const ModeRate &asked)
{
    for (unsigned vic = 1; vic < 256; ++vic) {
        const VideoMode *mode = ctaVideoMode(vic);
        if (mode && mode->hActive == asked.width && mode->vActive == asked.height &&
            mode->interlaced == asked.interlaced && sameRate(asked.hz, refreshRate(*mode).hz()))
            return ListedMode{*mode, vic};
    }
    const DmtMode *dmt = findDmtMode(asked.width, asked.height, unsigned(std::lround(asked.hz)));
    if (dmt && !asked.interlaced &&
        (std::abs(asked.hz - dmt->refreshHz) <= kRateSlackHz ||
         std::abs(asked.hz - refreshRate(dmt->mode).hz()) <= kRateSlackHz))
        return ListedMode{dmt->mode, 0};
    return std::nullopt;
}

bool fitsDtd(const VideoMode &mode)
{
    return detailedTiming(mode, 0, 0).has_value();
}

// What keeps a mode out of a DTD, in words, for a mode that fitsDtd refuses.
std::string dtdMisfit(const VideoMode &mode)
{
    if ((mode.pixelClockKhz + 5) / 10 > kDtdMaxClockKhz / 10)
        return "a pixel clock of " + clockText(mode.pixelClockKhz) +
               ", more than a DTD holds (655.35 MHz)";
    if (mode.vFront > 63)
        return "a V front porch of " + std::to_string(mode.vFront) +
               " lines, more than a DTD holds (63)";
    return "porches, syncs or blanking longer than a DTD holds";
}

// Normal blanking where TMDS carries it and a DTD holds it, else reduced blanking v1, else v2
// where a DTD holds it; v1 over FRL where only v2's front porch is too long for a DTD.
std::optional<ListedMode> cvtListedMode(const std::string &text, const ModeRate &asked,
                                        std::string &refusal)
{
    const std::string none = "'" + text + "': no CTA-861 VIC or DMT mode has this size and rate";
    if (asked.interlaced) {
        refusal = none + ", and the CVT formula makes progressive timings only";
        return std::nullopt;
    }
    if (asked.width > kDtdMaxSize || asked.height > kDtdMaxSize) {
        refusal = none + ", and a DTD holds at most 4095x4095";
        return std::nullopt;
    }
    struct Choice {
        CvtBlanking blanking;
        bool aboveTmds; // over FRL
    };
    static constexpr Choice kChoices[] = {{CvtBlanking::Normal, false},
                                          {CvtBlanking::ReducedV1, false},
                                          {CvtBlanking::ReducedV2, true},
                                          {CvtBlanking::ReducedV1, true}};
    std::optional<VideoMode> v2;
    for (const Choice &choice : kChoices) {
        const auto mode = cvtMode(asked.width, asked.height, asked.hz, choice.blanking);
        if (choice.blanking == CvtBlanking::ReducedV2)
            v2 = mode;
        if (mode && fitsDtd(*mode) && (choice.aboveTmds || mode->pixelClockKhz <= kMaxTmdsKhz))
            return ListedMode{*mode, 0};
    }
    refusal = none + (v2 ? ", and its CVT reduced blanking v2 timing has " + dtdMisfit(*v2)
                         : std::string(", and the CVT formula gives no timing for it"));
    return std::nullopt;
}

} // namespace

std::optional<ModeRate> parseModeRate(const std::string &text)
{
    static const std::regex form(
        R"(([0-9]{1,6})[xX]([0-9]{1,6})([ip]?)@([0-9]{1,4}(\.[0-9]{1,6})?))");
    std::smatch parts;
    if (!std::regex_match(text, parts, form))
        return std::nullopt;
    return ModeRate{unsigned(std::stoul(parts[1])), unsigned(std::stoul(parts[2])), parts[3] == "i",
                    std::stod(parts[4])};
}

std::optional<VideoMode> parseModeline(const std::string &text, std::string &refusal)
{
    std::vector<std::string> tokens = words(text);
    if (!tokens.empty() && tokens.front() == "modeline")
        tokens.erase(tokens.begin());
    if (!tokens.empty() && tokens.front().front() == '"') { // the name, maybe of several words
        const auto closing = std::find_if(tokens.begin(), tokens.end(), [](const std::string &t) {
            return t.size() > 1 && t.back() == '"';
        });
        tokens.erase(tokens.begin(), closing == tokens.end() ? closing : closing + 1);
    }
    if (tokens.size() < 9) {
        refusal = "a modeline is CLOCK HDISP HSYNCSTART HSYNCEND HTOTAL VDISP VSYNCSTART VSYNCEND "
                  "VTOTAL +hsync|-hsync +vsync|-vsync [interlace]; '" +
                  text + "' has " + std::to_string(tokens.size()) + " of the 9 numbers";
        return std::nullopt;
    }
    char *end = nullptr;
    const double megahertz = std::strtod(tokens[0].c_str(), &end);
    if (*end || !(megahertz > 0 && megahertz < 10000)) {
        refusal = "modeline CLOCK '" + tokens[0] + "' is no number of MHz above 0";
        return std::nullopt;
    }
    unsigned n[8];
    for (std::size_t i = 0; i < 8; ++i) {
        const std::string &field = tokens[i + 1];
        if (field.empty() || field.size() > 5 ||
            !std::all_of(field.begin(), field.end(), [](char c) { return std::isdigit(c); }) ||
            std::stoul(field) > 65535) {
            refusal = std::string("modeline ") + kModelineFields[i] + " '" + field +
                      "' is no whole number of 0-65535";
            return std::nullopt;
        }
        n[i] = unsigned(std::stoul(field));
    }
    VideoMode mode{};
    if (refusal = modelineOrder(n); !refusal.empty())
        return std::nullopt;
    if (refusal = modelineFlags(tokens, mode); !refusal.empty())
        return std::nullopt;
    const unsigned fields = mode.interlaced ? 2 : 1;
    mode.hActive = std::uint16_t(n[0]);
    mode.hFront = std::uint16_t(n[1] - n[0]);
    mode.hSync = std::uint16_t(n[2] - n[1]);
    mode.hBack = std::uint16_t(n[3] - n[2]);
    mode.vActive = std::uint16_t(n[4]);
    mode.vFront = std::uint16_t((n[5] - n[4]) / fields);
    mode.vSync = std::uint16_t((n[6] - n[5]) / fields);
    mode.vBack = std::uint16_t((n[7] - n[6]) / fields);
    mode.pixelClockKhz = std::uint32_t(std::lround(megahertz * 1000));
    return mode;
}

std::optional<ListedMode> resolveListedMode(const std::string &text, bool modeline,
                                            std::string &refusal)
{
    if (modeline) {
        const auto mode = parseModeline(text, refusal);
        if (!mode)
            return std::nullopt;
        const double hz = refreshRate(*mode).hz();
        if (hz > kMaxRateHz || !fitsDtd(*mode)) {
            refusal = "modeline '" + text + "' (" + timingName(*mode) + ") " +
                      (hz > kMaxRateHz ? "is faster than 1000 Hz" : "has " + dtdMisfit(*mode));
            return std::nullopt;
        }
        return ListedMode{*mode, 0};
    }
    const std::optional<ModeRate> asked = parseModeRate(text);
    if (!asked)
        refusal =
            "a mode is WIDTHxHEIGHT@HZ, such as 1920x1080@60 or 1280x720@59.94, not '" + text + "'";
    else if (!(asked->hz > 0 && asked->hz <= kMaxRateHz))
        refusal = "'" + text + "': a rate is above 0 and at most 1000 Hz";
    else if (!asked->width || !asked->height)
        refusal = "'" + text + "': a width and a height are at least 1";
    if (!refusal.empty())
        return std::nullopt;
    if (auto found = tableMode(*asked))
        return found;
    return cvtListedMode(text, *asked, refusal);
}

namespace {

// The same picture in the same time: everything but the aspect ratio, the clocks within the
// 10 kHz a DTD rounds to.
bool sameTiming(const VideoMode &a, const VideoMode &b)
{
    VideoMode other = b;
    other.aspectWidth = a.aspectWidth;
    other.aspectHeight = a.aspectHeight;
    other.pixelClockKhz = a.pixelClockKhz;
    return a == other && std::max(a.pixelClockKhz, b.pixelClockKhz) -
                                 std::min(a.pixelClockKhz, b.pixelClockKhz) <=
                             10;
}

// The text of the mode listed before the last that has its timing, or none.
const std::string *sameAsEarlier(const std::vector<ListedMode> &modes,
                                 const std::vector<ModeListRequest::Mode> &texts)
{
    for (std::size_t n = 0; n + 1 < modes.size(); ++n)
        if (sameTiming(modes.back().timing, modes[n].timing))
            return &texts[n].text;
    return nullptr;
}

// The lists' options before their modes: the name, the audio and the physical address.
std::string fillOptions(const ModeListRequest &request, EdidPlan &plan)
{
    if (std::string refusal = displayTextRefusal(request.name, "name"); !refusal.empty())
        return refusal;
    const std::optional<AudioSet> audio = audioSet(request.audio);
    if (!audio)
        return "the audio is none, lpcm2 or lpcm8, not '" + request.audio + "'";
    std::string refusal;
    const auto address = parsePhysicalAddress(request.physicalAddress, refusal);
    if (!address)
        return refusal;
    plan.productCode = kModeListProductCode;
    plan.name = request.name;
    plan.audio = *audio;
    plan.physicalAddress = *address;
    plan.hdr = request.hdr;
    if (request.hdr) // HDR10 is sent as 10 bits a colour
        plan.deepColourBits = {30, 36};
    plan.establishedBits = {2}; // 640x480@60, which every HDMI sink takes
    return {};
}

} // namespace

ComposedEdid modeListEdid(const ModeListRequest &request)
{
    ComposedEdid result;
    EdidPlan plan;
    result.refusal = request.modes.empty() ? "a new EDID needs a mode" : fillOptions(request, plan);
    std::vector<ListedMode> modes;
    for (std::size_t n = 0; n < request.modes.size() && result.refusal.empty(); ++n) {
        const ModeListRequest::Mode &asked = request.modes[n];
        const auto mode = resolveListedMode(asked.text, asked.modeline, result.refusal);
        if (!mode)
            break;
        modes.push_back(*mode);
        if (const std::string *earlier = sameAsEarlier(modes, request.modes))
            result.refusal = "'" + asked.text + "' is the timing of '" + *earlier + "' again";
        else if (n == 0 && !fitsDtd(mode->timing))
            result.refusal = "'" + asked.text + "' is VIC " + std::to_string(mode->vic) +
                             ", which has " + dtdMisfit(mode->timing) +
                             "; the first mode is the preferred timing, DTD 1: list first a mode "
                             "that a DTD holds";
        if (n == 0 || !mode->vic)
            plan.dtds.push_back(mode->timing);
        if (mode->vic)
            plan.vics.push_back(mode->vic);
    }
    if (!result.refusal.empty())
        return result;
    // HDMI 1.4 sources know the 4K formats by their HDMI VICs.
    for (unsigned hdmiVic = 1; hdmiVideoMode(hdmiVic); ++hdmiVic)
        for (unsigned vic : plan.vics)
            if (ctaVideoMode(vic) == hdmiVideoMode(hdmiVic))
                plan.hdmiVics.push_back(hdmiVic);
    result = composeEdid(plan);
    if (result.overfull)
        result.refusal =
            std::to_string(modes.size()) + " modes are more than fit: " + result.refusal;
    return result;
}
