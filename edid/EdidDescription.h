#pragma once

#include "CtaLayout.h"
#include "EdidFindings.h"
#include "EdidImage.h"
#include "EdidVocabulary.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// What an EDID image says, item by item, as decodeEdid reads it. Every item knows the bytes it
// came from, so that a view can point at them and an editor can change them.

// Bytes of the 256-byte image; offset is absolute (block = offset / 128).
struct ByteRange {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// One value and the bytes it is read from.
template <typename T> struct Field {
    T value{};
    ByteRange bytes;
};

// ---- Base block -----------------------------------------------------------------------------

struct EdidVersion {
    std::uint8_t version = 0;
    std::uint8_t revision = 0;
    bool atLeast14() const { return version > 1 || (version == 1 && revision >= 4); }
};

struct VideoInput {
    bool digital = false;
    // Digital (EDID 1.4): bits per primary colour (0: undefined, 6-16), interface (0 undefined,
    // 1 DVI, 2 HDMI-a, 3 HDMI-b, 4 MDDI, 5 DisplayPort; others reserved). 1.3 keeps only the
    // DFP 1.x compatibility bit (bit 0).
    unsigned bitsPerColour = 0;
    unsigned interface = 0;
    // Analog: signal level (0-3), blank-to-black setup, separate / composite / on-green sync,
    // serrations; as the bits of the byte.
    std::uint8_t raw = 0;
};

struct ScreenSize {
    unsigned widthCm = 0;  // 0 with heightCm 0: unknown or variable
    unsigned heightCm = 0; // with widthCm 0 (or heightCm 0), bytes 21-22 give the aspect ratio
    std::optional<double> landscapeAspect; // byte 21 set, byte 22 zero (EDID 1.4)
    std::optional<double> portraitAspect;  // byte 22 set, byte 21 zero (EDID 1.4)
};

struct Features {
    bool standby = false;
    bool suspend = false;
    bool activeOff = false;
    unsigned colourType = 0; // bits 4-3: analog display type or digital colour encodings
    bool srgbDefault = false;
    bool preferredTimingNative = false; // 1.3: preferred timing is the first DTD
    bool continuousFrequency = false;   // 1.4; the GTF-supported bit in 1.3
};

// Chromaticity coordinates in 1024ths (10 bits each).
struct ChromaPoint {
    unsigned x = 0;
    unsigned y = 0;
};

struct Chromaticity {
    ChromaPoint red, green, blue, white;
};

struct EstablishedTimingBit {
    ByteRange bytes;  // the one byte holding the bit
    unsigned bit = 0; // 0-16 as establishedTiming() takes it; 17-23 the manufacturer's bits
};

struct StandardTiming {
    ByteRange bytes;
    unsigned width = 0;
    unsigned height = 0; // from the aspect ratio
    unsigned refreshHz = 0;
    unsigned aspectWidth = 0;
    unsigned aspectHeight = 0;
};

struct DetailedTiming {
    ByteRange bytes;
    int block = 0;
    unsigned pixelClockKhz = 0;
    unsigned hActive = 0;
    unsigned hBlank = 0; // as stored: porches, sync and both borders
    unsigned hFront = 0;
    unsigned hSync = 0;
    int hBack = 0; // what the blanking leaves; below 0 when it is too short
    unsigned hBorder = 0;
    unsigned vActive = 0; // lines of a frame: twice the stored value for an interlaced timing
    unsigned vBlank = 0;  // per field, as stored; so are the porches, sync and border
    unsigned vFront = 0;
    unsigned vSync = 0;
    int vBack = 0;
    unsigned vBorder = 0;
    unsigned hSizeMm = 0;
    unsigned vSizeMm = 0;
    bool interlaced = false;
    bool preferred = false;
    std::uint8_t stereo = 0; // byte 17 bits 6, 5 and 0 as a number 0-7 (bits 6-5 shifted to 2-1)
    std::uint8_t sync = 0;   // byte 17 bits 4-1 as kept
    bool digitalSync() const { return sync & 0x08; }
    bool digitalSeparateSync() const { return (sync & 0x0C) == 0x0C; }
    bool hSyncPositive() const { return digitalSync() && (sync & 0x01); }
    bool vSyncPositive() const { return digitalSeparateSync() && (sync & 0x02); }
    unsigned hTotal() const { return hActive + hBlank; }
    // Lines of a frame; an interlaced one has two fields' blanking and the half line between.
    unsigned frameLines() const { return interlaced ? vActive + 2 * vBlank + 1 : vActive + vBlank; }
};

struct DisplayText {
    std::string text; // up to the line feed (or a zero byte), as stored, unprintables included
    bool terminated = false; // a line feed ends it and only spaces pad it
    bool printable = true;
};

struct RangeLimits {
    unsigned minVerticalHz = 0;
    unsigned maxVerticalHz = 0;
    unsigned minHorizontalKhz = 0;
    unsigned maxHorizontalKhz = 0;
    unsigned maxPixelClockMhz = 0;
    // Byte 10: 0 default GTF, 1 bare limits, 2 secondary GTF, 4 CVT; others kept as numbers.
    unsigned subtype = 0;
    std::vector<std::uint8_t> subtypeData; // bytes 11-17
};

// A display descriptor this decoder shows as bytes: tag and the 13 bytes after the header.
struct OtherDescriptor {
    std::uint8_t tag = 0;
    std::vector<std::uint8_t> data;
};

struct Descriptor {
    enum class Kind {
        DetailedTiming,
        ProductName, // the kinds of DescriptorTag this program reads
        SerialText,
        UnspecifiedText,
        RangeLimits,
        Dummy,
        Other,
    };
    Kind kind = Kind::Other;
    ByteRange bytes;
    std::variant<DetailedTiming, DisplayText, RangeLimits, OtherDescriptor> payload;
};

struct BaseBlock {
    Field<bool> headerValid;
    Field<std::string> manufacturer; // three letters; codes outside 1-26 as the ASCII after '@'
    Field<std::uint16_t> productCode;
    Field<std::uint32_t> serialNumber;
    Field<std::uint8_t> week; // 0: none, 0xFF: year is a model year (EDID 1.4 on)
    Field<unsigned> year;     // 1990 + byte 17
    Field<EdidVersion> version;
    Field<VideoInput> input;
    Field<ScreenSize> screenSize;
    Field<std::optional<unsigned>> gammaHundredths; // 220 for 2.20; none when byte 23 is 0xFF
    Field<Features> features;
    Field<Chromaticity> chromaticity;
    std::vector<EstablishedTimingBit> establishedTimings; // the bits set
    std::vector<StandardTiming> standardTimings;          // the slots in use
    std::array<Descriptor, 4> descriptors;
    Field<std::uint8_t> extensionCount;
    Field<BlockChecksum> checksum;

