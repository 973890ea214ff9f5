#include "EdidEditing.h"

#include <algorithm>

// The preferred timing: DTD 1 becomes a mode or one of the EDID's own DTDs, and the native format
// follows it.

namespace edits {

std::optional<CtaCollection::Dtd> dtdBytes(const VideoMode &mode, unsigned hSizeMm,
                                           unsigned vSizeMm, std::string &refusal)
{
    if (const auto timing = detailedTiming(mode, hSizeMm, vSizeMm))
        return encodeDetailedTiming(*timing);
    if ((mode.pixelClockKhz + 5) / 10 > 0xFFFF)
        refusal = "a detailed timing holds a pixel clock of up to 655.35 MHz; " + timingName(mode) +
                  " needs " + clockText(mode.pixelClockKhz);
    else
        refusal = timingName(mode) + " does not fit a detailed timing descriptor";
    return std::nullopt;
}

namespace {

using Dtd = CtaCollection::Dtd;

Dtd dtdAt(const EdidImage &image, std::size_t offset)
{
    Dtd dtd;
    std::copy_n(image.bytes.begin() + std::ptrdiff_t(offset), 18, dtd.begin());
    return dtd;
}

void putDtd(EdidImage &image, std::size_t offset, const Dtd &dtd)
{
    std::copy(dtd.begin(), dtd.end(), image.bytes.begin() + std::ptrdiff_t(offset));
}

// The preferred timing is the native format: the first SVD of it becomes the only native one
// (VICs above 64 cannot be; then none is), and when DTD 1 changed, the native DTDs are those of
// its size at the front.
std::string markNative(Editing &editing, const VideoMode &mode, bool dtdChanged)
{
    if (editing.image.bytes[EdidImage::kBlockSize] != 0x02)
        return {}; // no CTA-861 extension: no VICs
    const EdidDescription description = decodeEdid(editing.image);
    const std::vector<const DetailedTiming *> timings = detailedTimings(description);
    unsigned sameSize = 0;
    while (sameSize < timings.size() && timings[sameSize]->hActive == mode.hActive &&
           timings[sameSize]->vActive == mode.vActive)
        ++sameSize;
    return changeCta(editing, [&](CtaCollection &cta) {
        if (const unsigned native = cta.flags & 0x0F; dtdChanged && native > std::max(sameSize, 1u))
            cta.flags = std::uint8_t((cta.flags & 0xF0) | std::max(sameSize, 1u));
        std::uint8_t *found = nullptr;
        for (CtaCollection::Bytes &block : cta.blocks)
            for (std::size_t p = 1; CtaCollection::tag(block) == CtaTag::Video && p < block.size();
                 ++p) {
                const unsigned vic = CtaCollection::svdVic(block[p]);
                const VideoMode *svdMode = ctaVideoMode(vic);
                if (!found && vic <= 64 && svdMode && sameTiming(*svdMode, mode))
                    found = &block[p];
            }
        for (CtaCollection::Bytes &block : cta.blocks)
            for (std::size_t p = 1; CtaCollection::tag(block) == CtaTag::Video && p < block.size();
                 ++p)
                block[p] = std::uint8_t(CtaCollection::svdVic(block[p]));
        if (found)
            *found |= 0x80;
        return std::string();
    });
}

// The former DTD 1 goes where a DTD of the new preferred timing was, else into a free slot of
// the base block, else at the end of the extension's DTDs; it is dropped when none has room.
void keepFormer(Editing &editing, const EdidDescription &description, const VideoMode &mode,
                const Dtd &former)
{
    const auto &slots = description.base.descriptors;
    for (std::size_t n = 1; n < slots.size(); ++n)
        if (const auto *timing = std::get_if<DetailedTiming>(&slots[n].payload);
            timing && sameTiming(timingMode(*timing), mode)) {
            putDtd(editing.image, slots[n].bytes.offset, former);
            return;
        }
    if (description.cta)
        for (std::size_t n = 0; n < description.cta->detailedTimings.size(); ++n)
            if (sameTiming(timingMode(description.cta->detailedTimings[n]), mode) &&
                changeCta(editing, [&](CtaCollection &cta) {
                    if (n < cta.dtds.size())
                        cta.dtds[n] = former;
                    return std::string();
                }).empty())
                return;
    if (appendBaseDtd(editing.image, former))
        return;
    const std::string refusal = changeCta(editing, [&](CtaCollection &cta) {
        cta.dtds.push_back(former);
        return std::string();
    });
    if (!refusal.empty())
        editing.notes.push_back("the former DTD 1, " +
                                timingName(timingMode(std::get<DetailedTiming>(slots[0].payload))) +
                                ", was dropped: no descriptor slot is free, and " + refusal);
}

} // namespace

std::string makePreferred(Editing &editing, const VideoMode &mode, bool keepFormerTiming)
{
    const EdidDescription description = decodeEdid(editing.image);
    const auto &slots = description.base.descriptors;
    const auto *first = std::get_if<DetailedTiming>(&slots[0].payload);
    const ScreenSize &screen = description.base.screenSize.value;
    std::string refusal;
    const auto dtd = dtdBytes(mode, first ? first->hSizeMm : 10 * screen.widthCm,
                              first ? first->vSizeMm : 10 * screen.heightCm, refusal);
    if (!dtd)
        return refusal;
    // The extension's VICs and native DTD count follow: it has to be readable.
    if (editing.image.bytes[EdidImage::kBlockSize] == 0x02 &&
        !CtaCollection::read(editing.image, refusal))
        return refusal;
    const std::size_t start = slots[0].bytes.offset;
    const bool unchanged = first && sameTiming(timingMode(*first), mode);
    if (!first) {
        // The descriptor there moves up: the first slot is the preferred timing's.
        if (!insertBaseDtd(editing.image, 0, *dtd))
            return std::string("the first descriptor slot holds ") + slotContent(slots[0]) +
                   ", and no other slot is free for it";
    } else if (!unchanged) {
        const Dtd former = dtdAt(editing.image, start);
        putDtd(editing.image, start, *dtd);
        if (keepFormerTiming)
            keepFormer(editing, description, mode, former);
    }
    return markNative(editing, mode, !unchanged);
}

// dtd:N: the EDID's own DTD N takes the first slot with all its 18 bytes (its sync, borders,
// image size and stereo as they are); the former DTD 1 takes its place.
std::string preferDtd(Editing &editing, const std::string &number)
{
    const EdidDescription description = decodeEdid(editing.image);
    const auto timings = detailedTimings(description);
    const auto n = parseNumber(number, timings.size());
    if (!n || *n == 0)
        return "this EDID has no DTD '" + number + "'";
    const DetailedTiming &chosen = *timings[*n - 1];
    const Dtd bytes = dtdAt(editing.image, chosen.bytes.offset);
    const auto &slots = description.base.descriptors;
    const std::size_t first = slots[0].bytes.offset;
    const bool firstIsDtd = slots[0].kind == Descriptor::Kind::DetailedTiming;
    if (chosen.bytes.offset == first)
        return markNative(editing, timingMode(chosen), false);
    if (firstIsDtd) {
        putDtd(editing.image, chosen.bytes.offset, dtdAt(editing.image, first));
        putDtd(editing.image, first, bytes);
        // The same mode in other sync or borders leaves the native format as it was.
        if (sameTiming(timingMode(std::get<DetailedTiming>(slots[0].payload)), timingMode(chosen)))
            return {};
    } else if (chosen.block == 0) {
        removeBaseDescriptor(editing.image, (chosen.bytes.offset - first) / 18);
        if (!insertBaseDtd(editing.image, 0, bytes))
            return "no descriptor slot is free for the preferred timing";
    } else {
        if (!insertBaseDtd(editing.image, 0, bytes))
            return std::string("the first descriptor slot holds ") + slotContent(slots[0]) +
                   ", and no other slot is free for it";
        const std::size_t index =
            *n - 1 - (timings.size() - description.cta->detailedTimings.size());
        if (std::string refusal =
                changeCta(editing,
                          [&](CtaCollection &cta) {
                              cta.dtds.erase(cta.dtds.begin() + std::ptrdiff_t(index));
                              return std::string();
                          });
            !refusal.empty())
            return refusal;
    }
    return markNative(editing, timingMode(chosen), true);
}

std::string setPreferred(Editing &editing, const std::string &argument)
{
    if (argument.compare(0, 4, "dtd:") == 0)
        return preferDtd(editing, argument.substr(4));
    std::string refusal;
    const auto mode = resolveMode(argument, decodeEdid(editing.image), refusal);
    return mode ? makePreferred(editing, *mode, true) : refusal;
}

} // namespace edits
