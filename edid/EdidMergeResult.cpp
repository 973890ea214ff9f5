#include "EdidEncoder.h"
#include "EdidMerging.h"

#include <algorithm>
#include <tuple>

using namespace merging;

namespace {

constexpr std::size_t kMaxSvds = 31;         // a data block's payload
constexpr std::size_t kMaxYcbcr420Svds = 30; // after the extended tag
constexpr std::size_t kMaxHdmiVics = 7;      // HDMI_VIC_LEN has three bits
constexpr std::size_t kMaxStandardTimings = 8;
constexpr unsigned kCtaRevision = 3;

std::string refusalOf(const std::vector<EdidDescription> &inputs, const MergeOptions &options)
{
    const std::size_t count = inputs.size();
    if (count < 2)
        return "a merge takes two EDIDs or more";
    for (std::size_t input = 0; input < count; ++input)
        if (!inputs[input].base.headerValid.value)
            return mergeInputName(input) +
                   " holds no EDID: its header is not 00 FF FF FF FF FF FF 00";
    const std::string there = ": there are " + std::to_string(count) + " inputs";
    if (options.audio == MergeOptions::Audio::From && options.audioFrom >= count)
        return "audio from " + mergeInputName(options.audioFrom) + there;
    if (options.identityFrom >= count)
        return "identity from " + mergeInputName(options.identityFrom) + there;
    return {};
}

const Descriptor *identityText(const BaseBlock &base, Descriptor::Kind kind)
{
    for (const Descriptor &descriptor : base.descriptors)
        if (descriptor.kind == kind)
            return &descriptor;
    return nullptr;
}

// The identity's text written anew: without the spaces that padded it, which its line feed now
// ends.
std::optional<Descriptor> identityTextOf(const BaseBlock &base, Descriptor::Kind kind)
{
    const Descriptor *descriptor = identityText(base, kind);
    if (!descriptor)
        return std::nullopt;
    std::string text = std::get<DisplayText>(descriptor->payload).text;
    text.erase(text.find_last_not_of(' ') + 1);
    return textDescriptor(kind, text);
}

// The base block's slots for DTDs: four less the range limits, the name and the serial text.
std::size_t baseDtdRoom(const BaseBlock &identity)
{
    return 3 - (identityText(identity, Descriptor::Kind::ProductName) ? 1 : 0) -
           (identityText(identity, Descriptor::Kind::SerialText) ? 1 : 0);
}

// What the result lists, and for each kept timing whether it is listed.
struct Listing {
    std::vector<DetailedTiming> dtds; // the preferred timing first
    std::vector<std::size_t> dtdOwners;
    std::vector<EstablishedTimingBit> established;
    std::vector<StandardTiming> standard;
    std::vector<ShortVideoDescriptor> svds, only420;
    std::vector<unsigned> also420; // indices into svds
    std::vector<unsigned> hdmiVics;
    std::vector<bool> listed;
};

// A standard timing of the DMT mode, where its size has one of the four aspect ratios.
std::optional<StandardTiming> standardTiming(const DmtMode &dmt)
{
    const unsigned width = dmt.mode.hActive, height = dmt.mode.vActive;
    for (const auto &[w, h] : {std::pair{16u, 10u}, {4u, 3u}, {5u, 4u}, {16u, 9u}})
        if (width * h == height * w && width % 8 == 0 && width >= 256 && width <= 2288)
            return StandardTiming{{}, width, height, dmt.refreshHz, w, h};
    return std::nullopt;
}

bool addSvd(std::vector<ShortVideoDescriptor> &svds, unsigned vic, std::size_t room)
{
    if (std::any_of(svds.begin(), svds.end(),
                    [vic](const ShortVideoDescriptor &svd) { return svd.vic == vic; }))
        return true;
    if (svds.size() >= room)
        return false;
    svds.push_back({{}, vic, false});
    return true;
}

// Lists timing n as VICs, HDMI VICs, an established or standard timing, or else as a DTD.
void place(const MergedTiming &timing, std::size_t n, bool cta, bool hdmi, const ScreenSize &size,
           std::size_t svdRoom, Listing &listing)
{
    bool placed = listing.listed[n];
    for (unsigned vic : cta ? timing.vics : std::vector<unsigned>()) {
        const std::size_t index = listing.svds.size();
        const bool added = timing.full
                               ? addSvd(listing.svds, vic, svdRoom)
                               : addSvd(listing.only420, vic, std::min(svdRoom, kMaxYcbcr420Svds));
        if (added && timing.full && timing.ycbcr420 && index < listing.svds.size())
            listing.also420.push_back(unsigned(index));
        placed = placed || added;
    }
    if (hdmi && timing.full)
        for (unsigned vic : timing.hdmiVics)
            if (listing.hdmiVics.size() < kMaxHdmiVics) {
                listing.hdmiVics.push_back(vic);
                placed = true;
            }
    if (!placed && timing.full && timing.establishedBit) {
        listing.established.push_back({{}, *timing.establishedBit});
        placed = true;
    }
    if (!placed && timing.full && timing.standard && listing.standard.size() < kMaxStandardTimings)
        if (const auto standard = standardTiming(*timing.standard)) {
            listing.standard.push_back(*standard);
            placed = true;
        }
    if (!placed && timing.full)
        if (const auto dtd = detailedTiming(timing.mode, size.widthCm * 10, size.heightCm * 10)) {
            listing.dtds.push_back(*dtd);
            listing.dtdOwners.push_back(n);
            placed = true;
        }
    listing.listed[n] = placed;
}

// The first input's preferred timing where all accept it, else the largest they all accept.
std::optional<std::size_t> preferredTiming(const std::vector<MergedTiming> &timings,
                                           const EdidDescription &first, Notes &notes)
{
    const std::optional<VideoMode> wanted = preferredMode(first);
    std::optional<std::size_t> chosen;
    for (std::size_t n = 0; n < timings.size(); ++n) {
        const MergedTiming &t = timings[n];
        if (!t.full || !detailedTiming(t.mode, 0, 0))
            continue;
        if (wanted && sameTiming(t.mode, *wanted)) {
            notes.add(MergeField::PreferredTiming, MergeAction::From, t.name(), 0);
            return n;
        }
        const auto size = [](const VideoMode &m) {
            return std::make_tuple(std::uint64_t(m.hActive) * m.vActive, refreshRate(m).hz(),
                                   !m.interlaced);
        };
        if (!chosen || size(t.mode) > size(timings[*chosen].mode))
            chosen = n;
    }
    if (chosen)
        notes.add(MergeField::PreferredTiming, MergeAction::Largest, timings[*chosen].name());
    return chosen;
}

// Timings the result's TMDS clock cannot carry go, or stay as YCbCr 4:2:0 at half the clock;
// without an HDMI VSDB no timing is sent as YCbCr 4:2:0.
void keepWithinRate(std::vector<MergedTiming> &timings, const MergedVideo &video, Notes &notes)
{
    const std::optional<std::uint32_t> limit = video.maxTmdsKhz();
    std::vector<MergedTiming> kept;
    for (MergedTiming &timing : timings) {
        const std::uint32_t clock = timing.mode.pixelClockKhz;
        const bool tooFast = limit && clock / (timing.full ? 1 : 2) > *limit;
        timing.ycbcr420 = timing.ycbcr420 && video.hdmi && !timing.vics.empty() &&
                          (!limit || clock / 2 <= *limit);
        if (timing.full && limit && clock > *limit && timing.ycbcr420) // stays as 4:2:0
            notes.add(MergeField::Timing, MergeAction::AboveRate, timingName(timing.mode));
        timing.full = timing.full && (!limit || clock <= *limit);
        if (timing.full || timing.ycbcr420)
            kept.push_back(timing);
        else
            notes.add(MergeField::Timing, tooFast ? MergeAction::AboveRate : MergeAction::NoRoom,
                      timingName(timing.mode));
    }
    timings = std::move(kept);
}

// The CTA-861 data blocks of the result, the HDMI Forum block right after the HDMI VSDB.
std::vector<CtaDataBlock> dataBlocks(const Listing &listing, const MergedVideo &video,
                                     const MergedAudio &audio)
{
    std::vector<CtaDataBlock> blocks;
    const auto extended = [&blocks](CtaExtendedTag tag, CtaDataBlock::Payload payload) {
        blocks.push_back(dataBlockOf(CtaTag::Extended, unsigned(tag), std::move(payload)));
    };
    if (!listing.svds.empty())
        blocks.push_back(videoBlock(listing.svds));
    if (!audio.descriptors.empty()) {
        blocks.push_back(audioBlock(audio.descriptors));
        blocks.push_back(speakerBlock(audio.speakers));
    }
    if (video.hdmi) {
        HdmiVsdb hdmi = *video.hdmi;
        hdmi.hdmiVics = listing.hdmiVics;
        hdmi.hdmiVideoPresent = !hdmi.hdmiVics.empty();
        blocks.push_back(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, hdmi));
    }
    if (video.forum)
        blocks.push_back(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, *video.forum));
    if (video.capability)
        extended(CtaExtendedTag::VideoCapability, *video.capability);
    if (video.colorimetry)
        extended(CtaExtendedTag::Colorimetry, *video.colorimetry);
    if (video.hdr)
        extended(CtaExtendedTag::HdrStaticMetadata, *video.hdr);
    if (!listing.only420.empty())
        extended(CtaExtendedTag::Ycbcr420Video, Ycbcr420VideoBlock{listing.only420});
    if (!listing.also420.empty()) {
        Ycbcr420CapabilityMap map;
        map.svdIndices = listing.also420;
        map.allSvds = listing.also420.size() == listing.svds.size();
        extended(CtaExtendedTag::Ycbcr420CapabilityMap, map);
    }
    return blocks;
}

