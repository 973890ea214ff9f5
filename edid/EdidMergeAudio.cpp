#include "EdidMerging.h"

#include <algorithm>

namespace merging {

namespace {

using Sads = std::vector<ShortAudioDescriptor>;

// A CTA-861 audio data block holds ten descriptors at most.
constexpr std::size_t kMaxSads = 31 / 3;
constexpr unsigned kLpcm = 1;
constexpr std::uint32_t kFrontLeftRight = 0x01;

unsigned formatKey(const ShortAudioDescriptor &sad)
{
    return sad.formatCode << 8 | (sad.formatCode == 15 ? sad.extendedCode : 0);
}

Sads withoutCovered(const Sads &sads);

// What an input plays: its audio descriptors, and basic audio (2-channel L-PCM at 32, 44.1 and
// 48 kHz, 16 bits) where the extension declares it, whatever its descriptors say.
Sads sadsOf(const EdidDescription &input)
{
    Sads sads;
    if (!input.cta)
        return sads;
    for (const CtaDataBlock &block : input.cta->dataBlocks)
        if (const auto *audio = std::get_if<AudioBlock>(&block.payload))
            for (ShortAudioDescriptor sad : audio->descriptors) {
                sad.bytes = {};
                sads.push_back(sad);
            }
    if (input.cta->flags.value.basicAudio) {
        ShortAudioDescriptor basic;
        basic.formatCode = kLpcm;
        basic.channels = 2;
        basic.sampleRates = 0x07;
        basic.byte3 = 0x01;
        sads.push_back(basic);
    }
    return withoutCovered(sads);
}

// Byte 3 that both take: the sizes of L-PCM, the lower bit rate of codes 2-8, else the flags
// both have.
std::uint8_t commonByte3(const ShortAudioDescriptor &a, const ShortAudioDescriptor &b)
{
    if (a.formatCode == kLpcm)
        return a.byte3 & b.byte3 & 0x07;
    if (a.maxBitRateKbps())
        return std::min(a.byte3, b.byte3);
    return a.byte3 & b.byte3;
}

bool covers(const ShortAudioDescriptor &a, const ShortAudioDescriptor &b)
{
    return formatKey(a) == formatKey(b) && a.channels >= b.channels &&
           (a.sampleRates & b.sampleRates) == b.sampleRates && commonByte3(a, b) == b.byte3;
}

// Each descriptor that another one plays entirely goes; of equal ones the first stays.
Sads withoutCovered(const Sads &sads)
{
    Sads kept;
    for (std::size_t n = 0; n < sads.size(); ++n) {
        bool covered = false;
        for (std::size_t m = 0; m < sads.size() && !covered; ++m)
            covered = m != n && covers(sads[m], sads[n]) && (!covers(sads[n], sads[m]) || m < n);
        if (!covered)
            kept.push_back(sads[n]);
    }
    return kept;
}

// What both play: per pair of descriptors of one format, the fewer channels and the rates and
// sizes both take.
Sads intersection(const Sads &a, const Sads &b)
{
    Sads both;
    for (const ShortAudioDescriptor &x : a)
        for (const ShortAudioDescriptor &y : b) {
            if (formatKey(x) != formatKey(y))
                continue;
            ShortAudioDescriptor sad = x;
            sad.channels = std::min(x.channels, y.channels);
            sad.sampleRates = x.sampleRates & y.sampleRates;
            sad.byte3 = commonByte3(x, y);
            if (sad.sampleRates && (sad.formatCode != kLpcm || sad.byte3))
                both.push_back(sad);
        }
    return withoutCovered(both);
}

bool hasFormat(const Sads &sads, unsigned key)
{
    return std::any_of(sads.begin(), sads.end(),
                       [key](const ShortAudioDescriptor &sad) { return formatKey(sad) == key; });
}

// The formats all play; each other format is noted with the first input after which none of
// it was left.
Sads commonSads(const std::vector<Sads> &played, Notes &notes)
{
    Sads common = played[0];
    std::vector<std::pair<unsigned, std::size_t>> lost; // format, input
    for (std::size_t input = 0; input < played.size(); ++input) {
        if (input > 0)
            common = intersection(common, played[input]);
        for (const Sads &sads : played)
            for (const ShortAudioDescriptor &sad : sads)
                if (!hasFormat(common, formatKey(sad)) &&
                    std::none_of(lost.begin(), lost.end(),
                                 [&](const auto &l) { return l.first == formatKey(sad); })) {
                    lost.push_back({formatKey(sad), input});
                    notes.add(MergeField::Audio, MergeAction::NotInInput,
                              audioFormatName(sad.formatCode, sad.extendedCode), input);
                }
    }
    return common;
}

// The speakers to match the descriptors: front left and right for two channels or fewer; basic
// audio where 2-channel L-PCM takes 32, 44.1 and 48 kHz at 16 bits.
void finishAudio(MergedAudio &audio, MergeAction action, std::size_t from, Notes &notes)
{
    unsigned channels = 0;
    for (const ShortAudioDescriptor &sad : audio.descriptors) {
        channels = std::max(channels, sad.channels);
        audio.basicAudio =
            audio.basicAudio || (sad.formatCode == kLpcm && sad.channels >= 2 &&
                                 (sad.sampleRates & 0x07) == 0x07 && (sad.byte3 & 0x01));
    }
    if (audio.descriptors.empty()) {
        audio.speakers = 0;
        return;
    }
    if (channels <= 2)
        audio.speakers = kFrontLeftRight;
    audio.speakers |= kFrontLeftRight;
    std::string names;
    for (const std::string &name : speakerNames(audio.speakers))
        names += (names.empty() ? "" : " ") + name;
    notes.add(MergeField::SpeakerAllocation, action, names, from);
}

std::uint32_t speakersOf(const EdidDescription &input)
{
    const SpeakerBlock *speakers = blockOf<SpeakerBlock>(input);
    return speakers ? speakers->speakers : kFrontLeftRight;
}

} // namespace

MergedAudio mergeAudio(const std::vector<EdidDescription> &inputs, const MergeOptions &options,
                       Notes &notes)
{
    using A = MergeOptions::Audio;
    std::vector<Sads> played;
    for (const EdidDescription &input : inputs)
        played.push_back(sadsOf(input));
    MergedAudio audio;
    Sads sads;
    MergeAction action = MergeAction::From;
    if (options.audio == A::Common) {
        sads = commonSads(played, notes);
        action = MergeAction::Common;
        audio.speakers = 0xFFFFFF;
        for (const EdidDescription &input : inputs)
            audio.speakers &= speakersOf(input);
    } else if (options.audio == A::Union) {
        action = MergeAction::Union;
        for (std::size_t input = 0; input < inputs.size(); ++input) {
            sads.insert(sads.end(), played[input].begin(), played[input].end());
            if (!played[input].empty())
                audio.speakers |= speakersOf(inputs[input]);
        }
        sads = withoutCovered(sads);
    } else {
        sads = played[options.audioFrom];
        audio.speakers = speakersOf(inputs[options.audioFrom]);
    }
    for (const ShortAudioDescriptor &sad : sads) {
        const bool room = audio.descriptors.size() < kMaxSads;
        notes.add(MergeField::Audio, room ? action : MergeAction::NoRoom, audioDescriptorText(sad),
                  options.audioFrom);
        if (room)
            audio.descriptors.push_back(sad);
    }
    finishAudio(audio, action, options.audioFrom, notes);
    return audio;
}

} // namespace merging
