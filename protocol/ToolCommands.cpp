#include "ToolCommands.h"

#include <algorithm>

ReadCommand CmdReadEdid(std::uint8_t address, unsigned offset, unsigned count)
{
    ReadCommand command{};
    command[kOpcodeAt] = kOpReadEdid;
    command[kLengthAt] = static_cast<std::uint8_t>(count);
    command[kAddressAt] = address;
    command[kOffsetAt] = static_cast<std::uint8_t>(offset & 0xFF);
    return command;
}

WriteCommand CmdWriteEdid(std::uint8_t address, unsigned offset, const std::uint8_t *row)
{
    WriteCommand command{};
    command[kOpcodeAt] = kOpWriteEdid;
    command[kLengthAt] = kWriteCommandLength;
    command[kAddressAt] = address;
    command[kOffsetAt] = static_cast<std::uint8_t>(offset & 0xFF);
    std::copy(row, row + kWriteRowLength, command.begin() + kRowAt);
    return command;
}

CountersCommand CmdGetCounters(const ReadCommand &lastRead)
{
    CountersCommand command{};
    command[kOpcodeAt] = kOpGetCounters;
    for (const std::size_t at : {kLengthAt, kAddressAt, kOffsetAt})
        command[at] = lastRead[at];
    return command;
}

std::optional<ReadRequest> parseReadCommand(const std::uint8_t *packet, std::size_t size)
{
    if (size != kReadCommandLength || packet[kOpcodeAt] != kOpReadEdid)
        return std::nullopt;
    return ReadRequest{packet[kAddressAt], packet[kOffsetAt], packet[kLengthAt]};
}

std::optional<WriteRequest> parseWriteCommand(const std::uint8_t *packet, std::size_t size)
{
    if (size != kWriteCommandLength || packet[kOpcodeAt] != kOpWriteEdid ||
        packet[kLengthAt] != kWriteCommandLength)
        return std::nullopt;
    WriteRequest request{packet[kAddressAt], packet[kOffsetAt], {}};
    std::copy_n(packet + kRowAt, kWriteRowLength, request.row.begin());
    return request;
}

bool isCountersCommand(const std::uint8_t *packet, std::size_t size)
{
    return size == kCountersCommandLength && packet[kOpcodeAt] == kOpGetCounters;
}

CountersReply countersReply(std::uint8_t readErrors, std::uint8_t readings)
{
    CountersReply reply{};
    reply[kReadErrorsAt] = readErrors;
    reply[kReadingsAt] = readings;
    return reply;
}