std::size_t sizeOf(const std::vector<CtaDataBlock> &blocks)
{
    std::size_t size = 0;
    for (const CtaDataBlock &block : blocks)
        size += encodeDataBlock(block).size();
    return size;
}

// What the merge decided, to be written.
struct Merged {
    const EdidDescription *identity = nullptr;
    std::vector<MergedTiming> timings = {};
    std::size_t preferred = 0;
    MergedVideo video = {};
    MergedAudio audio = {};
    bool cta = false;
};

constexpr std::size_t kCtaRoom = kCtaChecksum - kCtaStart - 4; // after the extension's header

// Lists the timings, as many VICs as leave the data blocks room, as many DTDs as fit after them.
Listing listTimings(const Merged &merged, std::size_t baseDtdRoom,
                    std::vector<CtaDataBlock> &blocks)
{
    const ScreenSize &size = merged.identity->base.screenSize.value;
    for (std::size_t svdRoom = kMaxSvds;; --svdRoom) {
        Listing listing;
        listing.listed.assign(merged.timings.size(), false);
        listing.dtds.push_back(*detailedTiming(merged.timings[merged.preferred].mode,
                                               size.widthCm * 10, size.heightCm * 10));
        listing.dtdOwners.push_back(merged.preferred);
        listing.listed[merged.preferred] = true;
        for (std::size_t n = 0; n < merged.timings.size(); ++n)
            place(merged.timings[n], n, merged.cta, merged.video.hdmi.has_value(), size, svdRoom,
                  listing);
        blocks = merged.cta ? dataBlocks(listing, merged.video, merged.audio)
                            : std::vector<CtaDataBlock>();
        const std::size_t used = sizeOf(blocks);
        if (used > kCtaRoom && svdRoom > 0)
            continue;
        const std::size_t ctaDtdRoom = merged.cta && used <= kCtaRoom ? (kCtaRoom - used) / 18 : 0;
        const std::size_t dtdRoom = baseDtdRoom + ctaDtdRoom;
        for (std::size_t n = dtdRoom; n < listing.dtds.size(); ++n)
            listing.listed[listing.dtdOwners[n]] = false;
        listing.dtds.resize(std::min(dtdRoom, listing.dtds.size()));
        return listing;
    }
}

