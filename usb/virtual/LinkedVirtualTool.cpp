#include "VirtualTool.h"

VirtualTool &virtualTool()
{
    static VirtualTool tool;
    return tool;
}

UsbLibrary &linkedUsbLibrary()
{
    return virtualTool();
}
