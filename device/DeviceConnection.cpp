#include "DeviceConnection.h"

#include "DeviceState.h"
#include "DeviceWarning.h"
#include "UsbAccess.h"

#include <cstdio>
#include <cstring>

AcceptedSerialTable AcceptedSerials{};

namespace {
std::optional<std::uint32_t> chosenIndex;
} // namespace

void chooseDeviceIndex(std::optional<std::uint32_t> index)
{
    chosenIndex = index;
}

void buildAcceptedSerials()
{
    for (auto &entry : AcceptedSerials)
        entry.fill('\0');
    std::snprintf(AcceptedSerials[0].data(), kAcceptedSerialSize, "%d", int(ExpectedSerial));
}

bool isAcceptedSerial(const char *serial)
{
    // An empty entry would take any device that reports no serial string for the tool.
    for (const auto &entry : AcceptedSerials)
        if (entry[0] != '\0' && std::strcmp(serial, entry.data()) == 0)
            return true;
    return false;
}

bool GetSerialString(std::uint32_t index, UsbStringBuffer &serial)
{
    if (UsbDeviceString(index, serial, kUsbSerialString) != kUsbSuccess) {
        ShowDeviceWarning("Error retrieving serial string!");
        return false;
    }
    return true;
}

namespace {

// The index of the first device whose serial string is accepted, or count when there is none.
std::uint32_t findTool(std::uint32_t count)
{
    std::uint32_t index = 0;
    for (; index < count; ++index) {
        UsbStringBuffer serial{};
        if (GetSerialString(index, serial) && isAcceptedSerial(serial))
            break;
    }
    return index;
}

// Asks for the product string, opens the device and flushes both of its buffers.
bool prepareTool(std::uint32_t index)
{
    UsbStringBuffer product{};
    if (UsbDeviceString(index, product, kUsbProductString) != kUsbSuccess) {
        ShowDeviceWarning("Unable to retrive product string!");
        return false;
    }
    if (UsbOpenByIndex(index, &DeviceHandle) != kUsbSuccess) {
        ShowDeviceWarning("Unable to open handle to device!");
        return false;
    }
    if (UsbPurge(DeviceHandle, 1, 1) != kUsbSuccess) {
        ShowDeviceWarning("Unable to flush device bufers!");
        return false;
    }
    return true;
}

} // namespace

bool OpenDevice()
{
    buildAcceptedSerials();
    // Callers hold no handle here; a stale value is dropped, not closed.
    DeviceHandle = kNoUsbHandle;

    std::uint32_t count = 0;
    if (UsbDeviceCount(&count) != kUsbSuccess)
        count = 0;
    const std::uint32_t index = chosenIndex ? *chosenIndex : findTool(count);
    if (index < count && prepareTool(index))
        return true;
    CloseDevice();
    return false;
}
