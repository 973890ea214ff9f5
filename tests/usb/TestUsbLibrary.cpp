#include "TestUsbLibrary.h"

namespace {
UsbLibrary *chosen = nullptr;
} // namespace

void useUsbLibrary(UsbLibrary &library)
{
    chosen = &library;
}

UsbLibrary &linkedUsbLibrary()
{
    return *chosen;
}