    bool hasModelYear() const { return week.value == 0xFF && version.value.atLeast14(); }
};

// ---- CTA-861 extension ----------------------------------------------------------------------

struct ShortVideoDescriptor {
    ByteRange bytes;
    unsigned vic = 0; // the VIC meant: 1-64 for native codes 129-192
    bool native = false;
};

struct VideoBlock {
    std::vector<ShortVideoDescriptor> descriptors;
};

struct ShortAudioDescriptor {
    ByteRange bytes;
    unsigned formatCode = 0;   // 1 L-PCM, 2 AC-3, ... 15 extended
    unsigned extendedCode = 0; // for format code 15
    unsigned channels = 0;
    std::uint8_t sampleRates = 0; // bit 0 32 kHz ... bit 6 192 kHz
    std::uint8_t byte3 = 0;       // sizes (L-PCM), max bit rate / 8 kb/s (codes 2-8), or as kept

    std::vector<unsigned> sampleRatesHz() const;    // 32000, 44100, ... of the bits set
    std::vector<unsigned> sampleSizesBits() const;  // 16, 20, 24: Linear PCM's only
    std::optional<unsigned> maxBitRateKbps() const; // of AC-3 to ATRAC (codes 2-8)
};

struct AudioBlock {
    std::vector<ShortAudioDescriptor> descriptors;
};

struct SpeakerBlock {
    std::uint32_t speakers = 0; // the three payload bytes, first in the low bits
};

struct HdmiVsdb {
    HdmiVsdbLayout layout;                                  // where its fields lie in the block
    std::optional<std::array<unsigned, 4>> physicalAddress; // none in a block too short for it
    bool supportsAi = false;
    bool deepColour48 = false;
    bool deepColour36 = false;
    bool deepColour30 = false;
    bool deepColourY444 = false;
    bool dualLinkDvi = false;
    std::optional<unsigned> maxTmdsMhz;   // byte 7 x 5 when present and not 0
    std::uint8_t contentTypes = 0;        // CNC3-0
    std::optional<unsigned> videoLatency; // raw codes: 0 unknown, 255 no video
    std::optional<unsigned> audioLatency;
    std::optional<unsigned> interlacedVideoLatency;
    std::optional<unsigned> interlacedAudioLatency;
    bool hdmiVideoPresent = false;
    bool present3d = false;
    std::vector<unsigned> hdmiVics;

