#pragma once

#include "EdidImage.h"

#include <cstddef>
#include <string>
#include <string_view>

// Only the start of a file is read; nothing after it has any effect.
inline constexpr std::size_t kEdidFileReadLimit = 1024;

// What an EDID file puts into the pane. A file whose first byte is 0x00 (as the EDID header
// starts) is a binary EDID; any other file is hex text.
struct EdidFileContent {
    bool isBinary = false;
    EdidImage image;  // binary: the first 256 bytes, completed with zeros
    std::string text; // text: up to the first zero byte, 48-column lines turned into hex layout
};

// Interprets the first kEdidFileReadLimit bytes of a file's content; the rest is ignored.
EdidFileContent interpretEdidFile(std::string_view content);
