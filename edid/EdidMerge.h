#pragma once

#include "EdidDescription.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// One EDID that several displays all accept, as a splitter needs it: the timings every display
// accepts, the lowest of their link rates, the colour formats, HDR and audio they all have, with
// the identity of one of them. The result is a description for the encoder to write; the notes
// say field by field where each value came from and what was left out.

struct MergeOptions {
    enum class Video {
        Common, // the timings and video capabilities all inputs share
        First,  // the first input's timings and video capabilities as they are
    };
    enum class Audio {
        Common, // the formats all play: the fewest channels, the rates and sizes all take
        Union,  // every format any of them plays
        From,   // the audio of input audioFrom as it is
    };
    Video video = Video::Common;
    Audio audio = Audio::Common;
    std::size_t audioFrom = 0;    // an index into the inputs
    std::size_t identityFrom = 0; // whose identity and physical address the result carries
};

enum class MergeField {
    Identity,
    PhysicalAddress,
    PreferredTiming,
    Timing,
    MaxTmds,      // of the HDMI VSDB
    HdmiForum,    // the HDMI Forum block and its maximum TMDS character rate
    ColourFormat, // YCbCr 4:4:4 and 4:2:2
    DeepColour,   // 30, 36, 48 bits of the HDMI VSDB
    Hdr,          // the transfer functions of the HDR static metadata block
    Colorimetry,  // the colorimetry data block's standards
    Audio,        // a short audio descriptor
    SpeakerAllocation,
    RangeLimits,
};

enum class MergeAction {
    From,       // the value of input `input`
    Common,     // all inputs have it
    Lowest,     // the lowest of the inputs: input `input`'s
    Largest,    // the largest timing all inputs accept (the first input's preferred one is not)
    Union,      // what any input has
    Widened,    // the inputs' common range, widened to take the timings they all list
    NotInInput, // left out: input `input` does not have it
    NoRoom,     // left out: the EDID has no room for it
    AboveRate,  // left out: it needs a faster link than the result's maximum rate
    NoHdmi,     // left out: input `input` has no HDMI VSDB, so the result has none
    OtherForm,  // left out: input `input` takes it, but not as RGB nor as 4:2:0 as all others do
};

struct MergeNote {
    MergeField field;
    MergeAction action;
    std::string value;     // "1920x1080p60", "300 MHz", "Linear PCM, 2 channels, 32 48 kHz, ..."
    std::size_t input = 0; // an index into the inputs, for From, Lowest and NotInInput

    // "Timing 3840x2160p60: left out, input 2 does not accept it": inputs counted from 1.
    std::string text() const;
};

// "input 2": inputs are counted from 1 in every word of the merge.
std::string mergeInputName(std::size_t input);

// "timing", "max_tmds", ...: the field as a key for scripts.
const char *mergeFieldKey(MergeField field);
// "from", "common", "left_out_not_in_input", ...
const char *mergeActionKey(MergeAction action);

struct MergeResult {
    std::optional<EdidDescription> merged; // none when refused
    std::string refusal;
    std::vector<MergeNote> notes;
};

// Merges two or more decoded EDIDs. Refused: fewer than two inputs, an input without the EDID
// header, an input index out of range, or no timing that all inputs accept (one that can be the
// preferred timing, so not as YCbCr 4:2:0 only).
MergeResult mergeEdids(const std::vector<EdidDescription> &inputs, const MergeOptions &options);
