#include "EdidDescriptionTree.h"
#include "EdidModes.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

using Line = DescriptionLine;

template <typename... Values> std::string format(const char *pattern, Values... values)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string yesNo(bool value)
{
    return value ? "yes" : "no";
}

std::string hexBytes(const std::vector<std::uint8_t> &data)
{
    std::string text;
    for (std::uint8_t byte : data)
        text += format(text.empty() ? "%02X" : " %02X", byte);
    return text;
}

std::string oui(std::uint32_t value)
{
    return format("%02X-%02X-%02X", value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF);
}

std::string join(const std::vector<std::string> &parts, const char *separator = ", ")
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// Picks the words of the set bits: names[0] for bit 0 and so on.
std::vector<std::string> bitNames(unsigned bits, std::initializer_list<const char *> names)
{
    std::vector<std::string> set;
    unsigned bit = 0;
    for (const char *name : names)
        if (bits & 1u << bit++)
            set.push_back(name);
    return set;
}

std::string orNone(const std::vector<std::string> &parts)
{
    return parts.empty() ? "none" : join(parts);
}

std::string quoted(const DisplayText &text)
{
    std::string shown;
    for (char c : text.text)
        shown += c >= 0x20 && c < 0x7F ? c : '.';
    return "'" + shown + "'";
}

Line checksumLine(const Field<BlockChecksum> &checksum)
{
    const BlockChecksum &c = checksum.value;
    return {"Checksum",
            format("0x%02X", c.stored) +
                (c.isCorrect() ? " (correct)" : format(" (should be 0x%02X)", c.correct)),
            checksum.bytes,
            {}};
}

std::string timingSummary(const DetailedTiming &t)
{
    const unsigned hTotal = t.hTotal();
    const unsigned lines = t.frameLines();
    const double khz = hTotal ? double(t.pixelClockKhz) / hTotal : 0;
    const double hz = lines ? khz * 1000 / lines * (t.interlaced ? 2 : 1) : 0;
    return std::to_string(t.hActive) + "x" + std::to_string(t.vActive) +
           (t.interlaced ? "i" : "p") +
           format(", %.3f Hz, %.3f kHz, %.3f MHz", hz, khz, t.pixelClockKhz / 1000.0) +
           (t.preferred ? " (preferred)" : "");
}

std::string porches(unsigned active, unsigned front, unsigned sync, int back, unsigned border)
{
    std::string text = std::to_string(active) + " active, " + std::to_string(front) +
                       " front porch, " + std::to_string(sync) + " sync, " + std::to_string(back) +
                       " back porch";
    return border ? text + ", " + std::to_string(border) + " border" : text;
}

std::string syncText(const DetailedTiming &t)
{
    if (t.digitalSeparateSync())
        return std::string("digital separate, H") + (t.hSyncPositive() ? "+" : "-") + " V" +
               (t.vSyncPositive() ? "+" : "-");
    if (t.digitalSync())
        return std::string("digital composite, H") + (t.hSyncPositive() ? "+" : "-") +
               (t.sync & 0x02 ? ", serrations" : "");
    return std::string(t.sync & 0x04 ? "bipolar analog composite" : "analog composite") +
           (t.sync & 0x02 ? ", serrations" : "") + (t.sync & 0x01 ? ", sync on RGB" : "");
}

Line detailedTimingLine(const DetailedTiming &t, unsigned number)
{
    Line line{"DTD " + std::to_string(number), timingSummary(t), t.bytes, {}};
    const std::size_t d = t.bytes.offset;
    line.children = {
        {"Pixel clock", format("%.2f MHz", t.pixelClockKhz / 1000.0), {d, 2}, {}},
        {"Horizontal", porches(t.hActive, t.hFront, t.hSync, t.hBack, t.hBorder), {d + 2, 10}, {}},
        {"Vertical", porches(t.vActive, t.vFront, t.vSync, t.vBack, t.vBorder), {d + 5, 7}, {}},
        {"Image size",
         std::to_string(t.hSizeMm) + " mm x " + std::to_string(t.vSizeMm) + " mm",
         {d + 12, 3},
         {}},
        {"Sync", syncText(t), {d + 17, 1}, {}},
    };
    if (t.stereo > 1) // 0 and 1 both mean no stereo
        line.children.push_back({"Stereo", "mode " + std::to_string(t.stereo), {d + 17, 1}, {}});
    return line;
}

