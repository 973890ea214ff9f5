// varnex-edid-utility: the window on real tools attached over USB, through libusb.
#include "LibusbTransport.h"
#include "LibusbUsbLibrary.h"
#include "MainWindow.h"
#include "UsbAccess.h"

int main(int argc, char *argv[])
{
    // Static, so that it is released when Exit ends the process.
    static LibusbUsbLibrary usb(std::make_unique<LibusbTransport>());
    useUsbLibrary(&usb);
    return runUtilityWindow(argc, argv);
}
