// Feeds arbitrary bytes to the EDID decoder as a 256-byte image (shorter input completed with
// zeros) and renders the description. Every item and finding must lie within the image.
#include "EdidDescriptionTree.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void checkRange(const ByteRange &range)
{
    if (range.offset > EdidImage::kSize || range.length > EdidImage::kSize - range.offset)
        std::abort();
}

void checkLines(const std::vector<DescriptionLine> &lines)
{
    for (const DescriptionLine &line : lines) {
        checkRange(line.bytes);
        checkLines(line.children);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    EdidImage image;
    std::copy(data, data + std::min(size, EdidImage::kSize), image.bytes.begin());
    const EdidDescription description = decodeEdid(image);
    for (const EdidFinding &finding : description.findings)
        if (finding.offset >= EdidImage::kSize ||
            finding.block != int(finding.offset / EdidImage::kBlockSize) || finding.message.empty())
            std::abort();
    for (const DetailedTiming *timing : detailedTimings(description))
        checkRange(timing->bytes);
    if (description.cta)
        for (const CtaDataBlock &block : description.cta->dataBlocks)
            checkRange(block.bytes);
    const std::vector<DescriptionLine> lines = describeEdid(description);
    checkLines(lines);
    if (renderDescription(lines).empty())
        std::abort();
    return 0;
}
