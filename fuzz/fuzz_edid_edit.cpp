// Applies one edit to arbitrary bytes: the first 256 are the image (shorter input completed with
// zeros), the next one chooses the edit, the rest is its argument. An edit either refuses with a
// reason or hands back an image whose checksums are correct and whose extension decodes without
// a data block running past its collection, unless the original's did.
#include "EdidDescription.h"
#include "EdidEdit.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool collectionBroken(const EdidImage &image)
{
    const EdidDescription description = decodeEdid(image);
    return description.cta &&
           std::any_of(description.cta->dataBlocks.begin(), description.cta->dataBlocks.end(),
                       [](const CtaDataBlock &block) { return block.truncated; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    EdidImage image;
    std::copy(data, data + std::min(size, EdidImage::kSize), image.bytes.begin());
    const auto &kinds = edidEditKinds();
    const EdidEditKind kind =
        kinds[size > EdidImage::kSize ? data[EdidImage::kSize] % kinds.size() : 0].kind;
    const std::string argument =
        size > EdidImage::kSize + 1
            ? std::string(reinterpret_cast<const char *>(data) + EdidImage::kSize + 1,
                          size - EdidImage::kSize - 1)
            : std::string();
    const EditResult result = applyEdit(image, {kind, argument});
    if (!result.image) {
        if (result.refusal.empty() || !result.notes.empty())
            std::abort();
        return 0;
    }
    if (!hasCorrectChecksums(*result.image) ||
        (collectionBroken(*result.image) && !collectionBroken(image)))
        std::abort();
    return 0;
}
