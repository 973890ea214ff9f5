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

UsbLibrary &linkedUsbLibrary()
{
    if (virtualChosen)
        return virtualTool();
    // Made on first use only, so that a run on the virtual tool never starts libusb.
    static LibusbTool tool(std::make_unique<LibusbTransport>());
    return tool;
}

ToolLister &chosenToolLister()
{
    // Both libraries are listed through the eight operations, which know serial and product.
    static UsbLibraryLister lister;
    return lister;
}
