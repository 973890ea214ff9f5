#pragma once

#include "EdidDescription.h"

#include <optional>
#include <string>
#include <vector>

// One difference between what two EDIDs say: a field whose value changed, one only one of them
// has, a finding that appears or disappears, or a byte that changed where no field says anything.
struct FieldDifference {
    // The field's key, as in the description tree ("cta.hdmi.physical_address"); for a finding
    // "finding." and its kind.
    std::string key;
    // Its label, with as many of its parents' as make it unambiguous: "Product name",
    // "Video data block / VIC 97", "Block 1 / Checksum"; "Error" or "Warning" for a finding.
    std::string field;
    std::optional<std::string> a; // its value in A; none when only B has it
    std::optional<std::string> b; // its value in B; none when only A has it

    // "Product name: 'LG TV' -> 'Studio 3'", "VIC 97 removed: 3840x2160p60 16:9",
    // "HDMI vendor-specific data block added", "Error added: the HDMI VSDB is ...".
    std::string text() const;
};

// In the order of the fields. A field compares by its key and typed value: a change to one of
// its parts is that part's difference alone, a field that changed in several parts is one
// difference, and a field only one side has is one difference, its parts with it. Fields that
// say the same under another number ("DTD 3" that became "DTD 2") are no difference; findings
// count by their words, wherever they point. A byte that differs in a field that did not move
// and says the same is shown as reserved bits of that field.
std::vector<FieldDifference> fieldDifferences(const EdidDescription &a, const EdidDescription &b);
