#include "ToolList.h"

#include "UsbAccess.h"

bool UsbLibraryLister::list(bool, std::vector<ListedTool> &tools)
{
    std::uint32_t count = 0;
    if (UsbDeviceCount(&count) != kUsbSuccess)
        return false;
    for (std::uint32_t index = 0; index < count; ++index) {
        // A string the device will not give stays empty rather than hiding the device.
        UsbStringBuffer serial{};
        UsbStringBuffer product{};
        UsbDeviceString(index, serial, kUsbSerialString);
        UsbDeviceString(index, product, kUsbProductString);
        tools.push_back({index, serial, product});
    }
    return true;
}
