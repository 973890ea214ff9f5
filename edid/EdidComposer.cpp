#include "EdidComposer.h"

#include "CtaLayout.h"
#include "EdidEncoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace {

template <typename T> Field<T> value(T held)
{
    return {std::move(held), {}};
}

// Who makes the EDIDs: this project, in a year of its own, so that every run writes the same
// bytes. EDID 1.3, as HDMI 1.4b asks: no model year, nothing above 255 in the range
// limits.
constexpr char kManufacturer[] = "VNX";
constexpr unsigned kYear = 2026;
constexpr unsigned kImageWidthMm = 531; // a 24-inch 16:9 screen
constexpr unsigned kImageHeightMm = 299;
// Above this the HDMI Forum block says the TMDS rate (HDMI 2.0).
constexpr unsigned kHdmiVsdbMaxTmdsMhz = 340;
constexpr std::uint32_t kMinTmdsKhz = 25000;
constexpr unsigned kFrlGbps[] = {9, 18, 24, 32, 40, 48};       // FRL rates 1-6: lanes x Gb/s
constexpr std::size_t kCtaRoom = kCtaChecksum - kCtaStart - 4; // after the header
constexpr std::size_t kSvdsPerBlock = 31;

template <typename T> bool has(const std::vector<T> &values, T wanted)
{
    return std::find(values.begin(), values.end(), wanted) != values.end();
}

// The ratio a standard timing codes: 16:10, 4:3, 5:4 or 16:9.
std::pair<unsigned, unsigned> standardAspect(const VideoMode &mode)
{
    for (const auto &[w, h] : {std::pair{16u, 10u}, {4u, 3u}, {5u, 4u}, {16u, 9u}})
        if (mode.hActive * h == mode.vActive * w)
            return {w, h};
    return {0, 0};
}

BaseBlock baseBlock(const EdidPlan &plan, std::string &refusal)
{
    BaseBlock base;
    base.manufacturer = value<std::string>(kManufacturer);
    base.productCode = value(plan.productCode);
    base.year = value(kYear); // week 0: none given
    base.version = value(EdidVersion{1, 3});
    VideoInput input;
    input.digital = true;
    input.raw = 0x80;
    base.input = value(input);
    base.screenSize =
        value(ScreenSize{(kImageWidthMm + 5) / 10, (kImageHeightMm + 5) / 10, {}, {}});
    base.gammaHundredths = value<std::optional<unsigned>>(220);
    Features features;
    features.colourType = 1; // RGB colour; the CTA-861 extension adds its YCbCr formats
    features.srgbDefault = true;
    features.preferredTimingNative = true;
    base.features = value(features);
    // sRGB primaries and D65 white as 10-bit fractions.
    base.chromaticity = value(Chromaticity{{655, 338}, {307, 614}, {154, 61}, {320, 337}});
    for (unsigned bit : plan.establishedBits)
        base.establishedTimings.push_back({{}, bit});
    for (unsigned id : plan.standardDmtIds) {
        const DmtMode *dmt = dmtMode(id);
        const auto [w, h] = dmt ? standardAspect(dmt->mode) : std::pair{0u, 0u};
        if (!w || base.standardTimings.size() == 8) {
            refusal = "DMT " + std::to_string(id) + " cannot be a standard timing";
            continue;
        }
        base.standardTimings.push_back(
            {{}, dmt->mode.hActive, dmt->mode.vActive, dmt->refreshHz, w, h});
    }
    base.extensionCount = value<std::uint8_t>(plan.hdmi ? 1 : 0);
    return base;
}

// Every mode the plan names, and which are CTA-861 formats (sent at 1000/1001 of their rate too).
struct PlannedModes {
    std::vector<VideoMode> modes;
    std::vector<bool> cta;
    std::vector<bool> ycbcr420Only;

