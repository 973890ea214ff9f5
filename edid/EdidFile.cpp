#include "EdidFile.h"

#include "HexText.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// ---- The window's Load

using ReadBuffer = std::array<char, kEdidFileReadLimit>;

// Lines of 16 groups that each end in a space, as other tools write them, lose the space
// before their line end. Only an unbroken run of such lines from the start is converted.
std::string convertTextFile(const ReadBuffer &buffer)
{
    constexpr std::size_t kLineWidth = 48;
    std::string text;
    std::size_t column = 0;
    std::size_t position = 0;
    const auto at = [&buffer](std::size_t index) {
        return index < buffer.size() ? buffer[index] : '\0';
    };
    while (position < buffer.size()) {
        ++column;
        if (column == kLineWidth && buffer[position] == ' ') {
            if (at(position + 1) == '\r' && at(position + 2) == '\n') {
                text += '\n';
                column = 0;
                position += 3;
                continue;
            }
            if (at(position + 1) == '\n') {
                text += '\n';
                column = 0;
                position += 2;
                continue;
            }
        }
        text += buffer[position];
        ++position;
    }
    // The text ends at the first zero byte; a buffer without one is taken whole.
    text.resize(std::min(text.find('\0'), text.size()));
    return text;
}

EdidFileContent readAsTheWindowLoads(std::string_view content)
{
    ReadBuffer buffer{};
    content.copy(buffer.data(), buffer.size());

    EdidFileContent result;
    result.isBinary = buffer[0] == '\0';
    if (result.isBinary)
        std::copy_n(buffer.begin(), EdidImage::kSize, result.image.bytes.begin());
    else
        result.text = convertTextFile(buffer);
    return result;
}

// ---- Binary and text by their bytes

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == ',' || c == ':';
}

// Text is printable ASCII and white space; any other byte makes a file binary.
bool isBinary(std::string_view content)
{
    return std::any_of(content.begin(), content.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x7F || (byte < 0x20 && !(byte >= '\t' && byte <= '\r'));
    });
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> found;
    std::size_t at = 0;
    while (at < line.size()) {
        if (isSpace(line[at])) {
            ++at;
            continue;
        }
        const std::size_t start = at;
        while (at < line.size() && !isSpace(line[at]))
            ++at;
        found.push_back(line.substr(start, at - start));
    }
    return found;
}

// Any of the three line ends ends a line; a lone CR as old Macs and some terminals write.
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at < text.size() && text[at] != '\n' && text[at] != '\r')
            continue;
        lines.push_back(text.substr(start, at - start));
        if (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n')
            ++at;
        start = at + 1;
    }
    return lines;
}

bool completeImage(const std::vector<std::uint8_t> &bytes, EdidFileContent &content)
{
    if (bytes.size() != EdidImage::kSize && bytes.size() != EdidImage::kBlockSize)
        return false;
    content.image = EdidImage{};
    content.size = bytes.size();
    std::copy(bytes.begin(), bytes.end(), content.image.bytes.begin());
    return true;
}

void refuse(EdidFileContent &content, std::string place, std::string problem)
{
    content.problemPlace = std::move(place);
    content.problem = std::move(problem);
}

std::string connectorUnused(const std::string &connector)
{
    return "--connector " + connector + " needs a whole xrandr --props output";
}

// The lines of an xrandr output that hold one output's EDID, as [first, end) line indexes.
struct XrandrEdid {
    std::string_view output;
    std::size_t first = 0;
    std::size_t end = 0;
};

// A property's value line: indented, and nothing but hex digits.
bool isIndentedHexLine(std::string_view line)
{
    const std::string_view value = trimmed(line);
    return !line.empty() && isSeparator(line[0]) && !value.empty() &&
           std::all_of(value.begin(), value.end(), [](char c) { return hexDigitValue(c) >= 0; });
}

// An output's heading starts its line: "HDMI-1 connected primary 1920x1080+0+0 (...)". Its
// properties follow, indented; the EDID's are one run of hex digits a line after "EDID:".
std::vector<XrandrEdid> xrandrEdids(const std::vector<std::string_view> &lines)
{
    std::vector<XrandrEdid> found;
    std::string_view output;
    for (std::size_t at = 0; at < lines.size(); ++at) {
        const std::string_view line = lines[at];
        const std::vector<std::string_view> heading = words(line);
        if (!line.empty() && !isSeparator(line[0]) && heading.size() >= 2 &&
            (heading[1] == "connected" || heading[1] == "disconnected" ||
             heading[1] == "unknown")) {
            output = heading[0];
            continue;
        }
        if (output.empty() || trimmed(line) != "EDID:")
            continue;
        XrandrEdid edid{output, at + 1, at + 1};
        while (edid.end < lines.size() && isIndentedHexLine(lines[edid.end]))
            ++edid.end;
        found.push_back(edid);
    }
    return found;
}

