#include "EdidEncoder.h"
#include "CtaLayout.h"

#include <algorithm>
#include <cmath>

namespace {

using Bytes = BlockBytes;

void putLittleEndian(std::uint8_t *to, unsigned long value, std::size_t size)
{
    for (std::size_t n = 0; n < size; ++n)
        to[n] = std::uint8_t(value >> 8 * n);
}

DescriptorTag tagOf(const Descriptor &descriptor)
{
    using K = Descriptor::Kind;
    switch (descriptor.kind) {
    case K::ProductName:
        return DescriptorTag::ProductName;
    case K::SerialText:
        return DescriptorTag::SerialText;
    case K::UnspecifiedText:
        return DescriptorTag::UnspecifiedText;
    case K::RangeLimits:
        return DescriptorTag::RangeLimits;
    default:
        return DescriptorTag(std::get<OtherDescriptor>(descriptor.payload).tag);
    }
}

void putText(std::uint8_t *d, const DisplayText &text)
{
    // Up to 13 characters; a shorter text ends in a line feed, spaces after it.
    std::fill(d + 5, d + 18, 0x20);
    const std::size_t size = std::min<std::size_t>(text.text.size(), 13);
    std::copy_n(text.text.begin(), size, d + 5);
    if (size < 13)
        d[5 + size] = 0x0A;
}

void putRangeLimits(std::uint8_t *d, const RangeLimits &limits)
{
    // EDID 1.4: a maximum above 255 carries 255 in byte 4, and so does a minimum with it.
    const auto part = [](unsigned value) {
        return std::uint8_t(value > 255 ? value - 255 : value);
    };
    d[4] = std::uint8_t(
        (limits.maxVerticalHz > 255 ? 0x02 : 0) | (limits.minVerticalHz > 255 ? 0x01 : 0) |
        (limits.maxHorizontalKhz > 255 ? 0x08 : 0) | (limits.minHorizontalKhz > 255 ? 0x04 : 0));
    d[5] = part(limits.minVerticalHz);
    d[6] = part(limits.maxVerticalHz);
    d[7] = part(limits.minHorizontalKhz);
    d[8] = part(limits.maxHorizontalKhz);
    d[9] = std::uint8_t((limits.maxPixelClockMhz + 9) / 10);
    d[10] = std::uint8_t(limits.subtype);
    static const std::uint8_t kNoFormula[7] = {0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    if (limits.subtypeData.size() == 7)
        std::copy(limits.subtypeData.begin(), limits.subtypeData.end(), d + 11);
    else
        std::copy(kNoFormula, kNoFormula + 7, d + 11);
}

// The payload length a block needs at least; a decoded block keeps the length it declared.
Bytes sized(Bytes payload, unsigned declared)
{
    if (payload.size() < declared)
        payload.resize(declared, 0);
    return payload;
}

Bytes svdBytes(const std::vector<ShortVideoDescriptor> &svds)
{
    Bytes payload;
    for (const ShortVideoDescriptor &svd : svds)
        payload.push_back(std::uint8_t(svd.native && svd.vic <= 64 ? svd.vic | 0x80 : svd.vic));
    return payload;
}

Bytes audioBytes(const AudioBlock &audio)
{
    Bytes payload;
    for (const ShortAudioDescriptor &sad : audio.descriptors) {
        const unsigned channels = sad.channels ? sad.channels - 1 : 0;
        const bool threeD = sad.formatCode == 15 && sad.extendedCode == 13; // five channel bits
        payload.push_back(std::uint8_t((threeD ? (channels & 0x08) << 4 : 0) |
                                       (sad.formatCode & 0x0F) << 3 | (channels & 0x07)));
        payload.push_back(
            std::uint8_t((threeD ? (channels & 0x10) << 3 : 0) | (sad.sampleRates & 0x7F)));
        payload.push_back(sad.byte3);
    }
    return payload;
}

Bytes hdmiBytes(const HdmiVsdb &hdmi)
{
    using L = HdmiVsdbLayout;
    Bytes block(L::kAddress, 0); // header and OUI, dropped below
    putLittleEndian(&block[1], std::uint32_t(Oui::Hdmi), 3);
    const auto &a = hdmi.physicalAddress.value_or(std::array<unsigned, 4>{});
    block.push_back(std::uint8_t(a[0] << 4 | (a[1] & 0x0F)));
    block.push_back(std::uint8_t(a[2] << 4 | (a[3] & 0x0F)));
    const std::uint8_t flags =
        std::uint8_t((hdmi.supportsAi ? 0x80 : 0) | (hdmi.deepColour48 ? 0x40 : 0) |
                     (hdmi.deepColour36 ? 0x20 : 0) | (hdmi.deepColour30 ? 0x10 : 0) |
                     (hdmi.deepColourY444 ? 0x08 : 0) | (hdmi.dualLinkDvi ? 0x01 : 0));
    const std::uint8_t options =
        std::uint8_t((hdmi.videoLatency ? 0x80 : 0) | (hdmi.interlacedVideoLatency ? 0x40 : 0) |
                     (hdmi.hdmiVideoPresent ? 0x20 : 0) | (hdmi.contentTypes & 0x0F));
    block.push_back(flags);
    block.push_back(std::uint8_t(hdmi.maxTmdsMhz.value_or(0) / 5));
    block.push_back(options);
    for (const auto &[video, audio] :
         {std::pair{hdmi.videoLatency, hdmi.audioLatency},
          std::pair{hdmi.interlacedVideoLatency, hdmi.interlacedAudioLatency}})
        if (video) {
            block.push_back(std::uint8_t(*video));
            block.push_back(std::uint8_t(audio.value_or(0)));
        }
    if (hdmi.hdmiVideoPresent) {
        block.push_back(hdmi.present3d ? 0x80 : 0);
        block.push_back(std::uint8_t(hdmi.hdmiVics.size() << 5));
        for (unsigned vic : hdmi.hdmiVics)
            block.push_back(std::uint8_t(vic));
    }
    // What the values need: no trailing field that holds nothing.
    std::size_t needed = block.size();
    if (!hdmi.hdmiVideoPresent && !hdmi.videoLatency && !hdmi.interlacedVideoLatency) {
        needed = options           ? L::kOptions + 1
                 : hdmi.maxTmdsMhz ? L::kMaxTmds + 1
                 : flags           ? L::kFlags + 1
                                   : L::kAddress + 2;
    }
    block.resize(needed);
    return Bytes(block.begin() + 1, block.end());
}

// From the version byte on: the HDMI Forum VSDB after its OUI, the SCDB after two zero bytes.
Bytes hdmiForumBytes(const HdmiForumBlock &forum)
{
    using namespace hdmi_forum;
    Bytes block(kDsc + 1, 0);
    block[kVersion] = std::uint8_t(forum.version);
    block[kMaxTmdsRate] = std::uint8_t(forum.maxTmdsCharRateMhz.value_or(0) / 5);
    block[kFlags] = std::uint8_t((forum.scdcPresent ? 0x80 : 0) | (forum.readRequest ? 0x40 : 0) |
                                 (forum.ccbpci ? 0x10 : 0) | (forum.lte340Scrambling ? 0x08 : 0) |
                                 (forum.independentView3d ? 0x04 : 0) |
                                 (forum.dualView3d ? 0x02 : 0) | (forum.osdDisparity3d ? 0x01 : 0));
    block[kFrl] =
        std::uint8_t(forum.maxFrlRate.value_or(0) << 4 | (forum.deepColour420_48 ? 0x04 : 0) |
                     (forum.deepColour420_36 ? 0x02 : 0) | (forum.deepColour420_30 ? 0x01 : 0));
    block[kFeatures] = std::uint8_t((forum.allm ? 0x02 : 0) | (forum.fva ? 0x04 : 0));
    const unsigned vrrMax = forum.vrrMax.value_or(0);
    block[kVrr] = std::uint8_t((forum.vrrMin.value_or(0) & 0x3F) | (vrrMax >> 8) << 6);
    block[kVrr + 1] = std::uint8_t(vrrMax);
    block[kDsc] = forum.dsc ? 0x80 : 0;
    const bool deepColour420 =
        forum.deepColour420_48 || forum.deepColour420_36 || forum.deepColour420_30;
    std::size_t needed = forum.dsc                           ? kDsc + 1
                         : forum.vrrMax                      ? kVrr + 2
                         : forum.allm || forum.fva           ? kFeatures + 1
                         : forum.maxFrlRate || deepColour420 ? kFrl + 1
                                                             : kFlags + 1;
    block.resize(needed);
    if (forum.capabilityBlock)
        return Bytes(block.begin() + 2, block.end()); // after the extended tag
    putLittleEndian(&block[1], std::uint32_t(Oui::HdmiForum), 3);
    return Bytes(block.begin() + 1, block.end());
}

Bytes hdrStaticBytes(const HdrStaticBlock &hdr)
{
    Bytes payload{hdr.eotfs, hdr.descriptors};
    for (const auto &code : {hdr.maxLuminance, hdr.maxFrameAverage, hdr.minLuminance}) {
        if (!code)
            break;
        payload.push_back(std::uint8_t(*code));
    }
    return payload;
}

Bytes capabilityMapBytes(const Ycbcr420CapabilityMap &map)
{
    if (map.allSvds)
        return {};
    Bytes bits;
    for (unsigned index : map.svdIndices) {
        if (bits.size() <= index / 8)
            bits.resize(index / 8 + 1, 0);
        bits[index / 8] |= std::uint8_t(1u << index % 8);
    }
    return bits;
}

Bytes payloadBytes(const CtaDataBlock::Payload &payload)
{
    return std::visit(
        [](const auto &p) -> Bytes {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, VideoBlock> || std::is_same_v<T, Ycbcr420VideoBlock>) {
                return svdBytes(p.descriptors);
            } else if constexpr (std::is_same_v<T, AudioBlock>) {
                return audioBytes(p);
            } else if constexpr (std::is_same_v<T, SpeakerBlock>) {
                return {std::uint8_t(p.speakers), std::uint8_t(p.speakers >> 8),
                        std::uint8_t(p.speakers >> 16)};
            } else if constexpr (std::is_same_v<T, HdmiVsdb>) {
                return hdmiBytes(p);
            } else if constexpr (std::is_same_v<T, HdmiForumBlock>) {
                return hdmiForumBytes(p);
            } else if constexpr (std::is_same_v<T, VendorBlock>) {
                Bytes bytes(3);
                putLittleEndian(bytes.data(), p.oui, 3);
                bytes.insert(bytes.end(), p.data.begin(), p.data.end());
                return bytes;
            } else if constexpr (std::is_same_v<T, VideoCapabilityBlock>) {
                return {std::uint8_t((p.quantYcc ? 0x80 : 0) | (p.quantRgb ? 0x40 : 0) |
                                     (p.ptScan & 3) << 4 | (p.itScan & 3) << 2 | (p.ceScan & 3))};
            } else if constexpr (std::is_same_v<T, ColorimetryBlock>) {
                return {p.colorimetry, p.metadata};
            } else if constexpr (std::is_same_v<T, HdrStaticBlock>) {
                return hdrStaticBytes(p);
            } else if constexpr (std::is_same_v<T, HdrDynamicBlock>) {
                Bytes bytes;
                for (const HdrDynamicType &type : p.types)
                    bytes.insert(bytes.end(),
                                 {3, std::uint8_t(type.type), std::uint8_t(type.type >> 8),
                                  std::uint8_t(type.version & 0x0F)});
                return bytes;
            } else if constexpr (std::is_same_v<T, Ycbcr420CapabilityMap>) {
                return capabilityMapBytes(p);
            } else {
                return p.data;
            }
        },
        payload);
}

void putBaseIdentity(std::uint8_t *b, const BaseBlock &base)
{
    static const std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(kHeader, kHeader + 8, b);
    unsigned code = 0;
    for (char letter : base.manufacturer.value.substr(0, 3))
        code = code << 5 | (unsigned(letter - '@') & 0x1F);
    b[8] = std::uint8_t(code >> 8); // the one big-endian field
    b[9] = std::uint8_t(code);
    putLittleEndian(b + 10, base.productCode.value, 2);
    putLittleEndian(b + 12, base.serialNumber.value, 4);
    b[16] = base.week.value;
    b[17] = std::uint8_t(base.year.value - 1990);
    b[18] = base.version.value.version;
    b[19] = base.version.value.revision;
}

void putBaseParameters(std::uint8_t *b, const BaseBlock &base)
{
    b[20] = base.input.value.raw;
    const ScreenSize &size = base.screenSize.value;
    b[21] = std::uint8_t(size.widthCm);
    b[22] = std::uint8_t(size.heightCm);
    if (size.landscapeAspect)
        b[21] = std::uint8_t(std::lround(*size.landscapeAspect * 100) - 99);
    if (size.portraitAspect)
        b[22] = std::uint8_t(std::lround(100 / *size.portraitAspect) - 99);
    const auto &gamma = base.gammaHundredths.value;
    b[23] = gamma ? std::uint8_t(*gamma - 100) : 0xFF;
    const Features &f = base.features.value;
    b[24] =
        std::uint8_t((f.standby ? 0x80 : 0) | (f.suspend ? 0x40 : 0) | (f.activeOff ? 0x20 : 0) |
                     (f.colourType & 3) << 3 | (f.srgbDefault ? 0x04 : 0) |
                     (f.preferredTimingNative ? 0x02 : 0) | (f.continuousFrequency ? 0x01 : 0));
    const Chromaticity &c = base.chromaticity.value;
    const ChromaPoint points[4] = {c.red, c.green, c.blue, c.white};
    b[25] = std::uint8_t((c.red.x & 3) << 6 | (c.red.y & 3) << 4 | (c.green.x & 3) << 2 |
                         (c.green.y & 3));
    b[26] = std::uint8_t((c.blue.x & 3) << 6 | (c.blue.y & 3) << 4 | (c.white.x & 3) << 2 |
                         (c.white.y & 3));
    for (std::size_t n = 0; n < 4; ++n) {
        b[27 + 2 * n] = std::uint8_t(points[n].x >> 2);
        b[28 + 2 * n] = std::uint8_t(points[n].y >> 2);
    }
}

void putBaseTimings(std::uint8_t *b, const BaseBlock &base)
{
    for (const EstablishedTimingBit &bit : base.establishedTimings)
        b[35 + bit.bit / 8] |= std::uint8_t(0x80 >> bit.bit % 8);
    std::fill(b + 38, b + 54, 0x01); // unused slots
    std::size_t next = 38;
    for (const StandardTiming &t : base.standardTimings) {
        const std::size_t at = t.bytes.length ? t.bytes.offset : next;
        next = at + 2;
        // The aspect ratio's code: 16:10 (1:1 before EDID 1.3), 4:3, 5:4, 16:9.
        const unsigned ratio = t.aspectWidth * 10 == t.aspectHeight * 16 || t.aspectWidth == 1 ? 0
                               : t.aspectWidth * 3 == t.aspectHeight * 4                       ? 1
                               : t.aspectWidth * 4 == t.aspectHeight * 5                       ? 2
                                                                                               : 3;
        b[at] = std::uint8_t(t.width / 8 - 31);
        b[at + 1] = std::uint8_t(ratio << 6 | ((t.refreshHz - 60) & 0x3F));
    }
}

void putCtaExtension(std::uint8_t *x, const CtaExtension &cta)
{
    x[0] = kCtaExtensionTag;
    x[1] = cta.revision.value;
    const CtaFlags &f = cta.flags.value;
    x[3] = cta.revision.value >= 2
               ? std::uint8_t((f.underscan ? 0x80 : 0) | (f.basicAudio ? 0x40 : 0) |
                              (f.ycbcr444 ? 0x20 : 0) | (f.ycbcr422 ? 0x10 : 0) |
                              (f.nativeDtds & 0x0F))
               : 0;
    std::size_t p = 4;
    for (const CtaDataBlock &block : cta.dataBlocks) {
        const BlockBytes bytes = encodeDataBlock(block);
        const std::size_t room = kCtaChecksum - kCtaStart - p;
        std::copy_n(bytes.begin(), std::min(bytes.size(), room), x + p);
        p += std::min(bytes.size(), room);
    }
    const bool nothing = cta.dataBlocks.empty() && cta.detailedTimings.empty() &&
                         cta.otherSlots.empty() && cta.dtdOffset.value == 0;
    x[2] = nothing ? 0 : std::uint8_t(p);
    // The DTDs and the descriptors among them in the order they came.
    std::vector<Descriptor> slots(cta.otherSlots);
    for (const DetailedTiming &timing : cta.detailedTimings)
        slots.push_back(descriptorOf(timing));
    std::stable_sort(slots.begin(), slots.end(), [](const Descriptor &a, const Descriptor &b) {
        return a.bytes.offset < b.bytes.offset;
    });
    for (const Descriptor &slot : slots) {
        if (p + 18 > kCtaChecksum - kCtaStart)
            break;
        const DescriptorBytes bytes = encodeDescriptor(slot);
        std::copy(bytes.begin(), bytes.end(), x + p);
        p += 18;
    }
    for (std::size_t n = 0; n < cta.paddingData.size() && p + n < kCtaChecksum - kCtaStart; ++n)
        x[p + n] = cta.paddingData[n];
}

} // namespace

