#include "EdidFieldDiff.h"
#include "EdidDescriptionTree.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace {

using Line = DescriptionLine;
using Path = std::vector<std::string>;

// A difference as found, named by its whole path of labels until the names are chosen, with the
// bytes it covers on each side (none on the side that lacks it).
struct Found {
    std::string key;
    Path path;
    std::optional<std::string> a;
    std::optional<std::string> b;
    ByteRange bytesA;
    ByteRange bytesB;
};

// A section by its first words: "Block 0: base EDID" is "Block 0".
std::string sectionName(const std::string &label)
{
    return label.substr(0, label.find(':'));
}

Path child(Path path, const Line &line)
{
    path.push_back(path.empty() ? sectionName(line.label) : line.label);
    return path;
}

// "dtd.3" is of the family "dtd", "cta.vic.97" of "cta.vic"; "base.name" is its own.
std::string family(const std::string &key)
{
    std::size_t end = key.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(key[end - 1])))
        --end;
    return end > 1 && end < key.size() && key[end - 1] == '.' ? key.substr(0, end - 1) : key;
}

// The same value and words all the way down, whatever the keys' numbers.
bool sameContent(const Line &x, const Line &y)
{
    if (x.typed != y.typed || x.value != y.value || x.children.size() != y.children.size())
        return false;
    for (std::size_t n = 0; n < x.children.size(); ++n)
        if (!sameContent(x.children[n], y.children[n]))
            return false;
    return true;
}

void compare(const std::vector<Line> &a, const std::vector<Line> &b, const Path &parent,
             std::vector<Found> &out)
{
    std::vector<int> partner(a.size(), -1); // the B line paired with each A line
    std::vector<bool> taken(b.size());
    const auto pair = [&](auto matches) {
        for (std::size_t i = 0; i < a.size(); ++i)
            for (std::size_t j = 0; j < b.size() && partner[i] < 0; ++j)
                if (!taken[j] && matches(a[i], b[j])) {
                    partner[i] = int(j);
                    taken[j] = true;
                }
    };
    // The same field as it was; then the same under another number; then the field changed.
    pair([](const Line &x, const Line &y) { return x.key == y.key && sameContent(x, y); });
    pair([](const Line &x, const Line &y) {
        return family(x.key) != x.key && family(x.key) == family(y.key) && sameContent(x, y);
    });
    pair([](const Line &x, const Line &y) { return x.key == y.key; });

    std::size_t nextB = 0;
    const auto onlyInB = [&](std::size_t upTo) {
        for (; nextB < upTo; ++nextB)
            if (!taken[nextB])
                out.push_back({b[nextB].key,
                               child(parent, b[nextB]),
                               std::nullopt,
                               b[nextB].value,
                               {},
                               b[nextB].bytes});
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Line &x = a[i];
        if (partner[i] < 0) {
            out.push_back({x.key, child(parent, x), x.value, std::nullopt, x.bytes, {}});
            continue;
        }
        const Line &y = b[std::size_t(partner[i])];
        onlyInB(std::size_t(partner[i]));
        if (sameContent(x, y))
            continue;
        // One part changed: that part is the difference; several: the field as a whole.
        std::vector<Found> parts;
        compare(x.children, y.children, child(parent, y), parts);
        if ((x.typed != y.typed || x.value != y.value) && parts.size() != 1)
            out.push_back({y.key, child(parent, y), x.value, y.value, x.bytes, y.bytes});
        else
            out.insert(out.end(), parts.begin(), parts.end());
    }
    onlyInB(b.size());
}

using Labels = std::vector<std::string_view>;

template <typename Tail> bool endsWith(const Labels &labels, const Tail &tail)
{
    return labels.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), labels.rbegin());
}

// Whether a line other than the one at path ends in suffix; at holds the labels down to lines.
bool othersEndIn(const std::vector<Line> &lines, Labels &at, const Path &path, const Path &suffix)
{
    for (const Line &line : lines) {
        at.push_back(at.empty() ? std::string_view(line.label).substr(0, line.label.find(':'))
                                : std::string_view(line.label));
        const bool found =
            (endsWith(at, suffix) && !(at.size() == path.size() && endsWith(at, path))) ||
            othersEndIn(line.children, at, path, suffix);
        at.pop_back();
        if (found)
            return true;
    }
    return false;
}

// The shortest tail of the path that no other line of either EDID (nor a reserved byte's entry)
// ends in.
std::string fieldName(const Path &path, const std::vector<Line> &linesA,
                      const std::vector<Line> &linesB, const std::vector<Path> &extra)
{
    Path suffix;
    Labels at;
    for (auto label = path.rbegin(); label != path.rend(); ++label) {
        suffix.insert(suffix.begin(), *label);
        const bool shared = othersEndIn(linesA, at, path, suffix) ||
                            othersEndIn(linesB, at, path, suffix) ||
                            std::any_of(extra.begin(), extra.end(), [&](const Path &other) {
                                return other != path && other.size() >= suffix.size() &&
                                       std::equal(suffix.rbegin(), suffix.rend(), other.rbegin());
                            });
        if (!shared)
            break;
    }
    std::string name;
    for (const std::string &label : suffix)
        name += (name.empty() ? "" : " / ") + label;
    return name;
}

