#pragma once

#include "EdidImage.h"
#include "EdidVocabulary.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Block 1 taken apart as a CTA-861 extension (CTA-861-H 7.3): its header, where each data block
// lies, the 18-byte slots after them and the padding. The decoder reads what the blocks say from
// here and the edits change them from here: block 1 is taken apart in this one place.

constexpr std::size_t kCtaStart = EdidImage::kBlockSize; // absolute offset of block 1
constexpr std::size_t kCtaChecksum = 2 * kCtaStart - 1;  // nothing lies past it
constexpr std::uint8_t kCtaExtensionTag = 0x02;          // block 1's byte 0

struct CtaBlockPlace {
    std::size_t offset = 0; // of the header byte, absolute
    CtaTag tag = CtaTag::Reserved0;
    unsigned length = 0;                     // as the header declares it
    std::size_t end = 0;                     // absolute end of what the extension holds of it
    bool truncated = false;                  // it runs past the collection
    std::optional<std::uint8_t> extendedTag; // of a CtaTag::Extended block that has the byte

    bool isExtended(CtaExtendedTag wanted) const
    {
        return extendedTag && *extendedTag == std::uint8_t(wanted);
    }
    std::size_t payload() const { return offset + 1 + (extendedTag ? 1 : 0); }
};

struct CtaLayout {
    unsigned revision = 0;
    unsigned dtdOffset = 0;     // byte 2 as stored
    std::uint8_t flags = 0;     // byte 3 as stored; only revisions 2 and 3 give it a meaning
    bool dtdOffsetValid = true; // 0, or 4-127
    // Whether the data blocks were all read: none runs past the collection, and the DTD offset
    // did not cut it to nothing.
    bool collectionWhole = true;
    std::size_t collectionEnd = kCtaStart + 4; // absolute
    std::vector<CtaBlockPlace> blocks;
    std::vector<std::size_t> slotOffsets; // of the 18-byte DTDs and descriptors, absolute
    std::size_t paddingStart = kCtaChecksum;

    // A slot's first two bytes, its pixel clock, are 0 for a display descriptor.
    static bool isDtd(const EdidImage &image, std::size_t slot)
    {
        return image.bytes[slot] || image.bytes[slot + 1];
    }
};

// None when block 1 is all zeros or not a CTA-861 extension. Never reads past the image; a DTD
// offset past the block leaves no DTDs, and the data blocks are read up to its end.
std::optional<CtaLayout> readCtaLayout(const EdidImage &image);

// Where the fields of an HDMI VSDB lie (HDMI 1.4b 8.3.2), as indices into the block (the header
// byte is 0). Those after the maximum TMDS clock are there only as its flags say.
struct HdmiVsdbLayout {
    static constexpr std::size_t kAddress = 4; // two bytes: A B, C D
    static constexpr std::size_t kFlags = 6;   // Supports_AI, deep colour, DVI_Dual
    static constexpr std::size_t kMaxTmds = 7; // x 5 MHz
    static constexpr std::size_t kOptions = 8; // latency fields present, HDMI_Video_present, CNC
    std::size_t size = 0;                      // bytes of the block
    std::optional<std::size_t> latency;        // video and audio latency
    std::optional<std::size_t> interlacedLatency;
    std::optional<std::size_t> video; // 3D_present, 3D_Multi_present, image size
    std::size_t lengths = 0;          // HDMI_VIC_LEN and HDMI_3D_LEN
    std::size_t vics = 0;
    std::size_t vicCount = 0;
    std::size_t threeD = 0;
    std::size_t threeDLength = 0; // as far as the block holds it

    bool holds(std::size_t index) const { return index < size; }
};
HdmiVsdbLayout hdmiVsdbLayout(const std::uint8_t *block, std::size_t size);

// The fields of the HDMI Forum VSDB and of the sink capability data block: after the OUI, or
// after the extended tag and two reserved bytes, they lie at the same indices.
namespace hdmi_forum {
constexpr std::size_t kVersion = 4;
constexpr std::size_t kMaxTmdsRate = 5; // x 5 MHz
constexpr std::size_t kFlags = 6;       // SCDC, read requests, CCBPCI, scrambling, 3D
constexpr std::size_t kFrl = 7;         // max FRL rate, 4:2:0 deep colour
constexpr std::size_t kFeatures = 8;    // ALLM, FVA, ...
constexpr std::size_t kVrr = 9;         // two bytes: VRRmin, VRRmax
constexpr std::size_t kDsc = 11;
} // namespace hdmi_forum

// The 24-bit OUI of a vendor-specific block's first three payload bytes, least significant first.
constexpr std::uint32_t ouiAt(const std::uint8_t *bytes)
{
    return std::uint32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16);
}
