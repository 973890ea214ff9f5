#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// An EDID as the utility handles it: two 128-byte blocks, each ending in its checksum byte.
struct EdidImage {
    static constexpr std::size_t kSize = 256;
    static constexpr std::size_t kBlockSize = 128;
    static constexpr std::size_t kBlockCount = kSize / kBlockSize;

    std::array<std::uint8_t, kSize> bytes{};
};

// The value the last byte of a block must hold: the first 127 bytes plus it sum to 0 mod 256.
std::uint8_t BlockChkSum(const std::uint8_t *block);

// A block's checksum byte as it stands and as it should be.
struct BlockChecksum {
    std::uint8_t stored;
    std::uint8_t correct;

    bool isCorrect() const { return stored == correct; }
};
BlockChecksum blockChecksum(const EdidImage &image, std::size_t block);

// Both blocks carry their correct checksum byte.
bool hasCorrectChecksums(const EdidImage &image);

// Rewrites both checksum bytes (127 and 255) with their correct values.
void recalculateChecksums(EdidImage &image);
