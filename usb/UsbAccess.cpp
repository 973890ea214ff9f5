#include "UsbAccess.h"

std::mutex UsbLock;

namespace {

UsbLibrary *chosenLibrary = nullptr;

template <typename Call> UsbStatus lockedCall(Call call)
{
    const std::lock_guard<std::mutex> guard(UsbLock);
    return chosenLibrary ? call(*chosenLibrary) : kNoUsbLibrary;
}

} // namespace

void useUsbLibrary(UsbLibrary *library)
{
    const std::lock_guard<std::mutex> guard(UsbLock);
    chosenLibrary = library;
}

UsbStatus UsbDeviceCount(std::uint32_t *count)
{
    return lockedCall([&](UsbLibrary &usb) { return usb.UsbDeviceCount(count); });
}

UsbStatus UsbDeviceString(std::uint32_t index, UsbStringBuffer &text, std::uint32_t selector)
{
    return lockedCall([&](UsbLibrary &usb) { return usb.UsbDeviceString(index, text, selector); });
}

UsbStatus UsbOpenByIndex(std::uint32_t index, UsbHandle *handle)
{
    return lockedCall([&](UsbLibrary &usb) { return usb.UsbOpenByIndex(index, handle); });
}

UsbStatus UsbCloseHandle(UsbHandle handle)
{
    return lockedCall([&](UsbLibrary &usb) { return usb.UsbCloseHandle(handle); });
}

UsbStatus UsbReadBlock(UsbHandle handle, std::uint8_t *buffer, std::uint32_t bytesToRead,
                       std::uint32_t *bytesRead, std::uint32_t reserved)
{
    return lockedCall([&](UsbLibrary &usb) {
        return usb.UsbReadBlock(handle, buffer, bytesToRead, bytesRead, reserved);
    });
}

UsbStatus UsbWriteBlock(UsbHandle handle, const std::uint8_t *buffer, std::uint32_t bytesToWrite,
                        std::uint32_t *bytesWritten, std::uint32_t reserved)
{
    return lockedCall([&](UsbLibrary &usb) {
        return usb.UsbWriteBlock(handle, buffer, bytesToWrite, bytesWritten, reserved);
    });
}

UsbStatus UsbPurge(UsbHandle handle, std::uint8_t purgeReceive, std::uint8_t purgeTransmit)
{
    return lockedCall(
        [&](UsbLibrary &usb) { return usb.UsbPurge(handle, purgeReceive, purgeTransmit); });
}

UsbStatus UsbQueueStatus(UsbHandle handle, std::uint32_t *bytesWaiting, std::uint32_t *queueStatus)
{
    return lockedCall(
        [&](UsbLibrary &usb) { return usb.UsbQueueStatus(handle, bytesWaiting, queueStatus); });
}

UsbStatus UsbLibraryCall(const std::function<UsbStatus(UsbLibrary &)> &call)
{
    return lockedCall(call);
}
