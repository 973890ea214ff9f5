#pragma once

#include "UsbLibrary.h"

#include <functional>
#include <mutex>

// Guards the USB library as a whole; held around each single library call and nothing else.
extern std::mutex UsbLock;

// Chooses the library every call below goes to; the caller keeps it alive while it is in use.
// Until one is chosen, and after nullptr, every call fails with kNoUsbLibrary.
void useUsbLibrary(UsbLibrary *library);
constexpr UsbStatus kNoUsbLibrary = 0xFF;

// The locked access layer: one call into the chosen library each, status handed back unchanged.
UsbStatus UsbDeviceCount(std::uint32_t *count);
UsbStatus UsbDeviceString(std::uint32_t index, UsbStringBuffer &text, std::uint32_t selector);
UsbStatus UsbOpenByIndex(std::uint32_t index, UsbHandle *handle);
UsbStatus UsbCloseHandle(UsbHandle handle);
UsbStatus UsbReadBlock(UsbHandle handle, std::uint8_t *buffer, std::uint32_t bytesToRead,
                       std::uint32_t *bytesRead, std::uint32_t reserved);
UsbStatus UsbWriteBlock(UsbHandle handle, const std::uint8_t *buffer, std::uint32_t bytesToWrite,
                        std::uint32_t *bytesWritten, std::uint32_t reserved);
UsbStatus UsbPurge(UsbHandle handle, std::uint8_t purgeReceive, std::uint8_t purgeTransmit);
UsbStatus UsbQueueStatus(UsbHandle handle, std::uint32_t *bytesWaiting, std::uint32_t *queueStatus);

// A call of the chosen library's own beyond the eight operations (the libusb library's listing of
// the bus), made under UsbLock like them; kNoUsbLibrary when none is chosen.
UsbStatus UsbLibraryCall(const std::function<UsbStatus(UsbLibrary &)> &call);
