#pragma once

#include "DeviceWarning.h"

#include <string>
#include <vector>

// Collects the device link's warnings instead of showing them, for as long as it lives.
class WarningRecorder {
public:
    WarningRecorder()
    {
        setDeviceWarningHandler([this](const char *text) { warnings.emplace_back(text); });
    }
    ~WarningRecorder() { setDeviceWarningHandler(nullptr); }
    WarningRecorder(const WarningRecorder &) = delete;
    WarningRecorder &operator=(const WarningRecorder &) = delete;

    std::vector<std::string> warnings;
};
