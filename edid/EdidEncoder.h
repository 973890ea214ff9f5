#pragma once

#include "EdidDescription.h"
#include "EdidModes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The one writer of EDID bytes: detailed timings, display descriptors, data blocks and whole EDIDs
// from the description's types. Decoding what it wrote gives back the same values. What no value
// holds is written as the standards ask: the header, a line feed and spaces after a short text,
// 01 01 in an unused standard timing slot, zeros as padding, correct checksums.

using DescriptorBytes = std::array<std::uint8_t, 18>;
using BlockBytes = std::vector<std::uint8_t>;

DescriptorBytes encodeDetailedTiming(const DetailedTiming &timing);
DescriptorBytes encodeDescriptor(const Descriptor &descriptor);
// Header byte (tag and length) first, then the extended tag where there is one, then the payload.
// The payload may hold at most 31 bytes; the caller checks the length.
BlockBytes encodeDataBlock(const CtaDataBlock &block);
// Both blocks with their checksums; block 1 stays zeros without an extension.
EdidImage encodeEdid(const EdidDescription &description);

// ---- Values to write ----------------------------------------------------------------------

// A mode as a DTD with digital separate sync and these image sizes; none when it does not fit one
// (a pixel clock above 655.35 MHz, sizes of more than 12 bits, porches of more than 10 or 6).
std::optional<DetailedTiming> detailedTiming(const VideoMode &mode, unsigned hSizeMm,
                                             unsigned vSizeMm);
Descriptor descriptorOf(const DetailedTiming &timing);
// Product name, serial number text or unspecified text; up to 13 characters.
Descriptor textDescriptor(Descriptor::Kind kind, const std::string &text);
Descriptor rangeLimitsDescriptor(const RangeLimits &limits);
Descriptor dummyDescriptor();

CtaDataBlock videoBlock(const std::vector<ShortVideoDescriptor> &svds);
CtaDataBlock audioBlock(const std::vector<ShortAudioDescriptor> &descriptors);
CtaDataBlock speakerBlock(std::uint32_t speakers);
CtaDataBlock dataBlockOf(CtaTag tag, std::optional<unsigned> extendedTag,
                         CtaDataBlock::Payload payload);
