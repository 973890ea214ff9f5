#pragma once

#include "ToolProtocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The tool's commands as the host builds them and as the tool takes them apart.

using ReadCommand = std::array<std::uint8_t, kReadCommandLength>;
using WriteCommand = std::array<std::uint8_t, kWriteCommandLength>;
using CountersCommand = std::array<std::uint8_t, kCountersCommandLength>;
using CountersReply = std::array<std::uint8_t, kCountersReplyLength>;

// Asks for count (at most 16) image bytes from offset on; the reply is those bytes, raw.
ReadCommand CmdReadEdid(std::uint8_t address, unsigned offset, unsigned count);

// Writes the eight bytes of row at offset (a multiple of 8).
WriteCommand CmdWriteEdid(std::uint8_t address, unsigned offset, const std::uint8_t *row);

// Asks for the tool's counters. It repeats bytes 1 to 3 of the last read command; the rest are
// zero.
CountersCommand CmdGetCounters(const ReadCommand &lastRead);

// What a read command asks for; the count is as sent, the tool judges it.
struct ReadRequest {
    std::uint8_t address;
    std::uint8_t offset;
    std::uint8_t count;
};

struct WriteRequest {
    std::uint8_t address;
    std::uint8_t offset;
    std::array<std::uint8_t, kWriteRowLength> row;
};

// The tool's side: a packet of the command's opcode and length (a write's length byte included)
// is that command; any other gives nullopt.
std::optional<ReadRequest> parseReadCommand(const std::uint8_t *packet, std::size_t size);
std::optional<WriteRequest> parseWriteCommand(const std::uint8_t *packet, std::size_t size);
bool isCountersCommand(const std::uint8_t *packet, std::size_t size);

// The tool's answer to the counters command.
CountersReply countersReply(std::uint8_t readErrors, std::uint8_t readings);
