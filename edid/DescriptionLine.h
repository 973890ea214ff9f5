#pragma once

#include "EdidDescription.h"
#include "EdidModes.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// What a described field holds, as the field diff compares it: a number, words, named flags, raw
// bytes, or a timing. A heading holds nothing of its own.
using FieldValue =
    std::variant<std::monostate, std::int64_t, std::vector<std::int64_t>, std::string,
                 std::vector<std::string>, std::vector<std::uint8_t>, VideoMode>;

// The description as a tree of lines, the same for the command line's text, a view's tree and
// the field diff. A line's key names its field for scripts and stays the same from one EDID to
// the next ("base.name", "cta.hdmi.physical_address", "dtd.1", "cta.vic.97"); its label names it
// for a person (unique among its siblings where the EDID allows it: "DTD 1", "Audio descriptor
// 2"); its value says in words what its typed value holds.
struct DescriptionLine {
    std::string key;
    std::string label;
    std::string value; // empty for a heading
    ByteRange bytes;
    FieldValue typed;
    std::vector<DescriptionLine> children;
};
