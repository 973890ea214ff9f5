#include "HexText.h"

#include <algorithm>
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

int hexByteValue(char high, char low)
{
    const int highValue = hexDigitValue(high);
    const int lowValue = hexDigitValue(low);
    return highValue < 0 || lowValue < 0 ? -1 : highValue * 16 + lowValue;
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
    const int value = hexByteValue(group[0], group[1]);
    if (value < 0)
        return 1;
    *byte = static_cast<std::uint8_t>(value);
    return 0;
}

namespace {

// Where byte n's group starts, as the operator sees it: line and column, both from 1.
std::string placeOfByte(std::size_t n)
{
    return "byte " + std::to_string(n) + " (line " + std::to_string(n / 16 + 1) + ", column " +
           std::to_string(3 * (n % 16) + 1) + ")";
}

// A character as the operator can read it in a message: a line break as \n, a byte outside
// printable ASCII as \xNN.
std::string escaped(std::string_view text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c == '\r')
            shown += "\\r";
        else if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else
            shown += c;
    }
    return shown;
}

// Where a character really stands, as an editor counts: line and column, both from 1.
std::string placeOfCharacter(std::string_view text, std::size_t at)
{
    const std::size_t lineStart = text.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t line =
        std::size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n')) + 1;
    const std::size_t column =
        lineStart == std::string_view::npos || at == 0 ? at + 1 : at - lineStart;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Why the text (white space after the last group already cut off) is no whole EDID, or "" when
// it is one.
std::string firstProblem(std::string_view text)
{
    if (text.empty())
        return "the text is empty";
    for (std::size_t n = 0; n < EdidImage::kSize; ++n) {
        const std::size_t at = 3 * n;
        if (at + 2 > text.size())
            return "the text ends after " + std::to_string(n) + " bytes; an EDID has 256";
        // White space where a group starts follows the separator before it: one too many.
        if (n > 0 && isSpace(text[at]))
            return placeOfCharacter(text, at - 1) + ": '" + escaped(text.substr(at - 1, 2)) +
                   "' between byte " + std::to_string(n - 1) + " and byte " + std::to_string(n) +
                   "; one space or one line end separates two bytes";
        if (hexDigitValue(text[at]) < 0 || hexDigitValue(text[at + 1]) < 0)
            return placeOfByte(n) + ": '" + escaped(text.substr(at, 2)) + "' is not two hex digits";
        const bool last = n + 1 == EdidImage::kSize;
        if (at + 2 == text.size())
            return last
                       ? std::string()
                       : "the text ends after " + std::to_string(n + 1) + " bytes; an EDID has 256";
        if (last)
            return "the text goes on after byte 255; an EDID has 256 bytes";
        if (text[at + 2] != ' ' && text[at + 2] != '\n')
            return placeOfByte(n) + " is followed by something else than one space or a line end";
    }
    return std::string();
}

} // namespace

int parseEdidHexText(std::string_view text, EdidImage &image, std::string *problem)
{
    // Whatever follows the last group as white space is the operator's, not the EDID's.
    const std::size_t lastGroupEnd = text.find_last_not_of(" \t\n\r\v\f");
    const std::size_t length = lastGroupEnd == std::string_view::npos ? 0 : lastGroupEnd + 1;
    // 256 groups of two digits with one separator between two of them; nothing else fits.
    bool whole = length == kEdidHexTextLength - 1 &&
                 text.substr(0, length).find('\0') == std::string_view::npos;
    EdidImage parsed;
    if (whole) {
        std::array<char, kEdidHexTextLength> buffer{}; // the groups and their terminating NUL
        text.copy(buffer.data(), length);
        for (std::size_t i = 0; i < EdidImage::kSize && whole; ++i)
            whole = HexPairToByte(&buffer[3 * i], &parsed.bytes[i]) == 0;
    }
    if (!whole) {
        if (problem)
            *problem = firstProblem(text.substr(0, length));
        return -1;
    }
    image = parsed;
    return static_cast<int>(EdidImage::kSize);
}
