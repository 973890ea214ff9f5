#include "CtaCollection.h"
#include "EdidEncoder.h"

#include <algorithm>

namespace {

constexpr std::size_t kCta = kCtaStart;
constexpr std::size_t kChecksum = EdidImage::kBlockSize - 1; // within the block
constexpr std::size_t kMaxPayload = 31;

using Bytes = CtaCollection::Bytes;

bool anyBitSet(const Bytes &block, std::size_t from)
{
    return std::any_of(block.begin() + std::ptrdiff_t(from), block.end(),
                       [](std::uint8_t byte) { return byte != 0; });
}

// The HDMI 3D fields after the HDMI VICs, with SVD indices renumbered: the 3D mask's bits and
// the 2D_VIC_order entries (HDMI 1.4b 8.3.2) follow their SVDs or go with them.
Bytes remapThreeD(const Bytes &data, unsigned multi, const std::vector<int> &newIndex)
{
    const auto moved = [&](std::size_t index) {
        return index < newIndex.size() ? newIndex[index] : -1;
    };
    Bytes out;
    std::size_t p = 0;
    if ((multi == 1 || multi == 2) && data.size() >= 2) { // 3D_Structure_ALL
        out.insert(out.end(), data.begin(), data.begin() + 2);
        p = 2;
    }
    if (multi == 2 && data.size() >= p + 2) {
        const unsigned mask = data[p] << 8 | data[p + 1];
        unsigned remapped = 0;
        for (unsigned bit = 0; bit < 16; ++bit)
            if (mask & 1u << bit)
                if (const int to = moved(bit); to >= 0 && to < 16)
                    remapped |= 1u << to;
        out.push_back(std::uint8_t(remapped >> 8));
        out.push_back(std::uint8_t(remapped));
        p += 2;
    }
    while (p < data.size()) {
        const std::size_t size = (data[p] & 0x0F) >= 8 ? 2 : 1; // 3D_Detail follows
        const int to = moved(data[p] >> 4);
        if (to >= 0 && to < 16) {
            out.push_back(std::uint8_t(to << 4 | (data[p] & 0x0F)));
            if (size == 2 && p + 1 < data.size())
                out.push_back(data[p + 1]);
        }
        p += size;
    }
    return out;
}

std::string bytes(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

} // namespace

bool CtaCollection::isVendor(const Bytes &block, Oui oui)
{
    return tag(block) == CtaTag::VendorSpecific && block.size() >= 4 &&
           ouiAt(&block[1]) == std::uint32_t(oui);
}

bool CtaCollection::isHdmiVsdb(const Bytes &block)
{
    return isVendor(block, Oui::Hdmi);
}

bool CtaCollection::isHdmiForum(const Bytes &block)
{
    return isVendor(block, Oui::HdmiForum) ||
           isExtended(block, CtaExtendedTag::HdmiForumSinkCapability);
}

std::optional<CtaCollection> CtaCollection::read(const EdidImage &image, std::string &refusal)
{
    if (std::all_of(image.bytes.begin() + kCta, image.bytes.end(),
                    [](std::uint8_t byte) { return byte == 0; })) {
        refusal = "the EDID has no extension block";
        return std::nullopt;
    }
    const std::optional<CtaLayout> layout = readCtaLayout(image);
    if (!layout) {
        refusal = "block 1 is not a CTA-861 extension";
        return std::nullopt;
    }
    const std::size_t offset = layout->dtdOffset;
    // Revisions 1 and 2 hold DTDs only, from byte 4 on.
    if (layout->revision < 3 && offset != 0 && offset != 4) {
        refusal = "the CTA-861 extension is of revision " + std::to_string(layout->revision) +
                  ", which holds no data blocks, but its DTD offset is " + std::to_string(offset);
        return std::nullopt;
    }
    if (!layout->dtdOffsetValid) {
        refusal =
            "the CTA-861 extension's DTD offset " + std::to_string(offset) + " is outside 4-127";
        return std::nullopt;
    }
    CtaCollection cta;
    cta.revision_ = layout->revision;
    cta.flags = layout->flags;
    cta.noOffset_ = offset == 0;
    for (const CtaBlockPlace &place : layout->blocks) {
        if (place.truncated) {
            refusal = "the data block at byte " + std::to_string(place.offset - kCta) +
                      " runs past the collection, which ends at byte " + std::to_string(offset) +
                      ": the extension needs mending by hand first";
            return std::nullopt;
        }
        cta.blocks.emplace_back(image.bytes.begin() + std::ptrdiff_t(place.offset),
                                image.bytes.begin() + std::ptrdiff_t(place.end));
    }
    // The DTDs up to the first slot that holds none; what follows them stays as it is.
    std::size_t p = kCta + std::max<std::size_t>(offset, 4);
    for (std::size_t slot : layout->slotOffsets) {
        if (!CtaLayout::isDtd(image, slot))
            break;
        Dtd dtd;
        std::copy_n(image.bytes.begin() + std::ptrdiff_t(slot), 18, dtd.begin());
        cta.dtds.push_back(dtd);
        p = slot + 18;
    }
    std::size_t end = kCtaChecksum;
    while (end > p && image.bytes[end - 1] == 0)
        --end;
    cta.tail.assign(image.bytes.begin() + std::ptrdiff_t(p),
                    image.bytes.begin() + std::ptrdiff_t(end));
    cta.usedEnd_ = end - kCta;
    return cta;
}

std::string CtaCollection::write(EdidImage &image) const
{
    if (revision_ < 3 && !blocks.empty())
        return "the CTA-861 extension is of revision " + std::to_string(revision_) +
               ", which holds no data blocks";
    std::size_t collection = 0;
    for (const Bytes &block : blocks) {
        if (block.size() - 1 > kMaxPayload)
            return "a data block would hold " + std::to_string(block.size() - 1) +
                   " bytes; at most 31 fit";
        collection += block.size();
    }
    const std::size_t end = 4 + collection + 18 * dtds.size() + tail.size();
    if (end > kChecksum)
        return "not enough room in the CTA-861 extension: the change needs " +
               bytes(end - usedEnd_) + ", " + std::to_string(kChecksum - usedEnd_) +
               (kChecksum - usedEnd_ == 1 ? " is free" : " are free");
    std::uint8_t *out = &image.bytes[kCta];
    const bool empty = blocks.empty() && dtds.empty();
    out[2] = std::uint8_t(noOffset_ && empty ? 0 : 4 + collection);
    out[3] = flags;
    std::size_t p = 4;
    for (const Bytes &block : blocks) {
        out[p] = std::uint8_t((block[0] & 0xE0) | (block.size() - 1));
        std::copy(block.begin() + 1, block.end(), out + p + 1);
        p += block.size();
    }
    for (const Dtd &dtd : dtds) {
        std::copy(dtd.begin(), dtd.end(), out + p);
        p += 18;
    }
    std::copy(tail.begin(), tail.end(), out + p);
    std::fill(out + p + tail.size(), out + kChecksum, 0);
    return {};
}

Bytes *CtaCollection::find(const std::function<bool(const Bytes &)> &test)
{
    const auto found = std::find_if(blocks.begin(), blocks.end(), test);
    return found == blocks.end() ? nullptr : &*found;
}

std::size_t CtaCollection::removeBlocks(const std::function<bool(const Bytes &)> &test)
{
    const std::size_t before = blocks.size();
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), test), blocks.end());
    return before - blocks.size();
}

