#pragma once

#include "CtaLayout.h"
#include "EdidImage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Block 1 as a CTA-861 extension taken apart: its flags byte, the data block collection and the
// detailed timings after it. Every edit that changes the extension goes through here; write()
// puts it back with the DTD offset, each block's length and the padding consistent again.
class CtaCollection {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Dtd = std::array<std::uint8_t, 18>;

    // The reason instead when block 1 holds no collection that can be changed safely.
    static std::optional<CtaCollection> read(const EdidImage &image, std::string &refusal);

    // Block 1 bytes 2 up to the last DTD's end; the checksum is the caller's. The reason instead
    // when the blocks and DTDs do not fit.
    std::string write(EdidImage &image) const;

    std::uint8_t flags = 0;    // byte 3: underscan, basic audio, YCbCr 4:4:4 and 4:2:2, native DTDs
    std::vector<Bytes> blocks; // each whole, header byte first; write() sets the length in it
    std::vector<Dtd> dtds;
    // What follows the DTDs up to its last byte that is not zero (a display descriptor some
    // makers put there): it stays right after the DTDs.
    Bytes tail;

    static CtaTag tag(const Bytes &block) { return ctaTagOf(block[0]); }
    static bool isExtended(const Bytes &block, CtaExtendedTag extendedTag)
    {
        return tag(block) == CtaTag::Extended && block.size() >= 2 &&
               block[1] == std::uint8_t(extendedTag);
    }
    // A vendor-specific block with this OUI.
    static bool isVendor(const Bytes &block, Oui oui);
    static bool isHdmiVsdb(const Bytes &block);
    static bool isHdmiForum(const Bytes &block);

    // The first block for which test holds, or nullptr.
    Bytes *find(const std::function<bool(const Bytes &)> &test);
    // Removes every block for which test holds; returns how many.
    std::size_t removeBlocks(const std::function<bool(const Bytes &)> &test);
    // Inserts after the last block for which test holds, else first; returns the new block.
    Bytes &insertAfterLast(Bytes block, const std::function<bool(const Bytes &)> &test);

    // The VIC an SVD byte means: 129-192 are VICs 1-64 marked native.
    static unsigned svdVic(std::uint8_t code)
    {
        return code >= 129 && code <= 192 ? code & 0x7F : code;
    }
    // Removes the SVDs whose VIC drop() names from the video and the YCbCr 4:2:0 video data
    // blocks, with the capability-map bits and HDMI 3D entries that point at them by index, and
    // blocks left empty. Returns how many SVDs went.
    std::size_t removeVics(const std::function<bool(unsigned)> &drop);
    // Appends an SVD at the end of the last video data block (a new one when it is full or
    // missing); a capability map that covered every SVD keeps covering only the former ones.
    void appendVic(unsigned vic);

private:
    void remapSvdIndices(const std::vector<int> &newIndex, std::size_t removed);

    std::uint8_t revision_ = 3;
    std::size_t usedEnd_ = 4; // where the zero padding started as read, from the block's start
    bool noOffset_ = false;   // the DTD offset was 0: neither data blocks nor DTDs
};
