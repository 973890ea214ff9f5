#include "EdidImage.h"

std::uint8_t BlockChkSum(const std::uint8_t *block)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < EdidImage::kBlockSize - 1; ++i)
        sum = static_cast<std::uint8_t>(sum + block[i]);
    return static_cast<std::uint8_t>(0x100 - sum);
}

bool hasCorrectChecksums(const EdidImage &image)
{
    const std::uint8_t *bytes = image.bytes.data();
    return BlockChkSum(bytes) == bytes[127] && BlockChkSum(bytes + 128) == bytes[255];
}

void recalculateChecksums(EdidImage &image)
{
    std::uint8_t *bytes = image.bytes.data();
    bytes[127] = BlockChkSum(bytes);
    bytes[255] = BlockChkSum(bytes + 128);
}
