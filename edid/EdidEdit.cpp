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

namespace {

constexpr std::size_t kDescriptors = 54;
using Dtd = CtaCollection::Dtd;

bool isUnused(const Dtd &slot)
{
    return std::all_of(slot.begin(), slot.end(), [](std::uint8_t byte) { return byte == 0; }) ||
           (!slot[0] && !slot[1] && slot[3] == std::uint8_t(DescriptorTag::Dummy));
}

std::vector<Dtd> baseSlots(const EdidImage &image)
{
    std::vector<Dtd> slots(4);
    for (std::size_t n = 0; n < 4; ++n)
        std::copy_n(image.bytes.begin() + std::ptrdiff_t(kDescriptors + 18 * n), 18,
                    slots[n].begin());
    return slots;
}

void putSlots(EdidImage &image, const std::vector<Dtd> &slots)
{
    for (std::size_t n = 0; n < 4; ++n)
        std::copy(slots[n].begin(), slots[n].end(), &image.bytes[kDescriptors + 18 * n]);
}

} // namespace

bool isUnusedSlot(const EdidImage &image, const Descriptor &descriptor)
{
    return isUnused(baseSlots(image)[(descriptor.bytes.offset - kDescriptors) / 18]);
}

bool insertBaseDtd(EdidImage &image, std::size_t at, const Dtd &dtd)
{
    std::vector<Dtd> slots = baseSlots(image);
    const auto unused = std::find_if(slots.begin() + 1, slots.end(), isUnused);
    if (unused == slots.end())
        return false;
    slots.erase(unused);
    slots.insert(slots.begin() + std::ptrdiff_t(std::min(at, slots.size())), dtd);
    putSlots(image, slots);
    return true;
}

bool appendBaseDtd(EdidImage &image, const Dtd &dtd)
{
    const std::vector<Dtd> slots = baseSlots(image);
    std::size_t at = 0;
    for (std::size_t n = 0; n < slots.size(); ++n)
        if (slots[n][0] || slots[n][1])
            at = n + 1;
    return insertBaseDtd(image, at, dtd);
}

void removeBaseDescriptor(EdidImage &image, std::size_t slot)
{
    std::vector<Dtd> slots = baseSlots(image);
    slots.erase(slots.begin() + std::ptrdiff_t(slot));
    slots.push_back(encodeDescriptor(dummyDescriptor()));
    putSlots(image, slots);
}

const char *slotContent(const Descriptor &descriptor)
{
    switch (descriptor.kind) {
    case Descriptor::Kind::DetailedTiming:
        return "a DTD";
    case Descriptor::Kind::ProductName:
        return "the product name";
    case Descriptor::Kind::SerialText:
        return "the serial number text";
    case Descriptor::Kind::UnspecifiedText:
        return "unspecified text";
    case Descriptor::Kind::RangeLimits:
        return "the range limits";
    default:
        return "another descriptor";
    }
}

} // namespace edits

