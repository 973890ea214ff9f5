#include "EdidFile.h"

#include <algorithm>
#include <array>

namespace {

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

} // namespace

EdidFileContent interpretEdidFile(std::string_view content)
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
