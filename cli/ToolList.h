#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedTool {
    std::uint32_t index; // what --device takes
    std::string serial;
    std::string product;
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
