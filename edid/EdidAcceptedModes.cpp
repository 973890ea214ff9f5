#include "EdidAcceptedModes.h"

#include <algorithm>

namespace {

// The VICs of the video data blocks that may also be sent as YCbCr 4:2:0: those the capability
// map names, or all of them when it names none.
std::vector<unsigned> ycbcr420Vics(const CtaExtension &cta, bool &all)
{
    std::vector<unsigned> vics;
    all = false;
    for (const CtaDataBlock &block : cta.dataBlocks)
        if (const auto *map = std::get_if<Ycbcr420CapabilityMap>(&block.payload)) {
            all = all || map->allSvds;
            vics.insert(vics.end(), map->vics.begin(), map->vics.end());
        }
    return vics;
}

void addCtaModes(const CtaExtension &cta, std::vector<AcceptedMode> &modes)
{
    bool all420 = false;
    const std::vector<unsigned> also420 = ycbcr420Vics(cta, all420);
    std::vector<AcceptedMode> only420, hdmiVics;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        if (const auto *video = std::get_if<VideoBlock>(&block.payload))
            for (const ShortVideoDescriptor &svd : video->descriptors)
                if (const VideoMode *mode = ctaVideoMode(svd.vic))
                    modes.push_back(
                        {*mode, TimingListing::Vic, svd.vic, false,
                         all420 || std::count(also420.begin(), also420.end(), svd.vic)});
        if (const auto *yuv = std::get_if<Ycbcr420VideoBlock>(&block.payload))
            for (const ShortVideoDescriptor &svd : yuv->descriptors)
                if (const VideoMode *mode = ctaVideoMode(svd.vic))
                    only420.push_back({*mode, TimingListing::Vic, svd.vic, true, true});
        if (const auto *hdmi = std::get_if<HdmiVsdb>(&block.payload))
            for (unsigned vic : hdmi->hdmiVics)
                if (const VideoMode *mode = hdmiVideoMode(vic))
                    hdmiVics.push_back({*mode, TimingListing::HdmiVic, vic});
    }
    modes.insert(modes.end(), only420.begin(), only420.end());
    modes.insert(modes.end(), hdmiVics.begin(), hdmiVics.end());
}

} // namespace

std::vector<AcceptedMode> acceptedModes(const EdidDescription &description)
{
    std::vector<AcceptedMode> modes;
    // A DTD without active pixels, lines or clock names no timing, nor one whose porches and
    // syncs run past its blanking.
    for (const DetailedTiming *timing : detailedTimings(description))
        if (timing->hActive && timing->vActive && timing->pixelClockKhz && timing->hBack >= 0 &&
            timing->vBack >= 0)
            modes.push_back({timingMode(*timing), TimingListing::Detailed});
    if (description.cta)
        addCtaModes(*description.cta, modes);
    for (const StandardTiming &timing : description.base.standardTimings)
        if (const DmtMode *dmt = findDmtMode(timing.width, timing.height, timing.refreshHz))
            modes.push_back({dmt->mode, TimingListing::Standard, dmt->id});
    for (const EstablishedTimingBit &bit : description.base.establishedTimings)
        if (const EstablishedTiming *timing = establishedTiming(bit.bit))
            modes.push_back({timing->mode, TimingListing::Established, bit.bit});
    return modes;
}

bool sameTiming(const VideoMode &a, const VideoMode &b)
{
    const std::uint32_t clockApart = a.pixelClockKhz > b.pixelClockKhz
                                         ? a.pixelClockKhz - b.pixelClockKhz
                                         : b.pixelClockKhz - a.pixelClockKhz;
    return a.hActive == b.hActive && a.vActive == b.vActive && a.interlaced == b.interlaced &&
           a.hTotal() == b.hTotal() && a.vTotalTimesTwo() == b.vTotalTimesTwo() && clockApart <= 10;
}

std::optional<VideoMode> preferredMode(const EdidDescription &description)
{
    const std::vector<const DetailedTiming *> timings = detailedTimings(description);
    if (!timings.empty())
        return timingMode(*timings.front());
    if (description.cta)
        for (const CtaDataBlock &block : description.cta->dataBlocks)
            if (const auto *video = std::get_if<VideoBlock>(&block.payload))
                for (const ShortVideoDescriptor &svd : video->descriptors)
                    if (const VideoMode *mode = ctaVideoMode(svd.vic))
                        return *mode;
    return std::nullopt;
}