    std::vector<unsigned> deepColourBits() const;       // 30, 36, 48 of the flags set
    std::vector<const char *> contentTypeNames() const; // "graphics", "photo", ...
};

// The HDMI Forum VSDB (OUI C4-5D-D8) and the sink capability data block share these fields.
struct HdmiForumBlock {
    bool capabilityBlock = false; // the sink capability data block rather than the VSDB
    unsigned version = 0;
    std::optional<unsigned> maxTmdsCharRateMhz; // byte x 5 when not 0
    bool scdcPresent = false;
    bool readRequest = false;
    bool ccbpci = false;
    bool lte340Scrambling = false;
    bool independentView3d = false;
    bool dualView3d = false;
    bool osdDisparity3d = false;
    bool deepColour420_48 = false;
    bool deepColour420_36 = false;
    bool deepColour420_30 = false;
    std::optional<unsigned> maxFrlRate; // 0-6 as stored; absent in a short block
    bool allm = false;
    bool fva = false;
    std::optional<unsigned> vrrMin;
    std::optional<unsigned> vrrMax;
    bool dsc = false;

    std::vector<unsigned> deepColour420Bits() const; // 30, 36, 48 of the flags set
    std::vector<const char *> threeDNames() const;   // "OSD disparity", "dual view", ...
};

struct VideoCapabilityBlock {
    bool quantYcc = false; // QY: YCC quantization range selectable
    bool quantRgb = false; // QS
    unsigned ptScan = 0;
    unsigned itScan = 0;
    unsigned ceScan = 0;
};

struct ColorimetryBlock {
    std::uint8_t colorimetry = 0; // byte 2: xvYCC601 ... BT2020RGB
    std::uint8_t metadata = 0;    // byte 3: DCI-P3, ICtCp, ST2113RGB, MD3-0

    std::vector<const char *> colorimetries() const; // "xvYCC601", ..., "DCI-P3"
    std::vector<const char *> gamutMetadata() const; // "MD0" ... "MD3"
};

struct HdrStaticBlock {
    std::uint8_t eotfs = 0;               // bit 0 SDR, 1 HDR, 2 SMPTE ST 2084, 3 HLG
    std::uint8_t descriptors = 0;         // bit 0: static metadata type 1
    std::optional<unsigned> maxLuminance; // code values
    std::optional<unsigned> maxFrameAverage;
    std::optional<unsigned> minLuminance;

