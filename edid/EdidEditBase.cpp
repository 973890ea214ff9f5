#include "EdidComposer.h"
#include "EdidEditing.h"

#include <algorithm>
#include <cctype>

// The edits of the base block: its identity, date and text descriptors, and the descriptor slots
// they and the preferred timing take.

namespace edits {

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

namespace {

std::string versionText(const EdidVersion &version)
{
    return std::to_string(version.version) + "." + std::to_string(version.revision);
}

void putLittleEndian(EdidImage &image, std::size_t offset, unsigned long value, std::size_t size)
{
    for (std::size_t n = 0; n < size; ++n)
        image.bytes[offset + n] = std::uint8_t(value >> 8 * n);
}

} // namespace

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
    const EdidVersion version = decodeEdid(editing.image).base.version.value;
    if (*week == 0xFF && !version.atLeast14())
        return "a model year needs EDID 1.4; this EDID is " + versionText(version) +
               ": give YEAR or YEAR:WEEK";
    if (*week == 54 && !version.atLeast14())
        return "EDID " + versionText(version) + " counts weeks 1-53, not 54";
    editing.image.bytes[16] = std::uint8_t(*week);
    editing.image.bytes[17] = std::uint8_t(*year - 1990);
    return {};
}

namespace {

// A display descriptor of text (VESA E-EDID 1.4 3.10.3): up to 13 characters, a line feed after a
// shorter one and spaces after that. It takes the slot of its kind, else a dummy or empty one.
std::string setText(Editing &editing, const std::string &argument, Descriptor::Kind kind,
                    const char *what)
{
    if (std::string refusal = displayTextRefusal(argument, what); !refusal.empty())
        return refusal;
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

} // namespace

std::string setName(Editing &editing, const std::string &argument)
{
    return setText(editing, argument, Descriptor::Kind::ProductName, "product name");
}

std::string setSerialText(Editing &editing, const std::string &argument)
{
    return setText(editing, argument, Descriptor::Kind::SerialText, "serial number text");
}

namespace {

void copyBytes(EdidImage &to, const EdidImage &from, const ByteRange &range)
{
    std::copy_n(from.bytes.begin() + std::ptrdiff_t(range.offset), range.length,
                to.bytes.begin() + std::ptrdiff_t(range.offset));
}

// The other EDID's descriptors of this kind take the slots of that kind, else unused ones, in
// the other EDID's order (readers take the first name); where it has fewer, the slots left over
// become dummy descriptors.
std::string copyTexts(Editing &editing, const EdidDescription &from, Descriptor::Kind kind,
                      const char *what)
{
    const EdidDescription target = decodeEdid(editing.image);
    const auto &slots = target.base.descriptors;
    std::vector<std::size_t> own, unused;
    for (std::size_t n = 0; n < slots.size(); ++n)
        if (slots[n].kind == kind)
            own.push_back(n);
        else if (n > 0 && isUnusedSlot(editing.image, slots[n])) // slot 0: the preferred timing
            unused.push_back(n);
    std::vector<const Descriptor *> wanted;
    for (const Descriptor &descriptor : from.base.descriptors)
        if (descriptor.kind == kind)
            wanted.push_back(&descriptor);
    std::vector<std::size_t> chosen = own;
    for (std::size_t n = 0; n < unused.size() && chosen.size() < wanted.size(); ++n)
        chosen.push_back(unused[n]);
    if (wanted.size() > chosen.size())
        return std::string("no descriptor slot is free for the ") + what + ": the four hold " +
               slotContent(slots[0]) + ", " + slotContent(slots[1]) + ", " + slotContent(slots[2]) +
               " and " + slotContent(slots[3]);
    std::sort(chosen.begin(), chosen.end());
    const DescriptorBytes dummy = encodeDescriptor(dummyDescriptor());
    for (std::size_t n = 0; n < chosen.size(); ++n) {
        const DescriptorBytes bytes = n < wanted.size() ? encodeDescriptor(*wanted[n]) : dummy;
        std::copy(bytes.begin(), bytes.end(), &editing.image.bytes[slots[chosen[n]].bytes.offset]);
    }
    return {};
}

} // namespace

std::string copyIdentity(Editing &editing, const EdidImage &from)
{
    const EdidDescription other = decodeEdid(from);
    if (!other.base.headerValid.value)
        return "the other EDID has no EDID header (00 FF FF FF FF FF FF 00)";
    const EdidVersion version = decodeEdid(editing.image).base.version.value;
    const EdidVersion otherVersion = other.base.version.value;
    const unsigned week = other.base.week.value;
    // A model year and week 54 came with EDID 1.4; in an older EDID 255 is no date at all.
    if (week == 0xFF && !otherVersion.atLeast14())
        return "the other EDID's week 255 is no date in EDID " + versionText(otherVersion);
    if ((week == 0xFF || week == 54) && !version.atLeast14())
        return std::string("the other EDID's date (") +
               (week == 0xFF ? "a model year" : "week 54") + ") needs EDID 1.4; this EDID is " +
               versionText(version);
    for (const ByteRange &range :
         {other.base.manufacturer.bytes, other.base.productCode.bytes,
          other.base.serialNumber.bytes, other.base.week.bytes, other.base.year.bytes})
        copyBytes(editing.image, from, range); // as stored: an odd manufacturer code stays odd
    if (std::string refusal =
            copyTexts(editing, other, Descriptor::Kind::ProductName, "product name");
        !refusal.empty())
        return refusal;
    return copyTexts(editing, other, Descriptor::Kind::SerialText, "serial number text");
}

} // namespace edits
