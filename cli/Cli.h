#pragma once

#include <QStringList>

#include <functional>

class Console;
class LibusbUsbLibrary;
class VirtualTool;

// The USB libraries a run may talk through: the virtual tool with --virtual, else real tools.
struct UsbLibraries {
    VirtualTool &virtualTool;
    // Made on first use only, so that a run on the virtual tool never starts libusb.
    std::function<LibusbUsbLibrary &()> libusb;
};

// Runs the program with these arguments (the first is the program's name) and returns its exit
// code. Needs a QCoreApplication.
int runCli(const QStringList &arguments, Console &console, const UsbLibraries &libraries);
