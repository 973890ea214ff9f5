#include "EdidDescriptionTree.h"
#include "DescriptionTreeParts.h"

#include <unordered_map>

using namespace description_tree;

namespace {

// A key that repeats gets ".2", ".3": two video data blocks, a VIC listed twice.
void makeKeysUnique(std::vector<Line> &lines, std::unordered_map<std::string, unsigned> &seen)
{
    for (Line &line : lines) {
        if (const unsigned count = ++seen[line.key]; count > 1)
            line.key += "." + std::to_string(count);
        makeKeysUnique(line.children, seen);
    }
}

Line findingsLine(const std::vector<EdidFinding> &findings)
{
    Line line{"findings", "Findings", findings.empty() ? "none" : "", {0, 0}, {}, {}};
    for (const EdidFinding &finding : findings)
        line.children.push_back(
            {std::string("finding.") + findingKindId(finding.kind),
             finding.severity == EdidFinding::Severity::Error ? "Error" : "Warning",
             "block " + std::to_string(finding.block) + ", byte " +
                 std::to_string(finding.offset % 128) + ": " + finding.message,
             {finding.offset, 1},
             finding.message,
             {}});
    return line;
}

void render(const std::vector<DescriptionLine> &lines, const std::string &indent, std::string &text)
{
    for (const DescriptionLine &line : lines) {
        text += indent + line.label + (line.value.empty() ? "" : ": " + line.value) + "\n";
        render(line.children, indent + "  ", text);
    }
}

} // namespace

std::vector<DescriptionLine> describeEdid(const EdidDescription &description)
{
    unsigned dtdNumber = 0;
    std::vector<Line> sections;
    sections.push_back(baseBlockLine(description, dtdNumber)); // moved: a list would copy it
    if (description.cta) {
        sections.push_back(ctaLine(*description.cta, dtdNumber));
    } else if (const auto &other = description.otherExtension) {
        sections.push_back({"extension",
                            "Block 1: extension",
                            format("tag 0x%02X, kept as bytes", other->tag.value),
                            other->bytes,
                            std::int64_t(other->tag.value),
                            {checksumLine("extension.checksum", other->checksum)}});
    }
    sections.push_back(findingsLine(description.findings));
    std::unordered_map<std::string, unsigned> seen;
    makeKeysUnique(sections, seen);
    return sections;
}

std::string renderDescription(const std::vector<DescriptionLine> &lines)
{
    std::string text;
    render(lines, "", text);
    return text;
}
