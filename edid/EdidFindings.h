#pragma once

#include <cstddef>
#include <string>

// What the decoder finds wrong with an EDID. Each finding has a kind, a stable identifier that
// scripts and tests compare, beside the words a person reads.
enum class FindingKind {
    Checksum,
    Header,
    Manufacturer,
    Week,
    Version,
    ExtensionCount,
    PreferredTiming,    // no DTD first, or EDID 1.3 without the preferred timing bit
    DtdBlanking,        // no blanking, or porches, sync and borders longer than it
    DtdZero,            // no active pixels or lines, or no sync pulse
    DescriptorReserved, // a display descriptor's reserved byte is not 0
    TextTermination,
    TextUnprintable,
    TextTrailingSpaces,
    RangeLimitsPadding,
    OutsideRangeLimits,
    NotCta,
    CtaRevision,
    CtaReserved,
    DtdOffset,
    BlockOverrun,
    ReservedTag,
    ExtendedBlockEmpty,
    ReservedSvd,
    DuplicateVic,
    AudioLength,
    AudioWithoutBasicAudio,
    HdmiVsdbLength,
    PhysicalAddress,
    NoHdmiVsdb,
    AboveMaxTmds,
    HdmiVicWithoutVic, // a 4K HDMI VIC without its CTA-861 VIC
    NativeDtds,
    DescriptorOrder, // an 18-byte slot among the extension's DTDs that is none
    Padding,
};

// "base.week", "cta.duplicate_vic", ...
const char *findingKindId(FindingKind kind);

struct EdidFinding {
    enum class Severity { Error, Warning };
    int block = 0;
    std::size_t offset = 0; // absolute
    Severity severity = Severity::Error;
    FindingKind kind = FindingKind::Checksum;
    std::string message;
};
