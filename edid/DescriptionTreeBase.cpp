#include "DescriptionTreeParts.h"

#include <tuple>

namespace description_tree {

namespace {

using Numbers = std::vector<std::int64_t>;

std::string chroma(const ChromaPoint &point)
{
    // Truncated to four places, as EDID tools commonly print them.
    return format("%u.%04u, %u.%04u", point.x / 1024, point.x * 10000 / 1024 % 10000,
                  point.y / 1024, point.y * 10000 / 1024 % 10000);
}

void identityLines(const BaseBlock &b, std::vector<Line> &lines)
{
    lines.push_back({"base.header",
                     "Header",
                     b.headerValid.value ? "valid" : "not 00 FF FF FF FF FF FF 00",
                     b.headerValid.bytes,
                     std::int64_t(b.headerValid.value),
                     {}});
    lines.push_back({"base.manufacturer",
                     "Manufacturer",
                     b.manufacturer.value,
                     b.manufacturer.bytes,
                     b.manufacturer.value,
                     {}});
    lines.push_back({"base.product",
                     "Product code",
                     std::to_string(b.productCode.value),
                     b.productCode.bytes,
                     std::int64_t(b.productCode.value),
                     {}});
    lines.push_back({"base.serial",
                     "Serial number",
                     b.serialNumber.value ? std::to_string(b.serialNumber.value) : "none",
                     b.serialNumber.bytes,
                     std::int64_t(b.serialNumber.value),
                     {}});
    const std::string year = std::to_string(b.year.value);
    const unsigned week = b.week.value;
    lines.push_back({"base.date",
                     b.hasModelYear() ? "Model year" : "Made in",
                     b.hasModelYear() ? year
                     : week           ? "week " + std::to_string(week) + " of " + year
                                      : year,
                     {16, 2},
                     Numbers{week, b.year.value},
                     {}});
    const EdidVersion &v = b.version.value;
    lines.push_back({"base.version",
                     "EDID version",
                     std::to_string(v.version) + "." + std::to_string(v.revision),
                     b.version.bytes,
                     Numbers{v.version, v.revision},
                     {}});
}

Line videoInputLine(const BaseBlock &b)
{
    const VideoInput &input = b.input.value;
    static const char *const kInterfaces[] = {"", "DVI", "HDMI-a", "HDMI-b", "MDDI", "DisplayPort"};
    std::string text = input.digital ? "digital" : "analog";
    if (input.bitsPerColour)
        text += ", " + std::to_string(input.bitsPerColour) + " bits per colour";
    if (input.interface)
        text += input.interface <= 5 ? std::string(", ") + kInterfaces[input.interface]
                                     : ", interface " + std::to_string(input.interface);
    return {"base.video_input",
            "Video input",
            text,
            b.input.bytes,
            Numbers{input.digital, input.bitsPerColour, input.interface},
            {}};
}

void screenLines(const BaseBlock &b, std::vector<Line> &lines)
{
    const ScreenSize &size = b.screenSize.value;
    std::string text =
        size.landscapeAspect  ? format("aspect ratio %.2f (landscape)", *size.landscapeAspect)
        : size.portraitAspect ? format("aspect ratio %.2f (portrait)", *size.portraitAspect)
        : size.widthCm && size.heightCm
            ? std::to_string(size.widthCm) + " cm x " + std::to_string(size.heightCm) + " cm"
            : "unknown or variable";
    lines.push_back(
        {"base.screen_size",
         "Screen size",
         text,
         b.screenSize.bytes,
         Numbers{size.widthCm, size.heightCm, std::int64_t(size.landscapeAspect.value_or(0) * 100),
                 std::int64_t(size.portraitAspect.value_or(0) * 100)},
         {}});
    const auto &gamma = b.gammaHundredths.value;
    lines.push_back({"base.gamma",
                     "Gamma",
                     gamma ? format("%.2f", *gamma / 100.0) : "in an extension",
                     b.gammaHundredths.bytes,
                     std::int64_t(gamma ? *gamma : 0),
                     {}});
}

Line featuresLine(const BaseBlock &b)
{
    const Features &f = b.features.value;
    const bool digital = b.input.value.digital;
    const bool v14 = b.version.value.version == 1 && b.version.value.revision >= 4;
    static const char *const kDigitalColour[] = {"RGB 4:4:4", "RGB 4:4:4, YCbCr 4:4:4",
                                                 "RGB 4:4:4, YCbCr 4:2:2",
                                                 "RGB 4:4:4, YCbCr 4:4:4, YCbCr 4:2:2"};
    static const char *const kAnalogColour[] = {"monochrome or grey scale", "RGB colour",
                                                "non-RGB colour", "undefined"};
    std::vector<std::string> dpms;
    for (auto [set, name] : {std::pair{f.activeOff, "off"}, std::pair{f.suspend, "suspend"},
                             std::pair{f.standby, "standby"}})
        if (set)
            dpms.push_back(name);
    const ByteRange byte = b.features.bytes;
    Line features{"base.features", "Features", "", byte, {}, {}};
    features.children = {
        {"base.features.dpms", "DPMS", orNone(dpms), byte, dpms, {}},
        {"base.features.colour",
         digital && v14 ? "Colour encodings" : "Display type",
         digital && v14 ? kDigitalColour[f.colourType] : kAnalogColour[f.colourType],
         byte,
         std::int64_t(f.colourType),
         {}},
        {"base.features.srgb",
         "sRGB default",
         yesNo(f.srgbDefault),
         byte,
         std::int64_t(f.srgbDefault),
         {}},
        {"base.features.preferred",
         "Preferred timing",
         !f.preferredTimingNative ? "not marked"
         : v14                    ? "first DTD, native pixel format and refresh rate"
                                  : "first DTD",
         byte,
         std::int64_t(f.preferredTimingNative),
         {}},
        {"base.features.continuous",
         v14 ? "Continuous frequency" : "GTF timings",
         yesNo(f.continuousFrequency),
         byte,
         std::int64_t(f.continuousFrequency),
         {}},
    };
    return features;
}

Line chromaticityLine(const BaseBlock &b)
{
    const Chromaticity &c = b.chromaticity.value;
    Line line{"base.chromaticity", "Chromaticity", "", b.chromaticity.bytes, {}, {}};
    std::size_t offset = 27;
    for (auto [point, name, key] :
         {std::tuple{c.red, "Red", "red"}, std::tuple{c.green, "Green", "green"},
          std::tuple{c.blue, "Blue", "blue"}, std::tuple{c.white, "White", "white"}}) {
        line.children.push_back({std::string("base.chromaticity.") + key,
                                 name,
                                 chroma(point),
                                 {offset, 2},
                                 Numbers{point.x, point.y},
                                 {}});
        offset += 2;
    }
    return line;
}

Line establishedLine(const BaseBlock &b)
{
    Line line{"base.established",
              "Established timings",
              b.establishedTimings.empty() ? "none" : "",
              {35, 3},
              {},
              {}};
    for (const EstablishedTimingBit &bit : b.establishedTimings) {
        const EstablishedTiming *timing = establishedTiming(bit.bit);
        line.children.push_back(
            {"base.established." + std::to_string(bit.bit),
             timing ? timing->name : "Manufacturer's timing " + std::to_string(bit.bit - 16),
             timing && timing->dmtId ? format("DMT 0x%02X", timing->dmtId) : "",
             bit.bytes,
             std::int64_t(bit.bit),
             {}});
    }
    return line;
}

Line standardLine(const BaseBlock &b)
{
    Line line{"base.standard",
              "Standard timings",
              b.standardTimings.empty() ? "none" : "",
              {38, 16},
              {},
              {}};
    for (const StandardTiming &t : b.standardTimings) {
        std::string value = std::to_string(t.width) + "x" + std::to_string(t.height) + "@" +
                            std::to_string(t.refreshHz) + " " + std::to_string(t.aspectWidth) +
                            ":" + std::to_string(t.aspectHeight);
        if (const DmtMode *dmt = findDmtMode(t.width, t.height, t.refreshHz))
            value += format(" (DMT 0x%02X)", dmt->id);
        const std::size_t slot = (t.bytes.offset - 38) / 2 + 1;
        line.children.push_back(
            {"base.standard." + std::to_string(slot),
             "Standard timing " + std::to_string(line.children.size() + 1),
             value,
             t.bytes,
             Numbers{t.width, t.height, t.refreshHz, t.aspectWidth, t.aspectHeight},
             {}});
    }
    return line;
}

} // namespace

Line baseBlockLine(const EdidDescription &description, unsigned &dtdNumber)
{
    const BaseBlock &b = description.base;
    Line block{"base", "Block 0: base EDID", "", {0, 128}, {}, {}};
    auto &lines = block.children;
    identityLines(b, lines);
    lines.push_back(videoInputLine(b));
    screenLines(b, lines);
    lines.push_back(featuresLine(b));
    lines.push_back(chromaticityLine(b));
    lines.push_back(establishedLine(b));
    lines.push_back(standardLine(b));
    for (const Descriptor &descriptor : b.descriptors)
        lines.push_back(descriptorLine(descriptor, dtdNumber, "base"));
    lines.push_back({"base.extension_count",
                     "Extension count",
                     std::to_string(b.extensionCount.value),
                     b.extensionCount.bytes,
                     std::int64_t(b.extensionCount.value),
                     {}});
    lines.push_back(checksumLine("base.checksum", b.checksum));
    numberRepeats(lines);
    return block;
}

} // namespace description_tree
