#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedTool {
    std::uint32_t index = 0; // what --device takes
    std::string serial;
    std::string product;
    std::string ids;        // "vvvv:pppp"; empty for the virtual tool
    std::string location;   // "<bus>-<port>[.<port>...]"; empty for the virtual tool
    bool accessible = true; // this user may open it
    bool inIdList = true;   // false: a device of the tool's kind outside the tool ID list
};

class ToolLister {
public:
    virtual ~ToolLister() = default;
    // The attached tools in the library's order; any also asks for devices of the tool's shape
    // outside the known USB IDs. False when the devices could not be counted.
    virtual bool list(bool any, std::vector<ListedTool> &tools) = 0;
};

// Through the linked library's eight operations: every device it counts, with its strings.
class UsbLibraryLister final : public ToolLister {
public:
    bool list(bool any, std::vector<ListedTool> &tools) override;
};

// Real tools on the USB bus, when the chosen library is the libusb one: their IDs, where they are
// attached and whether this user may open them; with any, also the devices of the tool's kind
// outside the ID list (never opened).
class LibusbLister final : public ToolLister {
public:
    bool list(bool any, std::vector<ListedTool> &tools) override;
};