    void add(const VideoMode *mode, bool isCta, bool only420 = false)
    {
        if (!mode)
            return;
        modes.push_back(*mode);
        cta.push_back(isCta);
        ycbcr420Only.push_back(only420);
    }
};

PlannedModes plannedModes(const EdidPlan &plan, const std::vector<DetailedTiming> &dtds)
{
    PlannedModes planned;
    for (const DetailedTiming &dtd : dtds) {
        const VideoMode mode = timingMode(dtd);
        planned.add(&mode, false);
    }
    for (unsigned bit : plan.establishedBits)
        planned.add(establishedTiming(bit) ? &establishedTiming(bit)->mode : nullptr, false);
    for (unsigned id : plan.standardDmtIds)
        planned.add(dmtMode(id) ? &dmtMode(id)->mode : nullptr, false);
    for (unsigned vic : plan.vics)
        planned.add(ctaVideoMode(vic), true);
    for (unsigned vic : plan.hdmiVics)
        planned.add(hdmiVideoMode(vic), true);
    for (unsigned vic : plan.ycbcr420OnlyVics)
        planned.add(ctaVideoMode(vic), true, true);
    return planned;
}

// The TMDS clock the HDMI blocks allow and the FRL rate for what TMDS cannot carry; a refusal
// when the link carries a mode in neither way.
struct Link {
    unsigned maxTmdsMhz = 0;
    unsigned frlRate = 0;
    std::string refusal;
};

Link linkFor(const EdidPlan &plan, const PlannedModes &planned)
{
    Link link;
    std::uint32_t fastestTmdsKhz = 0;
    for (std::size_t n = 0; n < planned.modes.size(); ++n) {
        const VideoMode &mode = planned.modes[n];
        // YCbCr 4:2:0 halves what the link carries.
        const std::uint32_t khz = mode.pixelClockKhz / (planned.ycbcr420Only[n] ? 2 : 1);
        const std::optional<unsigned> frl = frlRateFor(khz);
        if (khz < kMinTmdsKhz && !planned.cta[n]) {
            link.refusal = timingName(mode) + " needs " + clockText(khz) +
                           ", less than the 25 MHz TMDS clock HDMI and DVI run at; only CTA-861 "
                           "formats go slower, each pixel sent more than once";
            return link;
        }
        if (!frl) {
            link.refusal = timingName(mode) + " needs " + clockText(khz) +
                           ", more than HDMI's fastest link (48 Gb/s) carries";
            return link;
        }
        link.frlRate = std::max(link.frlRate, *frl);
        if (!*frl)
            fastestTmdsKhz = std::max(fastestTmdsKhz, khz);
    }
    const unsigned needed = link.frlRate ? kMaxTmdsKhz / 1000 : (fastestTmdsKhz + 4999) / 5000 * 5;
    link.maxTmdsMhz = plan.maxTmdsMhz.value_or(needed);
    if (link.maxTmdsMhz < needed)
        link.refusal = "a TMDS clock of " + std::to_string(link.maxTmdsMhz) + " MHz is below the " +
                       std::to_string(needed) + " MHz the modes need";
    return link;
}

std::vector<ShortVideoDescriptor> svds(const std::vector<unsigned> &vics)
{
    std::vector<ShortVideoDescriptor> found;
    for (unsigned vic : vics)
        found.push_back({{}, vic, false});
    return found;
}

HdmiVsdb hdmiVsdb(const EdidPlan &plan, const Link &link)
{
    HdmiVsdb hdmi;
    hdmi.physicalAddress = plan.physicalAddress;
    hdmi.supportsAi = !plan.audio.descriptors.empty();
    hdmi.deepColour30 = has(plan.deepColourBits, 30u);
    hdmi.deepColour36 = has(plan.deepColourBits, 36u);
    hdmi.deepColour48 = has(plan.deepColourBits, 48u);
    hdmi.deepColourY444 = plan.ycbcr444 && !plan.deepColourBits.empty();
    hdmi.maxTmdsMhz = std::min(link.maxTmdsMhz, kHdmiVsdbMaxTmdsMhz);
    hdmi.hdmiVideoPresent = !plan.hdmiVics.empty();
    hdmi.hdmiVics = plan.hdmiVics;
    return hdmi;
}

