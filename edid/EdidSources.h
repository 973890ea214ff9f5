#pragma once

#include <array>
#include <cstdint>

// The EDID images the tool can address, in the order of the source selector.
struct EdidSource {
    const char *name;
    std::uint8_t address;
    bool writable;
};

inline constexpr std::array<EdidSource, 5> kEdidSources{{
    {"Current EDID", 0xB0, false},
    {"Sink EDID", 0xA0, false},
    {"Custom EDID 6", 0xB2, true},
    {"Custom EDID 7", 0xB4, true},
    {"Custom/Sink EDID 8", 0xB6, true},
}};

// Address byte of the chosen source; the current EDID until the operator picks another.
extern std::uint8_t SelectedEdidAddress;

// Sets SelectedEdidAddress to the source at this selector index; other indexes change nothing.
void selectEdidSource(int index);

// Only the tool's custom images may be written.
bool isWritableEdidAddress(std::uint8_t address);
