#include "EdidEditing.h"

#include <algorithm>
#include <cmath>

// Limit to a mode: every timing above it goes, and what HDMI declares comes down with them.

namespace edits {

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

// The DTDs' count of native ones: those that go take their share with them.
struct NativeCount {
    unsigned native = 0;
    unsigned index = 0; // of the next DTD, in the EDID's order
    unsigned gone = 0;

    void next(bool goes)
    {
        gone += goes && index < native;
        ++index;
    }
    unsigned left() const { return native - std::min(native, gone); }
};

// The established and standard timings and the base block's DTDs above the ceiling go, but for
// DTD 1, the preferred timing, which the caller replaces.
void limitBaseBlock(Editing &editing, const EdidDescription &description, const Ceiling &ceiling,
                    NativeCount &native)
{
    auto &bytes = editing.image.bytes;
    for (const EstablishedTimingBit &bit : description.base.establishedTimings)
        if (const EstablishedTiming *timing = establishedTiming(bit.bit);
            timing && ceiling.above(timing->mode))
            bytes[bit.bytes.offset] &= std::uint8_t(~(0x80u >> bit.bit % 8));
    for (const StandardTiming &timing : description.base.standardTimings)
        if (ceiling.above(timing))
            bytes[timing.bytes.offset] = bytes[timing.bytes.offset + 1] = 0x01;
    const auto &slots = description.base.descriptors;
    std::vector<std::size_t> gone; // base block slots
    for (std::size_t n = 0; n < slots.size(); ++n)
        if (const auto *timing = std::get_if<DetailedTiming>(&slots[n].payload)) {
            const bool goes = n > 0 && ceiling.above(timingMode(*timing));
            if (goes)
                gone.push_back(n);
            native.next(goes);
        }
    for (auto slot = gone.rbegin(); slot != gone.rend(); ++slot)
        removeBaseDescriptor(editing.image, *slot);
}

// The VICs, HDMI VICs and DTDs above the ceiling go; the HDMI blocks declare no more than what
// stays needs.
std::string limitExtension(Editing &editing, const EdidDescription &description,
                           const Ceiling &ceiling, NativeCount &native, bool topStays)
{
    const EdidDescription base = decodeEdid(editing.image);
    return changeCta(editing, [&](CtaCollection &cta) {
        cta.removeVics([&](unsigned vic) {
            const VideoMode *mode = ctaVideoMode(vic);
            return mode && ceiling.above(*mode);
        });
        std::vector<CtaCollection::Dtd> kept;
        for (std::size_t n = 0; n < cta.dtds.size(); ++n) {
            const bool goes = n < description.cta->detailedTimings.size() &&
                              ceiling.above(timingMode(description.cta->detailedTimings[n]));
            native.next(goes);
            if (!goes)
                kept.push_back(cta.dtds[n]);
        }
        cta.dtds = kept;
        cta.flags = std::uint8_t((cta.flags & 0xF0) | native.left());
        if (CtaCollection::Bytes *vsdb = cta.find(CtaCollection::isHdmiVsdb))
            removeHdmiVics(*vsdb, ceiling);
        const std::uint32_t clock = highestClock(cta, base, ceiling, topStays);
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
    NativeCount native;
    native.native = description.cta ? description.cta->flags.value.nativeDtds : 0;
    const auto *first = std::get_if<DetailedTiming>(&description.base.descriptors[0].payload);
    const bool firstAbove = first && ceiling.above(timingMode(*first));
    limitBaseBlock(editing, description, ceiling, native);
    if (description.cta)
        if (refusal = limitExtension(editing, description, ceiling, native, firstAbove);
            !refusal.empty())
            return refusal;
    if (firstAbove) {
        if (refusal = makePreferred(editing, *top, false); !refusal.empty())
            return refusal;
        editing.notes.push_back("DTD 1, " + timingName(timingMode(*first)) + ", was above " +
                                timingName(*top) + ", which takes its place");
    }
    return {};
}

} // namespace edits
