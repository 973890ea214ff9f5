// Feeds arbitrary file contents to the EDID file loader's conversion. A binary file's image is
// its first 256 bytes completed with zeros; a text file's text holds no zero byte and no more
// characters than the read limit.
#include "EdidFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    const EdidFileContent file = interpretEdidFile(content);
    if (file.isBinary != (size == 0 || data[0] == 0x00))
        std::abort();
    if (file.isBinary) {
        for (std::size_t i = 0; i < EdidImage::kSize; ++i)
            if (file.image.bytes[i] != (i < size ? data[i] : 0x00))
                std::abort();
        return 0;
    }
    if (file.text.size() > kEdidFileReadLimit || file.text.find('\0') != std::string::npos)
        std::abort();
    return 0;
}