Bytes &CtaCollection::insertAfterLast(Bytes block, const std::function<bool(const Bytes &)> &test)
{
    std::size_t at = blocks.size();
    while (at > 0 && !test(blocks[at - 1]))
        --at;
    return *blocks.insert(blocks.begin() + std::ptrdiff_t(at), std::move(block));
}

std::size_t CtaCollection::removeVics(const std::function<bool(unsigned)> &drop)
{
    std::vector<int> newIndex; // each SVD of the video data blocks: its index afterwards, or -1
    int kept = 0;
    std::size_t removedIndexed = 0;
    std::size_t removed = 0;
    std::vector<bool> emptied(blocks.size());
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        Bytes &block = blocks[n];
        const bool video = tag(block) == CtaTag::Video;
        if (!video && !isExtended(block, CtaExtendedTag::Ycbcr420Video))
            continue;
        const std::size_t first = video ? 1 : 2;
        Bytes out(block.begin(), block.begin() + std::ptrdiff_t(first));
        for (std::size_t p = first; p < block.size(); ++p) {
            const bool gone = drop(svdVic(block[p]));
            if (video) // only these SVDs are counted by the capability maps and HDMI 3D
                newIndex.push_back(gone ? -1 : kept++);
            if (gone)
                ++removed;
            else
                out.push_back(block[p]);
        }
        emptied[n] = out.size() == first && block.size() > first;
        block = std::move(out);
    }
    removedIndexed = newIndex.size() - std::size_t(kept);
    if (removed == 0)
        return 0;
    std::size_t n = 0;
    blocks.erase(
        std::remove_if(blocks.begin(), blocks.end(), [&](const Bytes &) { return emptied[n++]; }),
        blocks.end());
    remapSvdIndices(newIndex, removedIndexed);
    return removed;
}

