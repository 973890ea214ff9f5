#include "EdidEditing.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>

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

std::string megahertz(std::uint32_t kilohertz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g MHz", kilohertz / 1000.0);
    return text;
}

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

std::optional<CtaCollection::Dtd> dtdBytes(const VideoMode &mode, unsigned hSizeMm,
                                           unsigned vSizeMm, std::string &refusal)
{
    if (const auto timing = detailedTiming(mode, hSizeMm, vSizeMm))
        return encodeDetailedTiming(*timing);
    if ((mode.pixelClockKhz + 5) / 10 > 0xFFFF)
        refusal = "a detailed timing holds a pixel clock of up to 655.35 MHz; " + timingName(mode) +
                  " needs " + megahertz(mode.pixelClockKhz);
    else
        refusal = timingName(mode) + " does not fit a detailed timing descriptor";
    return std::nullopt;
}

namespace {

using Dtd = CtaCollection::Dtd;

Dtd dtdAt(const EdidImage &image, std::size_t offset)
{
    Dtd dtd;
    std::copy_n(image.bytes.begin() + std::ptrdiff_t(offset), 18, dtd.begin());
    return dtd;
}

void putDtd(EdidImage &image, std::size_t offset, const Dtd &dtd)
{
    std::copy(dtd.begin(), dtd.end(), image.bytes.begin() + std::ptrdiff_t(offset));
}

// The preferred timing is the native format: the first SVD of it becomes the only native one
// (VICs above 64 cannot be; then none is), and when DTD 1 changed, the native DTDs are those of
// its size at the front.
std::string markNative(Editing &editing, const VideoMode &mode, bool dtdChanged)
{
    if (editing.image.bytes[EdidImage::kBlockSize] != 0x02)
        return {}; // no CTA-861 extension: no VICs
    const EdidDescription description = decodeEdid(editing.image);
    const std::vector<const DetailedTiming *> timings = detailedTimings(description);
    unsigned sameSize = 0;
    while (sameSize < timings.size() && timings[sameSize]->hActive == mode.hActive &&
           timings[sameSize]->vActive == mode.vActive)
        ++sameSize;
    return changeCta(editing, [&](CtaCollection &cta) {
        if (const unsigned native = cta.flags & 0x0F; dtdChanged && native > std::max(sameSize, 1u))
            cta.flags = std::uint8_t((cta.flags & 0xF0) | std::max(sameSize, 1u));
        std::uint8_t *found = nullptr;
        for (CtaCollection::Bytes &block : cta.blocks)
            for (std::size_t p = 1; CtaCollection::tag(block) == CtaTag::Video && p < block.size();
                 ++p) {
                const unsigned vic = CtaCollection::svdVic(block[p]);
                const VideoMode *svdMode = ctaVideoMode(vic);
                if (!found && vic <= 64 && svdMode && sameTiming(*svdMode, mode))
                    found = &block[p];
            }
        for (CtaCollection::Bytes &block : cta.blocks)
            for (std::size_t p = 1; CtaCollection::tag(block) == CtaTag::Video && p < block.size();
                 ++p)
                block[p] = std::uint8_t(CtaCollection::svdVic(block[p]));
        if (found)
            *found |= 0x80;
        return std::string();
    });
}

// The former DTD 1 goes where a DTD of the new preferred timing was, else into a free slot of
// the base block, else at the end of the extension's DTDs; it is dropped when none has room.
void keepFormer(Editing &editing, const EdidDescription &description, const VideoMode &mode,
                const Dtd &former)
{
    const auto &slots = description.base.descriptors;
    for (std::size_t n = 1; n < slots.size(); ++n)
        if (const auto *timing = std::get_if<DetailedTiming>(&slots[n].payload);
            timing && sameTiming(timingMode(*timing), mode)) {
            putDtd(editing.image, slots[n].bytes.offset, former);
            return;
        }
    if (description.cta)
        for (std::size_t n = 0; n < description.cta->detailedTimings.size(); ++n)
            if (sameTiming(timingMode(description.cta->detailedTimings[n]), mode) &&
                changeCta(editing, [&](CtaCollection &cta) {
                    if (n < cta.dtds.size())
                        cta.dtds[n] = former;
                    return std::string();
                }).empty())
                return;
    if (appendBaseDtd(editing.image, former))
        return;
    const std::string refusal = changeCta(editing, [&](CtaCollection &cta) {
        cta.dtds.push_back(former);
        return std::string();
    });
    if (!refusal.empty())
        editing.notes.push_back("the former DTD 1, " +
                                timingName(timingMode(std::get<DetailedTiming>(slots[0].payload))) +
                                ", was dropped: no descriptor slot is free, and " + refusal);
}

// DTD 1 of the base block becomes the mode, keeping the image size the former one gave.
std::string makePreferred(Editing &editing, const VideoMode &mode, bool keepFormerTiming)
{
    const EdidDescription description = decodeEdid(editing.image);
    const auto &slots = description.base.descriptors;
    const auto *first = std::get_if<DetailedTiming>(&slots[0].payload);
    const ScreenSize &screen = description.base.screenSize.value;
    std::string refusal;
    const auto dtd = dtdBytes(mode, first ? first->hSizeMm : 10 * screen.widthCm,
                              first ? first->vSizeMm : 10 * screen.heightCm, refusal);
    if (!dtd)
        return refusal;
    // The extension's VICs and native DTD count follow: it has to be readable.
    if (editing.image.bytes[EdidImage::kBlockSize] == 0x02 &&
        !CtaCollection::read(editing.image, refusal))
        return refusal;
    const std::size_t start = slots[0].bytes.offset;
    const bool unchanged = first && sameTiming(timingMode(*first), mode);
    if (!first) {
        // The descriptor there moves up: the first slot is the preferred timing's.
        if (!insertBaseDtd(editing.image, 0, *dtd))
            return std::string("the first descriptor slot holds ") + slotContent(slots[0]) +
                   ", and no other slot is free for it";
    } else if (!unchanged) {
        const Dtd former = dtdAt(editing.image, start);
        putDtd(editing.image, start, *dtd);
        if (keepFormerTiming)
            keepFormer(editing, description, mode, former);
    }
    return markNative(editing, mode, !unchanged);
}

std::optional<unsigned> parseVic(const std::string &argument, std::string &refusal)
{
    const auto vic = parseNumber(argument, 255);
    if (vic && ctaVideoMode(unsigned(*vic)))
        return unsigned(*vic);
    refusal = "'" + argument + "' is no CTA-861 VIC (1-127, 193-219)";
    return std::nullopt;
}

// Every SVD of the video data blocks, for reading and changing in place.
template <typename Visit> void forEachSvd(CtaCollection &cta, Visit visit)
{
    for (CtaCollection::Bytes &block : cta.blocks)
        for (std::size_t p = 1; CtaCollection::tag(block) == CtaTag::Video && p < block.size(); ++p)
            visit(block[p]);
}

} // namespace

