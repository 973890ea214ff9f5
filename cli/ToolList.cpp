#include "ToolList.h"

#include "LibusbUsbLibrary.h"
#include "UsbAccess.h"

#include <cstdio>

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
        ListedTool tool;
        tool.index = index;
        tool.serial = serial;
        tool.product = product;
        tools.push_back(tool);
    }
    return true;
}

bool LibusbLister::list(bool any, std::vector<ListedTool> &tools)
{
    std::vector<LibusbUsbLibrary::Listing> devices;
    const UsbStatus status = UsbLibraryCall([&](UsbLibrary &chosen) {
        auto *libusb = dynamic_cast<LibusbUsbLibrary *>(&chosen);
        return libusb ? libusb->listDevices(any, devices) : kNoUsbLibrary;
    });
    if (status != kUsbSuccess)
        return false;
    for (const LibusbUsbLibrary::Listing &device : devices) {
        char ids[10];
        std::snprintf(ids, sizeof ids, "%04x:%04x", device.id.vendor, device.id.product);
        tools.push_back({device.index, device.serial, device.product, ids, device.location,
                         device.accessible, device.inIdList});
    }
    return true;
}