// Reads a hex dump; stops at the first fault with its 1-based line and column.
class DumpReader {
public:
    EdidFileContent read(const std::vector<std::string_view> &lines, std::size_t first,
                         std::size_t end)
    {
        for (line_ = first + 1; line_ <= end; ++line_) {
            const std::string_view text = lines[line_ - 1];
            const std::string_view content = trimmed(text);
            if (bytes_.empty() && (content == "EDID:" || content == "edid-decode (hex):"))
                continue;
            if (!bytes_.empty() && content.substr(0, 3) == "---" &&
                content.find_first_not_of('-') == std::string_view::npos)
                break;
            if (!readLine(text))
                return result_;
        }
        if (!completeImage(bytes_, result_))
            fault(lastLine_, lastColumn_,
                  "the dump ends after " + std::to_string(bytes_.size()) +
                      " bytes; an EDID has 128 or 256");
        return result_;
    }

private:
    bool readLine(std::string_view text)
    {
        std::size_t at = 0;
        while (at < text.size()) {
            if (isSeparator(text[at])) {
                ++at;
                continue;
            }
            const std::size_t start = at;
            if (text[at] == '0' && at + 1 < text.size() &&
                (text[at + 1] == 'x' || text[at + 1] == 'X'))
                at += 2;
            const std::size_t digits = at;
            while (at < text.size() && hexDigitValue(text[at]) >= 0)
                ++at;
            if (at < text.size() && !isSeparator(text[at]))
                return fault(line_, at + 1,
                             "'" + std::string(1, text[at]) + "' is not a hex digit");
            if (at == digits)
                return fault(line_, start + 1, "0x without hex digits");
            if ((at - digits) % 2 != 0)
                return fault(line_, start + 1,
                             "odd number of hex digits (" + std::to_string(at - digits) + ")");
            for (std::size_t pair = digits; pair < at; pair += 2) {
                if (bytes_.size() == EdidImage::kSize)
                    return fault(line_, pair + 1, "more than 256 bytes");
                bytes_.push_back(
                    static_cast<std::uint8_t>(hexByteValue(text[pair], text[pair + 1])));
            }
            lastLine_ = line_;
            lastColumn_ = at + 1;
        }
        return true;
    }

    bool fault(std::size_t line, std::size_t column, std::string what)
    {
        refuse(result_, std::to_string(line) + ":" + std::to_string(column), std::move(what));
        return false;
    }

    EdidFileContent result_;
    std::vector<std::uint8_t> bytes_;
    std::size_t line_ = 1;
    std::size_t lastLine_ = 1;
    std::size_t lastColumn_ = 1;
};

std::string joined(const std::vector<std::string_view> &names)
{
    std::string text;
    for (const std::string_view name : names)
        text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

// A text of the window's own layout goes through its one parser; any other through the dump
// reader, with the xrandr output's EDID chosen first.
EdidFileContent readText(std::string_view text, const std::string &connector)
{
    EdidFileContent result;
    const std::vector<std::string_view> lines = splitLines(text);
    const std::vector<XrandrEdid> edids = xrandrEdids(lines);
    if (edids.empty()) {
        if (parseEdidHexText(text, result.image) != static_cast<int>(EdidImage::kSize))
            result = DumpReader().read(lines, 0, lines.size());
        if (result.problem.empty() && !connector.empty())
            refuse(result, "1", connectorUnused(connector));
        return result;
    }
    std::vector<std::string_view> names;
    for (const XrandrEdid &edid : edids) {
        if (edid.output == connector || (connector.empty() && edids.size() == 1))
            return DumpReader().read(lines, edid.first, edid.end);
        names.push_back(edid.output);
    }
    refuse(result, "1",
           connector.empty()
               ? "the xrandr output holds the EDIDs of " + joined(names) +
                     ": choose one with --connector NAME"
               : "no output " + connector + " with an EDID; there are " + joined(names));
    return result;
}

EdidFileContent readByItsBytes(std::string_view content, const std::string &connector)
{
    EdidFileContent result;
    if (content.size() > kEdidDumpSizeLimit) {
        refuse(result, {}, "larger than 64 KiB, not an EDID");
        return result;
    }
    // Editors put a byte-order mark before text they save as UTF-8; it is no EDID byte.
    constexpr std::string_view byteOrderMark("\xEF\xBB\xBF");
    if (content.substr(0, byteOrderMark.size()) == byteOrderMark &&
        !isBinary(content.substr(byteOrderMark.size())))
        return readText(content.substr(byteOrderMark.size()), connector);
    if (!isBinary(content))
        return readText(content, connector);
    result.isBinary = true;
    if (!completeImage({content.begin(), content.end()}, result))
        refuse(result, {},
               "a binary EDID has 128 or 256 bytes, not " + std::to_string(content.size()));
    else if (!connector.empty())
        refuse(result, {}, connectorUnused(connector));
    return result;
}

} // namespace

EdidFileContent interpretEdidFile(std::string_view content, EdidFileRule rule,
                                  const std::string &connector)
{
    return rule == EdidFileRule::FirstByteZeroIsBinary ? readAsTheWindowLoads(content)
                                                       : readByItsBytes(content, connector);
}