// dtd:N: the EDID's own DTD N takes the first slot with all its 18 bytes (its sync, borders,
// image size and stereo as they are); the former DTD 1 takes its place.
std::string preferDtd(Editing &editing, const std::string &number)
{
    const EdidDescription description = decodeEdid(editing.image);
    const auto timings = detailedTimings(description);
    const auto n = parseNumber(number, timings.size());
    if (!n || *n == 0)
        return "this EDID has no DTD '" + number + "'";
    const DetailedTiming &chosen = *timings[*n - 1];
    const Dtd bytes = dtdAt(editing.image, chosen.bytes.offset);
    const auto &slots = description.base.descriptors;
    const std::size_t first = slots[0].bytes.offset;
    const bool firstIsDtd = slots[0].kind == Descriptor::Kind::DetailedTiming;
    if (chosen.bytes.offset == first)
        return markNative(editing, timingMode(chosen), false);
    if (firstIsDtd) {
        putDtd(editing.image, chosen.bytes.offset, dtdAt(editing.image, first));
        putDtd(editing.image, first, bytes);
        // The same mode in other sync or borders leaves the native format as it was.
        if (sameTiming(timingMode(std::get<DetailedTiming>(slots[0].payload)), timingMode(chosen)))
            return {};
    } else if (chosen.block == 0) {
        removeBaseDescriptor(editing.image, (chosen.bytes.offset - first) / 18);
        if (!insertBaseDtd(editing.image, 0, bytes))
            return "no descriptor slot is free for the preferred timing";
    } else {
        if (!insertBaseDtd(editing.image, 0, bytes))
            return std::string("the first descriptor slot holds ") + slotContent(slots[0]) +
                   ", and no other slot is free for it";
        const std::size_t index =
            *n - 1 - (timings.size() - description.cta->detailedTimings.size());
        if (std::string refusal =
                changeCta(editing,
                          [&](CtaCollection &cta) {
                              cta.dtds.erase(cta.dtds.begin() + std::ptrdiff_t(index));
                              return std::string();
                          });
            !refusal.empty())
            return refusal;
    }
    return markNative(editing, timingMode(chosen), true);
}

