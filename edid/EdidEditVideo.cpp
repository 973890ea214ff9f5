#include "EdidEditing.h"

#include <algorithm>

// The VICs of the video data blocks: added, removed, marked native.

namespace edits {

namespace {

std::optional<unsigned> parseVic(const std::string &argument, std::string &refusal)
{
    const auto vic = parseNumber(argument, 255);
    if (vic && ctaVideoMode(unsigned(*vic)))
        return unsigned(*vic);
    refusal = "'" + argument + "' is no CTA-861 VIC (1-127, 193-219)";
    return std::nullopt;
}

// Every SVD of the video data blocks, for reading and changing in place.
template <typename Visit> void forEachSvd(CtaCollection &cta, Visit visit)
{
    for (CtaCollection::Bytes &block : cta.blocks)
        for (std::size_t p = 1; CtaCollection::tag(block) == CtaTag::Video && p < block.size(); ++p)
            visit(block[p]);
}

} // namespace

std::string addVic(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const auto vic = parseVic(argument, refusal);
    if (!vic)
        return refusal;
    // The range limits bound every timing's pixel clock; the link's clock the result is checked
    // for.
    const VideoMode &mode = *ctaVideoMode(*vic);
    for (const Descriptor &descriptor : decodeEdid(editing.image).base.descriptors)
        if (const auto *limits = std::get_if<RangeLimits>(&descriptor.payload);
            limits && mode.pixelClockKhz > limits->maxPixelClockMhz * 1000)
            return "VIC " + argument + " (" + timingName(mode) + ") needs a pixel clock of " +
                   clockText(mode.pixelClockKhz) + ", above the range limits' " +
                   std::to_string(limits->maxPixelClockMhz) + " MHz";
    return changeCta(editing, [&](CtaCollection &cta) {
        bool listed = false;
        forEachSvd(cta, [&](std::uint8_t code) {
            listed = listed || CtaCollection::svdVic(code) == *vic;
        });
        for (const CtaCollection::Bytes &block : cta.blocks)
            if (CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420Video))
                listed =
                    listed || std::any_of(block.begin() + 2, block.end(), [&](std::uint8_t code) {
                        return CtaCollection::svdVic(code) == *vic;
                    });
        if (listed)
            return "VIC " + argument + " is listed already";
        cta.appendVic(*vic);
        return std::string();
    });
}

std::string removeVic(Editing &editing, const std::string &argument)
{
    const auto vic = parseNumber(argument, 255);
    if (!vic || !*vic)
        return "a VIC is a number 1-255, not '" + argument + "'";
    return changeCta(editing, [&](CtaCollection &cta) {
        if (!cta.removeVics([&](unsigned listed) { return listed == *vic; }))
            return "VIC " + argument + " is not listed";
        return std::string();
    });
}

std::string setNativeVic(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const auto vic = parseVic(argument, refusal);
    if (!vic)
        return refusal;
    if (*vic > 64)
        return "only VICs 1-64 can be marked native in a video data block";
    return changeCta(editing, [&](CtaCollection &cta) {
        std::uint8_t *found = nullptr;
        forEachSvd(cta, [&](std::uint8_t &code) {
            if (!found && CtaCollection::svdVic(code) == *vic)
                found = &code;
        });
        if (!found)
            return "VIC " + argument + " is not in a video data block";
        forEachSvd(cta,
                   [](std::uint8_t &code) { code = std::uint8_t(CtaCollection::svdVic(code)); });
        *found = std::uint8_t(0x80 | *vic);
        return std::string();
    });
}

} // namespace edits
