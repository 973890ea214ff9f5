#include "EdidDecoding.h"
#include "EdidModes.h"

#include <algorithm>

namespace edid_decoding {

namespace {

// What of a timing lies outside the range limits, in words; the limits are whole numbers, so a
// rate counts as outside when it rounds outside.
std::vector<std::string> outsideLimits(const RangeLimits &limits, std::uint32_t clockKhz,
                                       double khz, double hz)
{
    std::vector<std::string> outside;
    if (clockKhz > limits.maxPixelClockMhz * 1000)
        outside.push_back(withNumber("pixel clock %.2f MHz above %u MHz", clockKhz / 1000.0,
                                     limits.maxPixelClockMhz));
    const unsigned lineRate = unsigned(khz + 0.5);
    if (lineRate < limits.minHorizontalKhz || lineRate > limits.maxHorizontalKhz)
        outside.push_back(withNumber("line rate %.3f kHz outside %u-%u kHz", khz,
                                     limits.minHorizontalKhz, limits.maxHorizontalKhz));
    const unsigned refresh = unsigned(hz + 0.5);
    if (refresh < limits.minVerticalHz || refresh > limits.maxVerticalHz)
        outside.push_back(withNumber("refresh %.3f Hz outside %u-%u Hz", hz, limits.minVerticalHz,
                                     limits.maxVerticalHz));
    return outside;
}

std::string joined(const std::vector<std::string> &parts, const char *separator)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

const std::vector<ShortVideoDescriptor> kNoSvds;

} // namespace

EdidDescription Decoder::run()
{
    out_.image = image_;
    decodeBase();
    decodeExtension();
    checkAcrossBlocks();
    std::stable_sort(
        out_.findings.begin(), out_.findings.end(),
        [](const EdidFinding &a, const EdidFinding &b) { return a.offset < b.offset; });
    return std::move(out_);
}

void Decoder::checkChecksum(std::size_t blockStart, Field<BlockChecksum> &checksum)
{
    const std::size_t offset = blockStart + kBlock - 1;
    const BlockChecksum value = blockChecksum(image_, blockStart / kBlock);
    checksum = field(value, offset, 1);
    if (!value.isCorrect())
        error(FindingKind::Checksum, offset,
              "block " + std::to_string(blockStart / kBlock) + " checksum is " +
                  hex2(value.stored) + ", should be " + hex2(value.correct));
}

void Decoder::checkAcrossBlocks()
{
    checkRangeLimits();
    if (!out_.cta)
        return;
    const CtaExtension &cta = *out_.cta;
    if (cta.flags.value.nativeDtds > dtdCount_)
        warning(FindingKind::NativeDtds, kCta + 3,
                withNumber("%u native DTDs are claimed, but the EDID holds %u",
                           cta.flags.value.nativeDtds, dtdCount_));
    checkHdmiVsdbPresent();
    checkBasicAudio();
    checkDuplicateVics();
    checkHdmiVics();
    checkMaxTmds();
}

// HDMI 2.0 10.2: a sink lists its 4K formats of HDMI 1.4 as VICs too, for sources of today.
void Decoder::checkHdmiVics()
{
    static const unsigned kVicOf[] = {0, 95, 94, 93, 98};
    std::vector<unsigned> vics;
    for (const CtaDataBlock &block : out_.cta->dataBlocks)
        if (const auto *video = std::get_if<VideoBlock>(&block.payload))
            for (const ShortVideoDescriptor &svd : video->descriptors)
                vics.push_back(svd.vic);
    for (const CtaDataBlock &block : out_.cta->dataBlocks)
        if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload))
            for (unsigned hdmiVic : hdmi->hdmiVics)
                if (hdmiVic >= 1 && hdmiVic <= 4 &&
                    std::find(vics.begin(), vics.end(), kVicOf[hdmiVic]) == vics.end())
                    warning(FindingKind::HdmiVicWithoutVic, block.bytes.offset,
                            withNumber("HDMI VIC %u is listed without VIC %u, its CTA-861 "
                                       "equivalent",
                                       hdmiVic, kVicOf[hdmiVic]));
}

