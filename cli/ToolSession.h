#pragma once

#include "EdidImage.h"
#include "EdidSources.h"
#include "VirtualState.h"

#include <QString>

#include <array>
#include <optional>

class Console;

// The index in kEdidSources of the source with this command-line name.
std::optional<std::size_t> sourceIndex(const QString &name);

// Reads and writes the tool's sources with the window's command sequences. Each call opens and
// closes the tool, tells on the console what went wrong and returns an exit code.
class ToolSession {
public:
    // statePath: the virtual tool's state file; empty for real tools. device: the index chosen
    // with --device, else the tool is found by its serial string.
    ToolSession(Console &console, QString statePath, std::optional<std::uint32_t> device);

    int read(std::size_t source, EdidImage &image);
    int write(std::size_t source, const EdidImage &image);

private:
    int loadState();
    // Says why no tool could be opened, with the exit status for it: none there or no access
    // (3), or a tool there that failed to open (4).
    int toolNotOpened();

    Console &console_;
    QString statePath_;
    std::optional<std::uint32_t> device_;
    bool stateLoaded_ = false;
    VirtualStateLock stateLock_; // held from the state's load to the run's end
};
