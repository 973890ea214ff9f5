#pragma once

#include "ToolList.h"

// The program talks to real tools through libusb, or with --virtual to the virtual tool; the
// choice is made once, before the first call into the USB library.
void useVirtualTool(bool chosen);

// Lists the tools of the chosen library.
ToolLister &chosenToolLister();
