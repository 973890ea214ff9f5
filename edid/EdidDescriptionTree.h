#pragma once

#include "DescriptionLine.h"

#include <string>
#include <vector>

// Sections in the order of the bytes: the base block, block 1, then the findings. Every key is
// unique in the tree: a field that repeats gets ".2", ".3".
std::vector<DescriptionLine> describeEdid(const EdidDescription &description);

// One line each, "label: value" (or "label" alone), indented two spaces a level.
std::string renderDescription(const std::vector<DescriptionLine> &lines);
