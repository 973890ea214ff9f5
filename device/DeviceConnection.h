#pragma once

#include "UsbLibrary.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// Serial strings a device may report to be taken for the tool. Entry 0 is ExpectedSerial in
// decimal; the other entries stay empty, and an empty entry never matches.
constexpr std::size_t kAcceptedSerialCount = 11;
constexpr std::size_t kAcceptedSerialSize = 10;
using AcceptedSerialTable = std::array<std::array<char, kAcceptedSerialSize>, kAcceptedSerialCount>;
extern AcceptedSerialTable AcceptedSerials;

// Rebuilds AcceptedSerials from ExpectedSerial.
void buildAcceptedSerials();

// True when the serial string equals one of the non-empty entries of AcceptedSerials.
bool isAcceptedSerial(const char *serial);

// Fetches the serial string of the device at this index; shows a warning and returns false when
// the library fails.
bool GetSerialString(std::uint32_t index, UsbStringBuffer &serial);

// From now on OpenDevice takes the device at this index of the library's list, whatever its
// serial string; nullopt (the start) searches by serial string again.
void chooseDeviceIndex(std::optional<std::uint32_t> index);

// Finds the first attached device with an accepted serial string (or takes the chosen one),
// checks that it gives its product string, opens it into DeviceHandle and flushes its buffers. On
// false DeviceHandle is -1 and nothing is left open; any warnings have been shown.
bool OpenDevice();