    std::vector<const char *> transferFunctions() const; // "traditional SDR", ...
    // In cd/m2 (CTA-861-H 7.5.13): 50 x 2^(code / 32); the minimum scales the maximum.
    std::optional<double> maxLuminanceCdm2() const;
    std::optional<double> maxFrameAverageCdm2() const;
    std::optional<double> minLuminanceCdm2() const;
};

struct HdrDynamicType {
    ByteRange bytes;
    unsigned type = 0;
    unsigned version = 0;
};

struct HdrDynamicBlock {
    std::vector<HdrDynamicType> types;
};

struct Ycbcr420VideoBlock {
    std::vector<ShortVideoDescriptor> descriptors;
};

// Which SVDs of the video data blocks (by index, in order) also allow YCbCr 4:2:0; an empty
// map (no bytes) means all of them.
struct Ycbcr420CapabilityMap {
    std::vector<unsigned> svdIndices;
    std::vector<unsigned> vics; // those SVDs' VICs; 0 where the index has no SVD
    bool allSvds = false;
};

struct VendorBlock {
    std::uint32_t oui = 0;
    std::vector<std::uint8_t> data; // after the OUI
};

struct UnknownBlock {
    std::vector<std::uint8_t> data; // after the header byte (and the extended tag)
};

struct CtaDataBlock {
    using Payload =
        std::variant<UnknownBlock, VideoBlock, AudioBlock, SpeakerBlock, HdmiVsdb, HdmiForumBlock,
                     VendorBlock, VideoCapabilityBlock, ColorimetryBlock, HdrStaticBlock,
                     HdrDynamicBlock, Ycbcr420VideoBlock, Ycbcr420CapabilityMap>;
    ByteRange bytes; // the whole block, header byte included
    CtaTag tag = CtaTag::Reserved0;
    std::optional<unsigned> extendedTag;
    unsigned length = 0;    // as the header declares it
    bool truncated = false; // runs past the collection: described up to the extension's end
    Payload payload;
};

struct CtaFlags {
    bool underscan = false;
    bool basicAudio = false;
    bool ycbcr444 = false;
    bool ycbcr422 = false;
    unsigned nativeDtds = 0;
};

struct CtaExtension {
    Field<std::uint8_t> revision;
    Field<std::uint8_t> dtdOffset;
    Field<CtaFlags> flags;
    std::vector<CtaDataBlock> dataBlocks;
    std::vector<DetailedTiming> detailedTimings;
    // 18-byte slots among the DTDs that hold none (a zero pixel clock), read as descriptors.
    std::vector<Descriptor> otherSlots;
    ByteRange padding; // after the last DTD up to the checksum
    bool paddingZero = true;
    std::vector<std::uint8_t> paddingData; // what it holds where it is not all zero
    Field<BlockChecksum> checksum;
};

// Block 1 when it is not a CTA-861 extension (or is not there): its tag and bytes.
struct OtherExtension {
    Field<std::uint8_t> tag;
    ByteRange bytes;
    Field<BlockChecksum> checksum;
};

struct EdidDescription {
    EdidImage image; // the bytes described
    BaseBlock base;
    std::optional<CtaExtension> cta;
    std::optional<OtherExtension> otherExtension; // block 1 holds something else than zeros
    std::vector<EdidFinding> findings;
};

// Reads all 256 bytes; never fails and never reads outside the image.
EdidDescription decodeEdid(const EdidImage &image);

// ---- Words for the numbers ------------------------------------------------------------------

// "Linear PCM", "AC-3", ... by format code (and the extended code for 15).
std::string audioFormatName(unsigned formatCode, unsigned extendedCode);
// "AC-3, 6 channels, 32 44.1 48 kHz, up to 640 kb/s": a short audio descriptor in words.
std::string audioDescriptorText(const ShortAudioDescriptor &sad);
// "4.d.0.0": the digits in hex, as CEC writes them.
std::string physicalAddressText(const std::array<unsigned, 4> &digits);
// "FL/FR", "LFE1", ... for each bit of SpeakerBlock::speakers set.
std::vector<std::string> speakerNames(std::uint32_t speakers);
// A detailed timing as a mode; borders count as back porch.
struct VideoMode;
VideoMode timingMode(const DetailedTiming &timing);
// The EDID's detailed timings in order: the base block's, then the extension's.
std::vector<const DetailedTiming *> detailedTimings(const EdidDescription &description);