std::string modeText(unsigned vic, const VideoMode *mode)
{
    return mode ? modeName(*mode) : "reserved VIC " + std::to_string(vic);
}

std::string vicValue(const ShortVideoDescriptor &svd)
{
    return modeText(svd.vic, ctaVideoMode(svd.vic)) + (svd.native ? " (native)" : "");
}

std::vector<Line> svdLines(const std::vector<ShortVideoDescriptor> &svds)
{
    std::vector<Line> lines;
    for (const ShortVideoDescriptor &svd : svds)
        lines.push_back({"VIC " + std::to_string(svd.vic), vicValue(svd), svd.bytes, {}});
    return lines;
}

std::string sampleRates(std::uint8_t rates)
{
    return join(bitNames(rates, {"32", "44.1", "48", "88.2", "96", "176.4", "192"}), " ") + " kHz";
}

std::string audioValue(const ShortAudioDescriptor &sad)
{
    std::string text = audioFormatName(sad.formatCode, sad.extendedCode) + ", " +
                       std::to_string(sad.channels) + " channels, " + sampleRates(sad.sampleRates);
    if (sad.formatCode == 1)
        text += ", " + join(bitNames(sad.byte3, {"16", "20", "24"}), " ") + " bits";
    else if (sad.formatCode >= 2 && sad.formatCode <= 8)
        text += ", up to " + std::to_string(sad.byte3 * 8) + " kb/s";
    return text;
}

std::string latency(unsigned code)
{
    if (code == 0)
        return "unknown";
    if (code == 255)
        return "no output";
    return std::to_string((code - 1) * 2) + " ms";
}

