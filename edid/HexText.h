#pragma once

#include "EdidImage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The EDID hex text: 16 lines of 16 bytes, each byte as two upper-case hex digits, one space
// between bytes, a newline after the 16th. Byte n starts at character 3n.
inline constexpr std::size_t kEdidHexTextLength = 3 * EdidImage::kSize;

std::string edidHexText(const EdidImage &image);

// The last byte of each line carries its own emphasis; the two checksum bytes stand out.
constexpr bool endsEdidHexLine(std::size_t index)
{
    return index % 16 == 15;
}
constexpr bool isEdidChecksumByte(std::size_t index)
{
    return index % EdidImage::kBlockSize == EdidImage::kBlockSize - 1;
}

// The value of one hex digit (either case), or -1 for any other character.
int hexDigitValue(char c);

// Two hex digits (either case) as one byte's value, the first the high one; -1 when either is no
// hex digit. Every reader of hex text turns its pairs into bytes here.
int hexByteValue(char high, char low);

// Converts one group of three characters: two hex digits (either case) followed by a space, a
// newline or the terminating NUL. Returns 0 after writing the byte, 1 without writing it.
int HexPairToByte(const char *group, std::uint8_t *byte);

// Parses a whole EDID: exactly 256 groups, one space or one newline between two groups, any
// white space after the last. Returns 256, or -1 for a format error; on -1 the image is left as
// it was, and problem (when given) says in words where the text goes wrong.
int parseEdidHexText(std::string_view text, EdidImage &image, std::string *problem = nullptr);
