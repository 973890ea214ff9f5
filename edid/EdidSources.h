#pragma once

#include <array>
#include <cstdint>

// The EDID images the tool can address, in the order of the source selector.
struct EdidSource {
    const char *name; // as the selector shows it
    const char *key;  // as the command line names it
    std::uint8_t address;
    bool writable;
};

inline constexpr std::array<EdidSource, 5> kEdidSources{{
    {"Current EDID", "current", 0xB0, false},
    {"Sink EDID", "sink", 0xA0, false},
    {"Custom EDID 6", "custom6", 0xB2, true},
    {"Custom EDID 7", "custom7", 0xB4, true},
    {"Custom/Sink EDID 8", "custom8", 0xB6, true},
}};

// Address byte of the chosen source; the current EDID until the operator picks another.
extern std::uint8_t SelectedEdidAddress;

// Sets SelectedEdidAddress to the source at this selector index; other indexes change nothing.
void selectEdidSource(int index);

// Only the tool's custom images may be written.
bool isWritableEdidAddress(std::uint8_t address);