DescriptorBytes encodeDetailedTiming(const DetailedTiming &t)
{
    const unsigned clock = t.pixelClockKhz / 10;
    const unsigned vActive = t.interlaced ? t.vActive / 2 : t.vActive;
    // VESA E-EDID 1.4 table 3.21.
    const unsigned d[18] = {clock & 0xFF,
                            clock >> 8 & 0xFF,
                            t.hActive & 0xFF,
                            t.hBlank & 0xFF,
                            (t.hActive >> 8 & 0x0F) << 4 | (t.hBlank >> 8 & 0x0F),
                            vActive & 0xFF,
                            t.vBlank & 0xFF,
                            (vActive >> 8 & 0x0F) << 4 | (t.vBlank >> 8 & 0x0F),
                            t.hFront & 0xFF,
                            t.hSync & 0xFF,
                            (t.vFront & 0x0F) << 4 | (t.vSync & 0x0F),
                            (t.hFront >> 8 & 3) << 6 | (t.hSync >> 8 & 3) << 4 |
                                (t.vFront >> 4 & 3) << 2 | (t.vSync >> 4 & 3),
                            t.hSizeMm & 0xFF,
                            t.vSizeMm & 0xFF,
                            (t.hSizeMm >> 8 & 0x0F) << 4 | (t.vSizeMm >> 8 & 0x0F),
                            t.hBorder & 0xFF,
                            t.vBorder & 0xFF,
                            (t.interlaced ? 0x80u : 0u) | (t.stereo & 0x06u) << 4 |
                                (t.stereo & 0x01u) | (t.sync & 0x0Fu) << 1};
    DescriptorBytes bytes;
    std::transform(d, d + 18, bytes.begin(), [](unsigned byte) { return std::uint8_t(byte); });
    return bytes;
}

