#include "EdidTransfer.h"

#include "CommandExchange.h"
#include "DeviceConnection.h"
#include "DeviceState.h"
#include "EdidSources.h"
#include "EdidTextBuffer.h"
#include "ToolCommands.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <thread>

namespace {

// Appends the bytes as one line of hex text at position; returns the position after the line.
std::size_t appendHexLine(const std::uint8_t *bytes, unsigned count, std::size_t position)
{
    for (unsigned i = 0; i < count && position < EdidTextBuffer.size(); ++i) {
        std::snprintf(&EdidTextBuffer[position], EdidTextBuffer.size() - position, "%02X ",
                      bytes[i]);
        position += 3;
    }
    // The line's last space becomes its newline.
    EdidTextBuffer[position - 1] = '\n';
    return position;
}

} // namespace

TransferResult readEdidFromTool(const TransferProgress &progress)
{
    if (!OpenDevice())
        return TransferResult::ToolNotFound;

    std::array<std::uint8_t, kMaxReadLength> reply{};
    ReadCommand command{};
    std::size_t position = 0;
    bool complete = true;
    for (unsigned done = 0; done < EdidImage::kSize; done += kMaxReadLength) {
        progress(static_cast<int>(done), kReadProgressMaximum);
        const unsigned count = std::min<unsigned>(kMaxReadLength, EdidImage::kSize - done);
        command = CmdReadEdid(SelectedEdidAddress, done, count);
        if (ExchangeCommand(&DeviceHandle, reply.data(), command.data(), count,
                            kReadCommandLength) != ExchangeResult::Success) {
            complete = false;
            break;
        }
        position = appendHexLine(reply.data(), count, position);
    }
    if (complete) {
        // The counters are collected and not used; their loss does not spoil the read.
        const CountersCommand counters = CmdGetCounters(command);
        ExchangeCommand(&DeviceHandle, reply.data(), counters.data(), kCountersReplyLength,
                        kCountersCommandLength);
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
        std::this_thread::sleep_for(kWriteRowPause);
    }
    CloseDevice();
    return complete ? TransferResult::Completed : TransferResult::Interrupted;
}
