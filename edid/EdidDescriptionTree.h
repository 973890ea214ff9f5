#pragma once

#include "EdidDescription.h"

#include <string>
#include <vector>

// The description as a tree of lines, the same for the command line's text and a view's tree.
// A line's label names it (unique among its siblings where the EDID allows it: "DTD 1",
// "Audio descriptor 2", "VIC 97"); its value says what the bytes mean there.
struct DescriptionLine {
    std::string label;
    std::string value; // empty for a heading
    ByteRange bytes;
    std::vector<DescriptionLine> children;
};

// Sections in the order of the bytes: the base block, block 1, then the findings.
std::vector<DescriptionLine> describeEdid(const EdidDescription &description);

// One line each, "label: value" (or "label" alone), indented two spaces a level.
std::string renderDescription(const std::vector<DescriptionLine> &lines);
