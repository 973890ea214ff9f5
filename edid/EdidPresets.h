#pragma once

#include "EdidComposer.h"

#include <cstdint>
#include <string>
#include <vector>

// The EDIDs a user may need without a display at hand: each a plan that composeEdid writes, under
// the project's manufacturer code and a product code of its own.
struct EdidPreset {
    const char *name; // "hdmi-1080p60", as the command line takes it
    std::uint16_t productCode;
    const char *description; // one line: resolution, rate, audio, HDMI level
    EdidPlan (*plan)();
};

// In the order they are listed; a new preset goes at the end, with the next product code.
const std::vector<EdidPreset> &edidPresets();

// The EDID of the preset of this name; refused for a name no preset has.
ComposedEdid presetEdid(const std::string &name);
