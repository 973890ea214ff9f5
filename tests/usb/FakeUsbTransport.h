#pragma once

#include "UsbTransport.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

// One answer of the device to an IN transfer: the bytes it delivered and the status with them.
struct FakeInTransfer {
    std::vector<std::uint8_t> bytes;
    int error = LIBUSB_SUCCESS;
};

// A scripted USB device: its descriptors and strings, what its IN endpoint delivers, the
// failures it is told to give, and a record of what was done to it.
struct FakeUsbDevice {
    UsbDeviceDescription description;
    std::map<std::uint8_t, std::string> strings;      // string descriptors by index
    std::map<std::string, std::string> kernelStrings; // what sysfs would show
    int describeError = 0, openError = 0, detachError = 0, claimError = 0, releaseError = 0;
    int stringError = 0, outError = 0;
    int outAccepted = -1; // bytes of an OUT block that get through; -1: all
    bool driverBound = false;
    bool unplugged = false; // from now on every call fails as for a device that is gone
    int unplugAtOut = 0;    // the nth OUT block finds the device gone
    // IN transfers take the scripted answers first, then ask the source; with neither, nothing
    // arrives and the transfer times out after its time-out, as on a bus.
    std::deque<FakeInTransfer> inScript;
    std::function<FakeInTransfer(int length)> inSource;
    std::function<void(const std::vector<std::uint8_t> &)> onOut;

    std::vector<std::string> calls; // "open", "claim 0", "release 0", "close", ...
    std::vector<std::vector<std::uint8_t>> outBlocks;
    std::vector<int> inLengths;
    std::vector<unsigned> inTimeouts, outTimeouts;
    int openConnections = 0;
    int outCalls = 0;

    // A device shaped like the tool: interface 0 vendor-specific with bulk IN 0x81, bulk OUT 0x02.
    static FakeUsbDevice tool(const std::string &serial, const std::string &product = "HDMI",
                              std::uint16_t packetSize = 64)
    {
        FakeUsbDevice device;
        device.description.serialStringIndex = 3;
        device.description.productStringIndex = 2;
        device.description.interfaces = {{0,
                                          LIBUSB_CLASS_VENDOR_SPEC,
                                          {{0x81, LIBUSB_TRANSFER_TYPE_BULK, packetSize},
                                           {0x02, LIBUSB_TRANSFER_TYPE_BULK, packetSize}}}};
        device.strings = {{3, serial}, {2, product}};
        return device;
    }
};

class FakeConnection final : public UsbTransportConnection {
public:
    explicit FakeConnection(FakeUsbDevice &device) : d_(device) { ++d_.openConnections; }
    ~FakeConnection() override
    {
        --d_.openConnections;
        d_.calls.push_back("close");
    }
    int kernelDriverActive(std::uint8_t) override { return failure(d_.driverBound ? 1 : 0); }
    int detachKernelDriver(std::uint8_t n) override
    {
        return record("detach", n, d_.detachError, [this] { d_.driverBound = false; });
    }
    int attachKernelDriver(std::uint8_t n) override
    {
        return record("attach", n, 0, [this] { d_.driverBound = true; });
    }
    int claimInterface(std::uint8_t n) override
    {
        return record("claim", n, d_.driverBound ? LIBUSB_ERROR_BUSY : d_.claimError, [] {});
    }
    int releaseInterface(std::uint8_t n) override
    {
        return record("release", n, d_.releaseError, [] {});
    }
    int stringDescriptor(std::uint8_t index, std::string &text) override
    {
        if (const int error = failure(d_.stringError))
            return error;
        const auto found = d_.strings.find(index);
        if (found == d_.strings.end())
            return LIBUSB_ERROR_PIPE;
        text = found->second;
        return LIBUSB_SUCCESS;
    }
    int bulkTransfer(std::uint8_t endpoint, std::uint8_t *data, int length, int *transferred,
                     unsigned timeoutMs) override
    {
        *transferred = 0;
        if ((endpoint & LIBUSB_ENDPOINT_IN) == 0 && ++d_.outCalls == d_.unplugAtOut)
            d_.unplugged = true;
        if (const int error = failure(LIBUSB_SUCCESS))
            return error;
        if ((endpoint & LIBUSB_ENDPOINT_IN) == 0) {
            d_.outTimeouts.push_back(timeoutMs);
            *transferred = d_.outAccepted < 0 ? length : std::min(length, d_.outAccepted);
            if (*transferred > 0)
                d_.outBlocks.emplace_back(data, data + *transferred);
            if (d_.outError)
                return d_.outError;
            if (d_.onOut)
                d_.onOut(d_.outBlocks.back());
            return LIBUSB_SUCCESS;
        }
        d_.inLengths.push_back(length);
        d_.inTimeouts.push_back(timeoutMs);
        FakeInTransfer answer{{}, LIBUSB_ERROR_TIMEOUT};
        if (!d_.inScript.empty()) {
            answer = d_.inScript.front();
            d_.inScript.pop_front();
        } else if (d_.inSource) {
            answer = d_.inSource(length);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        }
        if (static_cast<int>(answer.bytes.size()) > length)
            return LIBUSB_ERROR_OVERFLOW; // the device sent more than was asked for
        std::copy(answer.bytes.begin(), answer.bytes.end(), data);
        *transferred = static_cast<int>(answer.bytes.size());
        return answer.error;
    }

private:
    // A device that is gone answers everything with NO_DEVICE.
    int failure(int error) const { return d_.unplugged ? LIBUSB_ERROR_NO_DEVICE : error; }
    template <typename Effect>
    int record(const char *what, std::uint8_t n, int error, Effect effect)
    {
        d_.calls.push_back(std::string(what) + " " + std::to_string(n));
        if (const int failed = failure(error))
            return failed;
        effect();
        return LIBUSB_SUCCESS;
    }

    FakeUsbDevice &d_;
};

class FakeTransportDevice final : public UsbTransportDevice {
public:
    explicit FakeTransportDevice(FakeUsbDevice &device) : d_(device) {}
    int describe(UsbDeviceDescription &description) override
    {
        description = d_.description;
        return d_.describeError;
    }
    int open(std::unique_ptr<UsbTransportConnection> &connection) override
    {
        d_.calls.push_back("open");
        if (d_.unplugged || d_.openError)
            return d_.unplugged ? LIBUSB_ERROR_NO_DEVICE : d_.openError;
        connection = std::make_unique<FakeConnection>(d_);
        return LIBUSB_SUCCESS;
    }
    bool kernelString(const std::string &attribute, std::string &text) override
    {
        const auto found = d_.kernelStrings.find(attribute);
        if (found == d_.kernelStrings.end())
            return false;
        text = found->second;
        return true;
    }

private:
    FakeUsbDevice &d_;
};

// The bus the devices are attached to; it must outlive the library that lists them.
struct FakeUsbBus {
    std::deque<FakeUsbDevice> devices; // a deque keeps references valid as devices are added
    int listError = 0;
};

class FakeUsbTransport final : public UsbTransport {
public:
    explicit FakeUsbTransport(FakeUsbBus &bus) : bus_(bus) {}
    int listDevices(std::vector<std::shared_ptr<UsbTransportDevice>> &devices) override
    {
        devices.clear();
        for (FakeUsbDevice &device : bus_.devices) {
            if (!device.unplugged)
                devices.push_back(std::make_shared<FakeTransportDevice>(device));
        }
        return bus_.listError;
    }

private:
    FakeUsbBus &bus_;
};
