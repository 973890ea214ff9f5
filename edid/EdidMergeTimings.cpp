#include "EdidMerging.h"

#include <algorithm>
#include <optional>

namespace merging {

namespace {

// How one input takes a timing: as RGB, as YCbCr 4:2:0, and by which codes it lists it.
struct Taking {
    bool full = false;
    bool ycbcr420 = false;
    std::vector<unsigned> vics;
    std::vector<unsigned> hdmiVics;
};

// Narrows codes to those an input lists too, where it lists any: a VIC also names the picture's
// aspect ratio (VIC 76 is VIC 16's timing at 64:27), which a display that lists the other may
// not show.
void narrow(std::optional<std::vector<unsigned>> &codes, const std::vector<unsigned> &listed)
{
    if (listed.empty())
        return;
    if (!codes) {
        codes = listed;
        return;
    }
    codes->erase(std::remove_if(codes->begin(), codes->end(),
                                [&](unsigned code) {
                                    return std::find(listed.begin(), listed.end(), code) ==
                                           listed.end();
                                }),
                 codes->end());
}

Taking takingOf(const std::vector<AcceptedMode> &listings, const VideoMode &mode,
                MergedTiming &timing)
{
    Taking taking;
    for (const AcceptedMode &listing : listings) {
        if (!sameTiming(listing.mode, mode))
            continue;
        taking.full = taking.full || !listing.ycbcr420Only;
        taking.ycbcr420 = taking.ycbcr420 || listing.ycbcr420;
        const auto addCode = [&](std::vector<unsigned> &codes) {
            if (std::find(codes.begin(), codes.end(), listing.code) == codes.end())
                codes.push_back(listing.code);
        };
        switch (listing.listing) {
        case TimingListing::Vic:
            addCode(taking.vics);
            break;
        case TimingListing::HdmiVic:
            addCode(taking.hdmiVics);
            break;
        case TimingListing::Established:
            timing.establishedBit = timing.establishedBit.value_or(listing.code);
            break;
        case TimingListing::Standard:
            if (!timing.standard)
                timing.standard = dmtMode(listing.code);
            break;
        case TimingListing::Detailed:
            break;
        }
    }
    return taking;
}

} // namespace

std::string MergedTiming::name() const
{
    return timingName(mode) + (full ? "" : " as YCbCr 4:2:0 only");
}

std::vector<MergedTiming> mergeTimings(const std::vector<std::vector<AcceptedMode>> &modes,
                                       std::size_t considered, Notes &notes)
{
    std::vector<MergedTiming> kept;
    std::vector<VideoMode> seen;
    for (std::size_t from = 0; from < considered; ++from)
        for (const AcceptedMode &candidate : modes[from]) {
            if (std::any_of(seen.begin(), seen.end(), [&](const VideoMode &mode) {
                    return sameTiming(mode, candidate.mode);
                }))
                continue;
            seen.push_back(candidate.mode);
            MergedTiming timing;
            timing.mode = candidate.mode;
            timing.full = timing.ycbcr420 = true;
            std::size_t lacking = considered;
            bool takenOtherwise = false; // by the lacking input, in the form the others lack
            std::optional<std::vector<unsigned>> vics, hdmiVics;
            for (std::size_t input = 0; input < considered; ++input) {
                const Taking taking = takingOf(modes[input], candidate.mode, timing);
                timing.full = timing.full && taking.full;
                timing.ycbcr420 = timing.ycbcr420 && taking.ycbcr420;
                if (!timing.full && !timing.ycbcr420 && lacking == considered) {
                    lacking = input;
                    takenOtherwise = taking.full || taking.ycbcr420;
                }
                narrow(vics, taking.vics);
                narrow(hdmiVics, taking.hdmiVics);
            }
            timing.vics = vics.value_or(std::vector<unsigned>());
            timing.hdmiVics = hdmiVics.value_or(std::vector<unsigned>());
            if (lacking == considered)
                kept.push_back(std::move(timing));
            else
                notes.add(MergeField::Timing,
                          takenOtherwise ? MergeAction::OtherForm : MergeAction::NotInInput,
                          timingName(candidate.mode), lacking);
        }
    return kept;
}

} // namespace merging

namespace merging {

RangeLimits mergeRangeLimits(const std::vector<EdidDescription> &inputs, std::size_t count,
                             const std::vector<VideoMode> &listed, Notes &notes)
{
    std::optional<RangeLimits> common;
    std::size_t stating = 0, from = 0;
    for (std::size_t input = 0; input < count; ++input)
        for (const Descriptor &descriptor : inputs[input].base.descriptors)
            if (const auto *limits = std::get_if<RangeLimits>(&descriptor.payload)) {
                ++stating;
                from = input;
                if (!common) {
                    common = *limits;
                    continue;
                }
                common->minVerticalHz = std::max(common->minVerticalHz, limits->minVerticalHz);
                common->maxVerticalHz = std::min(common->maxVerticalHz, limits->maxVerticalHz);
                common->minHorizontalKhz =
                    std::max(common->minHorizontalKhz, limits->minHorizontalKhz);
                common->maxHorizontalKhz =
                    std::min(common->maxHorizontalKhz, limits->maxHorizontalKhz);
                common->maxPixelClockMhz =
                    std::min(common->maxPixelClockMhz, limits->maxPixelClockMhz);
            }
    RangeLimits range = common.value_or(RangeLimits{~0u, 0, ~0u, 0, 0, 0, {}});
    const RangeLimits stated = range;
    for (const VideoMode &mode : listed) {
        // Whole hertz and kilohertz that take the timing's exact rates.
        const RefreshRate rate = refreshRate(mode);
        range.minVerticalHz =
            std::min(range.minVerticalHz, unsigned(rate.numerator / rate.denominator));
        range.maxVerticalHz =
            std::max(range.maxVerticalHz,
                     unsigned((rate.numerator + rate.denominator - 1) / rate.denominator));
        range.minHorizontalKhz =
            std::min(range.minHorizontalKhz, mode.pixelClockKhz / mode.hTotal());
        range.maxHorizontalKhz = std::max(range.maxHorizontalKhz,
                                          (mode.pixelClockKhz + mode.hTotal() - 1) / mode.hTotal());
        range.maxPixelClockMhz =
            std::max(range.maxPixelClockMhz, (mode.pixelClockKhz + 999) / 1000);
    }
    range.subtypeData.clear();
    const bool widened = range.minVerticalHz != stated.minVerticalHz ||
                         range.maxVerticalHz != stated.maxVerticalHz ||
                         range.minHorizontalKhz != stated.minHorizontalKhz ||
                         range.maxHorizontalKhz != stated.maxHorizontalKhz ||
                         range.maxPixelClockMhz != stated.maxPixelClockMhz;
    const std::string value =
        std::to_string(range.minVerticalHz) + "-" + std::to_string(range.maxVerticalHz) + " Hz, " +
        std::to_string(range.minHorizontalKhz) + "-" + std::to_string(range.maxHorizontalKhz) +
        " kHz, up to " + std::to_string((range.maxPixelClockMhz + 9) / 10 * 10) + " MHz";
    notes.add(MergeField::RangeLimits,
              widened || !stating ? MergeAction::Widened
              : stating > 1       ? MergeAction::Common
                                  : MergeAction::From,
              value, from);
    return range;
}

} // namespace merging
