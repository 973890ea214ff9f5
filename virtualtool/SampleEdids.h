#pragma once

#include "EdidImage.h"

#include <cstdint>

// The images a fresh virtual tool holds: an HDMI television's EDID, a valid EDID 1.4 base block
// with a CTA-861 extension (video formats, audio, HDMI vendor block with physical address
// 1.0.0.0), one model name per source so that a read shows which image it came from.
EdidImage sampleEdid(std::uint8_t address);
