#pragma once

#include "EdidImage.h"

#include <cstdint>

// The images a fresh virtual tool holds: a valid EDID 1.4 base block with a CTA-861 extension,
// one model name per source so that a read shows which image it came from.
EdidImage sampleEdid(std::uint8_t address);
