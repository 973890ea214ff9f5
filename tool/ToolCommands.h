#pragma once

#include "ToolProtocol.h"

#include <array>
#include <cstdint>

using ReadCommand = std::array<std::uint8_t, kReadCommandLength>;
using WriteCommand = std::array<std::uint8_t, kWriteCommandLength>;
using CountersCommand = std::array<std::uint8_t, kCountersCommandLength>;

// Asks for count (at most 16) image bytes from offset on; the reply is those bytes, raw.
ReadCommand CmdReadEdid(std::uint8_t address, unsigned offset, unsigned count);

// Writes the eight bytes of row at offset (a multiple of 8).
WriteCommand CmdWriteEdid(std::uint8_t address, unsigned offset, const std::uint8_t *row);

// Asks for the tool's counters. It repeats bytes 1 to 3 of the last read command; the rest are
// zero.
CountersCommand CmdGetCounters(const ReadCommand &lastRead);