BaseBlock baseBlock(const Merged &merged, const Listing &listing, const RangeLimits &range)
{
    const BaseBlock &identity = merged.identity->base;
    BaseBlock base;
    base.manufacturer = identity.manufacturer;
    base.productCode = identity.productCode;
    base.serialNumber = identity.serialNumber;
    base.week = identity.week;
    base.year = identity.year;
    const bool v14 = identity.version.value.atLeast14();
    base.version.value = {1, std::uint8_t(v14 ? 4 : 3)};
    base.input.value = identity.input.value;
    if (!base.input.value.digital)
        base.input.value = {true, 0, 0, 0x80};
    base.screenSize = identity.screenSize;
    base.gammaHundredths = identity.gammaHundredths;
    base.chromaticity = identity.chromaticity;
    base.features = identity.features;
    base.features.value.preferredTimingNative = true;
    base.features.value.continuousFrequency = false; // the timings listed, nothing between them
    if (v14) // the colour encodings as the extension declares them
        base.features.value.colourType =
            (merged.video.flags.ycbcr444 ? 1 : 0) | (merged.video.flags.ycbcr422 ? 2 : 0);
    base.establishedTimings = listing.established;
    base.standardTimings = listing.standard;
    RangeLimits limits = range;
    limits.subtype = v14 ? 1 : 0; // range limits only; EDID 1.3 knows only the GTF ones
    if (!v14)                     // nor rates above 255
        for (unsigned *rate : {&limits.minVerticalHz, &limits.maxVerticalHz,
                               &limits.minHorizontalKhz, &limits.maxHorizontalKhz})
            *rate = std::min(*rate, 255u);
    std::vector<Descriptor> descriptors;
    for (std::size_t n = 0; n < listing.dtds.size() && n < baseDtdRoom(identity); ++n)
        descriptors.push_back(descriptorOf(listing.dtds[n]));
    if (const auto serial = identityTextOf(identity, Descriptor::Kind::SerialText))
        descriptors.push_back(*serial);
    descriptors.push_back(rangeLimitsDescriptor(limits));
    if (const auto name = identityTextOf(identity, Descriptor::Kind::ProductName))
        descriptors.push_back(*name);
    descriptors.resize(4, dummyDescriptor());
    std::copy(descriptors.begin(), descriptors.end(), base.descriptors.begin());
    base.extensionCount.value = merged.cta ? 1 : 0;
    return base;
}

