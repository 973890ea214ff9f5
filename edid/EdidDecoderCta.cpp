#include "CtaLayout.h"
#include "EdidDecoding.h"
#include "EdidModes.h"

#include <algorithm>

namespace edid_decoding {

void Decoder::decodeExtension()
{
    bool empty = true;
    for (std::size_t offset = kCta; offset < EdidImage::kSize; ++offset)
        empty = empty && at(offset) == 0;
    const unsigned count = at(126);
    if (count > 1)
        error(FindingKind::ExtensionCount, 126,
              withNumber("the base block counts %u extension blocks; the image holds one", count));
    if (count == 0 && !empty)
        warning(FindingKind::ExtensionCount, 126,
                "the base block counts no extension, so sources ignore block 1");
    if (count >= 1 && empty)
        error(FindingKind::ExtensionCount, 126,
              "the base block counts an extension, but block 1 is empty");
    if (empty)
        return;
    const std::optional<CtaLayout> layout = readCtaLayout(image_);
    if (!layout) {
        out_.otherExtension =
            OtherExtension{field(std::uint8_t(at(kCta)), kCta, 1), {kCta, kBlock}, {}};
        warning(FindingKind::NotCta, kCta,
                "block 1 is not a CTA-861 extension (tag " + hex2(at(kCta)) + "); kept as bytes");
        checkChecksum(kCta, out_.otherExtension->checksum);
        return;
    }
    out_.cta.emplace();
    CtaExtension &cta = *out_.cta;
    cta.revision = field(std::uint8_t(layout->revision), kCta + 1, 1);
    cta.dtdOffset = field(std::uint8_t(layout->dtdOffset), kCta + 2, 1);
    const unsigned flags = layout->revision >= 2 ? layout->flags : 0;
    cta.flags = field(CtaFlags{bool(flags & 0x80), bool(flags & 0x40), bool(flags & 0x20),
                               bool(flags & 0x10), flags & 0x0F},
                      kCta + 3, 1);
    if (!layout->dtdOffsetValid)
        error(FindingKind::DtdOffset, kCta + 2,
              withNumber("DTD offset %u is outside 4-127", layout->dtdOffset));
    checkRevision(layout->revision, layout->dtdOffset);
    collectionRead_ = layout->collectionWhole;
    decodeDataBlocks(*layout);
    resolveCapabilityMaps();
    decodeExtensionTimings(*layout);
    checkChecksum(kCta, cta.checksum);
}

// Revision 3 is the one CTA-861 has used since 861-B; 1 and 2 hold DTDs only.
void Decoder::checkRevision(unsigned revision, unsigned dtdOffset)
{
    if (revision == 0)
        error(FindingKind::CtaRevision, kCta + 1, "CTA-861 revision 0 is not defined");
    else if (revision > 3)
        warning(FindingKind::CtaRevision, kCta + 1,
                withNumber("CTA-861 revision %u is not defined; read as revision 3", revision));
    if (revision < 3 && dtdOffset > 4)
        error(FindingKind::CtaRevision, kCta + 2,
              withNumber("CTA-861 revision %u holds no data blocks, but the DTD offset %u leaves "
                         "bytes 4-%u for them: they are not read",
                         revision, dtdOffset, std::min(dtdOffset, 127u) - 1));
    if (revision == 1 && at(kCta + 3))
        error(FindingKind::CtaReserved, kCta + 3,
              "byte 3 is reserved in CTA-861 revision 1, but holds " + hex2(at(kCta + 3)));
}

void Decoder::decodeDataBlocks(const CtaLayout &layout)
{
    std::vector<std::size_t> reserved; // blocks of a reserved tag: often zeros padding the list
    for (const CtaBlockPlace &place : layout.blocks) {
        CtaDataBlock block;
        block.tag = place.tag;
        block.length = place.length;
        block.bytes = {place.offset, place.end - place.offset};
        block.truncated = place.truncated;
        if (place.truncated)
            error(FindingKind::BlockOverrun, place.offset,
                  blockName(place.tag, place.extendedTag) +
                      withNumber(" at byte %u declares %u bytes and runs past the collection, "
                                 "which ends at byte %u",
                                 unsigned(place.offset - kCta), place.length,
                                 unsigned(layout.collectionEnd - kCta)) +
                      (layout.dtdOffsetValid ? " (the DTD offset points inside it)" : ""));
        if (place.tag == CtaTag::Reserved0 || place.tag == CtaTag::Reserved6)
            reserved.push_back(place.offset);
        if (place.tag == CtaTag::Extended && !place.extendedTag)
            error(FindingKind::ExtendedBlockEmpty, place.offset,
                  "an extended data block has length 0: it lacks its extended tag");
        decodeDataBlock(block, place);
        out_.cta->dataBlocks.push_back(std::move(block));
    }
    if (!reserved.empty())
        warning(FindingKind::ReservedTag, reserved.front(),
                withNumber("a data block has the reserved tag %u", at(reserved.front()) >> 5) +
                    (reserved.size() > 1
                         ? withNumber(" (%u such blocks)", unsigned(reserved.size()))
                         : ""));
}

// "the audio data block", "the data block of extended tag 5": a block as findings name it.
std::string Decoder::blockName(CtaTag tag, std::optional<unsigned> extendedTag)
{
    if (tag == CtaTag::Extended)
        return extendedTag ? "the data block of extended tag " + std::to_string(*extendedTag)
                           : "the extended data block";
    if (const char *name = ctaBlockName(tag, 0)) {
        std::string words = name;
        words[0] = char(words[0] - 'A' + 'a');
        return "the " + words;
    }
    return "the data block of tag " + std::to_string(unsigned(tag));
}

void Decoder::decodeDataBlock(CtaDataBlock &block, const CtaBlockPlace &place)
{
    const std::size_t from = place.offset + 1;
    const std::size_t to = place.end;
    switch (place.tag) {
    case CtaTag::Audio:
        block.payload = decodeAudio(from, to);
        return;
    case CtaTag::Video:
        block.payload = VideoBlock{decodeSvds(from, to)};
        return;
    case CtaTag::VendorSpecific:
        decodeVendorBlock(block, from, to);
        return;
    case CtaTag::SpeakerAllocation:
        if (to >= from + 3) {
            block.payload = SpeakerBlock{at(from) | at(from + 1) << 8 | at(from + 2) << 16};
            return;
        }
        break;
    case CtaTag::Extended:
        if (place.extendedTag) {
            block.extendedTag = *place.extendedTag;
            decodeExtendedBlock(block, place.payload(), to);
            return;
        }
        break;
    default:
        break;
    }
    block.payload = UnknownBlock{bytes(from, to)};
}

std::vector<ShortVideoDescriptor> Decoder::decodeSvds(std::size_t from, std::size_t to)
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
            warning(FindingKind::ReservedSvd, offset,
                    "SVD value " + std::to_string(code) + " is reserved");
        else if (!ctaVideoMode(svd.vic))
            warning(FindingKind::ReservedSvd, offset,
                    "VIC " + std::to_string(svd.vic) + " is reserved");
        svds.push_back(svd);
    }
    return svds;
}

