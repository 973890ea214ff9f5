#include "DeviceWarning.h"

#include <utility>

namespace {
DeviceWarningHandler &installedHandler()
{
    static DeviceWarningHandler handler;
    return handler;
}
} // namespace

void setDeviceWarningHandler(DeviceWarningHandler handler)
{
    installedHandler() = std::move(handler);
}

void ShowDeviceWarning(const char *text)
{
    if (installedHandler())
        installedHandler()(text);
}