void assemble(const Merged &merged, const std::vector<EdidDescription> &inputs, std::size_t count,
              MergeResult &result, Notes &notes)
{
    std::vector<CtaDataBlock> blocks;
    const std::size_t baseRoom = baseDtdRoom(merged.identity->base);
    const Listing listing = listTimings(merged, baseRoom, blocks);
    std::vector<VideoMode> listed;
    for (std::size_t n = 0; n < merged.timings.size(); ++n) {
        const MergedTiming &timing = merged.timings[n];
        if (listing.listed[n])
            listed.push_back(timing.mode);
        if (n != merged.preferred)
            notes.add(MergeField::Timing,
                      !listing.listed[n] ? MergeAction::NoRoom
                      : count > 1        ? MergeAction::Common
                                         : MergeAction::From,
                      timing.name());
    }
    EdidDescription description;
    description.base = baseBlock(merged, listing, mergeRangeLimits(inputs, count, listed, notes));
    if (merged.cta) {
        CtaExtension cta;
        cta.revision.value = kCtaRevision;
        cta.flags.value = merged.video.flags;
        cta.flags.value.basicAudio = merged.audio.basicAudio;
        cta.dataBlocks = std::move(blocks);
        if (listing.dtds.size() > baseRoom)
            cta.detailedTimings.assign(listing.dtds.begin() + std::ptrdiff_t(baseRoom),
                                       listing.dtds.end());
        description.cta = std::move(cta);
    }
    result.merged = decodeEdid(encodeEdid(description));
    std::stable_sort(result.notes.begin(), result.notes.end(),
                     [](const MergeNote &a, const MergeNote &b) { return a.field < b.field; });
}

} // namespace

MergeResult mergeEdids(const std::vector<EdidDescription> &inputs, const MergeOptions &options)
{
    MergeResult result;
    result.refusal = refusalOf(inputs, options);
    if (!result.refusal.empty())
        return result;
    Notes notes{result.notes};
    const std::size_t count = options.video == MergeOptions::Video::First ? 1 : inputs.size();
    Merged merged;
    merged.identity = &inputs[options.identityFrom];
    const BaseBlock &identity = merged.identity->base;
    const Descriptor *name = identityText(identity, Descriptor::Kind::ProductName);
    notes.add(MergeField::Identity, MergeAction::From,
              identity.manufacturer.value + " " + std::to_string(identity.productCode.value) +
                  (name ? " '" + std::get<DisplayText>(name->payload).text + "'" : ""),
              options.identityFrom);
    std::vector<std::vector<AcceptedMode>> modes;
    for (std::size_t input = 0; input < count; ++input)
        modes.push_back(acceptedModes(inputs[input]));
    merged.timings = mergeTimings(modes, count, notes);
    merged.video = mergeVideo(inputs, count, options, notes);
    // Audio that not every display plays needs the HDMI VSDB that tells a source to send it.
    const auto noHdmi =
        std::find_if(inputs.begin(), inputs.begin() + std::ptrdiff_t(count),
                     [](const EdidDescription &input) { return !blockOf<HdmiVsdb>(input); });
    if (merged.video.hdmi || options.audio == MergeOptions::Audio::Common)
        merged.audio = mergeAudio(inputs, options, notes);
    else
        notes.add(MergeField::Audio, MergeAction::NoHdmi, "", std::size_t(noHdmi - inputs.begin()));
    merged.cta = !merged.audio.descriptors.empty() ||
                 std::all_of(inputs.begin(), inputs.begin() + std::ptrdiff_t(count),
                             [](const EdidDescription &input) { return input.cta.has_value(); });
    keepWithinRate(merged.timings, merged.video, notes);
    const std::optional<std::size_t> preferred = preferredTiming(merged.timings, inputs[0], notes);
    if (!preferred) {
        result.refusal = count > 1 ? "no timing is accepted by all inputs"
                                   : "input 1 lists no timing a DTD can hold";
        result.notes.clear();
        return result;
    }
    merged.preferred = *preferred;
    assemble(merged, inputs, count, result, notes);
    return result;
}
