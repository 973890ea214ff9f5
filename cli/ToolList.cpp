#include "ToolList.h"

#include "UsbAccess.h"

bool UsbLibraryLister::list(bool, std::vector<ListedTool> &tools)
{
    std::uint32_t count = 0;
    if (UsbDeviceCount(&count) != kUsbSuccess)
        return false;
    for (std::uint32_t index = 0; index < count; ++index) {
        // A string the device will not give is listed empty rather than hiding the device.
        UsbStringBuffer serial{};
        UsbStringBuffer product{};
        if (UsbDeviceString(index, serial, kUsbSerialString) != kUsbSuccess)
            serial[0] = '\0';
        if (UsbDeviceString(index, product, kUsbProductString) != kUsbSuccess)
            product[0] = '\0';
        tools.push_back({index, serial, product});
    }
    return true;
}