DescriptorBytes encodeDescriptor(const Descriptor &descriptor)
{
    if (const auto *timing = std::get_if<DetailedTiming>(&descriptor.payload))
        return encodeDetailedTiming(*timing);
    DescriptorBytes d{};
    d[3] = std::uint8_t(tagOf(descriptor));
    if (const auto *text = std::get_if<DisplayText>(&descriptor.payload))
        putText(d.data(), *text);
    else if (const auto *limits = std::get_if<RangeLimits>(&descriptor.payload))
        putRangeLimits(d.data(), *limits);
    else if (const auto *other = std::get_if<OtherDescriptor>(&descriptor.payload))
        std::copy_n(other->data.begin(), std::min<std::size_t>(other->data.size(), 13),
                    d.begin() + 5);
    return d;
}

BlockBytes encodeDataBlock(const CtaDataBlock &block)
{
    Bytes payload = payloadBytes(block.payload);
    if (block.extendedTag)
        payload.insert(payload.begin(), std::uint8_t(*block.extendedTag));
    payload = sized(std::move(payload), block.truncated ? 0 : block.length);
    payload.insert(payload.begin(), ctaHeader(block.tag, payload.size()));
    return payload;
}

EdidImage encodeEdid(const EdidDescription &description)
{
    EdidImage image;
    std::uint8_t *b = image.bytes.data();
    const BaseBlock &base = description.base;
    putBaseIdentity(b, base);
    putBaseParameters(b, base);
    putBaseTimings(b, base);
    for (std::size_t n = 0; n < 4; ++n) {
        const DescriptorBytes bytes = encodeDescriptor(base.descriptors[n]);
        std::copy(bytes.begin(), bytes.end(), b + 54 + 18 * n);
    }
    b[126] = base.extensionCount.value;
    if (description.cta)
        putCtaExtension(b + kCtaStart, *description.cta);
    else if (description.otherExtension) // kept as bytes, as it came
        std::copy(description.image.bytes.begin() + kCtaStart, description.image.bytes.end(),
                  b + kCtaStart);
    recalculateChecksums(image);
    return image;
}

