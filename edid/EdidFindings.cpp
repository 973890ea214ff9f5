#include "EdidFindings.h"

#include <utility>

const char *findingKindId(FindingKind kind)
{
    using K = FindingKind;
    static const std::pair<K, const char *> kIds[] = {
        {K::Checksum, "checksum"},
        {K::Header, "base.header"},
        {K::Manufacturer, "base.manufacturer"},
        {K::Week, "base.week"},
        {K::Version, "base.version"},
        {K::ExtensionCount, "base.extension_count"},
        {K::PreferredTiming, "base.preferred_timing"},
        {K::DtdBlanking, "dtd.blanking"},
        {K::DtdZero, "dtd.zero"},
        {K::DescriptorReserved, "descriptor.reserved"},
        {K::TextTermination, "descriptor.text_termination"},
        {K::TextUnprintable, "descriptor.text_unprintable"},
        {K::TextTrailingSpaces, "descriptor.text_trailing_spaces"},
        {K::RangeLimitsPadding, "descriptor.range_limits_padding"},
        {K::OutsideRangeLimits, "range_limits.outside"},
        {K::NotCta, "extension.not_cta"},
        {K::CtaRevision, "cta.revision"},
        {K::CtaReserved, "cta.reserved"},
        {K::DtdOffset, "cta.dtd_offset"},
        {K::BlockOverrun, "cta.block_overrun"},
        {K::ReservedTag, "cta.reserved_tag"},
        {K::ExtendedBlockEmpty, "cta.extended_block_empty"},
        {K::ReservedSvd, "cta.reserved_svd"},
        {K::DuplicateVic, "cta.duplicate_vic"},
        {K::AudioLength, "cta.audio_length"},
        {K::AudioWithoutBasicAudio, "cta.audio_without_basic_audio"},
        {K::HdmiVsdbLength, "cta.hdmi_vsdb_length"},
        {K::PhysicalAddress, "cta.physical_address"},
        {K::NoHdmiVsdb, "cta.no_hdmi_vsdb"},
        {K::AboveMaxTmds, "cta.above_max_tmds"},
        {K::HdmiVicWithoutVic, "cta.hdmi_vic_without_vic"},
        {K::NativeDtds, "cta.native_dtds"},
        {K::DescriptorOrder, "cta.descriptor_order"},
        {K::Padding, "cta.padding"},
    };
    for (const auto &[listed, id] : kIds)
        if (listed == kind)
            return id;
    return "unknown";
}
