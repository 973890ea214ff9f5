#include "EdidDescription.h"
#include "EdidModes.h"

#include <algorithm>
#include <cstdio>

namespace {

using Severity = EdidFinding::Severity;

constexpr std::size_t kBlock = EdidImage::kBlockSize;
constexpr std::size_t kCta = kBlock;            // where the extension starts
constexpr std::size_t kCtaEnd = 2 * kBlock - 1; // its checksum byte: no data beyond
constexpr std::uint32_t kHdmiOui = 0x000C03;
constexpr std::uint32_t kHdmiForumOui = 0xC45DD8;

std::string hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

template <typename... Values> std::string withNumber(const char *format, Values... values)
{
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

class Decoder {
public:
    explicit Decoder(const EdidImage &image) : image_(image) {}

    EdidDescription run()
    {
        decodeBase();
        decodeExtension();
        checkAcrossBlocks();
        std::stable_sort(
            out_.findings.begin(), out_.findings.end(),
            [](const EdidFinding &a, const EdidFinding &b) { return a.offset < b.offset; });
        return std::move(out_);
    }

private:
    const EdidImage &image_;
    EdidDescription out_;
    unsigned dtdCount_ = 0;

    // Every read goes through here: nothing past the image is ever touched.
    unsigned at(std::size_t offset) const
    {
        return offset < EdidImage::kSize ? image_.bytes[offset] : 0;
    }
    unsigned le16(std::size_t offset) const { return at(offset) | at(offset + 1) << 8; }

    void find(Severity severity, std::size_t offset, std::string message)
    {
        out_.findings.push_back({int(offset / kBlock), offset, severity, std::move(message)});
    }
    void error(std::size_t offset, std::string message)
    {
        find(Severity::Error, offset, std::move(message));
    }
    void warning(std::size_t offset, std::string message)
    {
        find(Severity::Warning, offset, std::move(message));
    }

    template <typename T> Field<T> field(T value, std::size_t offset, std::size_t length) const
    {
        return {std::move(value), {offset, length}};
    }

    std::vector<std::uint8_t> bytes(std::size_t from, std::size_t to) const
    {
        std::vector<std::uint8_t> data;
        for (std::size_t offset = from; offset < to && offset < EdidImage::kSize; ++offset)
            data.push_back(std::uint8_t(at(offset)));
        return data;
    }

    void checkChecksum(std::size_t blockStart, Field<BlockChecksum> &checksum)
    {
        const std::size_t offset = blockStart + kBlock - 1;
        const BlockChecksum value = blockChecksum(image_, blockStart / kBlock);
        checksum = field(value, offset, 1);
        if (!value.isCorrect())
            error(offset, "block " + std::to_string(blockStart / kBlock) + " checksum is " +
                              hex2(value.stored) + ", should be " + hex2(value.correct));
    }

    // ---- Base block ----

    void decodeBase()
    {
        BaseBlock &base = out_.base;
        static const unsigned kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        bool header = true;
        for (std::size_t n = 0; n < 8; ++n)
            header = header && at(n) == kHeader[n];
        base.headerValid = field(header, 0, 8);
        if (!header)
            error(0, "the header is not 00 FF FF FF FF FF FF 00");

        decodeManufacturer();
        base.productCode = field(std::uint16_t(le16(10)), 10, 2);
        base.serialNumber = field(std::uint32_t(le16(12) | le16(14) << 16), 12, 4);
        base.week = field(std::uint8_t(at(16)), 16, 1);
        base.year = field(1990 + at(17), 17, 1);
        if (at(16) > 54 && at(16) != 0xFF)
            warning(16, withNumber("week of manufacture %u is above 54", at(16)));

        base.version = field(EdidVersion{std::uint8_t(at(18)), std::uint8_t(at(19))}, 18, 2);
        if (at(18) != 1 || (at(19) != 3 && at(19) != 4))
            find(at(18) == 1 ? Severity::Warning : Severity::Error, 18,
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

    void decodeManufacturer()
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
            error(8, "manufacturer ID " + hex2(at(8)) + hex2(at(9)).substr(2) +
                         " is not three letters A-Z");
    }

    void decodeBasicParameters()
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
        base.gammaHundredths =
            field(at(23) == 0xFF ? std::optional<unsigned>() : at(23) + 100, 23, 1);

        const unsigned f = at(24);
        base.features = field(Features{bool(f & 0x80), bool(f & 0x40), bool(f & 0x20), f >> 3 & 3,
                                       bool(f & 0x04), bool(f & 0x02), bool(f & 0x01)},
                              24, 1);
    }

    void decodeChromaticity()
    {
        const unsigned lo1 = at(25);
        const unsigned lo2 = at(26);
        const auto point = [&](std::size_t high, unsigned low, int shift) {
            return ChromaPoint{at(high) << 2 | (low >> (shift + 2) & 3),
                               at(high + 1) << 2 | (low >> shift & 3)};
        };
        out_.base.chromaticity = field(Chromaticity{point(27, lo1, 4), point(29, lo1, 0),
                                                    point(31, lo2, 4), point(33, lo2, 0)},
                                       25, 10);
    }

    void decodeEstablishedTimings()
    {
        for (unsigned bit = 0; bit < 24; ++bit) {
            const std::size_t offset = 35 + bit / 8;
            if (at(offset) & (0x80 >> bit % 8))
                out_.base.establishedTimings.push_back({{offset, 1}, bit});
        }
    }

    void decodeStandardTimings()
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

    DetailedTiming decodeDetailedTiming(std::size_t d)
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

        const std::string name = "DTD " + std::to_string(++dtdCount_);
        if (!hBlank || !vBlank)
            error(d + 3, name + " has no " + (hBlank ? "vertical" : "horizontal") + " blanking");
        if (hBlank && t.hBack < 0)
            error(d + 8, name + withNumber(": horizontal front porch, sync and borders (%u) "
                                           "exceed the blanking (%u)",
                                           unsigned(int(hBlank) - t.hBack), hBlank));
        if (vBlank && t.vBack < 0)
            error(d + 10, name + withNumber(": vertical front porch, sync and borders (%u) "
                                            "exceed the blanking (%u)",
                                            unsigned(int(vBlank) - t.vBack), vBlank));

        return t;
    }

    void decodeDescriptor(std::size_t d, Descriptor &descriptor, bool first)
    {
        descriptor.bytes = {d, 18};
        if (le16(d)) {
            descriptor.kind = Descriptor::Kind::DetailedTiming;
            DetailedTiming timing = decodeDetailedTiming(d);
            timing.preferred = first;
            descriptor.payload = timing;
            return;
        }
        const unsigned tag = at(d + 3);
        switch (tag) {
        case 0xFC:
            descriptor.kind = Descriptor::Kind::ProductName;
            descriptor.payload = decodeText(d, "product name");
            return;
        case 0xFF:
            descriptor.kind = Descriptor::Kind::SerialText;
            descriptor.payload = decodeText(d, "serial number text");
            return;
        case 0xFE:
            descriptor.kind = Descriptor::Kind::UnspecifiedText;
            descriptor.payload = decodeText(d, "unspecified text");
            return;
        case 0xFD:
            descriptor.kind = Descriptor::Kind::RangeLimits;
            descriptor.payload = decodeRangeLimits(d);
            return;
        default:
            descriptor.kind = tag == 0x10 ? Descriptor::Kind::Dummy : Descriptor::Kind::Other;
            descriptor.payload = OtherDescriptor{std::uint8_t(tag), bytes(d + 5, d + 18)};
        }
    }

    DisplayText decodeText(std::size_t d, const char *what)
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
            warning(d + 5, std::string("the ") + what +
                               " does not end in a line feed followed by space padding");
        if (!text.printable)
            warning(d + 5, std::string("the ") + what + " holds non-printable characters");
        return text;
    }