std::optional<DetailedTiming> detailedTiming(const VideoMode &mode, unsigned hSizeMm,
                                             unsigned vSizeMm)
{
    DetailedTiming t;
    t.pixelClockKhz = (mode.pixelClockKhz + 5) / 10 * 10;
    t.hActive = mode.hActive;
    t.hBlank = mode.hFront + mode.hSync + mode.hBack;
    t.hFront = mode.hFront;
    t.hSync = mode.hSync;
    t.hBack = int(mode.hBack);
    t.vActive = mode.vActive;
    t.vBlank = mode.vFront + mode.vSync + mode.vBack;
    t.vFront = mode.vFront;
    t.vSync = mode.vSync;
    t.vBack = int(mode.vBack);
    t.hSizeMm = std::min(hSizeMm, 4095u);
    t.vSizeMm = std::min(vSizeMm, 4095u);
    t.interlaced = mode.interlaced;
    // Digital separate sync with the two polarities.
    t.sync = std::uint8_t(0x0C | (mode.vSyncPositive ? 0x02 : 0) | (mode.hSyncPositive ? 0x01 : 0));
    const unsigned fieldLines = mode.interlaced ? mode.vActive / 2 : mode.vActive;
    if (!t.pixelClockKhz || t.pixelClockKhz / 10 > 0xFFFF || t.hActive > 4095 || t.hBlank > 4095 ||
        fieldLines > 4095 || t.vBlank > 4095 || t.hFront > 1023 || t.hSync > 1023 ||
        t.vFront > 63 || t.vSync > 63)
        return std::nullopt;
    return t;
}

