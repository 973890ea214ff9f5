#include "EdidFieldDiff.h"
#include "EdidDescriptionTree.h"

#include <algorithm>
#include <cctype>

namespace {

using Path = std::vector<std::string>;

// A difference as found, named by its whole path until the names are chosen.
struct Found {
    Path path;
    std::optional<std::string> a;
    std::optional<std::string> b;
};

// "Audio descriptor 2" is an "Audio descriptor"; "Product name" is itself.
std::string kindOf(const std::string &label)
{
    std::size_t end = label.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(label[end - 1])))
        --end;
    return end > 0 && end < label.size() && label[end - 1] == ' ' ? label.substr(0, end - 1)
                                                                  : label;
}

// A section by its first words: "Block 0: base EDID" is "Block 0".
std::string sectionName(const std::string &label)
{
    return label.substr(0, label.find(':'));
}

std::size_t count(const std::vector<DescriptionLine> &lines, const std::string &label)
{
    return std::size_t(std::count_if(lines.begin(), lines.end(), [&](const DescriptionLine &line) {
        return line.label == label;
    }));
}

class TreeDiff {
public:
    std::vector<Found> found;

    void compare(const std::vector<DescriptionLine> &a, const std::vector<DescriptionLine> &b,
                 const Path &parent)
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
        // The same line; then the same under another number; then a changed value of a label
        // that both sides have once.
        pair([](const DescriptionLine &x, const DescriptionLine &y) {
            return x.label == y.label && x.value == y.value;
        });
        pair([](const DescriptionLine &x, const DescriptionLine &y) {
            return kindOf(x.label) != x.label && kindOf(x.label) == kindOf(y.label) &&
                   x.value == y.value;
        });
        pair([&](const DescriptionLine &x, const DescriptionLine &y) {
            return x.label == y.label && count(a, x.label) == 1 && count(b, y.label) == 1;
        });

        std::size_t nextB = 0;
        const auto onlyInB = [&](std::size_t upTo) {
            for (; nextB < upTo; ++nextB)
                if (!taken[nextB])
                    found.push_back({child(parent, b[nextB]), std::nullopt, b[nextB].value});
        };
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (partner[i] < 0) {
                found.push_back({child(parent, a[i]), a[i].value, std::nullopt});
                continue;
            }
            const DescriptionLine &y = b[std::size_t(partner[i])];
            onlyInB(std::size_t(partner[i]));
            const DescriptionLine &x = a[i];
            // A heading that gained or lost its children says so through them.
            const bool heading = (x.value.empty() && !x.children.empty()) ||
                                 (y.value.empty() && !y.children.empty());
            if (x.value != y.value && !heading)
                found.push_back({child(parent, y), x.value, y.value});
            compare(x.children, y.children, child(parent, y));
        }
        onlyInB(b.size());
    }

private:
    static Path child(Path path, const DescriptionLine &line)
    {
        path.push_back(path.empty() ? sectionName(line.label) : line.label);
        return path;
    }
};

void collectPaths(const std::vector<DescriptionLine> &lines, const Path &parent,
                  std::vector<Path> &paths)
{
    for (const DescriptionLine &line : lines) {
        Path path = parent;
        path.push_back(parent.empty() ? sectionName(line.label) : line.label);
        paths.push_back(path);
        collectPaths(line.children, path, paths);
    }
}

bool endsWith(const Path &path, const Path &suffix)
{
    return path.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), path.rbegin());
}

// The shortest tail of the path that no other line of either EDID ends in.
std::string fieldName(const Path &path, const std::vector<Path> &paths)
{
    Path suffix;
    for (auto label = path.rbegin(); label != path.rend(); ++label) {
        suffix.insert(suffix.begin(), *label);
        if (std::none_of(paths.begin(), paths.end(), [&](const Path &other) {
                return other != path && endsWith(other, suffix);
            }))
            break;
    }
    std::string name;
    for (const std::string &label : suffix)
        name += (name.empty() ? "" : " / ") + label;
    return name;
}

std::vector<DescriptionLine> blocksOf(const EdidDescription &description)
{
    std::vector<DescriptionLine> lines = describeEdid(description);
    lines.pop_back(); // the findings, compared by their messages
    return lines;
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
    if (finding) // its message has colons of its own
        return field + (a ? " only in A: " : " only in B: ") + value;
    return field + (value.empty() ? "" : " " + value) + (a ? ": only in A" : ": only in B");
}

std::vector<FieldDifference> fieldDifferences(const EdidDescription &a, const EdidDescription &b)
{
    const std::vector<DescriptionLine> linesA = blocksOf(a);
    const std::vector<DescriptionLine> linesB = blocksOf(b);
    TreeDiff diff;
    diff.compare(linesA, linesB, {});
    std::vector<Path> paths;
    collectPaths(linesA, {}, paths);
    collectPaths(linesB, {}, paths);
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());

    std::vector<FieldDifference> differences;
    for (const Found &found : diff.found)
        differences.push_back({fieldName(found.path, paths), found.a, found.b, false});
    for (const EdidFinding *finding : missing(a.findings, b.findings))
        differences.push_back({findingName(*finding), finding->message, std::nullopt, true});
    for (const EdidFinding *finding : missing(b.findings, a.findings))
        differences.push_back({findingName(*finding), std::nullopt, finding->message, true});
    return differences;
}