    RangeLimits decodeRangeLimits(std::size_t d)
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
        return limits;
    }

    void checkPreferredTiming()
    {
        const BaseBlock &base = out_.base;
        const bool firstIsTiming = base.descriptors[0].kind == Descriptor::Kind::DetailedTiming;
        if (!firstIsTiming)
            error(54, "the first descriptor is not a detailed timing, so there is no preferred "
                      "timing");
        if (at(18) == 1 && at(19) == 3 && !(at(24) & 0x02))
            error(24, "EDID 1.3 requires the preferred timing bit (byte 24 bit 1) to be set");
    }

    // ---- Extension ----

    void decodeExtension()
    {
        bool empty = true;
        for (std::size_t offset = kCta; offset < EdidImage::kSize; ++offset)
            empty = empty && at(offset) == 0;
        const unsigned count = at(126);
        if (count > 1)
            error(126, withNumber("the base block counts %u extension blocks; the image holds one",
                                  count));
        if (count == 0 && !empty)
            warning(126, "the base block counts no extension, so sources ignore block 1");
        if (count >= 1 && empty)
            error(126, "the base block counts an extension, but block 1 is empty");
        if (empty)
            return;
        if (at(kCta) != 0x02) {
            out_.otherExtension =
                OtherExtension{field(std::uint8_t(at(kCta)), kCta, 1), {kCta, kBlock}, {}};
            warning(kCta, "block 1 is not a CTA-861 extension (tag " + hex2(at(kCta)) +
                              "); kept as bytes");
            checkChecksum(kCta, out_.otherExtension->checksum);
            return;
        }
        out_.cta.emplace();
        CtaExtension &cta = *out_.cta;
        cta.revision = field(std::uint8_t(at(kCta + 1)), kCta + 1, 1);
        cta.dtdOffset = field(std::uint8_t(at(kCta + 2)), kCta + 2, 1);
        const unsigned revision = at(kCta + 1);
        const unsigned flags = revision >= 2 ? at(kCta + 3) : 0;
        cta.flags = field(CtaFlags{bool(flags & 0x80), bool(flags & 0x40), bool(flags & 0x20),
                                   bool(flags & 0x10), flags & 0x0F},
                          kCta + 3, 1);

        const unsigned d = at(kCta + 2);
        const bool validOffset = d == 0 || (d >= 4 && d <= 127);
        if (!validOffset)
            error(kCta + 2, withNumber("DTD offset %u is outside 4-127", d));
        if (revision >= 3 && d >= 4 && validOffset)
            decodeDataBlocks(kCta + d);
        resolveCapabilityMaps();
        decodeExtensionTimings(validOffset && d >= 4 ? kCta + d : kCtaEnd);
        checkChecksum(kCta, cta.checksum);
    }

    void decodeDataBlocks(std::size_t collectionEnd)
    {
        std::size_t offset = kCta + 4;
        while (offset < collectionEnd) {
            const unsigned header = at(offset);
            CtaDataBlock block;
            block.tag = header >> 5;
            block.length = header & 0x1F;
            const std::size_t declaredEnd = offset + 1 + block.length;
            const std::size_t end = std::min(declaredEnd, kCtaEnd);
            block.bytes = {offset, end - offset};
            if (declaredEnd > collectionEnd) {
                block.truncated = true;
                error(offset, blockName(block.tag, block.length ? at(offset + 1) : 256) +
                                  withNumber(" at byte %u declares %u bytes and runs past the "
                                             "collection, which ends at byte %u (the DTD offset "
                                             "points inside it)",
                                             unsigned(offset - kCta), block.length,
                                             unsigned(collectionEnd - kCta)));
            }
            decodeDataBlock(block, offset + 1, end);
            out_.cta->dataBlocks.push_back(std::move(block));
            offset = declaredEnd;
        }
    }

    static std::string blockName(unsigned tag, unsigned extendedTag)
    {
        switch (tag) {
        case 1:
            return "the audio data block";
        case 2:
            return "the video data block";
        case 3:
            return "the vendor-specific data block";
        case 4:
            return "the speaker allocation data block";
        case 7:
            return extendedTag < 256
                       ? "the data block of extended tag " + std::to_string(extendedTag)
                       : "the extended data block";
        default:
            return "the data block of tag " + std::to_string(tag);
        }
    }

    void decodeDataBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
    {
        switch (block.tag) {
        case 1:
            block.payload = decodeAudio(from, to);
            return;
        case 2:
            block.payload = VideoBlock{decodeSvds(from, to)};
            return;
        case 3:
            decodeVendorBlock(block, from, to);
            return;
        case 4:
            block.payload = SpeakerBlock{at(from) | (to > from + 1 ? at(from + 1) << 8 : 0) |
                                         (to > from + 2 ? at(from + 2) << 16 : 0)};
            if (to < from + 3)
                block.payload = UnknownBlock{bytes(from, to)};
            return;
        case 7:
            if (to > from) {
                block.extendedTag = at(from);
                decodeExtendedBlock(block, from + 1, to);
                return;
            }
            break;
        default:
            break;
        }
        block.payload = UnknownBlock{bytes(from, to)};
    }

    std::vector<ShortVideoDescriptor> decodeSvds(std::size_t from, std::size_t to)
    {
        std::vector<ShortVideoDescriptor> svds;
        for (std::size_t offset = from; offset < to; ++offset) {
            const unsigned code = at(offset);
            ShortVideoDescriptor svd;
            svd.bytes = {offset, 1};
            // 129-192 are VICs 1-64 marked native; 65-127 and 193 onwards are VICs as they are.
            const bool nativeCode = code >= 129 && code <= 192;
            svd.vic = nativeCode ? code & 0x7F : code;
            svd.native = nativeCode;
            if (code == 0 || code == 128 || code >= 254)
                warning(offset, "SVD value " + std::to_string(code) + " is reserved");
            else if (!ctaVideoMode(svd.vic))
                warning(offset, "VIC " + std::to_string(svd.vic) + " is reserved");
            svds.push_back(svd);
        }
        return svds;
    }

    AudioBlock decodeAudio(std::size_t from, std::size_t to)
    {
        AudioBlock audio;
        if ((to - from) % 3) {
            // Which three bytes belong together is unknown then: no descriptor is read.
            warning(from - 1, "the audio data block's length is not a multiple of 3");
            return audio;
        }
        for (std::size_t offset = from; offset < to; offset += 3) {
            ShortAudioDescriptor sad;
            sad.bytes = {offset, 3};
            const unsigned b0 = at(offset);
            sad.formatCode = b0 >> 3 & 0x0F;
            sad.extendedCode = sad.formatCode == 15 ? at(offset + 2) >> 3 : 0;
            sad.channels = (b0 & 0x07) + 1;
            if (sad.formatCode == 15 && sad.extendedCode == 13) // L-PCM 3D: five channel bits
                sad.channels = ((b0 & 0x07) | (b0 & 0x80) >> 4 | (at(offset + 1) & 0x80) >> 3) + 1;
            sad.sampleRates = std::uint8_t(at(offset + 1) & 0x7F);
            sad.byte3 = std::uint8_t(at(offset + 2));
            audio.descriptors.push_back(sad);
        }
        return audio;
    }

    void decodeVendorBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
    {
        if (to < from + 3) {
            block.payload = UnknownBlock{bytes(from, to)};
            return;
        }
        const std::uint32_t oui = at(from) | at(from + 1) << 8 | at(from + 2) << 16;
        if (oui == kHdmiOui)
            block.payload = decodeHdmiVsdb(block, from, to);
        else if (oui == kHdmiForumOui)
            block.payload = decodeHdmiForum(from + 3, to, false);
        else
            block.payload = VendorBlock{oui, bytes(from + 3, to)};
    }

    HdmiVsdb decodeHdmiVsdb(const CtaDataBlock &block, std::size_t from, std::size_t to)
    {
        HdmiVsdb hdmi;
        const std::size_t header = from - 1;
        if (to - from < 5) {
            error(header, withNumber("the HDMI VSDB is %u bytes long, shorter than 5",
                                     unsigned(to - from)));
        } else {
            const unsigned address = at(from + 3) << 8 | at(from + 4);
            bool zeroSeen = false;
            bool valid = true;
            for (int n = 0; n < 4; ++n) {
                const unsigned digit = address >> (12 - 4 * n) & 0x0F;
                hdmi.physicalAddress[n] = digit;
                valid = valid && !(zeroSeen && digit);
                zeroSeen = zeroSeen || !digit;
            }
            if (!valid)
                error(from + 3, withNumber("physical address %u.%u.%u", hdmi.physicalAddress[0],
                                           hdmi.physicalAddress[1], hdmi.physicalAddress[2]) +
                                    "." + std::to_string(hdmi.physicalAddress[3]) +
                                    " has a non-zero digit after a zero");
        }
        (void)block;
        std::size_t p = from + 5;
        if (p < to) {
            const unsigned f = at(p++);
            hdmi.supportsAi = f & 0x80;
            hdmi.deepColour48 = f & 0x40;
            hdmi.deepColour36 = f & 0x20;
            hdmi.deepColour30 = f & 0x10;
            hdmi.deepColourY444 = f & 0x08;
            hdmi.dualLinkDvi = f & 0x01;
        }
        if (p < to) {
            if (at(p))
                hdmi.maxTmdsMhz = at(p) * 5;
            ++p;
        }
        if (p >= to)
            return hdmi;
        const unsigned f = at(p++);
        hdmi.contentTypes = std::uint8_t(f & 0x0F);
        hdmi.hdmiVideoPresent = f & 0x20;
        if (f & 0x80 && p + 2 <= to) {
            hdmi.videoLatency = at(p);
            hdmi.audioLatency = at(p + 1);
            p += 2;
        }
        if (f & 0x40 && p + 2 <= to) {
            hdmi.interlacedVideoLatency = at(p);
            hdmi.interlacedAudioLatency = at(p + 1);
            p += 2;
        }
        if (hdmi.hdmiVideoPresent && p + 2 <= to) {
            hdmi.present3d = at(p) & 0x80;
            const unsigned vicCount = at(p + 1) >> 5;
            p += 2;
            for (unsigned n = 0; n < vicCount && p < to; ++n)
                hdmi.hdmiVics.push_back(at(p++));
        }
        return hdmi;
    }

    // from: the version byte (after the OUI, or after the SCDB's two reserved bytes).
    HdmiForumBlock decodeHdmiForum(std::size_t from, std::size_t to, bool capabilityBlock)
    {
        HdmiForumBlock forum;
        forum.capabilityBlock = capabilityBlock;
        const auto byte = [&](std::size_t n) { return from + n < to ? at(from + n) : 0; };
        forum.version = byte(0);
        if (byte(1))
            forum.maxTmdsCharRateMhz = byte(1) * 5;
        const unsigned f6 = byte(2);
        forum.scdcPresent = f6 & 0x80;
        forum.readRequest = f6 & 0x40;
        forum.ccbpci = f6 & 0x10;
        forum.lte340Scrambling = f6 & 0x08;
        forum.independentView3d = f6 & 0x04;
        forum.dualView3d = f6 & 0x02;
        forum.osdDisparity3d = f6 & 0x01;
        if (from + 3 < to) {
            const unsigned f7 = byte(3);
            forum.maxFrlRate = f7 >> 4;
            forum.deepColour420_48 = f7 & 0x04;
            forum.deepColour420_36 = f7 & 0x02;
            forum.deepColour420_30 = f7 & 0x01;
        }
        if (from + 4 < to) {
            forum.allm = byte(4) & 0x02;
            forum.fva = byte(4) & 0x04;
        }
        if (from + 6 < to) {
            forum.vrrMin = byte(5) & 0x3F;
            forum.vrrMax = (byte(5) & 0xC0) << 2 | byte(6);
        }
        forum.dsc = byte(7) & 0x80;
        return forum;
    }

    void decodeExtendedBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
    {
        switch (*block.extendedTag) {
        case 0:
            if (to > from) {
                const unsigned v = at(from);
                block.payload = VideoCapabilityBlock{bool(v & 0x80), bool(v & 0x40), v >> 4 & 3,
                                                     v >> 2 & 3, v & 3};
                return;
            }
            break;
        case 1:  // vendor-specific video
        case 17: // vendor-specific audio
            if (to >= from + 3) {
                block.payload = VendorBlock{at(from) | at(from + 1) << 8 | at(from + 2) << 16,
                                            bytes(from + 3, to)};
                return;
            }
            break;
        case 5:
            if (to >= from + 2) {
                block.payload =
                    ColorimetryBlock{std::uint8_t(at(from)), std::uint8_t(at(from + 1))};
                return;
            }
            break;
        case 6:
            if (to >= from + 2) {
                HdrStaticBlock hdr;
                hdr.eotfs = std::uint8_t(at(from));
                hdr.descriptors = std::uint8_t(at(from + 1));
                if (to > from + 2)
                    hdr.maxLuminance = at(from + 2);
                if (to > from + 3)
                    hdr.maxFrameAverage = at(from + 3);
                if (to > from + 4)
                    hdr.minLuminance = at(from + 4);
                block.payload = hdr;
                return;
            }
            break;
        case 7: {
            HdrDynamicBlock hdr;
            for (std::size_t p = from; p + 3 <= to; p += at(p) + 1) {
                const std::size_t length = at(p);
                if (length < 2)
                    break;
                hdr.types.push_back({{p, std::min(length + 1, to - p)},
                                     le16(p + 1),
                                     length >= 3 && p + 3 < to ? at(p + 3) & 0x0F : 0});
            }
            block.payload = hdr;
            return;
        }
        case 14:
            block.payload = Ycbcr420VideoBlock{decodeSvds(from, to)};
            return;
        case 15: {
            Ycbcr420CapabilityMap map;
            map.allSvds = to == from;
            for (std::size_t p = from; p < to; ++p)
                for (unsigned bit = 0; bit < 8; ++bit)
                    if (at(p) & 1u << bit)
                        map.svdIndices.push_back(unsigned(8 * (p - from) + bit));
            block.payload = map;
            return;
        }
        case 0x79:
            if (to >= from + 2) {
                block.payload = decodeHdmiForum(from + 2, to, true);
                return;
            }
            break;
        default:
            break;
        }
        block.payload = UnknownBlock{bytes(from, to)};
    }

    // A capability map names SVDs by their place among all video data blocks.
    void resolveCapabilityMaps()
    {
        std::vector<unsigned> vics;
        for (const CtaDataBlock &block : out_.cta->dataBlocks)
            if (const auto *video = std::get_if<VideoBlock>(&block.payload))
                for (const ShortVideoDescriptor &svd : video->descriptors)
                    vics.push_back(svd.vic);
        for (CtaDataBlock &block : out_.cta->dataBlocks)
            if (auto *map = std::get_if<Ycbcr420CapabilityMap>(&block.payload)) {
                if (map->allSvds)
                    for (unsigned n = 0; n < vics.size(); ++n)
                        map->svdIndices.push_back(n);
                for (unsigned index : map->svdIndices)
                    map->vics.push_back(index < vics.size() ? vics[index] : 0);
            }
    }

    void decodeExtensionTimings(std::size_t start)
    {
        CtaExtension &cta = *out_.cta;
        std::size_t offset = start;
        while (offset + 18 <= kCtaEnd && le16(offset)) {
            cta.detailedTimings.push_back(decodeDetailedTiming(offset));
            offset += 18;
        }
        cta.padding = {offset, kCtaEnd - std::min(offset, kCtaEnd)};
        for (std::size_t p = offset; p < kCtaEnd; ++p)
            if (at(p)) {
                cta.paddingZero = false;
                warning(p, withNumber("padding after the DTDs holds a non-zero byte at %u",
                                      unsigned(p - kCta)));
                break;
            }
    }

    // ---- Checks that take more than one place ----

    void checkAcrossBlocks()
    {
        checkRangeLimits();
        if (!out_.cta)
            return;
        const CtaExtension &cta = *out_.cta;
        if (cta.flags.value.nativeDtds > dtdCount_)
            warning(kCta + 3, withNumber("%u native DTDs are claimed, but the EDID holds %u",
                                         cta.flags.value.nativeDtds, dtdCount_));
        bool hdmi = false;
        const CtaDataBlock *audio = nullptr;
        for (const CtaDataBlock &block : cta.dataBlocks) {
            hdmi = hdmi || std::holds_alternative<HdmiVsdb>(block.payload);
            if (!audio && std::holds_alternative<AudioBlock>(block.payload))
                audio = &block;
        }
        const CtaFlags &flags = cta.flags.value;
        if (!hdmi && (flags.basicAudio || audio || flags.ycbcr444 || flags.ycbcr422)) {
            const bool sound = flags.basicAudio || audio;
            error(audio && !flags.basicAudio ? audio->bytes.offset : kCta + 3,
                  std::string("there is no HDMI VSDB although the extension declares ") +
                      (sound ? "audio" : "YCbCr") +
                      ": a source then treats the display as DVI and sends no audio");
        }
    }

    void checkRangeLimits()
    {
        const RangeLimits *limits = nullptr;
        for (const Descriptor &descriptor : out_.base.descriptors)
            if (const auto *found = std::get_if<RangeLimits>(&descriptor.payload))
                limits = found;
        if (!limits)
            return;
        unsigned number = 0;
        for (const DetailedTiming *t : detailedTimings(out_)) {
            ++number;
            if (!t->hTotal() || !t->frameLines())
                continue;
            const double khz = double(t->pixelClockKhz) / t->hTotal();
            const double hz = khz * 1000 / t->frameLines() * (t->interlaced ? 2 : 1);
            std::vector<std::string> outside;
            if (t->pixelClockKhz > limits->maxPixelClockMhz * 1000)
                outside.push_back(withNumber("pixel clock %.2f MHz above %u MHz",
                                             t->pixelClockKhz / 1000.0, limits->maxPixelClockMhz));
            // The limits are whole numbers: a rate counts as outside when it rounds outside.
            const unsigned lineRate = unsigned(khz + 0.5);
            if (lineRate < limits->minHorizontalKhz || lineRate > limits->maxHorizontalKhz)
                outside.push_back(withNumber("line rate %.3f kHz outside %u-%u kHz", khz,
                                             limits->minHorizontalKhz, limits->maxHorizontalKhz));
            const unsigned refresh = unsigned(hz + 0.5);
            if (refresh < limits->minVerticalHz || refresh > limits->maxVerticalHz)
                outside.push_back(withNumber("refresh %.3f Hz outside %u-%u Hz", hz,
                                             limits->minVerticalHz, limits->maxVerticalHz));
            std::string message =
                "DTD " + std::to_string(number) + " lies outside the range limits:";
            for (std::size_t n = 0; n < outside.size(); ++n)
                message += (n ? "; " : " ") + outside[n];
            if (!outside.empty())
                warning(t->bytes.offset, message);
        }
    }
};

} // namespace

