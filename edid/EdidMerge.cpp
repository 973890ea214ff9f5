#include "EdidMerge.h"

// The notes' words and keys.

std::string mergeInputName(std::size_t input)
{
    return "input " + std::to_string(input + 1);
}

const char *mergeFieldKey(MergeField field)
{
    static const char *const kKeys[] = {
        "identity",   "physical_address",   "preferred_timing", "timing", "max_tmds",
        "hdmi_forum", "colour_format",      "deep_colour",      "hdr",    "colorimetry",
        "audio",      "speaker_allocation", "range_limits"};
    return kKeys[std::size_t(field)];
}

const char *mergeActionKey(MergeAction action)
{
    static const char *const kKeys[] = {"from",       "common",       "lowest",       "largest",
                                        "union",      "widened",      "not_in_input", "no_room",
                                        "above_rate", "no_hdmi_vsdb", "other_form"};
    return kKeys[std::size_t(action)];
}

std::string MergeNote::text() const
{
    static const char *const kFields[] = {"Identity",
                                          "Physical address",
                                          "Preferred timing",
                                          "Timing",
                                          "Maximum TMDS clock",
                                          "HDMI Forum block",
                                          "Colour format",
                                          "Deep colour",
                                          "HDR",
                                          "Colorimetry",
                                          "Audio",
                                          "Speaker allocation",
                                          "Range limits"};
    const std::string which = mergeInputName(input);
    std::string how;
    switch (action) {
    case MergeAction::From:
        how = which + "'s";
        break;
    case MergeAction::Common:
        how =
            field == MergeField::RangeLimits ? "the range all inputs share" : "all inputs have it";
        break;
    case MergeAction::Lowest:
        how = "the lowest, " + which + "'s";
        break;
    case MergeAction::Largest:
        how = "the largest timing all inputs accept";
        break;
    case MergeAction::Union:
        how = "one input or more has it";
        break;
    case MergeAction::Widened:
        how = "the range the inputs share, widened to take the timings listed";
        break;
    case MergeAction::NotInInput:
        how = "left out: " + which + " does not have it";
        break;
    case MergeAction::NoRoom:
        how = "left out: no room for it";
        break;
    case MergeAction::AboveRate:
        how = "left out: it needs a faster TMDS clock than the result's";
        break;
    case MergeAction::OtherForm:
        how = "left out: " + which +
              " takes it in another form (RGB or YCbCr 4:2:0) than the inputs before it";
        break;
    case MergeAction::NoHdmi:
        how = "left out: " + which + " has no HDMI VSDB, without which a source sends no audio";
        break;
    }
    return kFields[std::size_t(field)] + (value.empty() ? "" : " " + value) + ": " + how;
}
