#include "DeviceState.h"

#include "DeviceWarning.h"
#include "ToolProtocol.h"
#include "UsbAccess.h"

UsbHandle DeviceHandle = kNoUsbHandle;
std::uint16_t ExpectedSerial = kToolSerial;

void CloseDevice()
{
    if (DeviceHandle != kNoUsbHandle && UsbCloseHandle(DeviceHandle) != kUsbSuccess)
        ShowDeviceWarning("Unable to close device handle!");
    // A handle the library refuses to close is forgotten all the same.
    DeviceHandle = kNoUsbHandle;
}
