#pragma once

#include <array>
#include <cstdint>

// The tool's command set. Read and write commands share a header: opcode, length, EDID address
// byte, offset of the first byte in the 256-byte image.

constexpr std::uint8_t kOpReadEdid = 0x11;
constexpr std::uint8_t kOpWriteEdid = 0x10;
constexpr std::uint8_t kOpGetCounters = 0x02;

constexpr std::uint32_t kReadCommandLength = 4;
constexpr std::uint32_t kWriteCommandLength = 12;
constexpr std::uint32_t kCountersCommandLength = 8;

constexpr std::uint32_t kMaxReadLength = 16;   // EDID bytes one read command returns at most
constexpr std::uint32_t kWriteRowLength = 8;   // EDID bytes one write command carries
constexpr std::uint32_t kWriteReplyLength = 1; // the tool's one-byte answer, never examined
constexpr std::uint32_t kCountersReplyLength = 10;

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
