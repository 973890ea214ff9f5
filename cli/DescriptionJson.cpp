#include "DescriptionJson.h"

#include "EdidModes.h"

#include <cstdio>

namespace {

using Array = Json::Array;
using Object = Json::Object;

template <typename T> Json orNull(const std::optional<T> &value)
{
    return value ? Json(std::int64_t(*value)) : Json();
}

// The text up to its line feed, trailing spaces removed; null without such a descriptor.
Json text(const BaseBlock &base, Descriptor::Kind kind)
{
    for (const Descriptor &descriptor : base.descriptors)
        if (descriptor.kind == kind) {
            std::string text = std::get<DisplayText>(descriptor.payload).text;
            text.erase(text.find_last_not_of(' ') + 1);
            return latin1ToUtf8(text);
        }
    return {};
}

Json numberList(const std::vector<unsigned> &values)
{
    Array list;
    for (unsigned value : values)
        list.emplace_back(value);
    return list;
}

Json nameList(const std::vector<const char *> &names)
{
    Array list;
    for (const char *name : names)
        list.emplace_back(name);
    return list;
}

Json timingJson(const DetailedTiming &t)
{
    return Object{{"block", t.block},
                  {"pixel_clock_khz", t.pixelClockKhz},
                  {"h_active", t.hActive},
                  {"h_front", t.hFront},
                  {"h_sync", t.hSync},
                  {"h_back", t.hBack},
                  {"h_border", t.hBorder},
                  {"v_active", t.vActive},
                  {"v_front", t.vFront},
                  {"v_sync", t.vSync},
                  {"v_back", t.vBack},
                  {"v_border", t.vBorder},
                  {"h_size_mm", t.hSizeMm},
                  {"v_size_mm", t.vSizeMm},
                  {"interlaced", t.interlaced},
                  {"h_sync_positive", t.hSyncPositive()},
                  {"v_sync_positive", t.vSyncPositive()},
                  {"preferred", t.preferred}};
}

Json vicName(const VideoMode *mode)
{
    return mode ? Json(modeName(*mode)) : Json();
}

// A table's mode by its numbers: null ones for a mode the tables do not hold.
Json modeJson(Object object, const VideoMode *mode)
{
    object.emplace_back("pixel_clock_khz", mode ? Json(mode->pixelClockKhz) : Json());
    object.emplace_back("refresh_hz", mode ? Json(refreshRate(*mode).hz()) : Json());
    object.emplace_back("line_rate_khz",
                        mode ? Json(double(mode->pixelClockKhz) / mode->hTotal()) : Json());
    return object;
}

Json establishedJson(const BaseBlock &base)
{
    Array list;
    for (const EstablishedTimingBit &bit : base.establishedTimings)
        if (const EstablishedTiming *timing = establishedTiming(bit.bit))
            list.push_back(modeJson(
                {{"name", timing->name}, {"dmt_id", timing->dmtId ? Json(timing->dmtId) : Json()}},
                &timing->mode));
    return list;
}

Json standardJson(const BaseBlock &base)
{
    Array list;
    for (const StandardTiming &t : base.standardTimings) {
        const DmtMode *dmt = findDmtMode(t.width, t.height, t.refreshHz);
        list.push_back(modeJson({{"width", t.width},
                                 {"height", t.height},
                                 {"refresh", t.refreshHz},
                                 {"dmt_id", dmt ? Json(dmt->id) : Json()}},
                                dmt ? &dmt->mode : nullptr));
    }
    return list;
}

Json audioJson(const ShortAudioDescriptor &sad)
{
    Array rates;
    for (unsigned hz : sad.sampleRatesHz())
        rates.emplace_back(hz / 1000.0);
    return Object{{"format_code", sad.formatCode},
                  {"extended_code", sad.formatCode == 15 ? Json(sad.extendedCode) : Json()},
                  {"format", audioFormatName(sad.formatCode, sad.extendedCode)},
                  {"channels", sad.channels},
                  {"rates_khz", std::move(rates)},
                  {"sizes_bits", numberList(sad.sampleSizesBits())},
                  {"max_bitrate_kbps", orNull(sad.maxBitRateKbps())}};
}

Json hdmiJson(const HdmiVsdb &hdmi)
{
    Array vics;
    for (unsigned vic : hdmi.hdmiVics)
        vics.push_back(Object{{"vic", vic}, {"name", vicName(hdmiVideoMode(vic))}});
    return Object{{"physical_address", hdmi.physicalAddress
                                           ? Json(physicalAddressText(*hdmi.physicalAddress))
                                           : Json()},
                  {"max_tmds_mhz", orNull(hdmi.maxTmdsMhz)},
                  {"deep_color", numberList(hdmi.deepColourBits())},
                  {"deep_color_y444", hdmi.deepColourY444},
                  {"supports_ai", hdmi.supportsAi},
                  {"dual_link_dvi", hdmi.dualLinkDvi},
                  {"video_latency", orNull(hdmi.videoLatency)},
                  {"audio_latency", orNull(hdmi.audioLatency)},
                  {"present_3d", hdmi.present3d},
                  {"hdmi_vics", std::move(vics)}};
}

Json hdmiForumJson(const HdmiForumBlock &forum)
{
    return Object{{"capability_block", forum.capabilityBlock},
                  {"version", forum.version},
                  {"max_tmds_char_rate_mhz", orNull(forum.maxTmdsCharRateMhz)},
                  {"scdc", forum.scdcPresent},
                  {"read_request", forum.readRequest},
                  {"scrambling_below_340mcsc", forum.lte340Scrambling},
                  {"deep_color_420", numberList(forum.deepColour420Bits())},
                  {"max_frl_rate", orNull(forum.maxFrlRate)},
                  {"allm", forum.allm},
                  {"vrr_min", orNull(forum.vrrMin)},
                  {"vrr_max", orNull(forum.vrrMax)},
                  {"dsc", forum.dsc}};
}

Json hdrJson(const HdrStaticBlock &hdr)
{
    return Object{{"eotfs", nameList(hdr.transferFunctions())},
                  {"static_metadata_type1", bool(hdr.descriptors & 1)},
                  {"max_luminance_code", orNull(hdr.maxLuminance)},
                  {"max_frame_average_code", orNull(hdr.maxFrameAverage)},
                  {"min_luminance_code", orNull(hdr.minLuminance)}};
}

std::string hex(const std::vector<std::uint8_t> &data)
{
    std::string text;
    for (std::uint8_t byte : data) {
        char digits[4];
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

Json blockJson(const CtaDataBlock &block)
{
    Object object{{"tag", unsigned(block.tag)},
                  {"extended_tag", orNull(block.extendedTag)},
                  {"offset", block.bytes.offset},
                  {"length", block.length},
                  {"truncated", block.truncated}};
    if (const auto *vendor = std::get_if<VendorBlock>(&block.payload)) {
        char oui[8];
        std::snprintf(oui, sizeof oui, "%06X", vendor->oui);
        object.emplace_back("oui", oui);
        object.emplace_back("bytes", hex(vendor->data));
    } else if (const auto *unknown = std::get_if<UnknownBlock>(&block.payload)) {
        object.emplace_back("bytes", hex(unknown->data));
    }
    return object;
}

// What the blocks hold, gathered by kind: every VIC, audio format and speaker, the first of
// each HDMI and HDR block.
struct CtaContents {
    Array vics, audio, speakers, blocks, ycbcr420;
    Json hdmi, forum, hdr;

    void add(const CtaDataBlock &block);
};

void CtaContents::add(const CtaDataBlock &block)
{
    blocks.push_back(blockJson(block));
    const auto &payload = block.payload;
    if (const auto *video = std::get_if<VideoBlock>(&payload)) {
        for (const ShortVideoDescriptor &svd : video->descriptors)
            if (svd.vic) // 0 pads a block
                vics.push_back(modeJson({{"vic", svd.vic},
                                         {"native", svd.native},
                                         {"name", vicName(ctaVideoMode(svd.vic))}},
                                        ctaVideoMode(svd.vic)));
    } else if (const auto *sound = std::get_if<AudioBlock>(&payload)) {
        for (const ShortAudioDescriptor &sad : sound->descriptors)
            audio.push_back(audioJson(sad));
    } else if (const auto *speaker = std::get_if<SpeakerBlock>(&payload)) {
        for (const std::string &name : speakerNames(speaker->speakers))
            speakers.emplace_back(name);
    } else if (const auto *vsdb = std::get_if<HdmiVsdb>(&payload)) {
        if (std::holds_alternative<std::nullptr_t>(hdmi.value))
            hdmi = hdmiJson(*vsdb);
    } else if (const auto *hf = std::get_if<HdmiForumBlock>(&payload)) {
        if (std::holds_alternative<std::nullptr_t>(forum.value))
            forum = hdmiForumJson(*hf);
    } else if (const auto *staticHdr = std::get_if<HdrStaticBlock>(&payload)) {
        if (std::holds_alternative<std::nullptr_t>(hdr.value))
            hdr = hdrJson(*staticHdr);
    } else if (const auto *video420 = std::get_if<Ycbcr420VideoBlock>(&payload)) {
        for (const ShortVideoDescriptor &svd : video420->descriptors)
            ycbcr420.emplace_back(svd.vic);
    } else if (const auto *map = std::get_if<Ycbcr420CapabilityMap>(&payload)) {
        for (unsigned vic : map->vics)
            if (vic)
                ycbcr420.emplace_back(vic);
    }
}

Json ctaJson(const CtaExtension &cta)
{
    CtaContents contents;
    for (const CtaDataBlock &block : cta.dataBlocks)
        contents.add(block);
    const CtaFlags &flags = cta.flags.value;
    Object object{{"revision", cta.revision.value}, {"dtd_offset", cta.dtdOffset.value},
                  {"underscan", flags.underscan},   {"basic_audio", flags.basicAudio},
                  {"ycbcr444", flags.ycbcr444},     {"ycbcr422", flags.ycbcr422},
                  {"native_dtds", flags.nativeDtds}};
    // The lists are moved in: a list of an initializer would be copied.
    for (auto &[key, list] : {std::pair<const char *, Array *>{"vics", &contents.vics},
                              {"audio", &contents.audio},
                              {"speakers", &contents.speakers},
                              {"ycbcr420_vics", &contents.ycbcr420},
                              {"blocks", &contents.blocks}})
        object.emplace_back(key, std::move(*list));
    for (auto &[key, block] : {std::pair<const char *, Json *>{"hdmi", &contents.hdmi},
                               {"hdmi_forum", &contents.forum},
                               {"hdr", &contents.hdr}})
        object.emplace_back(key, std::move(*block));
    return object;
}

Json findingsJson(const std::vector<EdidFinding> &findings)
{
    Array list;
    for (const EdidFinding &finding : findings)
        list.push_back(Object{
            {"block", finding.block},
            {"offset", finding.offset},
            {"severity", finding.severity == EdidFinding::Severity::Error ? "error" : "warning"},
            {"kind", findingKindId(finding.kind)},
            {"message", finding.message}});
    return list;
}

} // namespace

Json descriptionToJson(const EdidDescription &description)
{
    const BaseBlock &base = description.base;
    const unsigned week = base.week.value;
    const bool modelYear = base.hasModelYear();
    Array timings;
    for (const DetailedTiming *timing : detailedTimings(description))
        timings.push_back(timingJson(*timing));
    const EdidVersion &version = base.version.value;
    Object object{
        {"vendor", latin1ToUtf8(base.manufacturer.value)},
        {"product", base.productCode.value},
        {"serial", base.serialNumber.value},
        {"week", week && !modelYear ? Json(week) : Json()},
        {"year", modelYear ? Json() : Json(base.year.value)},
        {"model_year", modelYear ? Json(base.year.value) : Json()},
        {"version", std::to_string(version.version) + "." + std::to_string(version.revision)},
        {"name", text(base, Descriptor::Kind::ProductName)},
        {"serial_text", text(base, Descriptor::Kind::SerialText)},
        {"extension_count", base.extensionCount.value}};
    object.emplace_back("established_timings", establishedJson(base));
    object.emplace_back("standard_timings", standardJson(base));
    object.emplace_back("detailed_timings", std::move(timings));
    object.emplace_back("cta", description.cta ? ctaJson(*description.cta) : Json());
    object.emplace_back("findings", findingsJson(description.findings));
    return object;
}
