#pragma once

#include <functional>

// The device link reports its failures at once, one fixed text per box. The application installs
// the handler that shows them; with none installed the warning is dropped.
using DeviceWarningHandler = std::function<void(const char *text)>;

void setDeviceWarningHandler(DeviceWarningHandler handler);
void ShowDeviceWarning(const char *text);
