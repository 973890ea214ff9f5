// Feeds arbitrary pane text to the EDID hex text parser. A text is either refused with a reason,
// leaving the image untouched, or gives 256 bytes whose canonical text parses back to the same
// bytes.
#include "HexText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    EdidImage image;
    image.bytes.fill(0xA5);
    const EdidImage untouched = image;

    std::string problem;
    const int result = parseEdidHexText(text, image, &problem);
    if (result == -1) {
        if (image.bytes != untouched.bytes || problem.empty())
            std::abort();
        return 0;
    }
    if (result != 256)
        std::abort();
    EdidImage again;
    if (parseEdidHexText(edidHexText(image), again) != 256 || again.bytes != image.bytes)
        std::abort();
    return 0;
}
