#pragma once

// The description tree's working parts, shared by its files: the base block's lines in
// DescriptionTreeBase.cpp, the extension's in DescriptionTreeCta.cpp, the lines both blocks have
// (timings, descriptors, checksums) and the words in DescriptionTreeCommon.cpp.

#include "DescriptionLine.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace description_tree {

using Line = DescriptionLine;

template <typename... Values> std::string format(const char *pattern, Values... values)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

inline std::string yesNo(bool value)
{
    return value ? "yes" : "no";
}

std::string hexBytes(const std::vector<std::uint8_t> &data);
std::string oui(std::uint32_t value);
std::string join(const std::vector<std::string> &parts, const char *separator = ", ");
std::vector<std::string> strings(const std::vector<const char *> &names);
std::vector<std::string> numbers(const std::vector<unsigned> &values);
// The parts joined, or "none".
std::string orNone(const std::vector<std::string> &parts);
std::string modeText(unsigned vic, const VideoMode *mode);

Line checksumLine(const std::string &key, const Field<BlockChecksum> &checksum);
Line detailedTimingLine(const DetailedTiming &timing, unsigned number);
Line descriptorLine(const Descriptor &descriptor, unsigned &dtdNumber, const std::string &key);

Line baseBlockLine(const EdidDescription &description, unsigned &dtdNumber);
Line ctaLine(const CtaExtension &cta, unsigned &dtdNumber);

// Numbers the labels that repeat among siblings: "Video data block", "Video data block 2".
void numberRepeats(std::vector<Line> &lines);

} // namespace description_tree