Descriptor descriptorOf(const DetailedTiming &timing)
{
    return {Descriptor::Kind::DetailedTiming, timing.bytes, timing};
}

Descriptor textDescriptor(Descriptor::Kind kind, const std::string &text)
{
    DisplayText display;
    display.text = text.substr(0, 13);
    display.terminated = true;
    return {kind, {}, display};
}

Descriptor rangeLimitsDescriptor(const RangeLimits &limits)
{
    return {Descriptor::Kind::RangeLimits, {}, limits};
}

Descriptor dummyDescriptor()
{
    return {Descriptor::Kind::Dummy, {}, OtherDescriptor{std::uint8_t(DescriptorTag::Dummy), {}}};
}

CtaDataBlock dataBlockOf(CtaTag tag, std::optional<unsigned> extendedTag,
                         CtaDataBlock::Payload payload)
{
    CtaDataBlock block;
    block.tag = tag;
    block.extendedTag = extendedTag;
    block.payload = std::move(payload);
    return block;
}

CtaDataBlock videoBlock(const std::vector<ShortVideoDescriptor> &svds)
{
    return dataBlockOf(CtaTag::Video, std::nullopt, VideoBlock{svds});
}

CtaDataBlock audioBlock(const std::vector<ShortAudioDescriptor> &descriptors)
{
    return dataBlockOf(CtaTag::Audio, std::nullopt, AudioBlock{descriptors});
}

CtaDataBlock speakerBlock(std::uint32_t speakers)
{
    return dataBlockOf(CtaTag::SpeakerAllocation, std::nullopt, SpeakerBlock{speakers});
}