std::vector<Line> blocksOf(const EdidDescription &description)
{
    std::vector<Line> lines = describeEdid(description);
    lines.pop_back(); // the findings, compared by their words
    return lines;
}

// The field of a block over each byte (or the block itself where none is), and its block.
struct Owner {
    const Line *block = nullptr;
    const Line *line = nullptr;

    Path path() const
    {
        const Path blockPath = child({}, *block);
        return line == block ? blockPath : child(blockPath, *line);
    }
};
using Owners = std::array<Owner, EdidImage::kSize>;

void findOwners(const std::vector<Line> &lines, const Line *block, Owners &owners)
{
    for (const Line &line : lines) {
        for (std::size_t n = line.bytes.offset;
             n < line.bytes.offset + line.bytes.length && n < EdidImage::kSize; ++n)
            owners[n] = {block ? block : &line, &line};
        if (!block) // a block's fields, not their parts
            findOwners(line.children, &line, owners);
    }
}

std::string hex(std::uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// The bytes that differ where no difference found covers them, in a field that lies where it
// lay on either side and none of whose parts changed: their bits say nothing the words show.
std::vector<Found> unexplainedBytes(const EdidDescription &a, const EdidDescription &b,
                                    const std::vector<Line> &linesA,
                                    const std::vector<Line> &linesB,
                                    const std::vector<Found> &found)
{
    std::array<bool, EdidImage::kSize> covered{};
    for (const Found &difference : found)
        for (const ByteRange &range : {difference.bytesA, difference.bytesB})
            for (std::size_t n = range.offset;
                 n < range.offset + range.length && n < EdidImage::kSize; ++n)
                covered[n] = true;
    Owners ownersA, ownersB;
    findOwners(linesA, nullptr, ownersA);
    findOwners(linesB, nullptr, ownersB);
    std::vector<Found> bytes;
    for (std::size_t n = 0; n < EdidImage::kSize; ++n) {
        const Owner &x = ownersA[n];
        const Owner &y = ownersB[n];
        if (a.image.bytes[n] == b.image.bytes[n] || covered[n] || !x.line || !y.line ||
            x.line->key != y.line->key || x.line->bytes.offset != y.line->bytes.offset)
            continue;
        // A data block's length and layout follow from what changed in it.
        const Path where = y.path();
        if (where.size() > 1 &&
            std::any_of(found.begin(), found.end(), [&](const Found &difference) {
                return difference.path.size() > where.size() &&
                       std::equal(where.begin(), where.end(), difference.path.begin());
            }))
            continue;
        const std::string place = "block " + std::to_string(n / EdidImage::kBlockSize) + ", byte " +
                                  std::to_string(n % EdidImage::kBlockSize);
        Path path{where.front(), where.size() > 1
                                     ? "Reserved bits of " + y.line->label + " (" + place + ")"
                                     : "Reserved bits (" + place + ")"};
        bytes.push_back({y.line->key + ".reserved",
                         path,
                         hex(a.image.bytes[n]),
                         hex(b.image.bytes[n]),
                         {n, 1},
                         {n, 1}});
    }
    return bytes;
}

std::string findingName(const EdidFinding &finding)
{
    return finding.severity == EdidFinding::Severity::Error ? "Error" : "Warning";
}

// Each finding of from that to lacks (as many times as it lacks it).
std::vector<const EdidFinding *> missing(const std::vector<EdidFinding> &from,
                                         const std::vector<EdidFinding> &to)
{
    std::vector<bool> used(to.size());
    std::vector<const EdidFinding *> lacking;
    for (const EdidFinding &finding : from) {
        std::size_t n = 0;
        while (n < to.size() &&
               (used[n] || to[n].severity != finding.severity || to[n].message != finding.message))
            ++n;
        if (n < to.size())
            used[n] = true;
        else
            lacking.push_back(&finding);
    }
    return lacking;
}

} // namespace

std::string FieldDifference::text() const
{
    if (a && b)
        return field + ": " + (a->empty() ? "(nothing)" : *a) + " -> " +
               (b->empty() ? "(nothing)" : *b);
    const std::string &value = a ? *a : *b;
    return field + (a ? " removed" : " added") + (value.empty() ? "" : ": " + value);
}

std::vector<FieldDifference> fieldDifferences(const EdidDescription &a, const EdidDescription &b)
{
    const std::vector<Line> linesA = blocksOf(a);
    const std::vector<Line> linesB = blocksOf(b);
    std::vector<Found> found;
    compare(linesA, linesB, {}, found);
    const std::vector<Found> bytes = unexplainedBytes(a, b, linesA, linesB, found);
    found.insert(found.end(), bytes.begin(), bytes.end());

    std::vector<Path> bytePaths;
    for (const Found &byte : bytes)
        bytePaths.push_back(byte.path);

    std::vector<FieldDifference> differences;
    for (const Found &difference : found)
        differences.push_back({difference.key,
                               fieldName(difference.path, linesA, linesB, bytePaths), difference.a,
                               difference.b});
    for (const EdidFinding *finding : missing(a.findings, b.findings))
        differences.push_back({std::string("finding.") + findingKindId(finding->kind),
                               findingName(*finding), finding->message, std::nullopt});
    for (const EdidFinding *finding : missing(b.findings, a.findings))
        differences.push_back({std::string("finding.") + findingKindId(finding->kind),
                               findingName(*finding), std::nullopt, finding->message});
    return differences;
}