EdidDescription decodeEdid(const EdidImage &image)
{
    return Decoder(image).run();
}

std::vector<const DetailedTiming *> detailedTimings(const EdidDescription &description)
{
    std::vector<const DetailedTiming *> timings;
    for (const Descriptor &descriptor : description.base.descriptors)
        if (const auto *timing = std::get_if<DetailedTiming>(&descriptor.payload))
            timings.push_back(timing);
    if (description.cta)
        for (const DetailedTiming &timing : description.cta->detailedTimings)
            timings.push_back(&timing);
    return timings;
}

std::string audioFormatName(unsigned formatCode, unsigned extendedCode)
{
    static const char *const kFormats[16] = {"reserved format 0",
                                             "Linear PCM",
                                             "AC-3",
                                             "MPEG-1 (layers 1 and 2)",
                                             "MP3",
                                             "MPEG-2 multichannel",
                                             "AAC LC",
                                             "DTS",
                                             "ATRAC",
                                             "One Bit Audio",
                                             "Enhanced AC-3",
                                             "DTS-HD",
                                             "MAT (MLP)",
                                             "DST",
                                             "WMA Pro",
                                             "extended"};
    static const char *const kExtended[] = {"reserved extended format 0",
                                            "reserved extended format 1",
                                            "reserved extended format 2",
                                            "reserved extended format 3",
                                            "MPEG-4 HE AAC",
                                            "MPEG-4 HE AAC v2",
                                            "MPEG-4 AAC LC",
                                            "DRA",
                                            "MPEG-4 HE AAC + MPEG Surround",
                                            "reserved extended format 9",
                                            "MPEG-4 AAC LC + MPEG Surround",
                                            "MPEG-H 3D Audio",
                                            "AC-4",
                                            "L-PCM 3D Audio"};
    if (formatCode != 15)
        return kFormats[formatCode & 0x0F];
    if (extendedCode < sizeof kExtended / sizeof *kExtended)
        return kExtended[extendedCode];
    return "reserved extended format " + std::to_string(extendedCode);
}

std::vector<std::string> speakerNames(std::uint32_t speakers)
{
    static const char *const kSpeakers[] = {
        "FL/FR",   "LFE1",        "FC",        "BL/BR", "BC",        "FLc/FRc",   "RLC/RRC",
        "FLw/FRw", "TpFL/TpFR",   "TpC",       "TpFC",  "LS/RS",     "LFE2",      "TpBC",
        "SiL/SiR", "TpSiL/TpSiR", "TpBL/TpBR", "BtFC",  "BtFL/BtFR", "TpLS/TpRS", "LSd/RSd"};
    std::vector<std::string> names;
    for (unsigned bit = 0; bit < 24; ++bit)
        if (speakers & 1u << bit)
            names.push_back(bit < sizeof kSpeakers / sizeof *kSpeakers
                                ? kSpeakers[bit]
                                : "reserved speaker bit " + std::to_string(bit));
    return names;
}