std::string setPreferred(Editing &editing, const std::string &argument)
{
    if (argument.compare(0, 4, "dtd:") == 0)
        return preferDtd(editing, argument.substr(4));
    std::string refusal;
    const auto mode = resolveMode(argument, decodeEdid(editing.image), refusal);
    return mode ? makePreferred(editing, *mode, true) : refusal;
}

std::string addVic(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const auto vic = parseVic(argument, refusal);
    if (!vic)
        return refusal;
    // The range limits bound every timing's pixel clock; the link's clock the result is checked
    // for.
    const VideoMode &mode = *ctaVideoMode(*vic);
    for (const Descriptor &descriptor : decodeEdid(editing.image).base.descriptors)
        if (const auto *limits = std::get_if<RangeLimits>(&descriptor.payload);
            limits && mode.pixelClockKhz > limits->maxPixelClockMhz * 1000)
            return "VIC " + argument + " (" + timingName(mode) + ") needs a pixel clock of " +
                   megahertz(mode.pixelClockKhz) + ", above the range limits' " +
                   std::to_string(limits->maxPixelClockMhz) + " MHz";
    return changeCta(editing, [&](CtaCollection &cta) {
        bool listed = false;
        forEachSvd(cta, [&](std::uint8_t code) {
            listed = listed || CtaCollection::svdVic(code) == *vic;
        });
        for (const CtaCollection::Bytes &block : cta.blocks)
            if (CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420Video))
                listed =
                    listed || std::any_of(block.begin() + 2, block.end(), [&](std::uint8_t code) {
                        return CtaCollection::svdVic(code) == *vic;
                    });
        if (listed)
            return "VIC " + argument + " is listed already";
        cta.appendVic(*vic);
        return std::string();
    });
}

std::string removeVic(Editing &editing, const std::string &argument)
{
    const auto vic = parseNumber(argument, 255);
    if (!vic || !*vic)
        return "a VIC is a number 1-255, not '" + argument + "'";
    return changeCta(editing, [&](CtaCollection &cta) {
        if (!cta.removeVics([&](unsigned listed) { return listed == *vic; }))
            return "VIC " + argument + " is not listed";
        return std::string();
    });
}

std::string setNativeVic(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const auto vic = parseVic(argument, refusal);
    if (!vic)
        return refusal;
    if (*vic > 64)
        return "only VICs 1-64 can be marked native in a video data block";
    return changeCta(editing, [&](CtaCollection &cta) {
        std::uint8_t *found = nullptr;
        forEachSvd(cta, [&](std::uint8_t &code) {
            if (!found && CtaCollection::svdVic(code) == *vic)
                found = &code;
        });
        if (!found)
            return "VIC " + argument + " is not in a video data block";
        forEachSvd(cta,
                   [](std::uint8_t &code) { code = std::uint8_t(CtaCollection::svdVic(code)); });
        *found = std::uint8_t(0x80 | *vic);
        return std::string();
    });
}

namespace {

// What "above the limit" means: wider, taller, or needing a higher pixel clock (beyond the 10 kHz
// a detailed timing rounds to).
struct Ceiling {
    VideoMode top;

