#include "EdidComposer.h"
#include "EdidEditing.h"

#include <cctype>

namespace edits {

namespace {

using Bytes = CtaCollection::Bytes;
using L = HdmiVsdbLayout;

constexpr std::uint8_t kDeepColourBits = 0x78;    // HDMI VSDB byte 6: 48, 36, 30 bits, Y444
constexpr std::uint8_t kDeepColour420Bits = 0x07; // HDMI Forum byte 7: 48, 36, 30 bits

// The HDMI VSDB, or the reason there is none to change; minimum: the bytes it must hold.
Bytes *hdmiVsdb(CtaCollection &cta, std::size_t minimum, std::string &refusal)
{
    Bytes *vsdb = cta.find(CtaCollection::isHdmiVsdb);
    if (!vsdb)
        refusal = "there is no HDMI VSDB: add one first";
    else if (vsdb->size() < minimum)
        refusal = "the HDMI VSDB is shorter than 5 bytes";
    return refusal.empty() ? vsdb : nullptr;
}

std::string removeOrRefuse(Editing &editing, const std::function<bool(const Bytes &)> &test,
                           const std::string &none)
{
    return changeCta(
        editing, [&](CtaCollection &cta) { return cta.removeBlocks(test) ? std::string() : none; });
}

} // namespace

std::string setPhysicalAddress(Editing &editing, const std::string &argument)
{
    std::string wrong;
    const auto digits = parsePhysicalAddress(argument, wrong);
    if (!digits)
        return wrong;
    return changeCta(editing, [&](CtaCollection &cta) {
        std::string refusal;
        Bytes *vsdb = hdmiVsdb(cta, L::kAddress + 2, refusal);
        if (vsdb) {
            (*vsdb)[L::kAddress] = std::uint8_t((*digits)[0] << 4 | (*digits)[1]);
            (*vsdb)[L::kAddress + 1] = std::uint8_t((*digits)[2] << 4 | (*digits)[3]);
        }
        return refusal;
    });
}

std::string setMaxTmds(Editing &editing, const std::string &argument)
{
    // Above 340 MHz the HDMI Forum blocks give the rate.
    const auto megahertz = parseNumber(argument, 340);
    if (!megahertz || *megahertz < 25 || *megahertz % 5)
        return "the HDMI VSDB's maximum TMDS clock is 25-340 MHz in steps of 5, not '" + argument +
               "'";
    return changeCta(editing, [&](CtaCollection &cta) {
        std::string refusal;
        Bytes *vsdb = hdmiVsdb(cta, L::kAddress + 2, refusal);
        if (vsdb) {
            vsdb->resize(std::max<std::size_t>(vsdb->size(), L::kMaxTmds + 1)); // flags: none
            (*vsdb)[L::kMaxTmds] = std::uint8_t(*megahertz / 5);
        }
        return refusal;
    });
}

std::string removeDeepColour(Editing &editing, const std::string &)
{
    return changeCta(editing, [&](CtaCollection &cta) {
        bool declared = false;
        for (Bytes &block : cta.blocks) {
            // HDMI VSDB: DC_48bit, DC_36bit, DC_30bit, DC_Y444; HDMI Forum: DC_48bit_420 ...
            const std::size_t at = CtaCollection::isHdmiVsdb(block) ? L::kFlags : hdmi_forum::kFrl;
            const std::uint8_t bits =
                CtaCollection::isHdmiVsdb(block) ? kDeepColourBits : kDeepColour420Bits;
            if ((CtaCollection::isHdmiVsdb(block) || CtaCollection::isHdmiForum(block)) &&
                block.size() > at && block[at] & bits) {
                block[at] &= std::uint8_t(~bits);
                declared = true;
            }
        }
        return declared ? std::string() : std::string("no deep colour is declared");
    });
}

std::string addHdmiVsdb(Editing &editing, const std::string &)
{
    return changeCta(editing, [&](CtaCollection &cta) {
        if (cta.find(CtaCollection::isHdmiVsdb))
            return std::string("there is an HDMI VSDB already");
        // Physical address 1.0.0.0, nothing else; it follows the video, audio and speaker blocks.
        HdmiVsdb vsdb;
        vsdb.physicalAddress = std::array<unsigned, 4>{1, 0, 0, 0};
        cta.insertAfterLast(
            encodeDataBlock(dataBlockOf(CtaTag::VendorSpecific, std::nullopt, vsdb)),
            [](const Bytes &block) {
                const CtaTag tag = CtaCollection::tag(block);
                return tag == CtaTag::Audio || tag == CtaTag::Video ||
                       tag == CtaTag::SpeakerAllocation;
            });
        return std::string();
    });
}

std::string removeHdr(Editing &editing, const std::string &)
{
    // Static and dynamic metadata, and the vendor-specific video blocks of Dolby Vision and
    // HDR10+.
    return removeOrRefuse(
        editing,
        [](const Bytes &block) {
            using E = CtaExtendedTag;
            const bool vendorVideo =
                CtaCollection::isExtended(block, E::VendorSpecificVideo) && block.size() >= 5;
            const Oui oui = vendorVideo ? Oui(ouiAt(&block[2])) : Oui::Hdmi;
            return CtaCollection::isExtended(block, E::HdrStaticMetadata) ||
                   CtaCollection::isExtended(block, E::HdrDynamicMetadata) || oui == Oui::Dolby ||
                   oui == Oui::Hdr10Plus;
        },
        "there is no HDR metadata block");
}

std::string removeYcbcr420(Editing &editing, const std::string &)
{
    return removeOrRefuse(
        editing,
        [](const Bytes &block) {
            return CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420Video) ||
                   CtaCollection::isExtended(block, CtaExtendedTag::Ycbcr420CapabilityMap);
        },
        "there is no YCbCr 4:2:0 block");
}

std::string removeHdmiForum(Editing &editing, const std::string &)
{
    return removeOrRefuse(editing, CtaCollection::isHdmiForum, "there is no HDMI Forum block");
}

} // namespace edits
