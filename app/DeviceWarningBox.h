#pragma once

// Shows the device link's warnings in a parentless, application-modal warning box.
void installDeviceWarningBox();