AudioBlock Decoder::decodeAudio(std::size_t from, std::size_t to)
{
    AudioBlock audio;
    if ((to - from) % 3) {
        // Which three bytes belong together is unknown then: no descriptor is read.
        warning(FindingKind::AudioLength, from - 1,
                "the audio data block's length is not a multiple of 3");
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

void Decoder::decodeVendorBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
{
    if (to < from + 3) {
        block.payload = UnknownBlock{bytes(from, to)};
        return;
    }
    const std::uint32_t oui = at(from) | at(from + 1) << 8 | at(from + 2) << 16;
    if (oui == std::uint32_t(Oui::Hdmi))
        block.payload = decodeHdmiVsdb(from - 1, to);
    else if (oui == std::uint32_t(Oui::HdmiForum))
        block.payload = decodeHdmiForum(from - 1, to, false);
    else
        block.payload = VendorBlock{oui, bytes(from + 3, to)};
}

// start: the block's header byte.
HdmiVsdb Decoder::decodeHdmiVsdb(std::size_t start, std::size_t to)
{
    using L = HdmiVsdbLayout;
    HdmiVsdb hdmi;
    const std::uint8_t *block = &image_.bytes[start];
    const HdmiVsdbLayout layout = hdmiVsdbLayout(block, to - start);
    hdmi.layout = layout;
    if (!layout.holds(L::kAddress + 1)) {
        error(FindingKind::HdmiVsdbLength, start,
              withNumber("the HDMI VSDB is %u bytes long, shorter than 5",
                         unsigned(layout.size - 1)));
    } else {
        const unsigned address = block[L::kAddress] << 8 | block[L::kAddress + 1];
        std::array<unsigned, 4> digits{};
        bool zeroSeen = false;
        bool valid = true;
        for (int n = 0; n < 4; ++n) {
            const unsigned digit = address >> (12 - 4 * n) & 0x0F;
            digits[std::size_t(n)] = digit;
            valid = valid && !(zeroSeen && digit);
            zeroSeen = zeroSeen || !digit;
        }
        hdmi.physicalAddress = digits;
        if (!valid)
            error(FindingKind::PhysicalAddress, start + L::kAddress,
                  "physical address " + physicalAddressText(digits) +
                      " has a non-zero digit after a zero");
    }
    if (layout.holds(L::kFlags)) {
        const unsigned f = block[L::kFlags];
        hdmi.supportsAi = f & 0x80;
        hdmi.deepColour48 = f & 0x40;
        hdmi.deepColour36 = f & 0x20;
        hdmi.deepColour30 = f & 0x10;
        hdmi.deepColourY444 = f & 0x08;
        hdmi.dualLinkDvi = f & 0x01;
    }
    if (layout.holds(L::kMaxTmds) && block[L::kMaxTmds])
        hdmi.maxTmdsMhz = block[L::kMaxTmds] * 5;
    if (!layout.holds(L::kOptions))
        return hdmi;
    const unsigned options = block[L::kOptions];
    hdmi.contentTypes = std::uint8_t(options & 0x0F);
    hdmi.hdmiVideoPresent = options & 0x20;
    if (layout.latency) {
        hdmi.videoLatency = block[*layout.latency];
        hdmi.audioLatency = block[*layout.latency + 1];
    }
    if (layout.interlacedLatency) {
        hdmi.interlacedVideoLatency = block[*layout.interlacedLatency];
        hdmi.interlacedAudioLatency = block[*layout.interlacedLatency + 1];
    }
    if (layout.video) {
        hdmi.present3d = block[*layout.video] & 0x80;
        for (std::size_t n = 0; n < layout.vicCount; ++n)
            hdmi.hdmiVics.push_back(block[layout.vics + n]);
    }
    return hdmi;
}

// start: the block's header byte; the fields lie alike in the VSDB and the SCDB.
HdmiForumBlock Decoder::decodeHdmiForum(std::size_t start, std::size_t to, bool capabilityBlock)
{
    using namespace hdmi_forum;
    HdmiForumBlock forum;
    forum.capabilityBlock = capabilityBlock;
    const auto byte = [&](std::size_t index) { return start + index < to ? at(start + index) : 0; };
    forum.version = byte(kVersion);
    if (byte(kMaxTmdsRate))
        forum.maxTmdsCharRateMhz = byte(kMaxTmdsRate) * 5;
    const unsigned flags = byte(kFlags);
    forum.scdcPresent = flags & 0x80;
    forum.readRequest = flags & 0x40;
    forum.ccbpci = flags & 0x10;
    forum.lte340Scrambling = flags & 0x08;
    forum.independentView3d = flags & 0x04;
    forum.dualView3d = flags & 0x02;
    forum.osdDisparity3d = flags & 0x01;
    if (start + kFrl < to) {
        const unsigned frl = byte(kFrl);
        forum.maxFrlRate = frl >> 4;
        forum.deepColour420_48 = frl & 0x04;
        forum.deepColour420_36 = frl & 0x02;
        forum.deepColour420_30 = frl & 0x01;
    }
    if (start + kFeatures < to) {
        forum.allm = byte(kFeatures) & 0x02;
        forum.fva = byte(kFeatures) & 0x04;
    }
    if (start + kVrr + 1 < to) {
        forum.vrrMin = byte(kVrr) & 0x3F;
        forum.vrrMax = (byte(kVrr) & 0xC0) << 2 | byte(kVrr + 1);
    }
    forum.dsc = byte(kDsc) & 0x80;
    return forum;
}

void Decoder::decodeExtendedBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
{
    using E = CtaExtendedTag;
    switch (E(*block.extendedTag)) {
    case E::VideoCapability:
        if (to > from) {
            const unsigned v = at(from);
            block.payload =
                VideoCapabilityBlock{bool(v & 0x80), bool(v & 0x40), v >> 4 & 3, v >> 2 & 3, v & 3};
            return;
        }
        break;
    case E::VendorSpecificVideo:
    case E::VendorSpecificAudio:
        if (to >= from + 3) {
            block.payload =
                VendorBlock{at(from) | at(from + 1) << 8 | at(from + 2) << 16, bytes(from + 3, to)};
            return;
        }
        break;
    case E::Colorimetry:
        if (to >= from + 2) {
            block.payload = ColorimetryBlock{std::uint8_t(at(from)), std::uint8_t(at(from + 1))};
            return;
        }
        break;
    case E::HdrStaticMetadata:
        if (to >= from + 2) {
            block.payload = decodeHdrStatic(from, to);
            return;
        }
        break;
    case E::HdrDynamicMetadata:
        block.payload = decodeHdrDynamic(from, to);
        return;
    case E::Ycbcr420Video:
        block.payload = Ycbcr420VideoBlock{decodeSvds(from, to)};
        return;
    case E::Ycbcr420CapabilityMap: {
        Ycbcr420CapabilityMap map;
        map.allSvds = to == from;
        for (std::size_t p = from; p < to; ++p)
            for (unsigned bit = 0; bit < 8; ++bit)
                if (at(p) & 1u << bit)
                    map.svdIndices.push_back(unsigned(8 * (p - from) + bit));
        block.payload = map; // its VICs once all video blocks are read
        return;
    }
    case E::HdmiForumSinkCapability:
        if (to >= from + 2) {
            block.payload = decodeHdmiForum(from - 2, to, true);
            return;
        }
        break;
    default:
        break;
    }
    block.payload = UnknownBlock{bytes(from, to)};
}

HdrStaticBlock Decoder::decodeHdrStatic(std::size_t from, std::size_t to)
{
    HdrStaticBlock hdr;
    hdr.eotfs = std::uint8_t(at(from));
    hdr.descriptors = std::uint8_t(at(from + 1));
    if (to > from + 2)
        hdr.maxLuminance = at(from + 2);
    if (to > from + 3)
        hdr.maxFrameAverage = at(from + 3);
    if (to > from + 4)
        hdr.minLuminance = at(from + 4);
    return hdr;
}

// Each metadata type with its length first (CTA-861-H 7.5.14).
HdrDynamicBlock Decoder::decodeHdrDynamic(std::size_t from, std::size_t to)
{
    HdrDynamicBlock hdr;
    for (std::size_t p = from; p + 3 <= to; p += at(p) + 1) {
        const std::size_t length = at(p);
        if (length < 2)
            break;
        hdr.types.push_back({{p, std::min(length + 1, to - p)},
                             le16(p + 1),
                             length >= 3 && p + 3 < to ? at(p + 3) & 0x0F : 0});
    }
    return hdr;
}

// A capability map names SVDs by their place among all video data blocks.
void Decoder::resolveCapabilityMaps()
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

// The DTDs and the display descriptors among them (some makers put their serial number there),
// then the padding.
void Decoder::decodeExtensionTimings(const CtaLayout &layout)
{
    CtaExtension &cta = *out_.cta;
    std::size_t lastDtd = 0;
    for (std::size_t slot : layout.slotOffsets)
        if (CtaLayout::isDtd(image_, slot))
            lastDtd = slot;
    for (std::size_t slot : layout.slotOffsets) {
        if (CtaLayout::isDtd(image_, slot)) {
            cta.detailedTimings.push_back(decodeDetailedTiming(slot));
            continue;
        }
        if (slot < lastDtd)
            error(FindingKind::DescriptorOrder, slot,
                  "these 18 bytes have no pixel clock, so they are no DTD, but DTDs follow them");
        Descriptor descriptor;
        decodeDescriptor(slot, descriptor, false);
        cta.otherSlots.push_back(std::move(descriptor));
    }
    const std::size_t end = layout.paddingStart;
    cta.padding = {end, kCtaEnd - end};
    for (std::size_t p = end; p < kCtaEnd; ++p)
        if (at(p)) {
            cta.paddingZero = false;
            cta.paddingData = bytes(end, kCtaEnd);
            warning(FindingKind::Padding, p,
                    withNumber("padding after the DTDs holds a non-zero byte at %u",
                               unsigned(p - kCta)));
            break;
        }
}

} // namespace edid_decoding
