#pragma once

#include "ToolProtocol.h"

#include <cstdint>

// Address byte of the chosen source; the current EDID until the operator picks another.
extern std::uint8_t SelectedEdidAddress;

// Sets SelectedEdidAddress to the source at this selector index; other indexes change nothing.
void selectEdidSource(int index);
