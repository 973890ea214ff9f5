#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The few libusb-1.0 calls the library is built on, behind interfaces so that a scripted device
// can stand in for a real one. Every int result is a libusb error code: 0 or a LIBUSB_ERROR_*.

struct UsbEndpointDescription {
    std::uint8_t address = 0;    // bit 7 set for an IN endpoint
    std::uint8_t attributes = 0; // transfer type in bits 0 and 1
    std::uint16_t maxPacketSize = 0;
};

struct UsbInterfaceDescription {
    std::uint8_t number = 0;
    std::uint8_t interfaceClass = 0;
    std::vector<UsbEndpointDescription> endpoints; // of its first alternate setting
};

struct UsbDeviceDescription {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t serialStringIndex = 0; // 0: the device has no such string
    std::uint8_t productStringIndex = 0;
    std::vector<UsbInterfaceDescription> interfaces; // of the active configuration
};

// An opened device; destroying it closes the device.
class UsbTransportConnection {
public:
    virtual ~UsbTransportConnection() = default;

    virtual int kernelDriverActive(std::uint8_t interfaceNumber) = 0; // 1, 0 or an error
    virtual int detachKernelDriver(std::uint8_t interfaceNumber) = 0;
    virtual int attachKernelDriver(std::uint8_t interfaceNumber) = 0;
    virtual int claimInterface(std::uint8_t interfaceNumber) = 0;
    virtual int releaseInterface(std::uint8_t interfaceNumber) = 0;
    virtual int stringDescriptor(std::uint8_t index, std::string &text) = 0;
    // A control request without a data stage.
    virtual int controlOut(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                           std::uint16_t index) = 0;
    virtual int clearHalt(std::uint8_t endpoint) = 0;
    // Bytes moved before an error or a time-out are counted in transferred as well.
    virtual int bulkTransfer(std::uint8_t endpoint, std::uint8_t *data, int length,
                             int *transferred, unsigned timeoutMs) = 0;
};

// One attached device as the last listing found it.
class UsbTransportDevice {
public:
    virtual ~UsbTransportDevice() = default;

    // Reads the descriptors without opening the device.
    virtual int describe(UsbDeviceDescription &description) = 0;
    virtual int open(std::unique_ptr<UsbTransportConnection> &connection) = 0;
    // A string the kernel kept when the device was attached ("serial", "product"); false if none.
    virtual bool kernelString(const std::string &attribute, std::string &text) = 0;
    // Where the device is attached: "<bus>-<port>[.<port>...]", as the kernel names it.
    virtual std::string location() = 0;
};

class UsbTransport {
public:
    virtual ~UsbTransport() = default;

    virtual int listDevices(std::vector<std::shared_ptr<UsbTransportDevice>> &devices) = 0;
};
