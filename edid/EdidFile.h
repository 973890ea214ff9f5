#pragma once

#include "EdidImage.h"

#include <cstddef>
#include <string>
#include <string_view>

// The one reader of EDID files: what a file's content holds, for the window's Load, the command
// line and whoever else takes an EDID from a file.

// The window's Load looks at the start of a file only; nothing after it has any effect.
inline constexpr std::size_t kEdidFileReadLimit = 1024;
// Far beyond any dump of 256 bytes: a larger file is no EDID.
inline constexpr std::size_t kEdidDumpSizeLimit = 64 * 1024;

// How a file is told binary from text.
enum class EdidFileRule {
    // The window's Load, as its operator knows it: a file whose first byte is 0x00 (as the EDID
    // header starts) is binary, its first 256 bytes completed with zeros; any other file is text
    // for the pane, up to its first zero byte, lines of 48 columns turned into the hex layout.
    // Only the first kEdidFileReadLimit bytes count.
    FirstByteZeroIsBinary,
    // The command line: a file with any byte that is not text is binary, of 128 or 256 bytes (a
    // kernel's /sys/class/drm/*/edid as it is). Text is the window's hex layout or a hex dump of
    // as many bytes (pairs of digits separated by white space, commas or colons, with or without
    // 0x, any number of pairs per line, runs of digits as xrandr --verbose prints them, C array
    // bodies). A leading "EDID:" or "edid-decode (hex):" line is skipped, and a line of dashes
    // ends the dump, as edid-decode prints its decoding after one. A whole xrandr --props or
    // --verbose output is read too: its only EDID, or the one of the output named by connector.
    // 128 bytes get a second block of zeros; a file over kEdidDumpSizeLimit is refused.
    NonTextByteIsBinary,
};

struct EdidFileContent {
    bool isBinary = false;
    EdidImage image;                     // binary, or text read as a dump
    std::size_t size = EdidImage::kSize; // the bytes the file held: 128 or 256
    std::string text;                    // FirstByteZeroIsBinary, text: what the pane shows
    // NonTextByteIsBinary: why the file holds no EDID (empty when it holds one), and where in a
    // text: "LINE:COLUMN" or "LINE"; empty for the file as a whole.
    std::string problem;
    std::string problemPlace;
};

// Interprets a file's content by the rule; connector (NonTextByteIsBinary only) names the xrandr
// output whose EDID is read. Without a rule, as the window's Load.
EdidFileContent interpretEdidFile(std::string_view content,
                                  EdidFileRule rule = EdidFileRule::FirstByteZeroIsBinary,
                                  const std::string &connector = {});
