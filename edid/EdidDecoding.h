#pragma once

// The decoder's working parts, shared by its files: the base block in EdidDecoderBase.cpp, the
// CTA-861 extension in EdidDecoderCta.cpp, the checks across blocks in EdidDecoder.cpp.

#include "CtaLayout.h"
#include "EdidDescription.h"

#include <cstdio>
#include <string>
#include <vector>

namespace edid_decoding {

using Severity = EdidFinding::Severity;

constexpr std::size_t kBlock = EdidImage::kBlockSize;
constexpr std::size_t kCta = kCtaStart;
constexpr std::size_t kCtaEnd = kCtaChecksum; // no data beyond it

inline std::string hex2(unsigned value)
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

    EdidDescription run();

private:
    const EdidImage &image_;
    EdidDescription out_;
    unsigned dtdCount_ = 0;
    bool collectionRead_ = true; // false when the DTD offset or a block's length cut it short

    // Every read goes through here: nothing past the image is ever touched.
    unsigned at(std::size_t offset) const
    {
        return offset < EdidImage::kSize ? image_.bytes[offset] : 0;
    }
    unsigned le16(std::size_t offset) const { return at(offset) | at(offset + 1) << 8; }

    void find(FindingKind kind, Severity severity, std::size_t offset, std::string message)
    {
        out_.findings.push_back({int(offset / kBlock), offset, severity, kind, std::move(message)});
    }
    void error(FindingKind kind, std::size_t offset, std::string message)
    {
        find(kind, Severity::Error, offset, std::move(message));
    }
    void warning(FindingKind kind, std::size_t offset, std::string message)
    {
        find(kind, Severity::Warning, offset, std::move(message));
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

    // The base block
    void decodeBase();
    void checkWeek();
    std::string versionText() const { return withNumber("%u.%u", at(18), at(19)); }
    void decodeManufacturer();
    void decodeBasicParameters();
    void decodeChromaticity();
    void decodeEstablishedTimings();
    void decodeStandardTimings();
    DetailedTiming decodeDetailedTiming(std::size_t d);
    void checkDetailedTiming(const DetailedTiming &timing, const std::string &name);
    void checkReservedBytes(std::size_t d, DescriptorTag tag);
    void decodeDescriptor(std::size_t d, Descriptor &descriptor, bool first);
    DisplayText decodeText(std::size_t d, const char *what);
    RangeLimits decodeRangeLimits(std::size_t d);
    void checkPreferredTiming();

    // The CTA-861 extension
    void decodeExtension();
    void checkRevision(unsigned revision, unsigned dtdOffset);
    void decodeDataBlocks(const CtaLayout &layout);
    static std::string blockName(CtaTag tag, std::optional<unsigned> extendedTag);
    void decodeDataBlock(CtaDataBlock &block, const CtaBlockPlace &place);
    std::vector<ShortVideoDescriptor> decodeSvds(std::size_t from, std::size_t to);
    AudioBlock decodeAudio(std::size_t from, std::size_t to);
    void decodeVendorBlock(CtaDataBlock &block, std::size_t from, std::size_t to);
    HdmiVsdb decodeHdmiVsdb(std::size_t start, std::size_t to);
    HdmiForumBlock decodeHdmiForum(std::size_t start, std::size_t to, bool capabilityBlock);
    void decodeExtendedBlock(CtaDataBlock &block, std::size_t from, std::size_t to);
    HdrStaticBlock decodeHdrStatic(std::size_t from, std::size_t to);
    HdrDynamicBlock decodeHdrDynamic(std::size_t from, std::size_t to);
    // A capability map names SVDs by their place among all video data blocks.
    void resolveCapabilityMaps();
    void decodeExtensionTimings(const CtaLayout &layout);

    // Checks that take more than one place
    void checkChecksum(std::size_t blockStart, Field<BlockChecksum> &checksum);
    void checkAcrossBlocks();
    void checkHdmiVsdbPresent();
    void checkBasicAudio();
    void checkDuplicateVics();
    void checkHdmiVics();
    void checkMaxTmds();
    void checkRangeLimits();
    void checkVicsInRangeLimits(const RangeLimits &limits);
};

} // namespace edid_decoding
