#include "ToolChoice.h"

#include "LibusbTool.h"
#include "LibusbTransport.h"
#include "VirtualTool.h"

namespace {
bool virtualChosen = false;
} // namespace

void useVirtualTool(bool chosen)
{
    virtualChosen = chosen;
}

VirtualTool &virtualTool()
{
    static VirtualTool tool;
    return tool;
}

namespace {
// Made on first use only, so that a run on the virtual tool never starts libusb.
LibusbTool &libusbTool()
{
    static LibusbTool tool(std::make_unique<LibusbTransport>());
    return tool;
}
} // namespace

UsbLibrary &linkedUsbLibrary()
{
    if (virtualChosen)
        return virtualTool();
    return libusbTool();
}

ToolLister &chosenToolLister()
{
    // The virtual tool is known by its serial and product strings alone.
    static UsbLibraryLister virtualLister;
    if (virtualChosen)
        return virtualLister;
    static LibusbLister realLister(libusbTool());
    return realLister;
}