// The HDMI Forum VSDB, for what HDMI 1.4 cannot say: TMDS above 340 MHz, FRL, YCbCr 4:2:0,
// ALLM and VRR.
std::optional<HdmiForumBlock> hdmiForumBlock(const EdidPlan &plan, const Link &link)
{
    const bool above340 = link.maxTmdsMhz > kHdmiVsdbMaxTmdsMhz;
    if (!above340 && !link.frlRate && plan.ycbcr420OnlyVics.empty() &&
        plan.ycbcr420AlsoVics.empty() && !plan.allm && !plan.vrrHz)
        return std::nullopt;
    HdmiForumBlock forum;
    forum.version = 1;
    if (above340)
        forum.maxTmdsCharRateMhz = link.maxTmdsMhz;
    forum.scdcPresent = above340 || link.frlRate; // FRL is trained over SCDC
    forum.maxFrlRate = link.frlRate;              // its byte is there from HDMI 2.0 on
    forum.deepColour420_30 = has(plan.deepColour420Bits, 30u);
    forum.deepColour420_36 = has(plan.deepColour420Bits, 36u);
    forum.deepColour420_48 = has(plan.deepColour420Bits, 48u);
    forum.allm = plan.allm;
    if (plan.vrrHz) {
        forum.vrrMin = plan.vrrHz->first;
        forum.vrrMax = plan.vrrHz->second;
    }
    return forum;
}

std::vector<CtaDataBlock> ctaDataBlocks(const EdidPlan &plan, const Link &link)
{
    using E = CtaExtendedTag;
    std::vector<CtaDataBlock> blocks;
    for (std::size_t at = 0; at < plan.vics.size(); at += kSvdsPerBlock) {
        const auto from = plan.vics.begin() + std::ptrdiff_t(at);
        blocks.push_back(videoBlock(
            svds({from, from + std::ptrdiff_t(std::min(kSvdsPerBlock, plan.vics.size() - at))})));
    }
    if (!plan.ycbcr420OnlyVics.empty())
        blocks.push_back(dataBlockOf(CtaTag::Extended, unsigned(E::Ycbcr420Video),
                                     Ycbcr420VideoBlock{svds(plan.ycbcr420OnlyVics)}));
    if (!plan.audio.descriptors.empty()) {
        blocks.push_back(audioBlock(plan.audio.descriptors));
        blocks.push_back(speakerBlock(plan.audio.speakers));
    }
    blocks.push_back(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, hdmiVsdb(plan, link)));
    if (const auto forum = hdmiForumBlock(plan, link)) // right after the HDMI VSDB
        blocks.push_back(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, *forum));
    // Quantization range selectable; IT and CE formats over- or underscanned.
    const bool ycbcr = plan.ycbcr444 || plan.ycbcr422;
    blocks.push_back(dataBlockOf(CtaTag::Extended, unsigned(E::VideoCapability),
                                 VideoCapabilityBlock{ycbcr, true, 0, 3, 3}));
    if (plan.hdr) {
        // BT.2020 RGB and YCbCr; traditional SDR, SMPTE ST 2084 and HLG with static metadata 1.
        blocks.push_back(
            dataBlockOf(CtaTag::Extended, unsigned(E::Colorimetry), ColorimetryBlock{0xC0, 0}));
        blocks.push_back(dataBlockOf(CtaTag::Extended, unsigned(E::HdrStaticMetadata),
                                     HdrStaticBlock{0x0D, 0x01, {}, {}, {}}));
    }
    if (!plan.ycbcr420AlsoVics.empty()) {
        Ycbcr420CapabilityMap map;
        for (unsigned n = 0; n < plan.vics.size(); ++n)
            if (has(plan.ycbcr420AlsoVics, plan.vics[n]))
                map.svdIndices.push_back(n);
        blocks.push_back(dataBlockOf(CtaTag::Extended, unsigned(E::Ycbcr420CapabilityMap), map));
    }
    return blocks;
}

