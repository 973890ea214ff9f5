#pragma once

#include "UsbLibrary.h"
#include "VirtualTool.h"

#include <QString>

#include <functional>
#include <map>
#include <vector>

// One call of the named operation on the handle (or on device 0), with harmless arguments.
inline UsbStatus callOperation(UsbLibrary &usb, const QString &operation, UsbHandle handle)
{
    std::uint8_t bytes[16] = {};
    std::uint32_t n = 0, status = 0;
    UsbStringBuffer text{};
    const std::map<QString, std::function<UsbStatus()>> calls{
        {"count", [&] { return usb.UsbDeviceCount(&n); }},
        {"string", [&] { return usb.UsbDeviceString(0, text, kUsbSerialString); }},
        {"open", [&] { return usb.UsbOpenByIndex(0, &handle); }},
        {"close", [&] { return usb.UsbCloseHandle(handle); }},
        {"read", [&] { return usb.UsbReadBlock(handle, bytes, 16, &n, 0); }},
        {"write", [&] { return usb.UsbWriteBlock(handle, bytes, 4, &n, 0); }},
        {"purge", [&] { return usb.UsbPurge(handle, 1, 1); }},
        {"queue", [&] { return usb.UsbQueueStatus(handle, &n, &status); }}};
    return calls.at(operation)();
}

// The command packets a virtual tool received, in order.
inline std::vector<std::vector<std::uint8_t>> commandsOf(const VirtualTool &tool)
{
    std::vector<std::vector<std::uint8_t>> commands;
    for (const VirtualTool::Command &command : tool.receivedCommands())
        commands.push_back(command.bytes);
    return commands;
}
