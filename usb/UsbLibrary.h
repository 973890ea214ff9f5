#pragma once

#include <cstddef>
#include <cstdint>

// The USB library the utility talks to the tool through: eight operations whose status is 0 on
// success and anything else on failure. Each program's main() chooses the implementation
// (useUsbLibrary in UsbAccess.h): the virtual tool, or real tools through libusb.

using UsbStatus = std::int32_t;
using UsbHandle = std::int32_t;

constexpr UsbStatus kUsbSuccess = 0;
constexpr UsbHandle kNoUsbHandle = -1; // never handed out by a library

// String selectors of UsbDeviceString.
constexpr std::uint32_t kUsbSerialString = 0;
constexpr std::uint32_t kUsbProductString = 2;

// Text buffer of UsbDeviceString; its size is part of the type so that no library can write
// past it. Libraries cut longer strings and always leave the text NUL-terminated.
constexpr std::size_t kUsbStringCapacity = 256;
using UsbStringBuffer = char[kUsbStringCapacity];

class UsbLibrary {
public:
    virtual ~UsbLibrary() = default;

    virtual UsbStatus UsbDeviceCount(std::uint32_t *count) = 0;
    virtual UsbStatus UsbDeviceString(std::uint32_t index, UsbStringBuffer &text,
                                      std::uint32_t selector) = 0;
    virtual UsbStatus UsbOpenByIndex(std::uint32_t index, UsbHandle *handle) = 0;
    virtual UsbStatus UsbCloseHandle(UsbHandle handle) = 0;
    virtual UsbStatus UsbReadBlock(UsbHandle handle, std::uint8_t *buffer,
                                   std::uint32_t bytesToRead, std::uint32_t *bytesRead,
                                   std::uint32_t reserved) = 0;
    virtual UsbStatus UsbWriteBlock(UsbHandle handle, const std::uint8_t *buffer,
                                    std::uint32_t bytesToWrite, std::uint32_t *bytesWritten,
                                    std::uint32_t reserved) = 0;
    virtual UsbStatus UsbPurge(UsbHandle handle, std::uint8_t purgeReceive,
                               std::uint8_t purgeTransmit) = 0;
    virtual UsbStatus UsbQueueStatus(UsbHandle handle, std::uint32_t *bytesWaiting,
                                     std::uint32_t *queueStatus) = 0;
};