// The extension, or the reason its blocks and DTDs do not fit its 123 bytes.
std::optional<CtaExtension> ctaExtension(const EdidPlan &plan, const Link &link,
                                         std::vector<DetailedTiming> dtds, bool anyDtd,
                                         std::string &refusal)
{
    CtaExtension cta;
    cta.revision = value<std::uint8_t>(3);
    // IT formats underscanned, as a monitor shows them.
    // DTD 1 is the native format; an interlaced one is not counted, as CTA-861 asks a native
    // progressive timing beside a native interlaced one.
    const bool nativeDtd = anyDtd && !plan.dtds.empty() && !plan.dtds.front().interlaced;
    cta.flags = value(CtaFlags{true, !plan.audio.descriptors.empty(), plan.ycbcr444, plan.ycbcr422,
                               nativeDtd ? 1u : 0u});
    cta.dataBlocks = ctaDataBlocks(plan, link);
    std::size_t used = 0;
    for (const CtaDataBlock &block : cta.dataBlocks)
        used += encodeDataBlock(block).size();
    const std::size_t needed = used + 18 * dtds.size();
    if (needed > kCtaRoom) {
        refusal = "the CTA-861 extension holds " + std::to_string(kCtaRoom) +
                  " bytes of data blocks and DTDs; these need " + std::to_string(needed) + " (" +
                  std::to_string(used) + " of blocks, " + std::to_string(dtds.size()) +
                  " DTDs of 18)";
        return std::nullopt;
    }
    cta.detailedTimings = std::move(dtds);
    return cta;
}

} // namespace

std::optional<unsigned> frlRateFor(std::uint32_t pixelClockKhz)
{
    if (pixelClockKhz <= kMaxTmdsKhz)
        return 0;
    // 8-bit RGB is 24 bits a pixel; FRL codes 16 bits in 18.
    const double gbps = double(pixelClockKhz) * 24 * 18 / 16 / 1e6;
    for (unsigned rate = 1; rate <= std::size(kFrlGbps); ++rate)
        if (gbps <= kFrlGbps[rate - 1])
            return rate;
    return std::nullopt;
}

std::optional<RangeLimits> rangeLimitsCovering(const std::vector<VideoMode> &modes,
                                               const std::vector<bool> &ctaModes,
                                               std::string &refusal)
{
    constexpr double kSlack = 1e-6; // what a double's last digits may add to a whole number
    constexpr double kMost = 255;   // Hz and kHz: EDID 1.3 has no offsets
    double minHz = kMost, maxHz = 0, minKhz = kMost, maxKhz = 0, maxClockKhz = 0;
    for (std::size_t n = 0; n < modes.size(); ++n) {
        const VideoMode &mode = modes[n];
        const double hz = refreshRate(mode).hz();
        const double khz = double(mode.pixelClockKhz) / mode.hTotal();
        const bool cta = n < ctaModes.size() && ctaModes[n];
        if (!cta && (hz > kMost || khz > kMost || hz < 1 || khz < 1)) {
            refusal = timingName(mode) + " (" + std::to_string(std::lround(khz)) +
                      " kHz) lies beyond the range limits of EDID 1.3 (1-255 Hz, 1-255 kHz)";
            return std::nullopt;
        }
        const long whole = std::lround(hz);
        // CTA-861: a rate of a multiple of 6 Hz is also sent at 1000/1001 of it.
        const bool twoRates =
            cta && whole % 6 == 0 && std::abs(hz - double(whole)) < double(whole) * 0.002;
        for (const double scale :
             {1.0, twoRates ? whole / hz : 1.0, twoRates ? whole * 1000 / 1001.0 / hz : 1.0}) {
            minHz = std::min(minHz, hz * scale);
            maxHz = std::max(maxHz, hz * scale);
            minKhz = std::min(minKhz, khz * scale);
            maxKhz = std::max(maxKhz, khz * scale);
            maxClockKhz = std::max(maxClockKhz, mode.pixelClockKhz * scale);
        }
    }
    // A CTA-861 format beyond them is the extension's to say: the limits stop at 255.
    RangeLimits limits;
    limits.minVerticalHz = unsigned(std::floor(minHz + kSlack));
    limits.maxVerticalHz = unsigned(std::ceil(std::min(maxHz, kMost) - kSlack));
    limits.minHorizontalKhz = unsigned(std::floor(minKhz + kSlack));
    limits.maxHorizontalKhz = unsigned(std::ceil(std::min(maxKhz, kMost) - kSlack));
    limits.maxPixelClockMhz = unsigned(std::ceil(maxClockKhz / 10000 - kSlack)) * 10;
    if (limits.maxPixelClockMhz > 2550) {
        refusal = "a pixel clock above the 2550 MHz range limits can say";
        return std::nullopt;
    }
    return limits;
}

