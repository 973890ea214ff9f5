#include "HexText.h"

#include <array>
#include <cstdio>

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string edidHexText(const EdidImage &image)
{
    std::string text;
    text.reserve(kEdidHexTextLength);
    for (std::size_t i = 0; i < EdidImage::kSize; ++i) {
        char group[4];
        std::snprintf(group, sizeof group, "%02X", static_cast<unsigned>(image.bytes[i]));
        text += group;
        text += endsEdidHexLine(i) ? '\n' : ' ';
    }
    return text;
}

int HexPairToByte(const char *group, std::uint8_t *byte)
{
    const char separator = group[2];
    if (separator != '\0' && separator != ' ' && separator != '\n')
        return 1;
    const int high = hexDigitValue(group[0]);
    const int low = hexDigitValue(group[1]);
    if (high < 0 || low < 0)
        return 1;
    *byte = static_cast<std::uint8_t>(high * 16 + low);
    return 0;
}

int parseEdidHexText(std::string_view text, EdidImage &image)
{
    // Whatever follows the last group as white space is the operator's, not the EDID's.
    const std::size_t lastGroupEnd = text.find_last_not_of(" \t\n\r\v\f");
    const std::size_t length = lastGroupEnd == std::string_view::npos ? 0 : lastGroupEnd + 1;
    // 256 groups of two digits with one separator between two of them; nothing else fits.
    if (length != kEdidHexTextLength - 1)
        return -1;
    if (text.substr(0, length).find('\0') != std::string_view::npos)
        return -1;

    std::array<char, kEdidHexTextLength> buffer{}; // the groups and their terminating NUL
    text.copy(buffer.data(), length);
    EdidImage parsed;
    for (std::size_t i = 0; i < EdidImage::kSize; ++i) {
        if (HexPairToByte(&buffer[3 * i], &parsed.bytes[i]) != 0)
            return -1;
    }
    image = parsed;
    return static_cast<int>(EdidImage::kSize);
}
