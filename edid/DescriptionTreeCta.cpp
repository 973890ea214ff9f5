#include "DescriptionTreeParts.h"

#include <cctype>
#include <tuple>

namespace description_tree {

namespace {

using Numbers = std::vector<std::int64_t>;

std::string latency(unsigned code)
{
    if (code == 0)
        return "unknown";
    if (code == 255)
        return "no output";
    return std::to_string((code - 1) * 2) + " ms";
}

// A line for each field whose byte the block holds, at its index in the block.
struct FieldAdder {
    Line &line;
    std::string key;

    void operator()(const char *label, const char *field, std::string value, std::size_t index,
                    FieldValue typed) const
    {
        if (index < line.bytes.length)
            line.children.push_back({key + "." + field,
                                     label,
                                     std::move(value),
                                     {line.bytes.offset + index, 1},
                                     std::move(typed),
                                     {}});
    }
};

void hdmiLines(Line &line, const HdmiVsdb &hdmi)
{
    using L = HdmiVsdbLayout;
    const std::size_t start = line.bytes.offset;
    if (hdmi.physicalAddress) {
        const std::string address = physicalAddressText(*hdmi.physicalAddress);
        line.children.push_back({"cta.hdmi.physical_address",
                                 "Physical address",
                                 address,
                                 {start + L::kAddress, 2},
                                 address,
                                 {}});
    }
    const FieldAdder add{line, "cta.hdmi"};
    const std::vector<std::string> deep = numbers(hdmi.deepColourBits());
    std::vector<std::string> deepFlags = deep;
    std::string deepText = deep.empty() ? "none" : join(deep) + " bits";
    if (hdmi.deepColourY444) {
        deepText += ", also YCbCr 4:4:4";
        deepFlags.push_back("Y444");
    }
    add("Supports AI", "supports_ai", yesNo(hdmi.supportsAi), L::kFlags,
        std::int64_t(hdmi.supportsAi));
    add("Deep colour", "deep_color", deepText, L::kFlags, deepFlags);
    add("Dual-link DVI", "dual_link_dvi", yesNo(hdmi.dualLinkDvi), L::kFlags,
        std::int64_t(hdmi.dualLinkDvi));
    add("Max TMDS clock", "max_tmds",
        hdmi.maxTmdsMhz ? std::to_string(*hdmi.maxTmdsMhz) + " MHz" : "not given", L::kMaxTmds,
        std::int64_t(hdmi.maxTmdsMhz.value_or(0)));
    const std::vector<std::string> types = strings(hdmi.contentTypeNames());
    add("Content types", "content_types", orNone(types), L::kOptions, types);
    const HdmiVsdbLayout &layout = hdmi.layout;
    if (layout.latency) {
        add("Video latency", "video_latency", latency(*hdmi.videoLatency), *layout.latency,
            std::int64_t(*hdmi.videoLatency));
        add("Audio latency", "audio_latency", latency(*hdmi.audioLatency), *layout.latency + 1,
            std::int64_t(*hdmi.audioLatency));
    }
    if (layout.interlacedLatency) {
        add("Interlaced video latency", "interlaced_video_latency",
            latency(*hdmi.interlacedVideoLatency), *layout.interlacedLatency,
            std::int64_t(*hdmi.interlacedVideoLatency));
        add("Interlaced audio latency", "interlaced_audio_latency",
            latency(*hdmi.interlacedAudioLatency), *layout.interlacedLatency + 1,
            std::int64_t(*hdmi.interlacedAudioLatency));
    }
    if (!layout.video)
        return;
    add("3D", "3d", hdmi.present3d ? "present" : "not present", *layout.video,
        std::int64_t(hdmi.present3d));
    for (std::size_t n = 0; n < hdmi.hdmiVics.size(); ++n) {
        const unsigned vic = hdmi.hdmiVics[n];
        line.children.push_back({"cta.hdmi.vic." + std::to_string(vic),
                                 "HDMI VIC " + std::to_string(vic),
                                 modeText(vic, hdmiVideoMode(vic)),
                                 {start + layout.vics + n, 1},
                                 std::int64_t(vic),
                                 {}});
    }
}

std::string frlRate(unsigned rate)
{
    static const char *const kRates[] = {
        "not supported",     "3 Gbps on 3 lanes",  "6 Gbps on 3 lanes", "6 Gbps on 4 lanes",
        "8 Gbps on 4 lanes", "10 Gbps on 4 lanes", "12 Gbps on 4 lanes"};
    return rate < 7 ? kRates[rate] : "reserved rate " + std::to_string(rate);
}

void hdmiForumLines(Line &line, const HdmiForumBlock &forum)
{
    using namespace hdmi_forum;
    const FieldAdder add{line, line.key};
    add("Version", "version", std::to_string(forum.version), kVersion, std::int64_t(forum.version));
    add("Max TMDS character rate", "max_tmds_char_rate",
        forum.maxTmdsCharRateMhz ? std::to_string(*forum.maxTmdsCharRateMhz) + " MHz" : "not given",
        kMaxTmdsRate, std::int64_t(forum.maxTmdsCharRateMhz.value_or(0)));
    add("SCDC", "scdc", forum.scdcPresent ? "present" : "not present", kFlags,
        std::int64_t(forum.scdcPresent));
    add("Read requests", "read_requests", yesNo(forum.readRequest), kFlags,
        std::int64_t(forum.readRequest));
    add("Scrambling at 340 Mcsc or less", "scrambling", yesNo(forum.lte340Scrambling), kFlags,
        std::int64_t(forum.lte340Scrambling));
    const std::vector<std::string> views = strings(forum.threeDNames());
    add("3D", "3d", orNone(views), kFlags, views);
    if (forum.maxFrlRate) {
        std::vector<std::string> deep;
        for (const std::string &bits : numbers(forum.deepColour420Bits()))
            deep.push_back(bits + " bits");
        add("4:2:0 deep colour", "deep_color_420", orNone(deep), kFrl, deep);
        add("Max FRL rate", "max_frl_rate", frlRate(*forum.maxFrlRate), kFrl,
            std::int64_t(*forum.maxFrlRate));
    }
    add("ALLM", "allm", yesNo(forum.allm), kFeatures, std::int64_t(forum.allm));
    add("FVA", "fva", yesNo(forum.fva), kFeatures, std::int64_t(forum.fva));
    if (forum.vrrMax)
        add("VRR", "vrr",
            std::to_string(*forum.vrrMin) + "-" + std::to_string(*forum.vrrMax) + " Hz", kVrr,
            Numbers{*forum.vrrMin, *forum.vrrMax});
    add("DSC 1.2a", "dsc", yesNo(forum.dsc), kDsc, std::int64_t(forum.dsc));
}

std::string scan(unsigned behaviour, const char *none)
{
    static const char *const kScan[] = {"", "always overscanned", "always underscanned",
                                        "over- and underscan"};
    return behaviour ? kScan[behaviour & 3] : none;
}

void videoCapabilityLines(Line &line, const VideoCapabilityBlock &v)
{
    const ByteRange byte{line.bytes.offset + 2, 1};
    line.children = {
        {"cta.video_capability.quant_ycc",
         "YCbCr quantization",
         v.quantYcc ? "selectable" : "no data",
         byte,
         std::int64_t(v.quantYcc),
         {}},
        {"cta.video_capability.quant_rgb",
         "RGB quantization",
         v.quantRgb ? "selectable" : "no data",
         byte,
         std::int64_t(v.quantRgb),
         {}},
        {"cta.video_capability.pt_scan",
         "PT scan",
         scan(v.ptScan, "no data"),
         byte,
         std::int64_t(v.ptScan),
         {}},
        {"cta.video_capability.it_scan",
         "IT scan",
         scan(v.itScan, "not supported"),
         byte,
         std::int64_t(v.itScan),
         {}},
        {"cta.video_capability.ce_scan",
         "CE scan",
         scan(v.ceScan, "not supported"),
         byte,
         std::int64_t(v.ceScan),
         {}},
    };
}

std::string luminance(unsigned code, double value)
{
    return "code " + std::to_string(code) + format(" (%.3f cd/m2)", value);
}

void hdrStaticLines(Line &line, const HdrStaticBlock &hdr)
{
    const std::size_t p = line.bytes.offset + 2;
    const std::vector<std::string> eotfs = strings(hdr.transferFunctions());
    line.children.push_back({"cta.hdr_static.eotfs", "EOTFs", orNone(eotfs), {p, 1}, eotfs, {}});
    line.children.push_back({"cta.hdr_static.metadata_type1",
                             "Static metadata type 1",
                             yesNo(hdr.descriptors & 1),
                             {p + 1, 1},
                             std::int64_t(hdr.descriptors),
                             {}});
    for (auto [code, value, label, field, offset] :
         {std::tuple{hdr.maxLuminance, hdr.maxLuminanceCdm2(), "Max luminance", "max_luminance",
                     p + 2},
          std::tuple{hdr.maxFrameAverage, hdr.maxFrameAverageCdm2(), "Max frame-average luminance",
                     "max_frame_average", p + 3},
          std::tuple{hdr.minLuminance, hdr.minLuminanceCdm2(), "Min luminance", "min_luminance",
                     p + 4}})
        if (code)
            line.children.push_back({std::string("cta.hdr_static.") + field,
                                     label,
                                     luminance(*code, *value),
                                     {offset, 1},
                                     std::int64_t(*code),
                                     {}});
}

void capabilityMapLines(Line &line, const Ycbcr420CapabilityMap &map)
{
    const std::size_t start = line.bytes.offset;
    for (std::size_t n = 0; n < map.svdIndices.size(); ++n) {
        const unsigned vic = map.vics[n];
        const unsigned svd = map.svdIndices[n] + 1;
        line.children.push_back(
            {"cta.ycbcr420_map.svd." + std::to_string(svd),
             "SVD " + std::to_string(svd),
             vic ? "VIC " + std::to_string(vic) + ": " + modeText(vic, ctaVideoMode(vic))
                 : "no such SVD",
             {map.allSvds ? start : start + 2 + map.svdIndices[n] / 8, 1},
             std::int64_t(vic),
             {}});
    }
    if (map.allSvds) {
        line.value = "every SVD";
        line.typed = line.value;
    }
}

// "cta.audio.linear_pcm", "cta.audio.ac_3": a key a person can read.
std::string slug(const std::string &name)
{
    std::string key;
    for (char c : name)
        key += std::isalnum(static_cast<unsigned char>(c))
                   ? char(std::tolower(static_cast<unsigned char>(c)))
                   : '_';
    return key;
}

void audioLines(Line &line, const AudioBlock &audio)
{
    unsigned number = 0;
    for (const ShortAudioDescriptor &sad : audio.descriptors)
        line.children.push_back(
            {"cta.audio." + slug(audioFormatName(sad.formatCode, sad.extendedCode)),
             "Audio descriptor " + std::to_string(++number),
             audioDescriptorText(sad),
             sad.bytes,
             Numbers{sad.formatCode, sad.extendedCode, sad.channels, sad.sampleRates, sad.byte3},
             {}});
}

std::vector<Line> svdLines(const std::string &key, const std::vector<ShortVideoDescriptor> &svds)
{
    std::vector<Line> lines;
    for (const ShortVideoDescriptor &svd : svds)
        lines.push_back({key + std::to_string(svd.vic),
                         "VIC " + std::to_string(svd.vic),
                         modeText(svd.vic, ctaVideoMode(svd.vic)) + (svd.native ? " (native)" : ""),
                         svd.bytes,
                         Numbers{svd.vic, svd.native},
                         {}});
    return lines;
}

std::string blockLabel(const CtaDataBlock &block)
{
    if (block.extendedTag) {
        const char *name = ctaBlockName(block.tag, *block.extendedTag);
        const std::string label =
            name ? name : format("Extended data block 0x%02X", *block.extendedTag);
        if (const auto *vendor = std::get_if<VendorBlock>(&block.payload))
            return label + " (OUI " + oui(vendor->oui) + ")";
        return label;
    }
    if (std::holds_alternative<HdmiVsdb>(block.payload))
        return "HDMI vendor-specific data block";
    if (std::holds_alternative<HdmiForumBlock>(block.payload))
        return "HDMI Forum vendor-specific data block";
    if (const auto *vendor = std::get_if<VendorBlock>(&block.payload))
        return "Vendor-specific data block (OUI " + oui(vendor->oui) + ")";
    if (const char *name = ctaBlockName(block.tag, 0); name && block.tag != CtaTag::Extended)
        return name;
    return "Data block of tag " + std::to_string(unsigned(block.tag));
}

// "cta.hdmi", "cta.colorimetry", "cta.vendor.00d046", "cta.extended_09": what a block is.
std::string blockKey(const CtaDataBlock &block)
{
    const auto *vendor = std::get_if<VendorBlock>(&block.payload);
    if (std::holds_alternative<HdmiVsdb>(block.payload))
        return "cta.hdmi";
    if (const auto *forum = std::get_if<HdmiForumBlock>(&block.payload))
        return forum->capabilityBlock ? "cta.hdmi_forum_scdb" : "cta.hdmi_forum";
    if (vendor)
        return block.extendedTag
                   ? format("cta.vendor_%02x.oui_%06x", *block.extendedTag, vendor->oui)
                   : format("cta.vendor.oui_%06x", vendor->oui);
    static const std::pair<CtaTag, const char *> kTags[] = {
        {CtaTag::Audio, "cta.audio"},
        {CtaTag::Video, "cta.video"},
        {CtaTag::SpeakerAllocation, "cta.speakers"}};
    for (const auto &[tag, key] : kTags)
        if (block.tag == tag)
            return key;
    if (!block.extendedTag)
        return "cta.block_" + std::to_string(unsigned(block.tag));
    using E = CtaExtendedTag;
    static const std::pair<E, const char *> kExtended[] = {
        {E::VideoCapability, "cta.video_capability"},
        {E::Colorimetry, "cta.colorimetry"},
        {E::HdrStaticMetadata, "cta.hdr_static"},
        {E::HdrDynamicMetadata, "cta.hdr_dynamic"},
        {E::Ycbcr420Video, "cta.ycbcr420_video"},
        {E::Ycbcr420CapabilityMap, "cta.ycbcr420_map"},
        {E::HdmiAudio, "cta.hdmi_audio"},
        {E::RoomConfiguration, "cta.room_configuration"},
        {E::SpeakerLocation, "cta.speaker_location"}};
    for (const auto &[tag, key] : kExtended)
        if (*block.extendedTag == unsigned(tag))
            return key;
    return format("cta.extended_%02x", *block.extendedTag);
}

void payloadLines(Line &line, const CtaDataBlock &block)
{
    std::visit(
        [&](const auto &payload) {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, VideoBlock>) {
                line.children = svdLines("cta.vic.", payload.descriptors);
            } else if constexpr (std::is_same_v<T, Ycbcr420VideoBlock>) {
                line.children = svdLines(line.key + ".vic.", payload.descriptors);
            } else if constexpr (std::is_same_v<T, AudioBlock>) {
                audioLines(line, payload);
            } else if constexpr (std::is_same_v<T, SpeakerBlock>) {
                const std::vector<std::string> names = speakerNames(payload.speakers);
                line.value = orNone(names);
                line.typed = names;
            } else if constexpr (std::is_same_v<T, HdmiVsdb>) {
                hdmiLines(line, payload);
            } else if constexpr (std::is_same_v<T, HdmiForumBlock>) {
                hdmiForumLines(line, payload);
            } else if constexpr (std::is_same_v<T, VideoCapabilityBlock>) {
                videoCapabilityLines(line, payload);
            } else if constexpr (std::is_same_v<T, ColorimetryBlock>) {
                const std::vector<std::string> names = strings(payload.colorimetries());
                line.value = orNone(names);
                line.typed = names;
                const std::vector<std::string> profiles = strings(payload.gamutMetadata());
                if (!profiles.empty())
                    line.children.push_back({line.key + ".gamut_metadata",
                                             "Gamut metadata profiles",
                                             join(profiles),
                                             {line.bytes.offset + 3, 1},
                                             profiles,
                                             {}});
            } else if constexpr (std::is_same_v<T, HdrStaticBlock>) {
                hdrStaticLines(line, payload);
            } else if constexpr (std::is_same_v<T, HdrDynamicBlock>) {
                static const char *const kTypes[] = {"", "SMPTE ST 2094-10", "ETSI TS 103 433",
                                                     "ITU-T H.265", "SMPTE ST 2094-40"};
                for (const HdrDynamicType &type : payload.types)
                    line.children.push_back(
                        {line.key + ".type" + std::to_string(type.type),
                         "Type " + std::to_string(type.type),
                         std::string(type.type >= 1 && type.type <= 4 ? kTypes[type.type]
                                                                      : "reserved") +
                             ", version " + std::to_string(type.version),
                         type.bytes,
                         Numbers{type.type, type.version},
                         {}});
            } else if constexpr (std::is_same_v<T, Ycbcr420CapabilityMap>) {
                capabilityMapLines(line, payload);
            } else if constexpr (std::is_same_v<T, VendorBlock>) {
                line.value = hexBytes(payload.data);
                line.typed = payload.data;
            } else {
                line.value = (line.value.empty() ? "" : line.value + ": ") + "length " +
                             std::to_string(block.length) +
                             (payload.data.empty() ? "" : ", " + hexBytes(payload.data));
                line.typed = payload.data;
            }
        },
        block.payload);
}

Line dataBlockLine(const CtaDataBlock &block)
{
    Line line{blockKey(block), blockLabel(block), "", block.bytes, {}, {}};
    if (block.truncated)
        line.value = "runs past the collection";
    payloadLines(line, block);
    return line;
}

} // namespace

