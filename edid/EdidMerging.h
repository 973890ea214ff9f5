#pragma once

// The merge's working parts, shared by its files: the timings in EdidMergeTimings.cpp, the video
// capabilities, audio and range limits in EdidMergeCapabilities.cpp, the whole EDID in
// EdidMergeResult.cpp; the notes' words in EdidMerge.cpp.

#include "EdidAcceptedModes.h"
#include "EdidMerge.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace merging {

struct Notes {
    std::vector<MergeNote> &list;

    void add(MergeField field, MergeAction action, std::string value, std::size_t input = 0)
    {
        list.push_back({field, action, std::move(value), input});
    }
};

// The first data block of this kind in the EDID's CTA-861 extension; nullptr without one.
template <typename T> const T *blockOf(const EdidDescription &description)
{
    if (description.cta)
        for (const CtaDataBlock &block : description.cta->dataBlocks)
            if (const auto *payload = std::get_if<T>(&block.payload))
                return payload;
    return nullptr;
}

// A timing the inputs all accept, and the ways they list it.
struct MergedTiming {
    VideoMode mode{};
    bool full = false;     // as RGB (and the YCbCr formats the inputs declare)
    bool ycbcr420 = false; // as YCbCr 4:2:0
    std::vector<unsigned> vics;
    std::vector<unsigned> hdmiVics;
    std::optional<unsigned> establishedBit;
    const DmtMode *standard = nullptr;

    // "1920x1080p60", "3840x2160p60 as YCbCr 4:2:0 only"
    std::string name() const;
};

// The distinct timings of the first `considered` inputs that all of them accept, in the order
// the first input lists them; notes the others as left out.
std::vector<MergedTiming> mergeTimings(const std::vector<std::vector<AcceptedMode>> &modes,
                                       std::size_t considered, Notes &notes);

struct MergedVideo {
    std::optional<HdmiVsdb> hdmi;
    std::optional<HdmiForumBlock> forum;
    CtaFlags flags; // underscan and the YCbCr formats
    std::optional<ColorimetryBlock> colorimetry;
    std::optional<HdrStaticBlock> hdr;
    std::optional<VideoCapabilityBlock> capability;

    // The fastest TMDS clock the result declares, in kHz; none when it declares none or takes
    // faster modes over fixed-rate links.
    std::optional<std::uint32_t> maxTmdsKhz() const;
};

// What the first `considered` inputs all have of video.
MergedVideo mergeVideo(const std::vector<EdidDescription> &inputs, std::size_t considered,
                       const MergeOptions &options, Notes &notes);

struct MergedAudio {
    std::vector<ShortAudioDescriptor> descriptors;
    std::uint32_t speakers = 0;
    bool basicAudio = false;
};

MergedAudio mergeAudio(const std::vector<EdidDescription> &inputs, const MergeOptions &options,
                       Notes &notes);

// The range all of the first `considered` inputs state, widened to take every timing listed.
RangeLimits mergeRangeLimits(const std::vector<EdidDescription> &inputs, std::size_t considered,
                             const std::vector<VideoMode> &listed, Notes &notes);

} // namespace merging
