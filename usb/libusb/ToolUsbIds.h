#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// The USB IDs a device must carry to be taken for a tool.
struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    bool operator==(const UsbId &other) const
    {
        return vendor == other.vendor && product == other.product;
    }
};

// Reads "vvvv:pppp" entries in hexadecimal, separated by commas, semicolons or white space.
// A malformed entry is skipped; the others still count.
std::vector<UsbId> parseUsbIds(std::string_view text);

// The IDs built in (10C4:EA61 unless the build adds others) and those in the environment
// variable VARNEX_USB_IDS.
std::vector<UsbId> toolUsbIds();