    bool above(const VideoMode &mode) const
    {
        return mode.hActive > top.hActive || mode.vActive > top.vActive ||
               mode.pixelClockKhz > top.pixelClockKhz + 10;
    }
    // A standard timing DMT does not hold has no clock to compare: its pixels a second stand in.
    bool above(const StandardTiming &timing) const
    {
        if (const DmtMode *dmt = findDmtMode(timing.width, timing.height, timing.refreshHz))
            return above(dmt->mode);
        return timing.width > top.hActive || timing.height > top.vActive ||
               double(timing.width) * timing.height * timing.refreshHz >
                   double(top.hActive) * top.vActive * refreshRate(top).hz();
    }
};

// The HDMI VICs above the limit leave the HDMI VSDB's list.
void removeHdmiVics(CtaCollection::Bytes &vsdb, const Ceiling &ceiling)
{
    const HdmiVsdbLayout fields = hdmiVsdbLayout(vsdb.data(), vsdb.size());
    if (!fields.video)
        return;
    const auto first = vsdb.begin() + std::ptrdiff_t(fields.vics);
    const auto end =
        std::remove_if(first, first + std::ptrdiff_t(fields.vicCount), [&](std::uint8_t vic) {
            const VideoMode *mode = hdmiVideoMode(vic);
            return mode && ceiling.above(*mode);
        });
    const std::size_t kept = std::size_t(end - first);
    vsdb.erase(end, first + std::ptrdiff_t(fields.vicCount));
    vsdb[fields.lengths] = std::uint8_t(kept << 5 | (vsdb[fields.lengths] & 0x1F));
}

// The highest pixel clock among the timings that stay (the limit's own when it becomes DTD 1);
// modes offered only as YCbCr 4:2:0 need half their clock.
std::uint32_t highestClock(const CtaCollection &cta, const EdidDescription &description,
                           const Ceiling &ceiling, bool topStays)
{
    std::uint32_t clock = topStays ? ceiling.top.pixelClockKhz : 0;
    const auto take = [&](const VideoMode *mode, unsigned divisor) {
        if (mode && !ceiling.above(*mode))
            clock = std::max(clock, mode->pixelClockKhz / divisor);
    };
    for (const EstablishedTimingBit &bit : description.base.establishedTimings)
        if (const EstablishedTiming *timing = establishedTiming(bit.bit))
            take(&timing->mode, 1);
    for (const StandardTiming &timing : description.base.standardTimings)
        if (const DmtMode *dmt = findDmtMode(timing.width, timing.height, timing.refreshHz))
            take(&dmt->mode, 1);
    for (const CtaCollection::Bytes &block : cta.blocks) {
        const bool yuv420 = CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420Video);
        for (std::size_t p = yuv420 ? 2 : 1;
             (yuv420 || CtaCollection::tag(block) == CtaTag::Video) && p < block.size(); ++p)
            take(ctaVideoMode(CtaCollection::svdVic(block[p])), yuv420 ? 2 : 1);
        if (CtaCollection::isHdmiVsdb(block)) {
            const HdmiVsdbLayout fields = hdmiVsdbLayout(block.data(), block.size());
            for (std::size_t n = 0; n < fields.vicCount; ++n)
                take(hdmiVideoMode(block[fields.vics + n]), 1);
        }
    }
    for (const DetailedTiming *timing : detailedTimings(description)) {
        const VideoMode mode = timingMode(*timing);
        take(&mode, 1);
    }
    return clock;
}

// The HDMI VSDB's maximum TMDS clock comes down to what the kept modes need at the deepest
// colour it declares; it never goes up.
void lowerMaxTmds(CtaCollection::Bytes &vsdb, std::uint32_t clockKhz)
{
    using L = HdmiVsdbLayout;
    if (vsdb.size() <= L::kMaxTmds || vsdb[L::kMaxTmds] == 0)
        return;
    const unsigned deep = vsdb[L::kFlags];
    const double factor = deep & 0x40 ? 2.0 : deep & 0x20 ? 1.5 : deep & 0x10 ? 1.25 : 1.0;
    const auto steps = unsigned(std::ceil(clockKhz * factor / 5000 - 1e-9));
    if (steps < vsdb[L::kMaxTmds])
        vsdb[L::kMaxTmds] = std::uint8_t(std::max(steps, 1u));
}

} // namespace

