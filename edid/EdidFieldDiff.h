#pragma once

#include "EdidDescription.h"

#include <optional>
#include <string>
#include <vector>

// One difference between what two EDIDs say: a line of the description whose value changed, a
// line only one of them has, or a finding that appears or disappears.
struct FieldDifference {
    // The line's label, with as many of its parents' as make it unambiguous:
    // "Product name", "Video data block / VIC 97", "Block 1 / Checksum"; "Error" or "Warning"
    // for a finding.
    std::string field;
    std::optional<std::string> a; // its value in A; none when only B has the line
    std::optional<std::string> b; // its value in B; none when only A has it
    bool finding = false;         // a finding's message is the value

    // "Product name: 'LG TV' -> 'Studio 3'", "VIC 97 3840x2160p60 16:9: only in A",
    // "Error only in B: the HDMI VSDB is ...".
    std::string text() const;
};

// In the order of the lines; a line only one side has is one difference, its children with it.
// Lines that say the same under another number ("DTD 3" that became "DTD 2") are no difference,
// and findings count by their message, wherever they point.
std::vector<FieldDifference> fieldDifferences(const EdidDescription &a, const EdidDescription &b);
