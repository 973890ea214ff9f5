#include "ToolCommands.h"

#include <algorithm>

ReadCommand CmdReadEdid(std::uint8_t address, unsigned offset, unsigned count)
{
    return {kOpReadEdid, static_cast<std::uint8_t>(count), address,
            static_cast<std::uint8_t>(offset & 0xFF)};
}

WriteCommand CmdWriteEdid(std::uint8_t address, unsigned offset, const std::uint8_t *row)
{
    WriteCommand command{kOpWriteEdid, kWriteCommandLength, address,
                         static_cast<std::uint8_t>(offset & 0xFF)};
    std::copy(row, row + kWriteRowLength, command.begin() + 4);
    return command;
}

CountersCommand CmdGetCounters(const ReadCommand &lastRead)
{
    return {kOpGetCounters, lastRead[1], lastRead[2], lastRead[3], 0, 0, 0, 0};
}
