// varnex-edid-utility-virtual: the window on a virtual tool held in memory, to try and show the
// utility without hardware.
#include "MainWindow.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

int main(int argc, char *argv[])
{
    static VirtualTool usb;
    useUsbLibrary(&usb);
    return runUtilityWindow(argc, argv);
}