ComposedEdid composeEdid(const EdidPlan &plan)
{
    ComposedEdid result;
    std::vector<DetailedTiming> dtds;
    for (const VideoMode &mode : plan.dtds) {
        const auto dtd = detailedTiming(mode, kImageWidthMm, kImageHeightMm);
        if (!dtd) {
            result.refusal = timingName(mode) + " does not fit a DTD";
            return result;
        }
        dtds.push_back(*dtd);
    }
    EdidDescription description;
    description.base = baseBlock(plan, result.refusal);
    const PlannedModes planned = plannedModes(plan, dtds);
    const Link link = linkFor(plan, planned);
    if (!link.refusal.empty())
        result.refusal = link.refusal;
    if (!result.refusal.empty())
        return result;

    // The base block's slots: its DTDs first, then range limits and the name; dummies after.
    std::vector<Descriptor> others;
    const auto limits = rangeLimitsCovering(planned.modes, planned.cta, result.refusal);
    if (!limits)
        return result;
    others.push_back(rangeLimitsDescriptor(*limits));
    others.push_back(textDescriptor(Descriptor::Kind::ProductName, plan.name));
    const std::size_t baseDtds = std::min(dtds.size(), 4 - others.size());
    std::size_t slot = 0;
    for (std::size_t n = 0; n < baseDtds; ++n)
        description.base.descriptors[slot++] = descriptorOf(dtds[n]);
    for (const Descriptor &descriptor : others)
        description.base.descriptors[slot++] = descriptor;
    while (slot < 4)
        description.base.descriptors[slot++] = dummyDescriptor();
    const std::vector<DetailedTiming> rest(dtds.begin() + std::ptrdiff_t(baseDtds), dtds.end());
    if (!plan.hdmi && !rest.empty()) {
        result.overfull = true;
        result.refusal = "a DVI EDID has room for " + std::to_string(baseDtds) + " DTDs, not " +
                         std::to_string(dtds.size());
        return result;
    }
    if (plan.hdmi) {
        description.cta = ctaExtension(plan, link, rest, !dtds.empty(), result.refusal);
        result.overfull = !description.cta;
        if (!description.cta)
            return result;
    }
    result.image = encodeEdid(description);
    result.size = plan.hdmi ? EdidImage::kSize : EdidImage::kBlockSize;
    return result;
}

namespace {

// A format with its channels, sample rates (bit 0 32 kHz ... bit 6 192 kHz) and byte 3.
ShortAudioDescriptor sad(unsigned formatCode, unsigned channels, std::uint8_t rates,
                         std::uint8_t byte3)
{
    ShortAudioDescriptor descriptor;
    descriptor.formatCode = formatCode;
    descriptor.channels = channels;
    descriptor.sampleRates = rates;
    descriptor.byte3 = byte3;
    return descriptor;
}

} // namespace

