#pragma once

#include "EdidImage.h"
#include "EdidSources.h"

#include <QString>

#include <array>
#include <optional>

class Console;

// The names of the tool's EDID sources on the command line, in the order of kEdidSources.
inline constexpr std::array<const char *, kEdidSources.size()> kSourceNames{
    "current", "sink", "custom6", "custom7", "custom8"};

std::optional<std::size_t> sourceIndex(const QString &name);

// Reads and writes the tool's sources with the window's command sequences. Each call opens and
// closes the tool, tells on the console what went wrong and returns an exit code.
class ToolSession {
public:
    // statePath: the virtual tool's state file; empty for real tools.
    ToolSession(Console &console, QString statePath);

    int read(std::size_t source, EdidImage &image);
    int write(std::size_t source, const EdidImage &image);

private:
    int loadState();

    Console &console_;
    QString statePath_;
    bool stateLoaded_ = false;
};
