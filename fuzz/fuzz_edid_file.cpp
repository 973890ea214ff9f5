// Feeds arbitrary file contents to the EDID file reader. By the window's rule a binary file's
// image is its first 256 bytes completed with zeros, a text file's text holds no zero byte and no
// more characters than the read limit; by the command line's an EDID read has 128 or 256 bytes,
// a binary one exactly the file's.
#include "EdidFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    const EdidFileContent read = interpretEdidFile(content, EdidFileRule::NonTextByteIsBinary);
    const bool whole = read.size == EdidImage::kSize || read.size == EdidImage::kBlockSize;
    if (read.problem.empty() && (!whole || (read.isBinary && read.size != size)))
        std::abort();

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
