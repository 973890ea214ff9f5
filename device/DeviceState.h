#pragma once

#include "UsbLibrary.h"

#include <cstdint>

// Handle of the open tool; kNoUsbHandle (-1) while none is open.
extern UsbHandle DeviceHandle;

// The tool is recognised by its serial string, this number in decimal.
extern std::uint16_t ExpectedSerial;

// Closes DeviceHandle if one is open and always leaves it at -1.
void CloseDevice();
