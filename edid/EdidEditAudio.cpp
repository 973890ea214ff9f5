#include "EdidComposer.h"
#include "EdidEditing.h"

#include <algorithm>
#include <cctype>

namespace edits {

namespace {

using Bytes = CtaCollection::Bytes;

constexpr std::uint8_t kBasicAudio = 0x40; // CTA extension byte 3

bool isAudio(const Bytes &block)
{
    return CtaCollection::tag(block) == CtaTag::Audio;
}

// An audio block whose length the decoder reads as short audio descriptors.
bool hasDescriptors(const Bytes &block)
{
    return isAudio(block) && (block.size() - 1) % 3 == 0;
}

// The blocks that describe the audio formats and speakers: audio, speaker allocation,
// vendor-specific audio, HDMI audio, room configuration and speaker location.
bool isAudioBlock(const Bytes &block)
{
    using E = CtaExtendedTag;
    static constexpr E kExtendedTags[] = {E::VendorSpecificAudio, E::HdmiAudio,
                                          E::RoomConfiguration, E::SpeakerLocation};
    return isAudio(block) || CtaCollection::tag(block) == CtaTag::SpeakerAllocation ||
           std::any_of(std::begin(kExtendedTags), std::end(kExtendedTags),
                       [&](E tag) { return CtaCollection::isExtended(block, tag); });
}

bool sameKind(const Bytes &a, const Bytes &b)
{
    return CtaCollection::tag(a) == CtaCollection::tag(b) &&
           (CtaCollection::tag(a) != CtaTag::Extended ||
            (a.size() >= 2 && b.size() >= 2 && a[1] == b[1]));
}

// Every block that matches goes; each replacement block takes the place of the first of its kind
// among them, else follows the replacement before it, the first one the last block after names.
// So an EDID that already says what the replacement says keeps its bytes.
void replaceBlocks(CtaCollection &cta, const std::function<bool(const Bytes &)> &matches,
                   const std::vector<Bytes> &replacement,
                   const std::function<bool(const Bytes &)> &after)
{
    std::vector<bool> placed(replacement.size());
    std::vector<Bytes> blocks;
    for (Bytes &block : cta.blocks) {
        if (!matches(block)) {
            blocks.push_back(std::move(block));
            continue;
        }
        for (std::size_t n = 0; n < replacement.size(); ++n)
            if (!placed[n] && sameKind(block, replacement[n])) {
                blocks.push_back(replacement[n]);
                placed[n] = true;
                break;
            }
    }
    cta.blocks = std::move(blocks);
    for (std::size_t n = 0; n < replacement.size(); ++n) {
        const auto follows = [&](const Bytes &block) {
            return n == 0 ? after(block) : sameKind(block, replacement[n - 1]);
        };
        if (!placed[n])
            cta.insertAfterLast(replacement[n], follows);
    }
}

// Audio without an HDMI VSDB is an error: sources take the display for DVI and send none.
std::string needsHdmiVsdb(const CtaCollection &cta)
{
    if (std::none_of(cta.blocks.begin(), cta.blocks.end(), CtaCollection::isHdmiVsdb))
        return "there is no HDMI VSDB, without which sources send no audio: add one first";
    return {};
}

unsigned formatCode(std::uint8_t firstByte)
{
    return firstByte >> 3 & 0x0F;
}

// The bytes of one short audio descriptor, as the encoder writes them.
Bytes sadBytes(const ShortAudioDescriptor &descriptor)
{
    const Bytes block = encodeDataBlock(audioBlock({descriptor}));
    return Bytes(block.begin() + 1, block.end());
}

// "ac3", "AC-3", "e-ac-3", "DTS-HD", ...
const CompressedAudio *compressedFormat(const std::string &name, std::string &refusal)
{
    std::string key;
    for (char c : name)
        if (c != '-' && c != '_')
            key += char(std::tolower(static_cast<unsigned char>(c)));
    for (const CompressedAudio &format : compressedAudioFormats())
        if (key == format.name)
            return &format;
    refusal = "an audio format is ac3, eac3, dts, dtshd or mat, not '" + name + "'";
    return nullptr;
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return char(std::toupper(static_cast<unsigned char>(c))); });
    return text;
}

std::optional<std::uint32_t> parseSpeakers(const std::string &list, std::string &refusal)
{
    static const std::pair<const char *, std::uint32_t> kLayouts[] = {
        {"2.0", 0x01}, {"5.1", 0x0F}, {"7.1", 0x4F}};
    for (const auto &[name, speakers] : kLayouts)
        if (list == name)
            return speakers;
    std::uint32_t speakers = 0;
    std::string names;
    for (unsigned bit = 0; bit < 21; ++bit)
        names += (bit ? ", " : "") + speakerNames(1u << bit).front();
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find_first_of(",+", start), list.size());
        const std::string word = upper(list.substr(start, end - start));
        unsigned bit = 0;
        while (bit < 21 && upper(speakerNames(1u << bit).front()) != word)
            ++bit;
        if (bit == 21) {
            refusal = "unknown speaker '" + list.substr(start, end - start) +
                      "'; speakers are 2.0, 5.1, 7.1 or these joined by commas: " + names;
            return std::nullopt;
        }
        speakers |= 1u << bit;
        start = end + 1;
    }
    return speakers;
}

} // namespace