// Without an HDMI VSDB a source takes the display for DVI: what it declares beyond DVI is lost.
// Of a collection cut short nothing can be said to be missing.
void Decoder::checkHdmiVsdbPresent()
{
    if (!collectionRead_)
        return;
    const CtaExtension &cta = *out_.cta;
    const CtaDataBlock *audio = nullptr;
    const CtaDataBlock *yuv420 = nullptr;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        if (std::holds_alternative<HdmiVsdb>(block.payload))
            return;
        if (!audio && std::holds_alternative<AudioBlock>(block.payload))
            audio = &block;
        if (!yuv420 && (std::holds_alternative<Ycbcr420VideoBlock>(block.payload) ||
                        std::holds_alternative<Ycbcr420CapabilityMap>(block.payload)))
            yuv420 = &block;
    }
    const CtaFlags &flags = cta.flags.value;
    const char *declared = nullptr;
    const char *lost = nullptr;
    std::size_t offset = kCta + 3;
    if (flags.basicAudio || audio) {
        declared = "audio";
        lost = "no audio";
        if (!flags.basicAudio)
            offset = audio->bytes.offset;
    } else if (flags.ycbcr444 || flags.ycbcr422) {
        declared = "YCbCr";
        lost = "RGB only";
    } else if (yuv420) {
        declared = "YCbCr 4:2:0 modes";
        lost = "none of them";
        offset = yuv420->bytes.offset;
    } else {
        return;
    }
    error(FindingKind::NoHdmiVsdb, offset,
          std::string("there is no HDMI VSDB although the extension declares ") + declared +
              ": a source then treats the display as DVI and sends " + lost);
}

// Audio blocks say what a source may send once basic audio (byte 3 bit 6) allows any.
void Decoder::checkBasicAudio()
{
    const CtaExtension &cta = *out_.cta;
    if (cta.revision.value < 2 || cta.flags.value.basicAudio)
        return;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        using E = CtaExtendedTag;
        const bool sound = block.tag == CtaTag::Audio || block.tag == CtaTag::SpeakerAllocation ||
                           (block.extendedTag && (E(*block.extendedTag) == E::VendorSpecificAudio ||
                                                  E(*block.extendedTag) == E::HdmiAudio));
        if (sound) {
            error(FindingKind::AudioWithoutBasicAudio, block.bytes.offset,
                  blockName(block.tag, block.extendedTag) +
                      " declares audio, but basic audio (byte 3 bit 6) is off, so a source sends "
                      "none");
            return;
        }
    }
}

void Decoder::checkDuplicateVics()
{
    std::array<std::size_t, 256> firstAt{};
    std::array<bool, 256> reported{}; // once for each VIC, however often it repeats
    for (const CtaDataBlock &block : out_.cta->dataBlocks)
        if (const auto *video = std::get_if<VideoBlock>(&block.payload))
            for (const ShortVideoDescriptor &svd : video->descriptors) {
                if (!svd.vic || svd.vic > 255)
                    continue;
                if (!firstAt[svd.vic]) {
                    firstAt[svd.vic] = svd.bytes.offset;
                } else if (!reported[svd.vic]) {
                    reported[svd.vic] = true;
                    error(FindingKind::DuplicateVic, svd.bytes.offset,
                          withNumber("VIC %u is listed again", svd.vic));
                }
            }
}

// The modes need a TMDS clock the sink takes: the HDMI Forum block's rate above 340 MHz, else
// the HDMI VSDB's. A mode a source may send as YCbCr 4:2:0 needs half its pixel clock; a sink
// with fixed rate links (FRL) takes faster modes that way. A DTD above it is a warning only: many
// displays reuse the DTDs of their DisplayPort input.
void Decoder::checkMaxTmds()
{
    const CtaExtension &cta = *out_.cta;
    std::optional<unsigned> vsdbMhz, forumMhz;
    bool frl = false;
    std::vector<unsigned> yuv420Vics;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload))
            vsdbMhz = vsdbMhz ? vsdbMhz : hdmi->maxTmdsMhz;
        else if (const auto *forum = std::get_if<HdmiForumBlock>(&block.payload)) {
            forumMhz = forumMhz ? forumMhz : forum->maxTmdsCharRateMhz;
            frl = frl || forum->maxFrlRate.value_or(0) > 0;
        } else if (const auto *map = std::get_if<Ycbcr420CapabilityMap>(&block.payload))
            yuv420Vics.insert(yuv420Vics.end(), map->vics.begin(), map->vics.end());
    }
    const std::optional<unsigned> limit = forumMhz ? forumMhz : vsdbMhz;
    if (!limit || frl)
        return;
    const char *source = forumMhz ? "HDMI Forum block" : "HDMI VSDB";
    const auto check = [&](const std::string &name, const VideoMode &mode, bool yuv420,
                           std::size_t offset, Severity severity) {
        const std::uint32_t clock = mode.pixelClockKhz / (yuv420 ? 2 : 1);
        if (clock > *limit * 1000)
            find(FindingKind::AboveMaxTmds, severity, offset,
                 name + " (" + timingName(mode) + ") needs " + clockText(clock) +
                     withNumber(", more than the %u MHz TMDS clock the %s allows", *limit, source) +
                     (yuv420 ? " (as YCbCr 4:2:0)" : ""));
    };
    for (const CtaDataBlock &block : cta.dataBlocks) {
        const auto *video = std::get_if<VideoBlock>(&block.payload);
        const auto *only420 = std::get_if<Ycbcr420VideoBlock>(&block.payload);
        for (const ShortVideoDescriptor &svd : video     ? video->descriptors
                                               : only420 ? only420->descriptors
                                                         : kNoSvds)
            if (const VideoMode *mode = ctaVideoMode(svd.vic))
                check("VIC " + std::to_string(svd.vic), *mode,
                      only420 || std::count(yuv420Vics.begin(), yuv420Vics.end(), svd.vic),
                      svd.bytes.offset, Severity::Error);
        if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload))
            for (unsigned vic : hdmi->hdmiVics)
                if (const VideoMode *mode = hdmiVideoMode(vic))
                    check("HDMI VIC " + std::to_string(vic), *mode, false, block.bytes.offset,
                          Severity::Error);
    }
    unsigned number = 0;
    for (const DetailedTiming *timing : detailedTimings(out_))
        check("DTD " + std::to_string(++number), timingMode(*timing), false, timing->bytes.offset,
              Severity::Warning);
}