void hdmiLines(Line &line, const HdmiVsdb &hdmi, std::size_t start)
{
    // A field shows only when its byte is part of the block.
    const auto add = [&](const char *label, std::string value, std::size_t offset) {
        if (offset < line.bytes.length)
            line.children.push_back({label, std::move(value), {start + offset, 1}, {}});
    };
    if (hdmi.physicalAddress)
        line.children.push_back(
            {"Physical address", physicalAddressText(*hdmi.physicalAddress), {start + 4, 2}, {}});
    std::vector<std::string> deep;
    for (auto [set, name] : {std::pair{hdmi.deepColour30, "30"}, std::pair{hdmi.deepColour36, "36"},
                             std::pair{hdmi.deepColour48, "48"}})
        if (set)
            deep.push_back(name);
    std::string deepText = deep.empty() ? "none" : join(deep) + " bits";
    if (hdmi.deepColourY444)
        deepText += ", also YCbCr 4:4:4";
    add("Supports AI", yesNo(hdmi.supportsAi), 6);
    add("Deep colour", deepText, 6);
    add("Dual-link DVI", yesNo(hdmi.dualLinkDvi), 6);
    add("Max TMDS clock", hdmi.maxTmdsMhz ? std::to_string(*hdmi.maxTmdsMhz) + " MHz" : "not given",
        7);
    add("Content types",
        orNone(bitNames(hdmi.contentTypes, {"graphics", "photo", "cinema", "game"})), 8);
    std::size_t offset = 9;
    for (auto [value, label] : {std::pair{hdmi.videoLatency, "Video latency"},
                                std::pair{hdmi.audioLatency, "Audio latency"},
                                std::pair{hdmi.interlacedVideoLatency, "Interlaced video latency"},
                                std::pair{hdmi.interlacedAudioLatency, "Interlaced audio latency"}})
        if (value)
            add(label, latency(*value), offset++);
    if (hdmi.hdmiVideoPresent) {
        add("3D", hdmi.present3d ? "present" : "not present", offset);
        unsigned number = 0;
        for (unsigned vic : hdmi.hdmiVics)
            line.children.push_back({"HDMI VIC " + std::to_string(vic),
                                     modeText(vic, hdmiVideoMode(vic)),
                                     {start + offset + 2 + number++, 1},
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
    // The fields start after the OUI of the VSDB, or after the SCDB's extended tag and two bytes.
    const std::size_t v = line.bytes.offset + 4;
    const auto add = [&](const char *label, std::string value, std::size_t offset) {
        if (4 + offset < line.bytes.length) // only a field whose byte is part of the block
            line.children.push_back({label, std::move(value), {v + offset, 1}, {}});
    };
    add("Version", std::to_string(forum.version), 0);
    add("Max TMDS character rate",
        forum.maxTmdsCharRateMhz ? std::to_string(*forum.maxTmdsCharRateMhz) + " MHz" : "not given",
        1);
    add("SCDC", forum.scdcPresent ? "present" : "not present", 2);
    add("Read requests", yesNo(forum.readRequest), 2);
    add("Scrambling at 340 Mcsc or less", yesNo(forum.lte340Scrambling), 2);
    add("3D",
        orNone(bitNames((forum.osdDisparity3d ? 1 : 0) | (forum.dualView3d ? 2 : 0) |
                            (forum.independentView3d ? 4 : 0),
                        {"OSD disparity", "dual view", "independent view"})),
        2);
    if (forum.maxFrlRate) {
        add("4:2:0 deep colour",
            orNone(bitNames((forum.deepColour420_30 ? 1 : 0) | (forum.deepColour420_36 ? 2 : 0) |
                                (forum.deepColour420_48 ? 4 : 0),
                            {"30 bits", "36 bits", "48 bits"})),
            3);
        add("Max FRL rate", frlRate(*forum.maxFrlRate), 3);
    }
    add("ALLM", yesNo(forum.allm), 4);
    add("FVA", yesNo(forum.fva), 4);
    if (forum.vrrMax)
        add("VRR", std::to_string(*forum.vrrMin) + "-" + std::to_string(*forum.vrrMax) + " Hz", 5);
    add("DSC 1.2a", yesNo(forum.dsc), 7);
}

std::string scan(unsigned behaviour, const char *none)
{
    static const char *const kScan[] = {"", "always overscanned", "always underscanned",
                                        "over- and underscan"};
    return behaviour ? kScan[behaviour & 3] : none;
}

std::string luminance(std::optional<unsigned> code, double value)
{
    return "code " + std::to_string(*code) + format(" (%.3f cd/m2)", value);
}

void hdrStaticLines(Line &line, const HdrStaticBlock &hdr)
{
    const std::size_t p = line.bytes.offset + 2;
    line.children.push_back({"EOTFs",
                             orNone(bitNames(hdr.eotfs, {"traditional SDR", "traditional HDR",
                                                         "SMPTE ST 2084", "hybrid log-gamma"})),
                             {p, 1},
                             {}});
    line.children.push_back({"Static metadata type 1", yesNo(hdr.descriptors & 1), {p + 1, 1}, {}});
    // CTA-861-H 7.5.13: 50 x 2^(code / 32) cd/m2; the minimum scales the maximum.
    const double max = hdr.maxLuminance ? 50 * std::pow(2.0, *hdr.maxLuminance / 32.0) : 0;
    if (hdr.maxLuminance)
        line.children.push_back(
            {"Max luminance", luminance(hdr.maxLuminance, max), {p + 2, 1}, {}});
    if (hdr.maxFrameAverage)
        line.children.push_back(
            {"Max frame-average luminance",
             luminance(hdr.maxFrameAverage, 50 * std::pow(2.0, *hdr.maxFrameAverage / 32.0)),
             {p + 3, 1},
             {}});
    if (hdr.minLuminance)
        line.children.push_back(
            {"Min luminance",
             luminance(hdr.minLuminance, max * std::pow(*hdr.minLuminance / 255.0, 2) / 100),
             {p + 4, 1},
             {}});
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

Line dataBlockLine(const CtaDataBlock &block)
{
    Line line{blockLabel(block), "", block.bytes, {}};
    const std::size_t start = block.bytes.offset;
    if (block.truncated)
        line.value = "runs past the collection";
    std::visit(
        [&](const auto &payload) {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, VideoBlock> || std::is_same_v<T, Ycbcr420VideoBlock>) {
                line.children = svdLines(payload.descriptors);
            } else if constexpr (std::is_same_v<T, AudioBlock>) {
                unsigned number = 0;
                for (const ShortAudioDescriptor &sad : payload.descriptors)
                    line.children.push_back({"Audio descriptor " + std::to_string(++number),
                                             audioValue(sad),
                                             sad.bytes,
                                             {}});
            } else if constexpr (std::is_same_v<T, SpeakerBlock>) {
                line.value = orNone(speakerNames(payload.speakers));
            } else if constexpr (std::is_same_v<T, HdmiVsdb>) {
                hdmiLines(line, payload, start);
            } else if constexpr (std::is_same_v<T, HdmiForumBlock>) {
                hdmiForumLines(line, payload);
            } else if constexpr (std::is_same_v<T, VideoCapabilityBlock>) {
                const ByteRange byte{start + 2, 1};
                line.children = {
                    {"YCbCr quantization", payload.quantYcc ? "selectable" : "no data", byte, {}},
                    {"RGB quantization", payload.quantRgb ? "selectable" : "no data", byte, {}},
                    {"PT scan", scan(payload.ptScan, "no data"), byte, {}},
                    {"IT scan", scan(payload.itScan, "not supported"), byte, {}},
                    {"CE scan", scan(payload.ceScan, "not supported"), byte, {}},
                };
            } else if constexpr (std::is_same_v<T, ColorimetryBlock>) {
                line.value = orNone(bitNames(payload.colorimetry | (payload.metadata & 0xE0) << 3,
                                             {"xvYCC601", "xvYCC709", "sYCC601", "opYCC601",
                                              "opRGB", "BT2020cYCC", "BT2020YCC", "BT2020RGB", "",
                                              "", "", "", "", "ST2113RGB", "ICtCp", "DCI-P3"}));
                if (payload.metadata & 0x0F)
                    line.children.push_back(
                        {"Gamut metadata profiles",
                         join(bitNames(payload.metadata, {"MD0", "MD1", "MD2", "MD3"})),
                         {start + 3, 1},
                         {}});
            } else if constexpr (std::is_same_v<T, HdrStaticBlock>) {
                hdrStaticLines(line, payload);
            } else if constexpr (std::is_same_v<T, HdrDynamicBlock>) {
                static const char *const kTypes[] = {"", "SMPTE ST 2094-10", "ETSI TS 103 433",
                                                     "ITU-T H.265", "SMPTE ST 2094-40"};
                for (const HdrDynamicType &type : payload.types)
                    line.children.push_back(
                        {"Type " + std::to_string(type.type),
                         std::string(type.type >= 1 && type.type <= 4 ? kTypes[type.type]
                                                                      : "reserved") +
                             ", version " + std::to_string(type.version),
                         type.bytes,
                         {}});
            } else if constexpr (std::is_same_v<T, Ycbcr420CapabilityMap>) {
                for (std::size_t n = 0; n < payload.svdIndices.size(); ++n) {
                    const unsigned vic = payload.vics[n];
                    const std::size_t byte =
                        payload.allSvds ? start : start + 2 + payload.svdIndices[n] / 8;
                    line.children.push_back({"SVD " + std::to_string(payload.svdIndices[n] + 1),
                                             vic ? "VIC " + std::to_string(vic) + ": " +
                                                       modeText(vic, ctaVideoMode(vic))
                                                 : "no such SVD",
                                             {byte, 1},
                                             {}});
                }
                if (payload.allSvds)
                    line.value = "every SVD";
            } else if constexpr (std::is_same_v<T, VendorBlock>) {
                line.value = hexBytes(payload.data);
            } else {
                line.value = (line.value.empty() ? "" : line.value + ": ") + "length " +
                             std::to_string(block.length) +
                             (payload.data.empty() ? "" : ", " + hexBytes(payload.data));
            }
        },
        block.payload);
    return line;
}

// Numbers the labels that repeat among siblings: "Video data block", "Video data block 2"; a
// label that ends in a number of its own gets "(2)".
void numberRepeats(std::vector<Line> &lines)
{
    std::map<std::string, unsigned> seen;
    for (Line &line : lines)
        if (const unsigned count = ++seen[line.label]; count > 1)
            line.label += std::isdigit(static_cast<unsigned char>(line.label.back()))
                              ? " (" + std::to_string(count) + ")"
                              : " " + std::to_string(count);
}

Line descriptorLine(const Descriptor &descriptor, unsigned &dtdNumber)
{
    Line line{"", "", descriptor.bytes, {}};
    if (const auto *timing = std::get_if<DetailedTiming>(&descriptor.payload))
        return detailedTimingLine(*timing, ++dtdNumber);
    if (const auto *text = std::get_if<DisplayText>(&descriptor.payload)) {
        line.label = descriptor.kind == Descriptor::Kind::ProductName  ? "Product name"
                     : descriptor.kind == Descriptor::Kind::SerialText ? "Serial number text"
                                                                       : "Unspecified text";
        line.value = quoted(*text);
    } else if (const auto *limits = std::get_if<RangeLimits>(&descriptor.payload)) {
        line.label = "Range limits";
        line.value = std::to_string(limits->minVerticalHz) + "-" +
                     std::to_string(limits->maxVerticalHz) + " Hz V, " +
                     std::to_string(limits->minHorizontalKhz) + "-" +
                     std::to_string(limits->maxHorizontalKhz) + " kHz H, max pixel clock " +
                     std::to_string(limits->maxPixelClockMhz) + " MHz";
        static const char *const kKinds[] = {"default GTF", "bare limits", "secondary GTF", "",
                                             "CVT"};
        const unsigned kind = limits->subtype;
        line.children.push_back(
            {"Timing formula",
             kind <= 4 && kind != 3 ? kKinds[kind] : "subtype " + std::to_string(kind),
             {descriptor.bytes.offset + 10, 1},
             {}});
    } else if (const auto *other = std::get_if<OtherDescriptor>(&descriptor.payload)) {
        const char *name = descriptorName(other->tag);
        line.label = name ? name : format("Descriptor of tag 0x%02X", other->tag);
        line.value = descriptor.kind == Descriptor::Kind::Dummy ? "" : hexBytes(other->data);
    }
    return line;
}

std::string chroma(const ChromaPoint &point)
{
    // Truncated to four places, as EDID tools commonly print them.
    return format("%u.%04u, %u.%04u", point.x / 1024, point.x * 10000 / 1024 % 10000,
                  point.y / 1024, point.y * 10000 / 1024 % 10000);
}

Line baseBlockLine(const EdidDescription &description, unsigned &dtdNumber)
{
    const BaseBlock &b = description.base;
    Line block{"Block 0: base EDID", "", {0, 128}, {}};
    auto &lines = block.children;
    lines.push_back({"Header",
                     b.headerValid.value ? "valid" : "not 00 FF FF FF FF FF FF 00",
                     b.headerValid.bytes,
                     {}});
    lines.push_back({"Manufacturer", b.manufacturer.value, b.manufacturer.bytes, {}});
    lines.push_back({"Product code", std::to_string(b.productCode.value), b.productCode.bytes, {}});
    lines.push_back({"Serial number",
                     b.serialNumber.value ? std::to_string(b.serialNumber.value) : "none",
                     b.serialNumber.bytes,
                     {}});
    const ByteRange date{16, 2};
    const std::string year = std::to_string(b.year.value);
    if (b.hasModelYear())
        lines.push_back({"Model year", year, date, {}});
    else
        lines.push_back(
            {"Made in",
             b.week.value ? "week " + std::to_string(b.week.value) + " of " + year : year,
             date,
             {}});
    const EdidVersion &v = b.version.value;
    lines.push_back({"EDID version",
                     std::to_string(v.version) + "." + std::to_string(v.revision),
                     b.version.bytes,
                     {}});

    const VideoInput &input = b.input.value;
    static const char *const kInterfaces[] = {"", "DVI", "HDMI-a", "HDMI-b", "MDDI", "DisplayPort"};
    std::string inputText = input.digital ? "digital" : "analog";
    if (input.bitsPerColour)
        inputText += ", " + std::to_string(input.bitsPerColour) + " bits per colour";
    if (input.interface)
        inputText += input.interface <= 5 ? std::string(", ") + kInterfaces[input.interface]
                                          : ", interface " + std::to_string(input.interface);
    lines.push_back({"Video input", inputText, b.input.bytes, {}});

    const ScreenSize &size = b.screenSize.value;
    std::string sizeText =
        size.landscapeAspect  ? format("aspect ratio %.2f (landscape)", *size.landscapeAspect)
        : size.portraitAspect ? format("aspect ratio %.2f (portrait)", *size.portraitAspect)
        : size.widthCm && size.heightCm
            ? std::to_string(size.widthCm) + " cm x " + std::to_string(size.heightCm) + " cm"
            : "unknown or variable";
    lines.push_back({"Screen size", sizeText, b.screenSize.bytes, {}});
    lines.push_back({"Gamma",
                     b.gammaHundredths.value ? format("%.2f", *b.gammaHundredths.value / 100.0)
                                             : "in an extension",
                     b.gammaHundredths.bytes,
                     {}});

    const Features &f = b.features.value;
    static const char *const kDigitalColour[] = {"RGB 4:4:4", "RGB 4:4:4, YCbCr 4:4:4",
                                                 "RGB 4:4:4, YCbCr 4:2:2",
                                                 "RGB 4:4:4, YCbCr 4:4:4, YCbCr 4:2:2"};
    static const char *const kAnalogColour[] = {"monochrome or grey scale", "RGB colour",
                                                "non-RGB colour", "undefined"};
    const bool v14 = v.version == 1 && v.revision >= 4;
    Line features{"Features", "", b.features.bytes, {}};
    const ByteRange byte24 = b.features.bytes;
    features.children = {
        {"DPMS",
         orNone(bitNames((f.activeOff ? 1 : 0) | (f.suspend ? 2 : 0) | (f.standby ? 4 : 0),
                         {"off", "suspend", "standby"})),
         byte24,
         {}},
        {input.digital && v14 ? "Colour encodings" : "Display type",
         input.digital && v14 ? kDigitalColour[f.colourType] : kAnalogColour[f.colourType],
         byte24,
         {}},
        {"sRGB default", yesNo(f.srgbDefault), byte24, {}},
        {"Preferred timing",
         !f.preferredTimingNative ? "not marked"
         : v14                    ? "first DTD, native pixel format and refresh rate"
                                  : "first DTD",
         byte24,
         {}},
        {v14 ? "Continuous frequency" : "GTF timings", yesNo(f.continuousFrequency), byte24, {}},
    };
    lines.push_back(features);

    const Chromaticity &c = b.chromaticity.value;
    lines.push_back({"Chromaticity",
                     "",
                     b.chromaticity.bytes,
                     {{"Red", chroma(c.red), {27, 2}, {}},
                      {"Green", chroma(c.green), {29, 2}, {}},
                      {"Blue", chroma(c.blue), {31, 2}, {}},
                      {"White", chroma(c.white), {33, 2}, {}}}});

    Line established{
        "Established timings", b.establishedTimings.empty() ? "none" : "", {35, 3}, {}};
    for (const EstablishedTimingBit &bit : b.establishedTimings) {
        const EstablishedTiming *timing = establishedTiming(bit.bit);
        established.children.push_back(
            timing
                ? Line{timing->name,
                       timing->dmtId ? format("DMT 0x%02X", timing->dmtId) : "",
                       bit.bytes,
                       {}}
                : Line{"Manufacturer's timing " + std::to_string(bit.bit - 16), "", bit.bytes, {}});
    }
    lines.push_back(established);

    Line standard{"Standard timings", b.standardTimings.empty() ? "none" : "", {38, 16}, {}};
    unsigned number = 0;
    for (const StandardTiming &t : b.standardTimings) {
        std::string value = std::to_string(t.width) + "x" + std::to_string(t.height) + "@" +
                            std::to_string(t.refreshHz) + " " + std::to_string(t.aspectWidth) +
                            ":" + std::to_string(t.aspectHeight);
        if (const DmtMode *dmt = findDmtMode(t.width, t.height, t.refreshHz))
            value += format(" (DMT 0x%02X)", dmt->id);
        standard.children.push_back(
            {"Standard timing " + std::to_string(++number), value, t.bytes, {}});
    }
    lines.push_back(standard);

    for (const Descriptor &descriptor : b.descriptors)
        lines.push_back(descriptorLine(descriptor, dtdNumber));
    lines.push_back(
        {"Extension count", std::to_string(b.extensionCount.value), b.extensionCount.bytes, {}});
    lines.push_back(checksumLine(b.checksum));
    numberRepeats(lines);
    return block;
}

Line ctaLine(const CtaExtension &cta, unsigned &dtdNumber)
{
    Line block{"Block 1: CTA-861 extension", "", {128, 128}, {}};
    auto &lines = block.children;
    lines.push_back({"Revision", std::to_string(cta.revision.value), cta.revision.bytes, {}});
    lines.push_back({"DTD offset", std::to_string(cta.dtdOffset.value), cta.dtdOffset.bytes, {}});
    if (cta.revision.value >= 2) {
        const CtaFlags &f = cta.flags.value;
        const ByteRange flags = cta.flags.bytes;
        lines.push_back({"Underscans IT formats", yesNo(f.underscan), flags, {}});
        lines.push_back({"Basic audio", yesNo(f.basicAudio), flags, {}});
        lines.push_back({"YCbCr 4:4:4", yesNo(f.ycbcr444), flags, {}});
        lines.push_back({"YCbCr 4:2:2", yesNo(f.ycbcr422), flags, {}});
        lines.push_back({"Native DTDs", std::to_string(f.nativeDtds), flags, {}});
    }
    for (const CtaDataBlock &dataBlock : cta.dataBlocks)
        lines.push_back(dataBlockLine(dataBlock));
    // The DTDs and the slots among them that hold none, in the order of their bytes.
    auto slot = cta.otherSlots.begin();
    for (const DetailedTiming &timing : cta.detailedTimings) {
        for (; slot != cta.otherSlots.end() && slot->bytes.offset < timing.bytes.offset; ++slot)
            lines.push_back(descriptorLine(*slot, dtdNumber));
        lines.push_back(detailedTimingLine(timing, ++dtdNumber));
    }
    for (; slot != cta.otherSlots.end(); ++slot)
        lines.push_back(descriptorLine(*slot, dtdNumber));
    if (cta.padding.length) {
        lines.push_back({"Padding",
                         std::to_string(cta.padding.length) +
                             (cta.padding.length == 1 ? " byte" : " bytes") +
                             (cta.paddingZero ? ", all zero" : ", not all zero"),
                         cta.padding,
                         {}});
    }
    lines.push_back(checksumLine(cta.checksum));
    numberRepeats(lines);
    return block;
}

} // namespace

std::vector<DescriptionLine> describeEdid(const EdidDescription &description)
{
    unsigned dtdNumber = 0;
    std::vector<Line> sections{baseBlockLine(description, dtdNumber)};
    if (description.cta) {
        sections.push_back(ctaLine(*description.cta, dtdNumber));
    } else if (const auto &other = description.otherExtension) {
        sections.push_back({"Block 1: extension",
                            format("tag 0x%02X, kept as bytes", other->tag.value),
                            other->bytes,
                            {checksumLine(other->checksum)}});
    }
    Line findings{"Findings", description.findings.empty() ? "none" : "", {0, 0}, {}};
    for (const EdidFinding &finding : description.findings)
        findings.children.push_back(
            {finding.severity == EdidFinding::Severity::Error ? "Error" : "Warning",
             "block " + std::to_string(finding.block) + ", byte " +
                 std::to_string(finding.offset % 128) + ": " + finding.message,
             {finding.offset, 1},
             {}});
    sections.push_back(findings);
    return sections;
}

namespace {

void render(const std::vector<DescriptionLine> &lines, const std::string &indent, std::string &text)
{
    for (const DescriptionLine &line : lines) {
        text += indent + line.label + (line.value.empty() ? "" : ": " + line.value) + "\n";
        render(line.children, indent + "  ", text);
    }
}

} // namespace

std::string renderDescription(const std::vector<DescriptionLine> &lines)
{
    std::string text;
    render(lines, "", text);
    return text;
}