void CtaCollection::remapSvdIndices(const std::vector<int> &newIndex, std::size_t removed)
{
    if (removed == 0)
        return;
    for (Bytes &block : blocks) {
        // A map without bitmap bytes covers every SVD, whichever they are.
        if (isExtended(block, CtaExtendedTag::Ycbcr420CapabilityMap) && block.size() > 2) {
            Bytes bits(block.size() - 2);
            for (std::size_t bit = 0; bit < 8 * bits.size(); ++bit) {
                if (!(block[2 + bit / 8] & 1u << bit % 8))
                    continue;
                // Bits past the last SVD name none; they move along with the count.
                const long to = bit < newIndex.size() ? newIndex[bit] : long(bit - removed);
                if (to >= 0)
                    bits[std::size_t(to) / 8] |= std::uint8_t(1u << std::size_t(to) % 8);
            }
            std::copy(bits.begin(), bits.end(), block.begin() + 2);
        } else if (isHdmiVsdb(block)) {
            const HdmiVsdbLayout fields = hdmiVsdbLayout(block.data(), block.size());
            if (!fields.video || !fields.threeDLength)
                continue;
            const auto from = block.begin() + std::ptrdiff_t(fields.threeD);
            const Bytes threeD =
                remapThreeD(Bytes(from, from + std::ptrdiff_t(fields.threeDLength)),
                            block[*fields.video] >> 5 & 3, newIndex);
            block.erase(from, from + std::ptrdiff_t(fields.threeDLength));
            block.insert(block.begin() + std::ptrdiff_t(fields.threeD), threeD.begin(),
                         threeD.end());
            block[fields.lengths] = std::uint8_t((block[fields.lengths] & 0xE0) | threeD.size());
        }
    }
    // A map whose bits all went marks no SVD at all: it goes too.
    removeBlocks([](const Bytes &block) {
        return isExtended(block, CtaExtendedTag::Ycbcr420CapabilityMap) && block.size() > 2 &&
               !anyBitSet(block, 2);
    });
}

void CtaCollection::appendVic(unsigned vic)
{
    std::size_t svds = 0;
    Bytes *last = nullptr;
    for (Bytes &block : blocks)
        if (tag(block) == CtaTag::Video) {
            svds += block.size() - 1;
            last = &block;
        }
    if (Bytes *map = find([](const Bytes &block) {
            return isExtended(block, CtaExtendedTag::Ycbcr420CapabilityMap);
        });
        map && map->size() == 2 && svds > 0) {
        map->resize(2 + (svds + 7) / 8);
        for (std::size_t bit = 0; bit < svds; ++bit)
            (*map)[2 + bit / 8] |= std::uint8_t(1u << bit % 8);
    }
    if (last && last->size() - 1 < kMaxPayload)
        last->push_back(std::uint8_t(vic));
    else
        insertAfterLast(encodeDataBlock(videoBlock({ShortVideoDescriptor{{}, vic, false}})),
                        [](const Bytes &block) { return tag(block) == CtaTag::Video; });
}