namespace {

using edits::Editing;
using edits::parseNumber;
using edits::slotContent;

void putLittleEndian(EdidImage &image, std::size_t offset, unsigned long value, std::size_t size)
{
    for (std::size_t n = 0; n < size; ++n)
        image.bytes[offset + n] = std::uint8_t(value >> 8 * n);
}

std::string setVendor(Editing &editing, const std::string &argument)
{
    unsigned code = 0;
    for (char c : argument) {
        const char letter = char(std::toupper(static_cast<unsigned char>(c)));
        if (letter < 'A' || letter > 'Z')
            return "a manufacturer ID is three letters A-Z, not '" + argument + "'";
        code = code << 5 | unsigned(letter - '@');
    }
    if (argument.size() != 3)
        return "a manufacturer ID is three letters A-Z, not '" + argument + "'";
    editing.image.bytes[8] = std::uint8_t(code >> 8); // the one big-endian field
    editing.image.bytes[9] = std::uint8_t(code);
    return {};
}

std::string setProduct(Editing &editing, const std::string &argument)
{
    const auto code = parseNumber(argument, 0xFFFF);
    if (!code)
        return "a product code is a number 0-65535, not '" + argument + "'";
    putLittleEndian(editing.image, 10, *code, 2);
    return {};
}

std::string setSerial(Editing &editing, const std::string &argument)
{
    const auto serial = parseNumber(argument, 0xFFFFFFFF);
    if (!serial)
        return "a serial number is a number 0-4294967295, not '" + argument + "'";
    putLittleEndian(editing.image, 12, *serial, 4);
    return {};
}

// YEAR (no week), YEAR:WEEK, or YEAR:model for a model year (week byte 0xFF).
std::string setDate(Editing &editing, const std::string &argument)
{
    const std::size_t colon = argument.find(':');
    const auto year = parseNumber(argument.substr(0, colon), 2245);
    const std::string weekText = colon == std::string::npos ? "0" : argument.substr(colon + 1);
    const auto week =
        weekText == "model" ? std::optional<unsigned long>(0xFF) : parseNumber(weekText, 54);
    if (!year || *year < 1990 || !week || (colon != std::string::npos && *week == 0))
        return "a date is YEAR, YEAR:WEEK (week 1-54) or YEAR:model, with a year of 1990-2245; "
               "not '" +
               argument + "'";
    // Model years came with EDID 1.4, as did week 54.
    const EdidVersion version{editing.image.bytes[18], editing.image.bytes[19]};
    const std::string versionText =
        std::to_string(version.version) + "." + std::to_string(version.revision);
    if (*week == 0xFF && !version.atLeast14())
        return "a model year needs EDID 1.4; this EDID is " + versionText +
               ": give YEAR or YEAR:WEEK";
    if (*week == 54 && !version.atLeast14())
        return "EDID " + versionText + " counts weeks 1-53, not 54";
    editing.image.bytes[16] = std::uint8_t(*week);
    editing.image.bytes[17] = std::uint8_t(*year - 1990);
    return {};
}

// A display descriptor of text (VESA E-EDID 1.4 3.10.3): up to 13 characters, a line feed after a
// shorter one and spaces after that. It takes the slot of its kind, else a dummy or empty one.
std::string setText(Editing &editing, const std::string &argument, Descriptor::Kind kind,
                    const char *what)
{
    if (argument.empty() || argument.size() > 13)
        return std::string("a ") + what + " has 1-13 characters; '" + argument + "' has " +
               std::to_string(argument.size());
    if (!std::all_of(argument.begin(), argument.end(),
                     [](char c) { return c >= 0x20 && c < 0x7F; }))
        return std::string("a ") + what + " holds printable ASCII characters only";
    // The padding after the line feed is the only room for spaces at the end.
    if (argument.back() == ' ')
        return std::string("a ") + what + " does not end in a space; '" + argument + "' does";
    const EdidDescription description = decodeEdid(editing.image);
    const auto &slots = description.base.descriptors;
    auto slot = std::find_if(slots.begin(), slots.end(),
                             [kind](const Descriptor &d) { return d.kind == kind; });
    if (slot == slots.end()) // the first slot is the preferred timing's
        slot = std::find_if(slots.begin() + 1, slots.end(), [&](const Descriptor &d) {
            return edits::isUnusedSlot(editing.image, d);
        });
    if (slot == slots.end())
        return std::string("no descriptor slot is free for the ") + what + ": the four hold " +
               slotContent(slots[0]) + ", " + slotContent(slots[1]) + ", " + slotContent(slots[2]) +
               " and " + slotContent(slots[3]);
    const DescriptorBytes bytes = encodeDescriptor(textDescriptor(kind, argument));
    std::copy(bytes.begin(), bytes.end(), &editing.image.bytes[slot->bytes.offset]);
    return {};
}

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
        {K::SetVendor, "set-vendor", "ABC", "The manufacturer ID: three letters A-Z.", false},
        {K::SetProduct, "set-product", "N", "The product code: 0-65535.", false},
        {K::SetSerial, "set-serial", "N", "The serial number: 0-4294967295.", false},
        {K::SetDate, "set-date", "YEAR[:WEEK]",
         "The year of manufacture, with its week (1-54), or YEAR:model for a model year.", false},
        {K::SetName, "set-name", "TEXT", "The product name: 1-13 printable ASCII characters.",
         false},
        {K::SetSerialText, "set-serial-text", "TEXT",
         "The serial number text: 1-13 printable ASCII characters.", false},
        {K::SetPreferred, "set-preferred", "MODE",
         "DTD 1: vic:N, dtd:N (the EDID's own), WIDTHxHEIGHT@HZ or an X modeline; the former "
         "one is kept where there is room.",
         false},
        {K::AddVic, "add-vic", "N", "Add VIC N to the video data block.", true},
        {K::RemoveVic, "remove-vic", "N", "Remove VIC N and its YCbCr 4:2:0 capability.", true},
        {K::SetNativeVic, "set-native-vic", "N", "Mark VIC N (1-64) as the native format.", true},
        {K::Limit, "limit", "MODE",
         "Remove every timing wider, taller or of a higher pixel clock than MODE.", false},
        {K::SetAudio, "set-audio", "PRESET",
         "none; lpcm2 (2 channels, 32-48 kHz); lpcm8 (8 channels, 32-192 kHz).", true},
        {K::AddAudio, "add-audio", "FORMAT", "Add ac3, eac3, dts, dtshd or mat.", true},
        {K::RemoveAudio, "remove-audio", "FORMAT", "Remove ac3, eac3, dts, dtshd or mat.", true},
        {K::SetSpeakers, "set-speakers", "LIST",
         "The speakers: names as decode prints them joined by commas (FL/FR,LFE1,FC), or 2.0, "
         "5.1 or 7.1.",
         true},
        {K::SetBasicAudio, "set-basic-audio", "on|off", "The extension's basic audio flag.", true},
        {K::SetPhysicalAddress, "set-physical-address", "A.B.C.D",
         "The HDMI physical address (CEC).", true},
        {K::SetMaxTmds, "set-max-tmds", "MHZ",
         "The HDMI VSDB's maximum TMDS clock: 25-340 MHz in steps of 5.", true},
        {K::RemoveDeepColour, "remove-deep-colour", nullptr, "Declare no deep colour modes.", true},
        {K::AddHdmiVsdb, "add-hdmi-vsdb", nullptr,
         "Add a minimal HDMI VSDB (physical address 1.0.0.0), without which sources send DVI.",
         true},
        {K::RemoveHdr, "remove-hdr", nullptr, "Remove the HDR metadata blocks.", true},
        {K::RemoveYcbcr420, "remove-ycbcr420", nullptr, "Remove the YCbCr 4:2:0 blocks.", true},
        {K::RemoveHdmiForum, "remove-hdmi-forum", nullptr, "Remove the HDMI Forum blocks.", true},
    };
    return kinds;
}

