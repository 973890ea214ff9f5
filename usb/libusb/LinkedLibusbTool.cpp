#include "LibusbTool.h"
#include "LibusbTransport.h"

UsbLibrary &linkedUsbLibrary()
{
    static LibusbTool tool(std::make_unique<LibusbTransport>());
    return tool;
}
