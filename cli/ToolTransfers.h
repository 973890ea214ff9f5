#pragma once

#include "EdidImage.h"
#include "VirtualState.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

class Console;
class ToolLister;
class VirtualTool;

// Reads and writes the tool's sources with the window's command sequences. Each call opens and
// closes the tool, tells on the console what went wrong and returns an exit code.
class ToolTransfers {
public:
    // lister: the tools of the chosen USB library, to tell why none could be opened.
    // virtualTool: the virtual tool when it is the chosen library, with its state file; else
    // nullptr. device: the index chosen with --device, else the tool is found by its serial.
    ToolTransfers(Console &console, ToolLister &lister, VirtualTool *virtualTool, QString statePath,
                  std::optional<std::uint32_t> device);

    int read(std::size_t source, EdidImage &image);
    int write(std::size_t source, const EdidImage &image);

private:
    int loadState();
    // Says why no tool could be opened, with the exit status for it: none there or no access
    // (3), or a tool there that failed to open (4).
    int toolNotOpened();

    Console &console_;
    ToolLister &lister_;
    VirtualTool *virtualTool_;
    QString statePath_;
    std::optional<std::uint32_t> device_;
    bool stateLoaded_ = false;
    VirtualStateLock stateLock_; // held from the state's load to the run's end
};
