#pragma once

#include <cstddef>
#include <cstdint>

// The numbers by which EDIDs name their parts, each kind an enum: the display descriptor tags of
// the base block (VESA E-EDID 1.4 3.10.3), the CTA-861 data block tags and extended tags
// (CTA-861-H 7.4) and the IEEE OUIs of the vendor-specific blocks this program reads. Nothing
// else in the program spells one of them.

enum class DescriptorTag : std::uint8_t {
    Dummy = 0x10,
    EstablishedTimingsIII = 0xF7,
    CvtTimingCodes = 0xF8,
    ColourManagement = 0xF9,
    StandardTimings = 0xFA,
    ColourPoint = 0xFB,
    ProductName = 0xFC,
    RangeLimits = 0xFD,
    UnspecifiedText = 0xFE,
    SerialText = 0xFF,
};

enum class CtaTag : std::uint8_t {
    Reserved0 = 0,
    Audio = 1,
    Video = 2,
    VendorSpecific = 3,
    SpeakerAllocation = 4,
    VesaDisplayTransfer = 5,
    Reserved6 = 6,
    Extended = 7,
};

enum class CtaExtendedTag : std::uint8_t {
    VideoCapability = 0,
    VendorSpecificVideo = 1,
    VesaDisplayDevice = 2,
    Colorimetry = 5,
    HdrStaticMetadata = 6,
    HdrDynamicMetadata = 7,
    NativeVideoResolution = 8,
    VideoFormatPreference = 13,
    Ycbcr420Video = 14,
    Ycbcr420CapabilityMap = 15,
    VendorSpecificAudio = 17,
    HdmiAudio = 18,
    RoomConfiguration = 19,
    SpeakerLocation = 20,
    InfoFrame = 32,
    DisplayIdTypeVII = 34,
    DisplayIdTypeVIII = 35,
    DisplayIdTypeX = 42,
    HdmiForumEdidExtensionOverride = 0x78,
    HdmiForumSinkCapability = 0x79,
};

enum class Oui : std::uint32_t {
    Hdmi = 0x000C03,      // HDMI Licensing: the HDMI VSDB
    HdmiForum = 0xC45DD8, // the HDMI Forum VSDB
    Dolby = 0x00D046,     // Dolby Vision and Dolby audio
    Hdr10Plus = 0x90848B, // HDR10+
};

// The header byte of a CTA-861 data block: the tag in bits 7-5, the length in bits 4-0.
constexpr CtaTag ctaTagOf(std::uint8_t header)
{
    return CtaTag(header >> 5);
}
constexpr std::uint8_t ctaHeader(CtaTag tag, std::size_t length)
{
    return std::uint8_t(unsigned(tag) << 5 | (length & 0x1F));
}

// "Video data block", "HDR static metadata data block": what a block of this tag is; nullptr
// for a tag this program has no name for. The extended tag counts only for CtaTag::Extended.
const char *ctaBlockName(CtaTag tag, unsigned extendedTag);
// "Product name", "Range limits", ...; nullptr for other tags.
const char *descriptorName(unsigned tag);