const EdidEditInfo &edidEditInfo(EdidEditKind kind)
{
    const auto &kinds = edidEditKinds();
    return *std::find_if(kinds.begin(), kinds.end(),
                         [kind](const EdidEditInfo &info) { return info.kind == kind; });
}

EditResult applyEdit(const EdidImage &image, const EdidEdit &edit)
{
    using K = EdidEditKind;
    Editing editing{image, {}};
    const std::string &argument = edit.argument;
    std::string refusal;
    switch (edit.kind) {
    case K::SetVendor:
        refusal = setVendor(editing, argument);
        break;
    case K::SetProduct:
        refusal = setProduct(editing, argument);
        break;
    case K::SetSerial:
        refusal = setSerial(editing, argument);
        break;
    case K::SetDate:
        refusal = setDate(editing, argument);
        break;
    case K::SetName:
        refusal = setText(editing, argument, Descriptor::Kind::ProductName, "product name");
        break;
    case K::SetSerialText:
        refusal = setText(editing, argument, Descriptor::Kind::SerialText, "serial number text");
        break;
    case K::SetPreferred:
        refusal = edits::setPreferred(editing, argument);
        break;
    case K::AddVic:
        refusal = edits::addVic(editing, argument);
        break;
    case K::RemoveVic:
        refusal = edits::removeVic(editing, argument);
        break;
    case K::SetNativeVic:
        refusal = edits::setNativeVic(editing, argument);
        break;
    case K::Limit:
        refusal = edits::limit(editing, argument);
        break;
    case K::SetAudio:
        refusal = edits::setAudio(editing, argument);
        break;
    case K::AddAudio:
        refusal = edits::addAudio(editing, argument);
        break;
    case K::RemoveAudio:
        refusal = edits::removeAudio(editing, argument);
        break;
    case K::SetSpeakers:
        refusal = edits::setSpeakers(editing, argument);
        break;
    case K::SetBasicAudio:
        refusal = edits::setBasicAudio(editing, argument);
        break;
    case K::SetPhysicalAddress:
        refusal = edits::setPhysicalAddress(editing, argument);
        break;
    case K::SetMaxTmds:
        refusal = edits::setMaxTmds(editing, argument);
        break;
    case K::RemoveDeepColour:
        refusal = edits::removeDeepColour(editing, argument);
        break;
    case K::AddHdmiVsdb:
        refusal = edits::addHdmiVsdb(editing, argument);
        break;
    case K::RemoveHdr:
        refusal = edits::removeHdr(editing, argument);
        break;
    case K::RemoveYcbcr420:
        refusal = edits::removeYcbcr420(editing, argument);
        break;
    case K::RemoveHdmiForum:
        refusal = edits::removeHdmiForum(editing, argument);
        break;
    }
    if (!refusal.empty())
        return {std::nullopt, refusal, {}};
    recalculateChecksums(editing.image);
    if (refusal = newFault(image, editing.image); !refusal.empty())
        return {std::nullopt, refusal, {}};
    return {editing.image, {}, std::move(editing.notes)};
}
