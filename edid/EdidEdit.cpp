#include "EdidEdit.h"
#include "EdidEditing.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace edits {

std::string changeCta(Editing &editing, const std::function<std::string(CtaCollection &)> &change)
{
    std::string refusal;
    std::optional<CtaCollection> cta = CtaCollection::read(editing.image, refusal);
    if (!cta)
        return refusal;
    if (refusal = change(*cta); !refusal.empty())
        return refusal;
    return cta->write(editing.image);
}

std::optional<unsigned long> parseNumber(const std::string &text, unsigned long max)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10 ||
        !std::all_of(digits.begin(), digits.end(),
                     [hex](char c) { return hex ? std::isxdigit(c) : std::isdigit(c); }))
        return std::nullopt;
    const unsigned long value = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
    if (value > max)
        return std::nullopt;
    return value;
}

} // namespace edits

namespace {

// An edit never hands back an EDID with an error the input did not have, nor a mode the link
// cannot carry: such a result is refused with what is wrong with it. Faults count by kind, as
// their words may name a DTD that an edit renumbered, or what of a fault's reach an edit removed.
std::string newFault(const EdidImage &before, const EdidImage &after)
{
    const auto faults = [](const EdidDescription &description) {
        std::map<FindingKind, std::vector<std::string>> found;
        for (const EdidFinding &finding : description.findings)
            if (finding.severity == EdidFinding::Severity::Error ||
                finding.kind == FindingKind::AboveMaxTmds)
                found[finding.kind].push_back(finding.message);
        return found;
    };
    auto was = faults(decodeEdid(before));
    for (const auto &[kind, messages] : faults(decodeEdid(after))) {
        const std::vector<std::string> &former = was[kind];
        if (messages.size() <= former.size())
            continue;
        const auto fresh = std::find_if(messages.begin(), messages.end(), [&](const auto &said) {
            return std::find(former.begin(), former.end(), said) == former.end();
        });
        return "the result would be faulty: " +
               (fresh != messages.end() ? *fresh : messages.back());
    }
    return {};
}

} // namespace

const std::vector<EdidEditInfo> &edidEditKinds()
{
    using K = EdidEditKind;
    static const std::vector<EdidEditInfo> kinds{
        {K::SetVendor, "set-vendor", "ABC", "The manufacturer ID: three letters A-Z.", false,
         edits::setVendor},
        {K::SetProduct, "set-product", "N", "The product code: 0-65535.", false, edits::setProduct},
        {K::SetSerial, "set-serial", "N", "The serial number: 0-4294967295.", false,
         edits::setSerial},
        {K::SetDate, "set-date", "YEAR[:WEEK]",
         "The year of manufacture, with its week (1-54), or YEAR:model for a model year.", false,
         edits::setDate},
        {K::SetName, "set-name", "TEXT", "The product name: 1-13 printable ASCII characters.",
         false, edits::setName},
        {K::SetSerialText, "set-serial-text", "TEXT",
         "The serial number text: 1-13 printable ASCII characters.", false, edits::setSerialText},
        {K::SetPreferred, "set-preferred", "MODE",
         "DTD 1: vic:N, dtd:N (the EDID's own), WIDTHxHEIGHT@HZ or an X modeline; the former "
         "one is kept where there is room.",
         false, edits::setPreferred},
        {K::AddVic, "add-vic", "N", "Add VIC N to the video data block.", true, edits::addVic},
        {K::RemoveVic, "remove-vic", "N", "Remove VIC N and its YCbCr 4:2:0 capability.", true,
         edits::removeVic},
        {K::SetNativeVic, "set-native-vic", "N", "Mark VIC N (1-64) as the native format.", true,
         edits::setNativeVic},
        {K::Limit, "limit", "MODE",
         "Remove every timing wider, taller or of a higher pixel clock than MODE.", false,
         edits::limit},
        {K::SetAudio, "set-audio", "PRESET",
         "none; lpcm2 (2 channels, 32-48 kHz); lpcm8 (8 channels, 32-192 kHz).", true,
         edits::setAudio},
        {K::AddAudio, "add-audio", "FORMAT", "Add ac3, eac3, dts, dtshd or mat.", true,
         edits::addAudio},
        {K::RemoveAudio, "remove-audio", "FORMAT", "Remove ac3, eac3, dts, dtshd or mat.", true,
         edits::removeAudio},
        {K::SetSpeakers, "set-speakers", "LIST",
         "The speakers: names as decode prints them joined by commas (FL/FR,LFE1,FC), or 2.0, "
         "5.1 or 7.1.",
         true, edits::setSpeakers},
        {K::SetBasicAudio, "set-basic-audio", "on|off", "The extension's basic audio flag.", true,
         edits::setBasicAudio},
        {K::SetPhysicalAddress, "set-physical-address", "A.B.C.D",
         "The HDMI physical address (CEC).", true, edits::setPhysicalAddress},
        {K::SetMaxTmds, "set-max-tmds", "MHZ",
         "The HDMI VSDB's maximum TMDS clock: 25-340 MHz in steps of 5.", true, edits::setMaxTmds},
        {K::RemoveDeepColour, "remove-deep-colour", nullptr, "Declare no deep colour modes.", true,
         edits::removeDeepColour},
        {K::AddHdmiVsdb, "add-hdmi-vsdb", nullptr,
         "Add a minimal HDMI VSDB (physical address 1.0.0.0), without which sources send DVI.",
         true, edits::addHdmiVsdb},
        {K::RemoveHdr, "remove-hdr", nullptr, "Remove the HDR metadata blocks.", true,
         edits::removeHdr},
        {K::RemoveYcbcr420, "remove-ycbcr420", nullptr, "Remove the YCbCr 4:2:0 blocks.", true,
         edits::removeYcbcr420},
        {K::RemoveHdmiForum, "remove-hdmi-forum", nullptr, "Remove the HDMI Forum blocks.", true,
         edits::removeHdmiForum},
    };
    return kinds;
}

const EdidEditInfo &edidEditInfo(EdidEditKind kind)
{
    const auto &kinds = edidEditKinds();
    return *std::find_if(kinds.begin(), kinds.end(),
                         [kind](const EdidEditInfo &info) { return info.kind == kind; });
}

namespace {

// The edit's result with correct checksums, or its refusal, or what is wrong with the result.
EditResult finish(const EdidImage &before, edits::Editing &editing, std::string refusal)
{
    if (!refusal.empty())
        return {std::nullopt, refusal, {}};
    recalculateChecksums(editing.image);
    if (refusal = newFault(before, editing.image); !refusal.empty())
        return {std::nullopt, refusal, {}};
    return {editing.image, {}, std::move(editing.notes)};
}

} // namespace

EditResult applyEdit(const EdidImage &image, const EdidEdit &edit)
{
    edits::Editing editing{image, {}};
    return finish(image, editing, edidEditInfo(edit.kind).apply(editing, edit.argument));
}

EditResult copyIdentity(const EdidImage &image, const EdidImage &from)
{
    edits::Editing editing{image, {}};
    return finish(image, editing, edits::copyIdentity(editing, from));
}
