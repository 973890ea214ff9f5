#pragma once

#include "UsbLibrary.h"

// The library this test program is linked with is whichever the running test chose.
void useUsbLibrary(UsbLibrary &library);
