#include "DescriptionJson.h"

#include "EdidModes.h"

#include <QJsonArray>

namespace {

template <typename T> QJsonValue orNull(const std::optional<T> &value)
{
    return value ? QJsonValue(qint64(*value)) : QJsonValue();
}

// The text up to its line feed, trailing spaces removed; null without such a descriptor.
QJsonValue text(const BaseBlock &base, Descriptor::Kind kind)
{
    for (const Descriptor &descriptor : base.descriptors)
        if (descriptor.kind == kind) {
            std::string text = std::get<DisplayText>(descriptor.payload).text;
            text.erase(text.find_last_not_of(' ') + 1);
            return QString::fromLatin1(text.data(), qsizetype(text.size()));
        }
    return QJsonValue();
}

QJsonArray numberList(const std::vector<unsigned> &values)
{
    QJsonArray list;
    for (unsigned value : values)
        list.append(qint64(value));
    return list;
}

QJsonArray nameList(const std::vector<const char *> &names)
{
    QJsonArray list;
    for (const char *name : names)
        list.append(QLatin1String(name));
    return list;
}

QJsonObject timingJson(const DetailedTiming &t)
{
    return {{"block", t.block},
            {"pixel_clock_khz", qint64(t.pixelClockKhz)},
            {"h_active", qint64(t.hActive)},
            {"h_front", qint64(t.hFront)},
            {"h_sync", qint64(t.hSync)},
            {"h_back", t.hBack},
            {"h_border", qint64(t.hBorder)},
            {"v_active", qint64(t.vActive)},
            {"v_front", qint64(t.vFront)},
            {"v_sync", qint64(t.vSync)},
            {"v_back", t.vBack},
            {"v_border", qint64(t.vBorder)},
            {"h_size_mm", qint64(t.hSizeMm)},
            {"v_size_mm", qint64(t.vSizeMm)},
            {"interlaced", t.interlaced},
            {"h_sync_positive", t.hSyncPositive()},
            {"v_sync_positive", t.vSyncPositive()},
            {"preferred", t.preferred}};
}

QJsonValue vicName(const VideoMode *mode)
{
    return mode ? QJsonValue(QString::fromStdString(modeName(*mode))) : QJsonValue();
}

// A table's mode by its numbers: null ones for a mode the tables do not hold.
QJsonObject modeJson(QJsonObject object, const VideoMode *mode)
{
    object.insert("pixel_clock_khz", mode ? QJsonValue(qint64(mode->pixelClockKhz)) : QJsonValue());
    object.insert("refresh_hz", mode ? QJsonValue(refreshRate(*mode).hz()) : QJsonValue());
    object.insert("line_rate_khz",
                  mode ? QJsonValue(double(mode->pixelClockKhz) / mode->hTotal()) : QJsonValue());
    return object;
}

QJsonArray establishedJson(const BaseBlock &base)
{
    QJsonArray list;
    for (const EstablishedTimingBit &bit : base.establishedTimings)
        if (const EstablishedTiming *timing = establishedTiming(bit.bit))
            list.append(
                modeJson({{"name", timing->name},
                          {"dmt_id", timing->dmtId ? QJsonValue(timing->dmtId) : QJsonValue()}},
                         &timing->mode));
    return list;
}

QJsonArray standardJson(const BaseBlock &base)
{
    QJsonArray list;
    for (const StandardTiming &t : base.standardTimings) {
        const DmtMode *dmt = findDmtMode(t.width, t.height, t.refreshHz);
        list.append(modeJson({{"width", qint64(t.width)},
                              {"height", qint64(t.height)},
                              {"refresh", qint64(t.refreshHz)},
                              {"dmt_id", dmt ? QJsonValue(dmt->id) : QJsonValue()}},
                             dmt ? &dmt->mode : nullptr));
    }
    return list;
}

QJsonObject audioJson(const ShortAudioDescriptor &sad)
{
    QJsonArray rates;
    for (unsigned hz : sad.sampleRatesHz())
        rates.append(hz / 1000.0);
    return {{"format_code", qint64(sad.formatCode)},
            {"extended_code",
             sad.formatCode == 15 ? QJsonValue(qint64(sad.extendedCode)) : QJsonValue()},
            {"format", QString::fromStdString(audioFormatName(sad.formatCode, sad.extendedCode))},
            {"channels", qint64(sad.channels)},
            {"rates_khz", rates},
            {"sizes_bits", numberList(sad.sampleSizesBits())},
            {"max_bitrate_kbps", orNull(sad.maxBitRateKbps())}};
}

QJsonObject hdmiJson(const HdmiVsdb &hdmi)
{
    QJsonArray vics;
    for (unsigned vic : hdmi.hdmiVics)
        vics.append(QJsonObject{{"vic", qint64(vic)}, {"name", vicName(hdmiVideoMode(vic))}});
    return {{"physical_address",
             hdmi.physicalAddress
                 ? QJsonValue(QString::fromStdString(physicalAddressText(*hdmi.physicalAddress)))
                 : QJsonValue()},
            {"max_tmds_mhz", orNull(hdmi.maxTmdsMhz)},
            {"deep_color", numberList(hdmi.deepColourBits())},
            {"deep_color_y444", hdmi.deepColourY444},
            {"supports_ai", hdmi.supportsAi},
            {"dual_link_dvi", hdmi.dualLinkDvi},
            {"video_latency", orNull(hdmi.videoLatency)},
            {"audio_latency", orNull(hdmi.audioLatency)},
            {"present_3d", hdmi.present3d},
            {"hdmi_vics", vics}};
}

QJsonObject hdmiForumJson(const HdmiForumBlock &forum)
{
    return {{"capability_block", forum.capabilityBlock},
            {"version", qint64(forum.version)},
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

QJsonObject hdrJson(const HdrStaticBlock &hdr)
{
    return {{"eotfs", nameList(hdr.transferFunctions())},
            {"static_metadata_type1", bool(hdr.descriptors & 1)},
            {"max_luminance_code", orNull(hdr.maxLuminance)},
            {"max_frame_average_code", orNull(hdr.maxFrameAverage)},
            {"min_luminance_code", orNull(hdr.minLuminance)}};
}

QString hex(const std::vector<std::uint8_t> &data)
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()))
        .toHex(' ')
        .toUpper();
}