const std::vector<CompressedAudio> &compressedAudioFormats()
{
    // CTA-861-H 7.5.2.
    static const std::vector<CompressedAudio> formats{
        {"ac3", "AC-3", sad(2, 6, 0x07, 640 / 8)},   // 32-48 kHz, up to 640 kb/s
        {"eac3", "E-AC-3", sad(10, 8, 0x06, 0x00)},  // 44.1 and 48 kHz
        {"dts", "DTS", sad(7, 6, 0x07, 1536 / 8)},   // 32-48 kHz, up to 1536 kb/s
        {"dtshd", "DTS-HD", sad(11, 8, 0x7E, 0x01)}, // 44.1-192 kHz
        {"mat", "MAT", sad(12, 8, 0x54, 0x00)},      // 48, 96 and 192 kHz
    };
    return formats;
}

std::optional<AudioSet> audioSet(const std::string &name)
{
    // Linear PCM of 16, 20 and 24 bits: 2 channels at 32-48 kHz for FL/FR, or 8 at 32-192 kHz
    // for 7.1 (FL/FR, LFE1, FC, BL/BR, RLC/RRC).
    const auto lpcm = [](unsigned channels, std::uint8_t rates, std::uint32_t speakers) {
        return AudioSet{{sad(1, channels, rates, 0x07)}, speakers};
    };
    if (name == "none")
        return AudioSet{};
    if (name == "lpcm2")
        return lpcm(2, 0x07, 0x01);
    if (name == "lpcm8")
        return lpcm(8, 0x7F, 0x4F);
    return std::nullopt;
}

namespace {

// A digit of a physical address: one hex digit as CEC writes it (f), or 10-15 in decimal.
std::optional<unsigned> addressDigit(const std::string &text)
{
    if (text.size() == 1 && std::isxdigit(static_cast<unsigned char>(text[0])))
        return unsigned(std::stoul(text, nullptr, 16));
    if (text.size() == 2 && text[0] == '1' && text[1] >= '0' && text[1] <= '5')
        return unsigned(10 + text[1] - '0');
    return std::nullopt;
}

} // namespace

std::optional<std::array<unsigned, 4>> parsePhysicalAddress(const std::string &text,
                                                            std::string &refusal)
{
    std::array<unsigned, 4> digits{};
    std::size_t start = 0;
    bool wellFormed = true;
    for (unsigned &digit : digits) {
        if (start > text.size()) { // fewer than four digits
            wellFormed = false;
            break;
        }
        const std::size_t end = std::min(text.find('.', start), text.size());
        const auto value = addressDigit(text.substr(start, end - start));
        wellFormed = wellFormed && value && (&digit == &digits[3]) == (end == text.size());
        digit = value.value_or(0);
        start = end + 1;
    }
    if (!wellFormed) {
        refusal = "a physical address is A.B.C.D with digits 0-f (or 10-15), not '" + text + "'";
        return std::nullopt;
    }
    // HDMI 1.4b 8.7: the digits after the first zero are all zero.
    for (int n = 1; n < 4; ++n)
        if (digits[n] && !digits[n - 1]) {
            refusal = "physical address " + text + " has a non-zero digit after a zero";
            return std::nullopt;
        }
    return digits;
}

std::string displayTextRefusal(const std::string &text, const char *what)
{
    if (text.empty() || text.size() > 13)
        return std::string("a ") + what + " has 1-13 characters; '" + text + "' has " +
               std::to_string(text.size());
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return std::string("a ") + what + " holds printable ASCII characters only";
    // The padding after the line feed is the only room for spaces at the end.
    if (text.back() == ' ')
        return std::string("a ") + what + " does not end in a space; '" + text + "' does";
    return {};
}
