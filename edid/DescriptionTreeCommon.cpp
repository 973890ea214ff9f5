#include "DescriptionTreeParts.h"

#include <cctype>
#include <map>

namespace description_tree {

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

std::string join(const std::vector<std::string> &parts, const char *separator)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::vector<std::string> strings(const std::vector<const char *> &names)
{
    return {names.begin(), names.end()};
}

std::vector<std::string> numbers(const std::vector<unsigned> &values)
{
    std::vector<std::string> texts;
    for (unsigned value : values)
        texts.push_back(std::to_string(value));
    return texts;
}

std::string orNone(const std::vector<std::string> &parts)
{
    return parts.empty() ? "none" : join(parts);
}

std::string modeText(unsigned vic, const VideoMode *mode)
{
    return mode ? modeName(*mode) : "reserved VIC " + std::to_string(vic);
}

Line checksumLine(const std::string &key, const Field<BlockChecksum> &checksum)
{
    const BlockChecksum &c = checksum.value;
    return {key,
            "Checksum",
            format("0x%02X", c.stored) +
                (c.isCorrect() ? " (correct)" : format(" (should be 0x%02X)", c.correct)),
            checksum.bytes,
            std::int64_t(c.stored),
            {}};
}

namespace {

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

Line porchLine(const std::string &key, const char *label, unsigned active, unsigned front,
               unsigned sync, int back, unsigned border, ByteRange bytes)
{
    std::string text = std::to_string(active) + " active, " + std::to_string(front) +
                       " front porch, " + std::to_string(sync) + " sync, " + std::to_string(back) +
                       " back porch";
    if (border)
        text += ", " + std::to_string(border) + " border";
    return {key, label, text, bytes, std::vector<std::int64_t>{active, front, sync, back, border},
            {}};
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

std::string quoted(const DisplayText &text)
{
    std::string shown;
    for (char c : text.text)
        shown += c >= 0x20 && c < 0x7F ? c : '.';
    return "'" + shown + "'";
}

Line rangeLimitsLine(const Descriptor &descriptor, const RangeLimits &limits,
                     const std::string &key)
{
    Line line{key,
              "Range limits",
              std::to_string(limits.minVerticalHz) + "-" + std::to_string(limits.maxVerticalHz) +
                  " Hz V, " + std::to_string(limits.minHorizontalKhz) + "-" +
                  std::to_string(limits.maxHorizontalKhz) + " kHz H, max pixel clock " +
                  std::to_string(limits.maxPixelClockMhz) + " MHz",
              descriptor.bytes,
              std::vector<std::int64_t>{limits.minVerticalHz, limits.maxVerticalHz,
                                        limits.minHorizontalKhz, limits.maxHorizontalKhz,
                                        limits.maxPixelClockMhz},
              {}};
    static const char *const kKinds[] = {"default GTF", "bare limits", "secondary GTF", "", "CVT"};
    const unsigned kind = limits.subtype;
    std::vector<std::int64_t> formula{kind}; // and its parameters, or the padding
    formula.insert(formula.end(), limits.subtypeData.begin(), limits.subtypeData.end());
    line.children.push_back(
        {key + ".formula",
         "Timing formula",
         kind <= 4 && kind != 3 ? kKinds[kind] : "subtype " + std::to_string(kind),
         {descriptor.bytes.offset + 10, 1},
         formula,
         {}});
    return line;
}

} // namespace

Line detailedTimingLine(const DetailedTiming &t, unsigned number)
{
    const std::string key = "dtd." + std::to_string(number);
    Line line{key, "DTD " + std::to_string(number), timingSummary(t), t.bytes, timingMode(t), {}};
    const std::size_t d = t.bytes.offset;
    line.children = {
        {key + ".pixel_clock",
         "Pixel clock",
         format("%.2f MHz", t.pixelClockKhz / 1000.0),
         {d, 2},
         std::int64_t(t.pixelClockKhz),
         {}},
        porchLine(key + ".horizontal", "Horizontal", t.hActive, t.hFront, t.hSync, t.hBack,
                  t.hBorder, {d + 2, 10}),
        porchLine(key + ".vertical", "Vertical", t.vActive, t.vFront, t.vSync, t.vBack, t.vBorder,
                  {d + 5, 7}),
        {key + ".image_size",
         "Image size",
         std::to_string(t.hSizeMm) + " mm x " + std::to_string(t.vSizeMm) + " mm",
         {d + 12, 3},
         std::vector<std::int64_t>{t.hSizeMm, t.vSizeMm},
         {}},
        {key + ".sync", "Sync", syncText(t), {d + 17, 1}, std::int64_t(t.sync), {}},
    };
    if (t.stereo > 1) // 0 and 1 both mean no stereo
        line.children.push_back({key + ".stereo",
                                 "Stereo",
                                 "mode " + std::to_string(t.stereo),
                                 {d + 17, 1},
                                 std::int64_t(t.stereo),
                                 {}});
    return line;
}

Line descriptorLine(const Descriptor &descriptor, unsigned &dtdNumber, const std::string &key)
{
    if (const auto *timing = std::get_if<DetailedTiming>(&descriptor.payload))
        return detailedTimingLine(*timing, ++dtdNumber);
    if (const auto *limits = std::get_if<RangeLimits>(&descriptor.payload))
        return rangeLimitsLine(descriptor, *limits, key + ".range_limits");
    if (const auto *text = std::get_if<DisplayText>(&descriptor.payload)) {
        using K = Descriptor::Kind;
        const bool name = descriptor.kind == K::ProductName;
        const bool serial = descriptor.kind == K::SerialText;
        return {key + (name     ? ".name"
                       : serial ? ".serial_text"
                                : ".text"),
                name     ? "Product name"
                : serial ? "Serial number text"
                         : "Unspecified text",
                quoted(*text),
                descriptor.bytes,
                text->text,
                {}};
    }
    const auto &other = std::get<OtherDescriptor>(descriptor.payload);
    const char *name = descriptorName(other.tag);
    const bool dummy = descriptor.kind == Descriptor::Kind::Dummy;
    return {key + (dummy ? ".dummy" : format(".descriptor_%02x", other.tag)),
            name ? name : format("Descriptor of tag 0x%02X", other.tag),
            dummy ? "" : hexBytes(other.data),
            descriptor.bytes,
            other.data,
            {}};
}

void numberRepeats(std::vector<Line> &lines)
{
    // A label that ends in a number of its own gets "(2)".
    std::map<std::string, unsigned> seen;
    for (Line &line : lines)
        if (const unsigned count = ++seen[line.label]; count > 1)
            line.label += std::isdigit(static_cast<unsigned char>(line.label.back()))
                              ? " (" + std::to_string(count) + ")"
                              : " " + std::to_string(count);
}

} // namespace description_tree
