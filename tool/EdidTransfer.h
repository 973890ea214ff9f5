#pragma once

#include "EdidImage.h"

#include <functional>

// Progress of a transfer as (value, maximum); a value of 0 asks for the display to be hidden.
using TransferProgress = std::function<void(int value, int maximum)>;

enum class TransferResult {
    Completed,    // every command of the transfer was answered
    ToolNotFound, // the tool could not be opened; the device link has shown its own warnings
    Interrupted,  // an exchange failed or got no reply: nothing further was sent
};

// The read's progress runs 0, 16, ..., 240 of this maximum: the bar never reaches its end.
constexpr int kReadProgressMaximum = 255;

// Opens the tool, reads the 256-byte image at SelectedEdidAddress (taken afresh for every
// command) into image in sixteen commands and, when all were answered, asks for the tool's
// counters; closes the tool. Only a completed read fills the whole image.
TransferResult readEdidFromTool(EdidImage &image, const TransferProgress &progress);

// Opens the tool, writes the image into the image at SelectedEdidAddress in thirty-two rows of
// eight bytes, pausing after each row, and closes the tool.
TransferResult writeEdidToTool(const EdidImage &image, const TransferProgress &progress);