std::string setAudio(Editing &editing, const std::string &argument)
{
    const std::optional<AudioSet> set = audioSet(argument);
    if (!set)
        return "an audio preset is none, lpcm2 or lpcm8, not '" + argument + "'";
    std::vector<Bytes> blocks;
    if (!set->descriptors.empty())
        blocks = {encodeDataBlock(audioBlock(set->descriptors)),
                  encodeDataBlock(speakerBlock(set->speakers))};
    return changeCta(editing, [&](CtaCollection &cta) {
        if (!blocks.empty())
            if (std::string refusal = needsHdmiVsdb(cta); !refusal.empty())
                return refusal;
        replaceBlocks(cta, isAudioBlock, blocks, [](const Bytes &block) {
            return CtaCollection::tag(block) == CtaTag::Video;
        });
        if (blocks.empty())
            cta.flags &= std::uint8_t(~kBasicAudio);
        else
            cta.flags |= kBasicAudio;
        return std::string();
    });
}

std::string addAudio(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const CompressedAudio *format = compressedFormat(argument, refusal);
    if (!format)
        return refusal;
    return changeCta(editing, [&](CtaCollection &cta) {
        Bytes *room = nullptr;
        for (Bytes &block : cta.blocks) {
            for (std::size_t p = 1; hasDescriptors(block) && p < block.size(); p += 3)
                if (formatCode(block[p]) == format->sad.formatCode)
                    return std::string(format->label) + " is declared already";
            if (isAudio(block) && !room && block.size() + 3 <= 32)
                room = &block;
        }
        if (!cta.find(hasDescriptors))
            return std::string("there is no audio data block: set the audio to lpcm2 or lpcm8 "
                               "first");
        if (room) {
            const Bytes bytes = sadBytes(format->sad);
            room->insert(room->end(), bytes.begin(), bytes.end());
        } else {
            cta.insertAfterLast(encodeDataBlock(audioBlock({format->sad})), isAudio);
        }
        return std::string();
    });
}

std::string removeAudio(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const CompressedAudio *format = compressedFormat(argument, refusal);
    if (!format)
        return refusal;
    return changeCta(editing, [&](CtaCollection &cta) {
        bool removed = false;
        for (Bytes &block : cta.blocks) {
            if (!hasDescriptors(block))
                continue;
            Bytes kept{block[0]};
            for (std::size_t p = 1; p < block.size(); p += 3) {
                const bool match = formatCode(block[p]) == format->sad.formatCode;
                removed = removed || match;
                if (!match)
                    kept.insert(kept.end(), block.begin() + std::ptrdiff_t(p),
                                block.begin() + std::ptrdiff_t(p + 3));
            }
            // A block whose descriptors all went goes too.
            if (kept.size() == 1 && block.size() > 1)
                kept.clear();
            block = std::move(kept);
        }
        if (!removed)
            return std::string(format->label) + " is not declared";
        cta.removeBlocks([](const Bytes &block) { return block.empty(); });
        return std::string();
    });
}

std::string setSpeakers(Editing &editing, const std::string &argument)
{
    std::string refusal;
    const auto speakers = parseSpeakers(argument, refusal);
    if (!speakers)
        return refusal;
    return changeCta(editing, [&](CtaCollection &cta) {
        if (!cta.find(isAudio) && !(cta.flags & kBasicAudio))
            return std::string("the EDID declares no audio");
        replaceBlocks(
            cta,
            [](const Bytes &block) {
                return CtaCollection::tag(block) == CtaTag::SpeakerAllocation;
            },
            {encodeDataBlock(speakerBlock(*speakers))}, isAudio);
        return std::string();
    });
}

std::string setBasicAudio(Editing &editing, const std::string &argument)
{
    if (argument != "on" && argument != "off")
        return "basic audio is on or off, not '" + argument + "'";
    return changeCta(editing, [&](CtaCollection &cta) {
        if (argument == "off") {
            if (cta.find(isAudioBlock))
                return std::string("the EDID declares audio formats, which basic audio must "
                                   "allow: --set-audio none removes both");
            cta.flags &= std::uint8_t(~kBasicAudio);
            return std::string();
        }
        cta.flags |= kBasicAudio;
        return needsHdmiVsdb(cta);
    });
}

} // namespace edits
