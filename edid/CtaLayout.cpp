#include "CtaLayout.h"

#include <algorithm>

std::optional<CtaLayout> readCtaLayout(const EdidImage &image)
{
    const auto at = [&](std::size_t offset) -> unsigned {
        return offset < EdidImage::kSize ? image.bytes[offset] : 0;
    };
    if (at(kCtaStart) != kCtaExtensionTag)
        return std::nullopt;
    CtaLayout layout;
    layout.revision = at(kCtaStart + 1);
    layout.dtdOffset = at(kCtaStart + 2);
    layout.flags = std::uint8_t(at(kCtaStart + 3));
    const unsigned d = layout.dtdOffset;
    layout.dtdOffsetValid = d == 0 || (d >= 4 && d <= 127);
    layout.collectionWhole = d == 0 || d >= 4;
    // Revisions 1 and 2 hold DTDs only.
    if (layout.revision >= 3 && d >= 4) {
        layout.collectionEnd = layout.dtdOffsetValid ? kCtaStart + d : kCtaChecksum;
        for (std::size_t offset = kCtaStart + 4; offset < layout.collectionEnd;) {
            CtaBlockPlace block;
            block.offset = offset;
            block.tag = ctaTagOf(std::uint8_t(at(offset)));
            block.length = at(offset) & 0x1F;
            const std::size_t declaredEnd = offset + 1 + block.length;
            block.end = std::min(declaredEnd, kCtaChecksum);
            block.truncated = declaredEnd > layout.collectionEnd;
            if (block.tag == CtaTag::Extended && block.end > offset + 1)
                block.extendedTag = std::uint8_t(at(offset + 1));
            layout.collectionWhole = layout.collectionWhole && !block.truncated;
            layout.blocks.push_back(block);
            offset = declaredEnd;
        }
    }
    // The slots: a pixel clock makes a DTD, a tag byte a display descriptor; zeros end them.
    std::size_t slot = layout.dtdOffsetValid && d >= 4 ? kCtaStart + d : kCtaChecksum;
    for (; slot + 18 <= kCtaChecksum && (at(slot) || at(slot + 1) || at(slot + 3)); slot += 18)
        layout.slotOffsets.push_back(slot);
    layout.paddingStart = slot;
    return layout;
}

HdmiVsdbLayout hdmiVsdbLayout(const std::uint8_t *block, std::size_t size)
{
    HdmiVsdbLayout layout;
    layout.size = size;
    using L = HdmiVsdbLayout;
    if (size <= L::kOptions)
        return layout;
    const unsigned options = block[L::kOptions];
    std::size_t p = L::kOptions + 1;
    if (options & 0x80 && p + 2 <= size) {
        layout.latency = p;
        p += 2;
    }
    if (options & 0x40 && p + 2 <= size) {
        layout.interlacedLatency = p;
        p += 2;
    }
    if (options & 0x20 && p + 2 <= size) {
        layout.video = p;
        layout.lengths = p + 1;
        layout.vics = p + 2;
        layout.vicCount = std::min<std::size_t>(block[p + 1] >> 5, size - layout.vics);
        layout.threeD = layout.vics + layout.vicCount;
        layout.threeDLength = std::min<std::size_t>(block[p + 1] & 0x1F, size - layout.threeD);
    }
    return layout;
}
