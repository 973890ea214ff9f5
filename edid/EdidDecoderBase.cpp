#include "EdidDecoding.h"
#include "EdidModes.h"

#include <algorithm>

namespace edid_decoding {

void Decoder::decodeBase()
{
    BaseBlock &base = out_.base;
    static const unsigned kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    bool header = true;
    for (std::size_t n = 0; n < 8; ++n)
        header = header && at(n) == kHeader[n];
    base.headerValid = field(header, 0, 8);
    if (!header)
        error(FindingKind::Header, 0, "the header is not 00 FF FF FF FF FF FF 00");

    decodeManufacturer();
    base.productCode = field(std::uint16_t(le16(10)), 10, 2);
    base.serialNumber = field(std::uint32_t(le16(12) | le16(14) << 16), 12, 4);
    base.week = field(std::uint8_t(at(16)), 16, 1);
    base.year = field(1990 + at(17), 17, 1);
    base.version = field(EdidVersion{std::uint8_t(at(18)), std::uint8_t(at(19))}, 18, 2);
    checkWeek();
    if (at(18) != 1 || (at(19) != 3 && at(19) != 4))
        find(FindingKind::Version, at(18) == 1 ? Severity::Warning : Severity::Error, 18,
             withNumber("EDID version %u.%u: only 1.3 and 1.4 are current", at(18), at(19)));

    decodeBasicParameters();
    decodeChromaticity();
    decodeEstablishedTimings();
    decodeStandardTimings();
    for (std::size_t n = 0; n < 4; ++n)
        decodeDescriptor(54 + 18 * n, base.descriptors[n], n == 0);
    checkPreferredTiming();

    base.extensionCount = field(std::uint8_t(at(126)), 126, 1);
    checkChecksum(0, base.checksum);
}

// Weeks 1-54; 255 makes the year a model year from EDID 1.4 on, and EDID 1.3 counts to 53.
void Decoder::checkWeek()
{
    const unsigned week = at(16);
    const bool before14 = !out_.base.version.value.atLeast14();
    if (week == 0xFF && before14)
        error(FindingKind::Week, 16,
              "week 255 marks a model year, which EDID 1.4 introduced; this EDID is " +
                  versionText());
    else if (week > 54 && week != 0xFF)
        error(FindingKind::Week, 16, withNumber("week of manufacture %u is above 54", week));
    else if (week == 54 && before14)
        error(FindingKind::Week, 16, "EDID " + versionText() + " counts weeks 1-53, not 54");
}

void Decoder::decodeManufacturer()
{
    const unsigned code = at(8) << 8 | at(9);
    std::string letters;
    bool valid = !(code & 0x8000);
    for (int shift : {10, 5, 0}) {
        const unsigned letter = code >> shift & 0x1F;
        valid = valid && letter >= 1 && letter <= 26;
        letters += char('@' + letter);
    }
    out_.base.manufacturer = field(letters, 8, 2);
    if (!valid)
        error(FindingKind::Manufacturer, 8,
              "manufacturer ID " + hex2(at(8)) + hex2(at(9)).substr(2) +
                  " is not three letters A-Z");
}

void Decoder::decodeBasicParameters()
{
    BaseBlock &base = out_.base;
    VideoInput input;
    input.raw = std::uint8_t(at(20));
    input.digital = at(20) & 0x80;
    if (input.digital && at(19) >= 4) {
        const unsigned depth = at(20) >> 4 & 0x07;
        input.bitsPerColour = depth == 0 || depth == 7 ? 0 : 4 + 2 * depth;
        input.interface = at(20) & 0x0F;
    }
    base.input = field(input, 20, 1);

    ScreenSize size{at(21), at(22), {}, {}};
    if (at(19) >= 4 && at(21) && !at(22)) {
        size.landscapeAspect = (at(21) + 99) / 100.0;
        size.widthCm = 0;
    } else if (at(19) >= 4 && !at(21) && at(22)) {
        size.portraitAspect = 100.0 / (at(22) + 99);
        size.heightCm = 0;
    }
    base.screenSize = field(size, 21, 2);
    base.gammaHundredths = field(at(23) == 0xFF ? std::optional<unsigned>() : at(23) + 100, 23, 1);

    const unsigned f = at(24);
    base.features = field(Features{bool(f & 0x80), bool(f & 0x40), bool(f & 0x20), f >> 3 & 3,
                                   bool(f & 0x04), bool(f & 0x02), bool(f & 0x01)},
                          24, 1);
}

void Decoder::decodeChromaticity()
{
    const unsigned lo1 = at(25);
    const unsigned lo2 = at(26);
    const auto point = [&](std::size_t high, unsigned low, int shift) {
        return ChromaPoint{at(high) << 2 | (low >> (shift + 2) & 3),
                           at(high + 1) << 2 | (low >> shift & 3)};
    };
    out_.base.chromaticity = field(
        Chromaticity{point(27, lo1, 4), point(29, lo1, 0), point(31, lo2, 4), point(33, lo2, 0)},
        25, 10);
}

void Decoder::decodeEstablishedTimings()
{
    for (unsigned bit = 0; bit < 24; ++bit) {
        const std::size_t offset = 35 + bit / 8;
        if (at(offset) & (0x80 >> bit % 8))
            out_.base.establishedTimings.push_back({{offset, 1}, bit});
    }
}

void Decoder::decodeStandardTimings()
{
    for (std::size_t offset = 38; offset < 54; offset += 2) {
        const unsigned first = at(offset);
        const unsigned second = at(offset + 1);
        // 01 01 marks an unused slot; a first byte of 00 or 01 is no usable width at all.
        if (first <= 0x01)
            continue;
        StandardTiming timing;
        timing.bytes = {offset, 2};
        timing.width = (first + 31) * 8;
        timing.refreshHz = (second & 0x3F) + 60;
        static const unsigned kAspects[4][2] = {{16, 10}, {4, 3}, {5, 4}, {16, 9}};
        unsigned ratio = second >> 6;
        // Before 1.3 the first ratio was 1:1.
        const bool square = ratio == 0 && at(18) == 1 && at(19) < 3;
        timing.aspectWidth = square ? 1 : kAspects[ratio][0];
        timing.aspectHeight = square ? 1 : kAspects[ratio][1];
        timing.height = timing.width * timing.aspectHeight / timing.aspectWidth;
        out_.base.standardTimings.push_back(timing);
    }
}

DetailedTiming Decoder::decodeDetailedTiming(std::size_t d)
{
    DetailedTiming t;
    t.bytes = {d, 18};
    t.block = int(d / kBlock);
    t.pixelClockKhz = le16(d) * 10;
    t.hActive = at(d + 2) | (at(d + 4) & 0xF0) << 4;
    const unsigned hBlank = at(d + 3) | (at(d + 4) & 0x0F) << 8;
    const unsigned vActive = at(d + 5) | (at(d + 7) & 0xF0) << 4;
    const unsigned vBlank = at(d + 6) | (at(d + 7) & 0x0F) << 8;
    t.hBlank = hBlank;
    t.vBlank = vBlank;
    t.hFront = at(d + 8) | (at(d + 11) & 0xC0) << 2;
    t.hSync = at(d + 9) | (at(d + 11) & 0x30) << 4;
    t.vFront = (at(d + 10) >> 4) | (at(d + 11) & 0x0C) << 2;
    t.vSync = (at(d + 10) & 0x0F) | (at(d + 11) & 0x03) << 4;
    t.hSizeMm = at(d + 12) | (at(d + 14) & 0xF0) << 4;
    t.vSizeMm = at(d + 13) | (at(d + 14) & 0x0F) << 8;
    t.hBorder = at(d + 15);
    t.vBorder = at(d + 16);
    // The blanking holds a border on either side (VESA E-EDID 1.4 figure 3.4).
    t.hBack = int(hBlank) - int(t.hFront + t.hSync + 2 * t.hBorder);
    t.vBack = int(vBlank) - int(t.vFront + t.vSync + 2 * t.vBorder);
    const unsigned flags = at(d + 17);
    t.interlaced = flags & 0x80;
    t.vActive = t.interlaced ? 2 * vActive : vActive;
    t.stereo = std::uint8_t((flags >> 4 & 0x06) | (flags & 0x01));
    t.sync = std::uint8_t(flags >> 1 & 0x0F);

    checkDetailedTiming(t, "DTD " + std::to_string(++dtdCount_));
    return t;
}

void Decoder::checkDetailedTiming(const DetailedTiming &t, const std::string &name)
{
    const std::size_t d = t.bytes.offset;
    if (!t.hBlank || !t.vBlank)
        error(FindingKind::DtdBlanking, d + 3,
              name + " has no " + (t.hBlank ? "vertical" : "horizontal") + " blanking");
    if (t.hBlank && t.hBack < 0)
        error(FindingKind::DtdBlanking, d + 8,
              name + withNumber(": horizontal front porch, sync and borders (%u) "
                                "exceed the blanking (%u)",
                                unsigned(int(t.hBlank) - t.hBack), t.hBlank));
    if (t.vBlank && t.vBack < 0)
        error(FindingKind::DtdBlanking, d + 10,
              name + withNumber(": vertical front porch, sync and borders (%u) "
                                "exceed the blanking (%u)",
                                unsigned(int(t.vBlank) - t.vBack), t.vBlank));
    std::string zeros;
    for (const auto &[value, what] : {std::pair{t.hActive, "horizontal active"},
                                      {t.hFront, "horizontal front porch"},
                                      {t.hSync, "horizontal sync"},
                                      {t.vActive, "vertical active"},
                                      {t.vFront, "vertical front porch"},
                                      {t.vSync, "vertical sync"}})
        if (!value)
            zeros += (zeros.empty() ? "" : ", ") + std::string(what);
    if (!zeros.empty())
        error(FindingKind::DtdZero, d + 2, name + " has no " + zeros);
}

void Decoder::decodeDescriptor(std::size_t d, Descriptor &descriptor, bool first)
{
    descriptor.bytes = {d, 18};
    if (le16(d)) {
        descriptor.kind = Descriptor::Kind::DetailedTiming;
        DetailedTiming timing = decodeDetailedTiming(d);
        timing.preferred = first;
        descriptor.payload = timing;
        return;
    }
    const DescriptorTag tag = DescriptorTag(at(d + 3));
    checkReservedBytes(d, tag);
    switch (tag) {
    case DescriptorTag::ProductName:
        descriptor.kind = Descriptor::Kind::ProductName;
        descriptor.payload = decodeText(d, "product name");
        return;
    case DescriptorTag::SerialText:
        descriptor.kind = Descriptor::Kind::SerialText;
        descriptor.payload = decodeText(d, "serial number text");
        return;
    case DescriptorTag::UnspecifiedText:
        descriptor.kind = Descriptor::Kind::UnspecifiedText;
        descriptor.payload = decodeText(d, "unspecified text");
        return;
    case DescriptorTag::RangeLimits:
        descriptor.kind = Descriptor::Kind::RangeLimits;
        descriptor.payload = decodeRangeLimits(d);
        return;
    default:
        descriptor.kind =
            tag == DescriptorTag::Dummy ? Descriptor::Kind::Dummy : Descriptor::Kind::Other;
        descriptor.payload = OtherDescriptor{std::uint8_t(tag), bytes(d + 5, d + 18)};
    }
}

// Bytes 2 and 4 of a display descriptor are 0, but for the rate offsets of EDID 1.4's range
// limits in byte 4.
void Decoder::checkReservedBytes(std::size_t d, DescriptorTag tag)
{
    const bool rateOffsets =
        tag == DescriptorTag::RangeLimits && out_.base.version.value.atLeast14();
    for (std::size_t n : {2, 4})
        if (at(d + n) && !(n == 4 && rateOffsets))
            error(FindingKind::DescriptorReserved, d + n,
                  withNumber("a display descriptor has %s in its reserved byte %u",
                             hex2(at(d + n)).c_str(), unsigned(n)));
}

DisplayText Decoder::decodeText(std::size_t d, const char *what)
{
    DisplayText text;
    // Up to 13 characters; a shorter text ends in a line feed and is padded with spaces.
    std::size_t offset = d + 5;
    for (; offset < d + 18 && at(offset) != 0x0A && at(offset) != 0x00; ++offset) {
        const unsigned c = at(offset);
        text.printable = text.printable && c >= 0x20 && c < 0x7F;
        text.text += char(c);
    }
    text.terminated = offset == d + 18 || at(offset) == 0x0A;
    for (std::size_t pad = offset + 1; pad < d + 18; ++pad)
        text.terminated = text.terminated && at(pad) == 0x20;
    if (!text.terminated)
        warning(FindingKind::TextTermination, d + 5,
                std::string("the ") + what +
                    " does not end in a line feed followed by space padding");
    else if (!text.text.empty() && text.text.back() == ' ')
        error(FindingKind::TextTrailingSpaces, d + 5,
              std::string("the ") + what + " ends in spaces (the padding follows a line feed)");
    if (!text.printable)
        warning(FindingKind::TextUnprintable, d + 5,
                std::string("the ") + what + " holds non-printable characters");
    return text;
}

RangeLimits Decoder::decodeRangeLimits(std::size_t d)
{
    RangeLimits limits;
    // EDID 1.4: byte 4 adds 255 to a maximum or minimum.
    const unsigned offsets = at(19) >= 4 ? at(d + 4) : 0;
    const unsigned vMinPlus = (offsets & 0x03) == 0x03 ? 255 : 0;
    const unsigned vMaxPlus = offsets & 0x02 ? 255 : 0;
    const unsigned hMinPlus = (offsets & 0x0C) == 0x0C ? 255 : 0;
    const unsigned hMaxPlus = offsets & 0x08 ? 255 : 0;
    limits.minVerticalHz = at(d + 5) + vMinPlus;
    limits.maxVerticalHz = at(d + 6) + vMaxPlus;
    limits.minHorizontalKhz = at(d + 7) + hMinPlus;
    limits.maxHorizontalKhz = at(d + 8) + hMaxPlus;
    limits.maxPixelClockMhz = at(d + 9) * 10;
    limits.subtype = at(d + 10);
    limits.subtypeData = bytes(d + 11, d + 18);
    // Without a secondary timing formula the rest is a line feed and spaces (E-EDID 1.4
    // table 3.26).
    if (limits.subtype <= 1) {
        if (at(d + 11) != 0x0A)
            error(FindingKind::RangeLimitsPadding, d + 11,
                  "the range limits give no timing formula's parameters, so byte 11 should be "
                  "0x0A, not " +
                      hex2(at(d + 11)));
        for (std::size_t p = d + 12; p < d + 18; ++p)
            if (at(p) != 0x20) {
                error(FindingKind::RangeLimitsPadding, p,
                      "the range limits give no timing formula's parameters, so bytes 12-17 "
                      "should be spaces");
                break;
            }
    }
    return limits;
}

void Decoder::checkPreferredTiming()
{
    const BaseBlock &base = out_.base;
    const bool firstIsTiming = base.descriptors[0].kind == Descriptor::Kind::DetailedTiming;
    if (!firstIsTiming)
        error(FindingKind::PreferredTiming, 54,
              "the first descriptor is not a detailed timing, so there is no preferred "
              "timing");
    if (at(18) == 1 && at(19) == 3 && !(at(24) & 0x02))
        error(FindingKind::PreferredTiming, 24,
              "EDID 1.3 requires the preferred timing bit (byte 24 bit 1) to be set");
}

} // namespace edid_decoding