QJsonObject blockJson(const CtaDataBlock &block)
{
    QJsonObject object{{"tag", qint64(block.tag)},
                       {"extended_tag", orNull(block.extendedTag)},
                       {"offset", qint64(block.bytes.offset)},
                       {"length", qint64(block.length)},
                       {"truncated", block.truncated}};
    if (const auto *vendor = std::get_if<VendorBlock>(&block.payload)) {
        object.insert("oui",
                      QStringLiteral("%1").arg(vendor->oui, 6, 16, QLatin1Char('0')).toUpper());
        object.insert("bytes", hex(vendor->data));
    } else if (const auto *unknown = std::get_if<UnknownBlock>(&block.payload)) {
        object.insert("bytes", hex(unknown->data));
    }
    return object;
}

QJsonObject ctaJson(const CtaExtension &cta)
{
    QJsonArray vics, audio, speakers, blocks, ycbcr420;
    QJsonValue hdmi, forum, hdr;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        blocks.append(blockJson(block));
        if (const auto *video = std::get_if<VideoBlock>(&block.payload)) {
            for (const ShortVideoDescriptor &svd : video->descriptors)
                if (svd.vic) // 0 pads a block
                    vics.append(modeJson({{"vic", qint64(svd.vic)},
                                          {"native", svd.native},
                                          {"name", vicName(ctaVideoMode(svd.vic))}},
                                         ctaVideoMode(svd.vic)));
        } else if (const auto *sound = std::get_if<AudioBlock>(&block.payload)) {
            for (const ShortAudioDescriptor &sad : sound->descriptors)
                audio.append(audioJson(sad));
        } else if (const auto *speaker = std::get_if<SpeakerBlock>(&block.payload)) {
            for (const std::string &name : speakerNames(speaker->speakers))
                speakers.append(QString::fromStdString(name));
        } else if (const auto *vsdb = std::get_if<HdmiVsdb>(&block.payload)) {
            if (hdmi.isNull())
                hdmi = hdmiJson(*vsdb);
        } else if (const auto *hf = std::get_if<HdmiForumBlock>(&block.payload)) {
            if (forum.isNull())
                forum = hdmiForumJson(*hf);
        } else if (const auto *staticHdr = std::get_if<HdrStaticBlock>(&block.payload)) {
            if (hdr.isNull())
                hdr = hdrJson(*staticHdr);
        } else if (const auto *video420 = std::get_if<Ycbcr420VideoBlock>(&block.payload)) {
            for (const ShortVideoDescriptor &svd : video420->descriptors)
                ycbcr420.append(qint64(svd.vic));
        } else if (const auto *map = std::get_if<Ycbcr420CapabilityMap>(&block.payload)) {
            for (unsigned vic : map->vics)
                if (vic)
                    ycbcr420.append(qint64(vic));
        }
    }
    const CtaFlags &flags = cta.flags.value;
    return {{"revision", cta.revision.value},
            {"dtd_offset", cta.dtdOffset.value},
            {"underscan", flags.underscan},
            {"basic_audio", flags.basicAudio},
            {"ycbcr444", flags.ycbcr444},
            {"ycbcr422", flags.ycbcr422},
            {"native_dtds", qint64(flags.nativeDtds)},
            {"vics", vics},
            {"audio", audio},
            {"speakers", speakers},
            {"hdmi", hdmi},
            {"hdmi_forum", forum},
            {"ycbcr420_vics", ycbcr420},
            {"hdr", hdr},
            {"blocks", blocks}};
}

} // namespace

QJsonObject descriptionToJson(const EdidDescription &description)
{
    const BaseBlock &base = description.base;
    const unsigned week = base.week.value;
    const bool modelYear = base.hasModelYear();
    QJsonArray timings;
    for (const DetailedTiming *timing : detailedTimings(description))
        timings.append(timingJson(*timing));
    QJsonArray findings;
    for (const EdidFinding &finding : description.findings)
        findings.append(QJsonObject{
            {"block", finding.block},
            {"offset", qint64(finding.offset)},
            {"severity", finding.severity == EdidFinding::Severity::Error ? "error" : "warning"},
            {"kind", findingKindId(finding.kind)},
            {"message", QString::fromStdString(finding.message)}});
    const EdidVersion &version = base.version.value;
    return {{"vendor", QString::fromStdString(base.manufacturer.value)},
            {"product", base.productCode.value},
            {"serial", qint64(base.serialNumber.value)},
            {"week", week && !modelYear ? QJsonValue(qint64(week)) : QJsonValue()},
            {"year", modelYear ? QJsonValue() : QJsonValue(qint64(base.year.value))},
            {"model_year", modelYear ? QJsonValue(qint64(base.year.value)) : QJsonValue()},
            {"version", QStringLiteral("%1.%2").arg(version.version).arg(version.revision)},
            {"name", text(base, Descriptor::Kind::ProductName)},
            {"serial_text", text(base, Descriptor::Kind::SerialText)},
            {"extension_count", base.extensionCount.value},
            {"established_timings", establishedJson(base)},
            {"standard_timings", standardJson(base)},
            {"detailed_timings", timings},
            {"cta", description.cta ? QJsonValue(ctaJson(*description.cta)) : QJsonValue()},
            {"findings", findings}};
}
