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
    if (at(kCta) != 0x02) {
        out_.otherExtension =
            OtherExtension{field(std::uint8_t(at(kCta)), kCta, 1), {kCta, kBlock}, {}};
        warning(FindingKind::NotCta, kCta,
                "block 1 is not a CTA-861 extension (tag " + hex2(at(kCta)) + "); kept as bytes");
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
        error(FindingKind::DtdOffset, kCta + 2, withNumber("DTD offset %u is outside 4-127", d));
    checkRevision(revision, d);
    collectionRead_ = d == 0 || d >= 4;
    // An offset past the block leaves no DTDs; the data blocks are still read up to its end.
    if (revision >= 3 && d >= 4)
        decodeDataBlocks(validOffset ? kCta + d : kCtaEnd, validOffset);
    resolveCapabilityMaps();
    decodeExtensionTimings(validOffset && d >= 4 ? kCta + d : kCtaEnd);
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

void Decoder::decodeDataBlocks(std::size_t collectionEnd, bool offsetValid)
{
    std::size_t offset = kCta + 4;
    std::vector<std::size_t> reserved; // blocks of a reserved tag: often zeros padding the list
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
            collectionRead_ = false;
            error(FindingKind::BlockOverrun, offset,
                  blockName(block.tag, block.length ? at(offset + 1) : 256) +
                      withNumber(" at byte %u declares %u bytes and runs past the collection, "
                                 "which ends at byte %u",
                                 unsigned(offset - kCta), block.length,
                                 unsigned(collectionEnd - kCta)) +
                      (offsetValid ? " (the DTD offset points inside it)" : ""));
        }
        if (block.tag == 0 || block.tag == 6)
            reserved.push_back(offset);
        if (block.tag == 7 && block.length == 0)
            error(FindingKind::ExtendedBlockEmpty, offset,
                  "an extended data block has length 0: it lacks its extended tag");
        decodeDataBlock(block, offset + 1, end);
        out_.cta->dataBlocks.push_back(std::move(block));
        offset = declaredEnd;
    }
    if (!reserved.empty())
        warning(FindingKind::ReservedTag, reserved.front(),
                withNumber("a data block has the reserved tag %u", at(reserved.front()) >> 5) +
                    (reserved.size() > 1
                         ? withNumber(" (%u such blocks)", unsigned(reserved.size()))
                         : ""));
}

std::string Decoder::blockName(unsigned tag, unsigned extendedTag)
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
        return extendedTag < 256 ? "the data block of extended tag " + std::to_string(extendedTag)
                                 : "the extended data block";
    default:
        return "the data block of tag " + std::to_string(tag);
    }
}

void Decoder::decodeDataBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
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
    if (oui == kHdmiOui)
        block.payload = decodeHdmiVsdb(from, to);
    else if (oui == kHdmiForumOui)
        block.payload = decodeHdmiForum(from + 3, to, false);
    else
        block.payload = VendorBlock{oui, bytes(from + 3, to)};
}

HdmiVsdb Decoder::decodeHdmiVsdb(std::size_t from, std::size_t to)
{
    HdmiVsdb hdmi;
    const std::size_t header = from - 1;
    if (to - from < 5) {
        error(FindingKind::HdmiVsdbLength, header,
              withNumber("the HDMI VSDB is %u bytes long, shorter than 5", unsigned(to - from)));
    } else {
        const unsigned address = at(from + 3) << 8 | at(from + 4);
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
            error(FindingKind::PhysicalAddress, from + 3,
                  "physical address " + physicalAddressText(digits) +
                      " has a non-zero digit after a zero");
    }
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
HdmiForumBlock Decoder::decodeHdmiForum(std::size_t from, std::size_t to, bool capabilityBlock)
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

void Decoder::decodeExtendedBlock(CtaDataBlock &block, std::size_t from, std::size_t to)
{
    switch (*block.extendedTag) {
    case 0:
        if (to > from) {
            const unsigned v = at(from);
            block.payload =
                VideoCapabilityBlock{bool(v & 0x80), bool(v & 0x40), v >> 4 & 3, v >> 2 & 3, v & 3};
            return;
        }
        break;
    case 1:  // vendor-specific video
    case 17: // vendor-specific audio
        if (to >= from + 3) {
            block.payload =
                VendorBlock{at(from) | at(from + 1) << 8 | at(from + 2) << 16, bytes(from + 3, to)};
            return;
        }
        break;
    case 5:
        if (to >= from + 2) {
            block.payload = ColorimetryBlock{std::uint8_t(at(from)), std::uint8_t(at(from + 1))};
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

// The 18-byte slots from the DTD offset on: a slot with a pixel clock is a DTD, one without but
// with a tag a display descriptor (some makers put their serial number there). Padding follows
// the last of them.
void Decoder::decodeExtensionTimings(std::size_t start)
{
    CtaExtension &cta = *out_.cta;
    std::size_t end = start;
    std::size_t lastDtd = start;
    for (; end + 18 <= kCtaEnd && (le16(end) || at(end + 3)); end += 18)
        if (le16(end))
            lastDtd = end;
    for (std::size_t offset = start; offset < end; offset += 18) {
        if (le16(offset)) {
            cta.detailedTimings.push_back(decodeDetailedTiming(offset));
            continue;
        }
        if (offset < lastDtd)
            error(FindingKind::DescriptorOrder, offset,
                  "these 18 bytes have no pixel clock, so they are no DTD, but DTDs follow them");
        Descriptor slot;
        decodeDescriptor(offset, slot, false);
        cta.otherSlots.push_back(std::move(slot));
    }
    cta.padding = {end, kCtaEnd - std::min(end, kCtaEnd)};
    for (std::size_t p = end; p < kCtaEnd; ++p)
        if (at(p)) {
            cta.paddingZero = false;
            warning(FindingKind::Padding, p,
                    withNumber("padding after the DTDs holds a non-zero byte at %u",
                               unsigned(p - kCta)));
            break;
        }
}

} // namespace edid_decoding
