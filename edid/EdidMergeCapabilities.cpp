#include "EdidMerging.h"

#include <algorithm>
#include <functional>

namespace merging {

namespace {

constexpr std::size_t kNone = std::size_t(-1);

using Has = std::function<bool(const EdidDescription &)>;

template <typename T> bool hasBlock(const EdidDescription &description)
{
    return blockOf<T>(description) != nullptr;
}

// The first of the first `count` inputs that lacks it; kNone when all have it.
std::size_t firstLacking(const std::vector<EdidDescription> &inputs, std::size_t count,
                         const Has &has)
{
    for (std::size_t input = 0; input < count; ++input)
        if (!has(inputs[input]))
            return input;
    return kNone;
}

// Notes a feature any input has: common to all, or left out for the first that lacks it. Returns
// whether all have it.
bool noteFeature(Notes &notes, MergeField field, const std::string &value,
                 const std::vector<EdidDescription> &inputs, std::size_t count, const Has &has)
{
    const std::size_t lacking = firstLacking(inputs, count, has);
    if (lacking == kNone)
        notes.add(field, count > 1 ? MergeAction::Common : MergeAction::From, value);
    else if (std::any_of(inputs.begin(), inputs.begin() + std::ptrdiff_t(count), has))
        notes.add(field, MergeAction::NotInInput, value, lacking);
    return lacking == kNone;
}

// Notes a block some inputs have as left out, for lacking's sake.
void noteLeftOut(Notes &notes, MergeField field, const std::vector<EdidDescription> &inputs,
                 std::size_t count, const Has &has, std::size_t lacking)
{
    if (std::any_of(inputs.begin(), inputs.begin() + std::ptrdiff_t(count), has))
        notes.add(field, MergeAction::NotInInput, "", lacking);
}

// The lowest of a rate in MHz the first `count` inputs state, noted with the input it is from.
std::optional<unsigned>
lowest(const std::vector<EdidDescription> &inputs, std::size_t count,
       const std::function<std::optional<unsigned>(const EdidDescription &)> &read,
       MergeField field, Notes &notes)
{
    std::optional<unsigned> low;
    std::size_t from = 0;
    for (std::size_t input = 0; input < count; ++input)
        if (const std::optional<unsigned> value = read(inputs[input]);
            value && (!low || *value < *low)) {
            low = value;
            from = input;
        }
    if (low)
        notes.add(field, count > 1 ? MergeAction::Lowest : MergeAction::From,
                  clockText(*low * 1000), from);
    return low;
}

// The identity's physical address, else the first input's that has one.
std::array<unsigned, 4> physicalAddress(const std::vector<EdidDescription> &inputs,
                                        std::size_t identity, Notes &notes)
{
    std::vector<std::size_t> order{identity};
    for (std::size_t input = 0; input < inputs.size(); ++input)
        order.push_back(input);
    for (std::size_t input : order)
        if (const HdmiVsdb *hdmi = blockOf<HdmiVsdb>(inputs[input]);
            hdmi && hdmi->physicalAddress) {
            notes.add(MergeField::PhysicalAddress, MergeAction::From,
                      physicalAddressText(*hdmi->physicalAddress), input);
            return *hdmi->physicalAddress;
        }
    return {1, 0, 0, 0};
}

// The HDMI VSDB's video fields all have: deep colour, AI, content types, the lowest TMDS clock.
HdmiVsdb commonHdmi(const std::vector<EdidDescription> &inputs, std::size_t count, Notes &notes)
{
    HdmiVsdb merged;
    const std::pair<const char *, bool HdmiVsdb::*> depths[] = {
        {"30 bits", &HdmiVsdb::deepColour30},
        {"36 bits", &HdmiVsdb::deepColour36},
        {"48 bits", &HdmiVsdb::deepColour48},
        {"YCbCr 4:4:4", &HdmiVsdb::deepColourY444}};
    for (const auto &[name, flag] : depths)
        merged.*flag = noteFeature(notes, MergeField::DeepColour, name, inputs, count,
                                   [flag = flag](const EdidDescription &d) {
                                       const HdmiVsdb *hdmi = blockOf<HdmiVsdb>(d);
                                       return hdmi && hdmi->*flag;
                                   });
    merged.supportsAi = firstLacking(inputs, count, [](const EdidDescription &d) {
                            const HdmiVsdb *hdmi = blockOf<HdmiVsdb>(d);
                            return hdmi && hdmi->supportsAi;
                        }) == kNone;
    merged.contentTypes = 0x0F;
    for (std::size_t input = 0; input < count; ++input) {
        const HdmiVsdb *hdmi = blockOf<HdmiVsdb>(inputs[input]);
        merged.contentTypes &= hdmi ? hdmi->contentTypes : 0;
    }
    merged.maxTmdsMhz = lowest(
        inputs, count,
        [](const EdidDescription &d) {
            const HdmiVsdb *hdmi = blockOf<HdmiVsdb>(d);
            return hdmi ? hdmi->maxTmdsMhz : std::nullopt;
        },
        MergeField::MaxTmds, notes);
    return merged;
}

template <typename T> std::optional<T> lower(const std::optional<T> &a, const std::optional<T> &b)
{
    return a && b ? std::optional<T>(std::min(*a, *b)) : std::nullopt;
}

// The HDMI Forum block's fields all have: the lowest rates, the features all share, the VRR
// range all take.
HdmiForumBlock commonForum(const std::vector<EdidDescription> &inputs, std::size_t count,
                           Notes &notes)
{
    using F = HdmiForumBlock;
    F merged = *blockOf<F>(inputs[0]);
    merged.capabilityBlock = false;
    merged.version = 1;
    merged.dsc = false; // its parameters are not carried
    for (std::size_t input = 1; input < count; ++input) {
        const F &f = *blockOf<F>(inputs[input]);
        merged.maxTmdsCharRateMhz = lower(merged.maxTmdsCharRateMhz, f.maxTmdsCharRateMhz);
        for (auto flag :
             {&F::scdcPresent, &F::readRequest, &F::ccbpci, &F::lte340Scrambling,
              &F::independentView3d, &F::dualView3d, &F::osdDisparity3d, &F::deepColour420_48,
              &F::deepColour420_36, &F::deepColour420_30, &F::allm, &F::fva})
            merged.*flag = merged.*flag && f.*flag;
        merged.maxFrlRate = lower(merged.maxFrlRate, f.maxFrlRate);
        const bool vrr = merged.vrrMax && f.vrrMax;
        merged.vrrMin =
            vrr ? std::optional(std::max(merged.vrrMin.value_or(0), f.vrrMin.value_or(0)))
                : std::nullopt;
        merged.vrrMax = lower(merged.vrrMax, f.vrrMax);
    }
    // A range all take, whose top is 100 Hz at least: conformance checks of this block refuse a
    // lower VRRmax, so none is declared rather than a faulty one.
    if (merged.vrrMax && (merged.vrrMin.value_or(0) >= *merged.vrrMax || *merged.vrrMax < 100))
        merged.vrrMin = merged.vrrMax = std::nullopt;
    if (merged.maxTmdsCharRateMhz)
        lowest(
            inputs, count,
            [](const EdidDescription &d) { return blockOf<F>(d)->maxTmdsCharRateMhz; },
            MergeField::HdmiForum, notes);
    else
        notes.add(MergeField::HdmiForum, count > 1 ? MergeAction::Common : MergeAction::From,
                  "up to 340 MHz");
    return merged;
}

// The transfer functions and luminances all have.
HdrStaticBlock commonHdr(const std::vector<EdidDescription> &inputs, std::size_t count,
                         Notes &notes)
{
    HdrStaticBlock merged = *blockOf<HdrStaticBlock>(inputs[0]);
    for (std::size_t input = 1; input < count; ++input) {
        const HdrStaticBlock &h = *blockOf<HdrStaticBlock>(inputs[input]);
        merged.eotfs &= h.eotfs;
        merged.descriptors &= h.descriptors;
        merged.maxLuminance = lower(merged.maxLuminance, h.maxLuminance);
        merged.maxFrameAverage = lower(merged.maxFrameAverage, h.maxFrameAverage);
        merged.minLuminance = merged.minLuminance && h.minLuminance
                                  ? std::optional(std::max(*merged.minLuminance, *h.minLuminance))
                                  : std::nullopt;
    }
    // The luminances are written in order: one missing ends them.
    if (!merged.maxLuminance)
        merged.maxFrameAverage = std::nullopt;
    if (!merged.maxFrameAverage)
        merged.minLuminance = std::nullopt;
    static const char *const kEotfs[] = {"traditional SDR", "traditional HDR", "SMPTE ST 2084",
                                         "hybrid log-gamma"};
    for (unsigned bit = 0; bit < 4; ++bit)
        noteFeature(notes, MergeField::Hdr, kEotfs[bit], inputs, count,
                    [bit](const EdidDescription &d) {
                        const HdrStaticBlock *hdr = blockOf<HdrStaticBlock>(d);
                        return hdr && hdr->eotfs & 1u << bit;
                    });
    return merged;
}

// The colorimetry data block's standards all have; the video capability block's quantization
// ranges all select, the first input's scan behaviour.
void commonColour(const std::vector<EdidDescription> &inputs, std::size_t count, MergedVideo &video,
                  Notes &notes)
{
    if (firstLacking(inputs, count, hasBlock<ColorimetryBlock>) == kNone) {
        ColorimetryBlock merged{0xFF, 0xFF};
        for (std::size_t input = 0; input < count; ++input) {
            merged.colorimetry &= blockOf<ColorimetryBlock>(inputs[input])->colorimetry;
            merged.metadata &= blockOf<ColorimetryBlock>(inputs[input])->metadata;
        }
        if (merged.colorimetry || merged.metadata)
            video.colorimetry = merged;
    }
    const auto colorimetryHas = [](const char *name) {
        return [name](const EdidDescription &d) {
            const ColorimetryBlock *block = blockOf<ColorimetryBlock>(d);
            const std::vector<const char *> names =
                block ? block->colorimetries() : std::vector<const char *>();
            return std::any_of(names.begin(), names.end(),
                               [name](const char *n) { return std::string(n) == name; });
        };
    };
    ColorimetryBlock all{0xFF, 0xFF};
    for (const char *name : all.colorimetries())
        noteFeature(notes, MergeField::Colorimetry, name, inputs, count, colorimetryHas(name));
    // Quantization ranges all select; the first input's scan behaviour, with the underscan flag
    // that must agree with it.
    video.flags.underscan = true;
    for (std::size_t input = 0; input < count; ++input)
        video.flags.underscan =
            video.flags.underscan && inputs[input].cta && inputs[input].cta->flags.value.underscan;
    if (firstLacking(inputs, count, hasBlock<VideoCapabilityBlock>) != kNone)
        return;
    video.capability = *blockOf<VideoCapabilityBlock>(inputs[0]);
    video.flags.underscan = inputs[0].cta->flags.value.underscan;
    for (std::size_t input = 1; input < count; ++input) {
        const VideoCapabilityBlock &capability = *blockOf<VideoCapabilityBlock>(inputs[input]);
        video.capability->quantRgb = video.capability->quantRgb && capability.quantRgb;
        video.capability->quantYcc = video.capability->quantYcc && capability.quantYcc;
    }
}

} // namespace

std::optional<std::uint32_t> MergedVideo::maxTmdsKhz() const
{
    if (forum && forum->maxFrlRate.value_or(0) > 0)
        return std::nullopt;
    const std::optional<unsigned> mhz = forum && forum->maxTmdsCharRateMhz
                                            ? forum->maxTmdsCharRateMhz
                                            : (hdmi ? hdmi->maxTmdsMhz : std::nullopt);
    return mhz ? std::optional<std::uint32_t>(*mhz * 1000) : std::nullopt;
}

MergedVideo mergeVideo(const std::vector<EdidDescription> &inputs, std::size_t count,
                       const MergeOptions &options, Notes &notes)
{
    MergedVideo video;
    const std::size_t noHdmi = firstLacking(inputs, count, hasBlock<HdmiVsdb>);
    if (noHdmi == kNone) {
        video.hdmi = commonHdmi(inputs, count, notes);
        video.hdmi->physicalAddress = physicalAddress(inputs, options.identityFrom, notes);
    } else if (hasBlock<HdmiVsdb>(inputs[options.identityFrom])) {
        notes.add(MergeField::PhysicalAddress, MergeAction::NotInInput, "", noHdmi);
    }
    // Without an HDMI VSDB a source sends RGB alone.
    for (auto [flag, name] : {std::pair{&CtaFlags::ycbcr444, "YCbCr 4:4:4"},
                              std::pair{&CtaFlags::ycbcr422, "YCbCr 4:2:2"}})
        video.flags.*flag =
            noteFeature(notes, MergeField::ColourFormat, name, inputs, count,
                        [flag = flag](const EdidDescription &d) {
                            return d.cta && d.cta->flags.value.*flag && hasBlock<HdmiVsdb>(d);
                        }) &&
            video.hdmi;
    const std::size_t noForum = firstLacking(inputs, count, hasBlock<HdmiForumBlock>);
    if (video.hdmi && noForum == kNone)
        video.forum = commonForum(inputs, count, notes);
    else
        noteLeftOut(notes, MergeField::HdmiForum, inputs, count, hasBlock<HdmiForumBlock>,
                    noForum == kNone ? noHdmi : noForum);
    const std::size_t noHdr = firstLacking(inputs, count, hasBlock<HdrStaticBlock>);
    if (noHdr == kNone) {
        if (HdrStaticBlock hdr = commonHdr(inputs, count, notes); hdr.eotfs)
            video.hdr = hdr;
    } else {
        noteLeftOut(notes, MergeField::Hdr, inputs, count, hasBlock<HdrStaticBlock>, noHdr);
    }
    commonColour(inputs, count, video, notes);
    return video;
}

} // namespace merging