Line ctaLine(const CtaExtension &cta, unsigned &dtdNumber)
{
    Line block{"cta", "Block 1: CTA-861 extension", "", {128, 128}, {}, {}};
    auto &lines = block.children;
    lines.push_back({"cta.revision",
                     "Revision",
                     std::to_string(cta.revision.value),
                     cta.revision.bytes,
                     std::int64_t(cta.revision.value),
                     {}});
    lines.push_back({"cta.dtd_offset",
                     "DTD offset",
                     std::to_string(cta.dtdOffset.value),
                     cta.dtdOffset.bytes,
                     std::int64_t(cta.dtdOffset.value),
                     {}});
    if (cta.revision.value >= 2) {
        const CtaFlags &f = cta.flags.value;
        const ByteRange flags = cta.flags.bytes;
        for (auto [set, label, key] :
             {std::tuple{f.underscan, "Underscans IT formats", "cta.underscan"},
              std::tuple{f.basicAudio, "Basic audio", "cta.basic_audio"},
              std::tuple{f.ycbcr444, "YCbCr 4:4:4", "cta.ycbcr444"},
              std::tuple{f.ycbcr422, "YCbCr 4:2:2", "cta.ycbcr422"}})
            lines.push_back({key, label, yesNo(set), flags, std::int64_t(set), {}});
        lines.push_back({"cta.native_dtds",
                         "Native DTDs",
                         std::to_string(f.nativeDtds),
                         flags,
                         std::int64_t(f.nativeDtds),
                         {}});
    }
    for (const CtaDataBlock &dataBlock : cta.dataBlocks)
        lines.push_back(dataBlockLine(dataBlock));
    // The DTDs and the slots among them that hold none, in the order of their bytes.
    auto slot = cta.otherSlots.begin();
    for (const DetailedTiming &timing : cta.detailedTimings) {
        for (; slot != cta.otherSlots.end() && slot->bytes.offset < timing.bytes.offset; ++slot)
            lines.push_back(descriptorLine(*slot, dtdNumber, "cta"));
        lines.push_back(detailedTimingLine(timing, ++dtdNumber));
    }
    for (; slot != cta.otherSlots.end(); ++slot)
        lines.push_back(descriptorLine(*slot, dtdNumber, "cta"));
    if (cta.padding.length)
        lines.push_back({"cta.padding",
                         "Padding",
                         std::to_string(cta.padding.length) +
                             (cta.padding.length == 1 ? " byte" : " bytes") +
                             (cta.paddingZero ? ", all zero" : ", not all zero"),
                         cta.padding,
                         Numbers{std::int64_t(cta.padding.length), cta.paddingZero},
                         {}});
    lines.push_back(checksumLine("cta.checksum", cta.checksum));
    numberRepeats(lines);
    return block;
}

} // namespace description_tree

std::string audioDescriptorText(const ShortAudioDescriptor &sad)
{
    std::string rates;
    for (unsigned hz : sad.sampleRatesHz())
        rates += (rates.empty() ? "" : " ") + description_tree::format("%g", hz / 1000.0);
    std::string text = audioFormatName(sad.formatCode, sad.extendedCode) + ", " +
                       std::to_string(sad.channels) + " channels, " + rates + " kHz";
    if (sad.formatCode == 1)
        text += ", " +
                description_tree::join(description_tree::numbers(sad.sampleSizesBits()), " ") +
                " bits";
    else if (const auto rate = sad.maxBitRateKbps())
        text += ", up to " + std::to_string(*rate) + " kb/s";
    return text;
}
