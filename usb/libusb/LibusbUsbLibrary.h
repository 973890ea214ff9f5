#pragma once

#include "ToolUsbIds.h"
#include "UsbLibrary.h"
#include "UsbTransport.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The eight operations over a USB transport. A device counts as a tool when its IDs are in the
// tool ID list and one of its interfaces is vendor-specific with exactly one bulk IN and one bulk
// OUT endpoint; no other device is ever opened or asked for a string. Indices refer to the
// devices of the last count.
//
// Tools take the control requests of their protocol (ToolProtocol.h) around the claimed
// interface.
class LibusbUsbLibrary final : public UsbLibrary {
public:
    // How long a write may take, and how long a read waits for the rest of a reply (in device
    // time, which tests drive).
    static constexpr std::chrono::milliseconds kTransferTimeout{1000};
    // How long a queue query or a purge waits for bytes on the IN endpoint (libusb reads 0 as
    // "no limit", so this is the shortest there is).
    static constexpr std::chrono::milliseconds kPollTimeout{1};
    // IN transfers ask for whole packets, so that a device never sends more than was asked for.
    static constexpr int kPacketsPerTransfer = 4;

    // Statuses of the library's own; a libusb error e becomes kLibusbErrorBase - e.
    static constexpr UsbStatus kInvalidHandle = 0x01;
    static constexpr UsbStatus kInvalidParameter = 0x02;
    static constexpr UsbStatus kIncompleteWrite = 0x03;
    static constexpr UsbStatus kStillReceiving = 0x04; // a purge that never saw the end
    static constexpr UsbStatus kLibusbErrorBase = 0x100;

    static UsbStatus statusOf(int libusbError);

    explicit LibusbUsbLibrary(std::unique_ptr<UsbTransport> transport,
                              std::vector<UsbId> toolIds = toolUsbIds());
    ~LibusbUsbLibrary() override;
    LibusbUsbLibrary(const LibusbUsbLibrary &) = delete;
    LibusbUsbLibrary &operator=(const LibusbUsbLibrary &) = delete;

    // One attached device as a listing shows it.
    struct Listing {
        UsbId id;
        std::string location;        // "<bus>-<port>[.<port>...]"
        std::string serial, product; // empty when unknown
        bool inIdList = false;       // in the tool ID list; others are never opened
        bool accessible = false;     // opening it was not refused for lack of permission
        std::uint32_t index = 0;     // a tool's index for UsbOpenByIndex
    };
    // Counts the tools anew and lists them in index order; withOthers adds the devices outside
    // the ID list that have a tool's interface, with what the kernel knows of them.
    UsbStatus listDevices(bool withOthers, std::vector<Listing> &listing);

    UsbStatus UsbDeviceCount(std::uint32_t *count) override;
    UsbStatus UsbDeviceString(std::uint32_t index, UsbStringBuffer &text,
                              std::uint32_t selector) override;
    UsbStatus UsbOpenByIndex(std::uint32_t index, UsbHandle *handle) override;
    UsbStatus UsbCloseHandle(UsbHandle handle) override;
    UsbStatus UsbReadBlock(UsbHandle handle, std::uint8_t *buffer, std::uint32_t bytesToRead,
                           std::uint32_t *bytesRead, std::uint32_t reserved) override;
    UsbStatus UsbWriteBlock(UsbHandle handle, const std::uint8_t *buffer,
                            std::uint32_t bytesToWrite, std::uint32_t *bytesWritten,
                            std::uint32_t reserved) override;
    UsbStatus UsbPurge(UsbHandle handle, std::uint8_t purgeReceive,
                       std::uint8_t purgeTransmit) override;
    UsbStatus UsbQueueStatus(UsbHandle handle, std::uint32_t *bytesWaiting,
                             std::uint32_t *queueStatus) override;

private:
    struct ToolInterface {
        std::uint8_t number = 0;
        std::uint8_t in = 0;
        std::uint8_t out = 0;
        std::uint16_t inPacketSize = 0;
    };

    struct CountedTool {
        std::shared_ptr<UsbTransportDevice> device;
        UsbDeviceDescription description;
        ToolInterface interface;
    };

    struct OpenTool {
        std::shared_ptr<UsbTransportDevice> device;
        std::unique_ptr<UsbTransportConnection> connection;
        ToolInterface interface;
        bool driverDetached = false;
        std::deque<std::uint8_t> received; // read from the IN endpoint, not yet handed out
    };

    static bool findToolInterface(const UsbDeviceDescription &description, ToolInterface *found);
    bool hasToolId(const UsbDeviceDescription &description) const;
    // A control request without data; a stall counts as success.
    static int vendorRequest(UsbTransportConnection &connection, std::uint8_t request,
                             std::uint16_t value);
    // Enables the claimed tool, clears any halt on its endpoints and starts its serving them.
    static int startServing(OpenTool &tool);
    OpenTool *openTool(UsbHandle handle);
    UsbHandle newHandle();
    // One IN transfer into the receive buffer; returns its libusb error code.
    int receive(OpenTool &tool, std::chrono::milliseconds timeout);
    // Stops the tool, releases its interface and hands it back to its kernel driver; the
    // connection itself closes when the OpenTool goes.
    static void closeTool(OpenTool &tool, int *releaseError);

    // Declared first so that it outlives every device and connection it handed out.
    std::unique_ptr<UsbTransport> transport_;
    std::vector<UsbId> toolIds_;
    std::vector<CountedTool> listed_;
    std::map<UsbHandle, OpenTool> open_;
    UsbHandle nextHandle_ = 1;
};
