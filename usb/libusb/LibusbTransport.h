#pragma once

#include "UsbTransport.h"

#include <memory>

struct LibusbSession;

// The transport over libusb-1.0 itself. The libusb context is made on first use and lives as
// long as the transport or any device or connection it handed out.
class LibusbTransport final : public UsbTransport {
public:
    LibusbTransport();
    ~LibusbTransport() override;

    int listDevices(std::vector<std::shared_ptr<UsbTransportDevice>> &devices) override;

private:
    std::shared_ptr<LibusbSession> session_;
};
