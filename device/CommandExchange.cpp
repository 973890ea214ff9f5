#include "CommandExchange.h"

#include "DeviceClock.h"
#include "DeviceWarning.h"
#include "ToolProtocol.h"
#include "UsbAccess.h"

ExchangeResult ExchangeCommand(const UsbHandle *handle, std::uint8_t *reply,
                               const std::uint8_t *command, std::uint32_t replyLength,
                               std::uint32_t commandLength)
{
    if (*handle == kNoUsbHandle) {
        ShowDeviceWarning("Invalid Device Handle");
        return ExchangeResult::Failed;
    }

    std::uint32_t written = 0;
    if (UsbWriteBlock(*handle, command, commandLength, &written, 0) != kUsbSuccess) {
        ShowDeviceWarning("Error Sending Code");
        return ExchangeResult::Failed;
    }

    // Busy poll: the reply is picked up the moment its first byte is queued.
    DeviceClock &clock = deviceClock();
    const DeviceClock::TimePoint start = clock.now();
    std::uint32_t waiting = 0;
    std::uint32_t queueStatus = 0;
    while (waiting == 0) {
        if (clock.now() - start >= kReplyTimeLimit)
            return ExchangeResult::TimedOut;
        if (UsbQueueStatus(*handle, &waiting, &queueStatus) != kUsbSuccess) {
            ShowDeviceWarning("Error Checking Queue");
            return ExchangeResult::Failed;
        }
    }

    // Only a reply of exactly the length asked for is whole. The library keeps any surplus
    // bytes; left there, they would be taken for the start of the next reply.
    std::uint32_t read = 0;
    if (UsbReadBlock(*handle, reply, replyLength, &read, 0) != kUsbSuccess || read != replyLength) {
        ShowDeviceWarning("Error Reading Data");
        return ExchangeResult::Failed;
    }
    if (UsbQueueStatus(*handle, &waiting, &queueStatus) != kUsbSuccess) {
        ShowDeviceWarning("Error Checking Queue");
        return ExchangeResult::Failed;
    }
    if (waiting != 0) {
        ShowDeviceWarning("Error Reading Data");
        return ExchangeResult::Failed;
    }
    return ExchangeResult::Success;
}