std::string limit(Editing &editing, const std::string &argument)
{
    const EdidDescription description = decodeEdid(editing.image);
    std::string refusal;
    const auto top = resolveMode(argument, description, refusal);
    if (!top)
        return refusal;
    const Ceiling ceiling{*top};
    auto &bytes = editing.image.bytes;

    for (const EstablishedTimingBit &bit : description.base.establishedTimings)
        if (const EstablishedTiming *timing = establishedTiming(bit.bit);
            timing && ceiling.above(timing->mode))
            bytes[bit.bytes.offset] &= std::uint8_t(~(0x80u >> bit.bit % 8));
    for (const StandardTiming &timing : description.base.standardTimings)
        if (ceiling.above(timing))
            bytes[timing.bytes.offset] = bytes[timing.bytes.offset + 1] = 0x01;

    // DTDs above it go, and with them their share of the extension's native DTD count.
    const unsigned native = description.cta ? description.cta->flags.value.nativeDtds : 0;
    unsigned dtdIndex = 0;
    unsigned nativeGone = 0;
    const auto &slots = description.base.descriptors;
    const auto *first = std::get_if<DetailedTiming>(&slots[0].payload);
    const bool firstAbove = first && ceiling.above(timingMode(*first));
    std::vector<std::size_t> gone; // base block slots
    for (std::size_t n = 0; n < slots.size(); ++n) {
        const auto *timing = std::get_if<DetailedTiming>(&slots[n].payload);
        if (!timing)
            continue;
        if (n > 0 && ceiling.above(timingMode(*timing))) {
            gone.push_back(n);
            nativeGone += dtdIndex < native;
        }
        ++dtdIndex;
    }
    for (auto slot = gone.rbegin(); slot != gone.rend(); ++slot)
        removeBaseDescriptor(editing.image, *slot);

    if (description.cta) {
        const EdidDescription base = decodeEdid(editing.image);
        refusal = changeCta(editing, [&](CtaCollection &cta) {
            cta.removeVics([&](unsigned vic) {
                const VideoMode *mode = ctaVideoMode(vic);
                return mode && ceiling.above(*mode);
            });
            std::vector<CtaCollection::Dtd> kept;
            for (std::size_t n = 0; n < cta.dtds.size(); ++n, ++dtdIndex) {
                if (n < description.cta->detailedTimings.size() &&
                    ceiling.above(timingMode(description.cta->detailedTimings[n])))
                    nativeGone += dtdIndex < native;
                else
                    kept.push_back(cta.dtds[n]);
            }
            cta.dtds = kept;
            cta.flags = std::uint8_t((cta.flags & 0xF0) | (native - std::min(native, nativeGone)));
            if (CtaCollection::Bytes *vsdb = cta.find(CtaCollection::isHdmiVsdb))
                removeHdmiVics(*vsdb, ceiling);
            const std::uint32_t clock = highestClock(cta, base, ceiling, firstAbove);
            // Above 340 MHz, and for YCbCr 4:2:0, HDMI needs the HDMI Forum's blocks.
            const bool yuv420 = cta.find([](const CtaCollection::Bytes &block) {
                return CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420Video) ||
                       CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420CapabilityMap);
            });
            if (clock <= 340000 && !yuv420)
                cta.removeBlocks(CtaCollection::isHdmiForum);
            if (CtaCollection::Bytes *vsdb = cta.find(CtaCollection::isHdmiVsdb))
                lowerMaxTmds(*vsdb, clock);
            return std::string();
        });
        if (!refusal.empty())
            return refusal;
    }
    if (firstAbove) {
        if (refusal = makePreferred(editing, *top, false); !refusal.empty())
            return refusal;
        editing.notes.push_back("DTD 1, " + timingName(timingMode(*first)) + ", was above " +
                                timingName(*top) + ", which takes its place");
    }
    return {};
}

} // namespace edits
