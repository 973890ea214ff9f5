#include "EdidImage.h"

std::uint8_t BlockChkSum(const std::uint8_t *block)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < EdidImage::kBlockSize - 1; ++i)
        sum = static_cast<std::uint8_t>(sum + block[i]);
    return static_cast<std::uint8_t>(0x100 - sum);
}

BlockChecksum blockChecksum(const EdidImage &image, std::size_t block)
{
    const std::uint8_t *start = &image.bytes[block * EdidImage::kBlockSize];
    return {start[EdidImage::kBlockSize - 1], BlockChkSum(start)};
}

bool hasCorrectChecksums(const EdidImage &image)
{
    return blockChecksum(image, 0).isCorrect() && blockChecksum(image, 1).isCorrect();
}

void recalculateChecksums(EdidImage &image)
{
    for (std::size_t block = 0; block < EdidImage::kBlockCount; ++block)
        image.bytes[(block + 1) * EdidImage::kBlockSize - 1] = blockChecksum(image, block).correct;
}