void Decoder::checkRangeLimits()
{
    const RangeLimits *limits = nullptr;
    for (const Descriptor &descriptor : out_.base.descriptors)
        if (const auto *found = std::get_if<RangeLimits>(&descriptor.payload))
            limits = found;
    if (!limits)
        return;
    unsigned number = 0;
    for (const DetailedTiming *t : detailedTimings(out_)) {
        ++number;
        if (!t->hTotal() || !t->frameLines())
            continue;
        const double khz = double(t->pixelClockKhz) / t->hTotal();
        const double hz = khz * 1000 / t->frameLines() * (t->interlaced ? 2 : 1);
        const std::vector<std::string> outside = outsideLimits(*limits, t->pixelClockKhz, khz, hz);
        if (!outside.empty())
            warning(FindingKind::OutsideRangeLimits, t->bytes.offset,
                    "DTD " + std::to_string(number) +
                        " lies outside the range limits: " + joined(outside, "; "));
    }
    checkVicsInRangeLimits(*limits);
}

// A VIC's rates are the extension's business, but no timing may need a pixel clock above the
// limits' maximum.
void Decoder::checkVicsInRangeLimits(const RangeLimits &limits)
{
    if (!out_.cta)
        return;
    const auto check = [&](const std::string &name, const VideoMode *mode, std::size_t offset) {
        if (mode && mode->pixelClockKhz > limits.maxPixelClockMhz * 1000)
            warning(FindingKind::OutsideRangeLimits, offset,
                    name + " (" + timingName(*mode) + ") needs a pixel clock of " +
                        clockText(mode->pixelClockKhz) +
                        withNumber(", above the range limits' %u MHz", limits.maxPixelClockMhz));
    };
    for (const CtaDataBlock &block : out_.cta->dataBlocks) {
        if (const auto *video = std::get_if<VideoBlock>(&block.payload))
            for (const ShortVideoDescriptor &svd : video->descriptors)
                check("VIC " + std::to_string(svd.vic), ctaVideoMode(svd.vic), svd.bytes.offset);
        if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload))
            for (unsigned vic : hdmi->hdmiVics)
                check("HDMI VIC " + std::to_string(vic), hdmiVideoMode(vic), block.bytes.offset);
    }
}

} // namespace edid_decoding

EdidDescription decodeEdid(const EdidImage &image)
{
    return edid_decoding::Decoder(image).run();
}

VideoMode timingMode(const DetailedTiming &timing)
{
    VideoMode mode{};
    mode.hActive = std::uint16_t(timing.hActive);
    mode.vActive = std::uint16_t(timing.vActive);
    mode.pixelClockKhz = timing.pixelClockKhz;
    mode.interlaced = timing.interlaced;
    mode.hFront = std::uint16_t(timing.hFront);
    mode.hSync = std::uint16_t(timing.hSync);
    mode.hBack = std::uint16_t(std::max(0, int(timing.hBlank) - int(timing.hFront + timing.hSync)));
    mode.hSyncPositive = timing.hSyncPositive();
    mode.vFront = std::uint16_t(timing.vFront);
    mode.vSync = std::uint16_t(timing.vSync);
    mode.vBack = std::uint16_t(std::max(0, int(timing.vBlank) - int(timing.vFront + timing.vSync)));
    mode.vSyncPositive = timing.vSyncPositive();
    return mode;
}

std::vector<const DetailedTiming *> detailedTimings(const EdidDescription &description)
{
    std::vector<const DetailedTiming *> timings;
    for (const Descriptor &descriptor : description.base.descriptors)
        if (const auto *timing = std::get_if<DetailedTiming>(&descriptor.payload))
            timings.push_back(timing);
    if (description.cta)
        for (const DetailedTiming &timing : description.cta->detailedTimings)
            timings.push_back(&timing);
    return timings;
}
