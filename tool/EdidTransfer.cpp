#include "EdidTransfer.h"

#include "CommandExchange.h"
#include "DeviceClock.h"
#include "DeviceConnection.h"
#include "DeviceState.h"
#include "EdidSources.h"
#include "ToolCommands.h"

#include <algorithm>
#include <array>

TransferResult readEdidFromTool(EdidImage &image, const TransferProgress &progress)
{
    if (!OpenDevice())
        return TransferResult::ToolNotFound;

    ReadCommand command{};
    bool complete = true;
    for (unsigned done = 0; done < EdidImage::kSize; done += kMaxReadLength) {
        progress(static_cast<int>(done), kReadProgressMaximum);
        const unsigned count = std::min<unsigned>(kMaxReadLength, EdidImage::kSize - done);
        command = CmdReadEdid(SelectedEdidAddress, done, count);
        if (ExchangeCommand(&DeviceHandle, &image.bytes[done], command.data(), count,
                            kReadCommandLength) != ExchangeResult::Success) {
            complete = false;
            break;
        }
    }
    if (complete) {
        // The counters are collected and not used; their loss does not spoil the read.
        CountersReply counters{};
        const CountersCommand countersCommand = CmdGetCounters(command);
        ExchangeCommand(&DeviceHandle, counters.data(), countersCommand.data(),
                        kCountersReplyLength, kCountersCommandLength);
    }
    CloseDevice();
    return complete ? TransferResult::Completed : TransferResult::Interrupted;
}

TransferResult writeEdidToTool(const EdidImage &image, const TransferProgress &progress)
{
    if (!OpenDevice())
        return TransferResult::ToolNotFound;

    const std::uint8_t address = SelectedEdidAddress;
    constexpr int rows = static_cast<int>(EdidImage::kSize / kWriteRowLength);
    std::array<std::uint8_t, kWriteReplyLength> reply{};
    bool complete = true;
    for (int row = 0; row < rows; ++row) {
        progress(row, rows);
        const unsigned offset = static_cast<unsigned>(row) * kWriteRowLength;
        const WriteCommand command = CmdWriteEdid(address, offset, &image.bytes[offset]);
        if (ExchangeCommand(&DeviceHandle, reply.data(), command.data(), kWriteReplyLength,
                            kWriteCommandLength) != ExchangeResult::Success) {
            complete = false;
            break;
        }
        deviceClock().sleepFor(kWriteRowPause);
    }
    CloseDevice();
    return complete ? TransferResult::Completed : TransferResult::Interrupted;
}
