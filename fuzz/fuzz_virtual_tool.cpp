// Feeds arbitrary packet sequences to the virtual tool: each packet is one length byte (0 to 31)
// followed by that many bytes. The tool must never crash, answer more than a read asks for, or
// change an image it was not told to write.
#include "VirtualTool.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static VirtualTool tool;
    tool.reset();
    const auto currentBefore = tool.image(0xB0);
    const auto sinkBefore = tool.image(0xA0);

    UsbHandle handle = kNoUsbHandle;
    if (tool.UsbOpenByIndex(0, &handle) != kUsbSuccess)
        std::abort();
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = data[at++] % 32;
        const std::size_t available = size - at < length ? size - at : length;
        std::uint32_t written = 0;
        tool.UsbWriteBlock(handle, data + at, static_cast<std::uint32_t>(available), &written, 0);
        at += available;

        std::uint32_t waiting = 0;
        std::uint32_t status = 0;
        tool.UsbQueueStatus(handle, &waiting, &status);
        if (waiting > 16)
            std::abort();
        std::uint8_t reply[16];
        std::uint32_t read = 0;
        tool.UsbReadBlock(handle, reply, 16, &read, 0);
        if (read != waiting)
            std::abort();
    }
    tool.UsbCloseHandle(handle);
    if (tool.image(0xB0) != currentBefore || tool.image(0xA0) != sinkBefore)
        std::abort();
    return 0;
}
