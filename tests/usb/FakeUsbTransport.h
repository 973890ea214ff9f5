#pragma once

#include "DeviceClock.h"
#include "LibusbTool.h"
#include "UsbTransport.h"
#include "VirtualTool.h"

#include <QStringList>
#include <libusb.h>

#include <deque>
#include <functional>
#include <map>

using Bytes = std::vector<std::uint8_t>;

// One answer of the device to an IN transfer: the bytes it delivered and the status with them.
struct FakeInTransfer {
    Bytes bytes;
    int error = LIBUSB_SUCCESS;
};

// A scripted USB device: its descriptors and strings, what its IN endpoint delivers, the errors
// its calls are told to give, and a record of what was done to it. Unless told otherwise it is
// the tool: 10C4:EA61, interface 0 vendor-specific with bulk IN 0x81 and bulk OUT 0x02, serial
// "2011".
struct FakeUsbDevice final : UsbTransportDevice {
    // clang-format off
    UsbDeviceDescription description{0x10C4, 0xEA61, 3, 2, {{0, LIBUSB_CLASS_VENDOR_SPEC, {{0x81, LIBUSB_TRANSFER_TYPE_BULK, 64}, {0x02, LIBUSB_TRANSFER_TYPE_BULK, 64}}}}};
    // clang-format on
    std::map<std::uint8_t, std::string> strings{{3, "2011"}, {2, "HDMI"}}; // by index
    std::map<std::string, std::string> kernelStrings;                      // what sysfs would show
    // By call as recorded ("request 02 0002") or by its first word ("claim", "out", "describe").
    std::map<std::string, int> errors;
    int outAccepted = -1; // bytes of an OUT block that get through; -1: all
    bool driverBound = false;
    bool unplugged = false; // from now on every call fails as for a device that is gone
    // The nth OUT block finds the device gone; or gets through, and then the device is gone.
    int goneAtOut = 0, goneAfterOut = 0;
    // IN transfers take the scripted answers first, then ask the source; with neither, nothing
    // arrives and the transfer times out after its time-out, as on a bus.
    std::deque<FakeInTransfer> inScript;
    std::function<FakeInTransfer(int length)> inSource;
    std::function<void(const Bytes &)> onOut;

    QStringList calls; // "open", "claim 0", "request 02 0002", "clear-halt 81", "close", ...
    std::vector<int> inLengths;
    std::vector<unsigned> outTimeouts;
    int openConnections = 0, outCalls = 0;

    // Records a call; one that succeeds may bind or unbind the kernel driver.
    int record(const QString &call, int bindsDriver = -1)
    {
        calls << call;
        const std::string key = call.toStdString();
        const int failed = unplugged           ? LIBUSB_ERROR_NO_DEVICE
                           : errors.count(key) ? errors[key]
                                               : errors[call.section(' ', 0, 0).toStdString()];
        if (failed == 0 && bindsDriver >= 0)
            driverBound = bindsDriver == 1;
        return failed;
    }

    int describe(UsbDeviceDescription &found) override
    {
        found = description;
        return errors["describe"];
    }
    int open(std::unique_ptr<UsbTransportConnection> &connection) override;
    bool kernelString(const std::string &attribute, std::string &text) override
    {
        text = kernelStrings[attribute];
        return !text.empty(); // an empty one stands for none
    }
    std::string location() override { return "1-2"; }
};

class FakeConnection final : public UsbTransportConnection {
public:
    explicit FakeConnection(FakeUsbDevice &device) : d_(device) { ++d_.openConnections; }
    ~FakeConnection() override
    {
        --d_.openConnections;
        d_.calls << QStringLiteral("close");
    }
    int kernelDriverActive(std::uint8_t) override { return d_.driverBound; }
    int detachKernelDriver(std::uint8_t n) override { return d_.record(call("detach", n), 0); }
    int attachKernelDriver(std::uint8_t n) override { return d_.record(call("attach", n), 1); }
    int claimInterface(std::uint8_t n) override
    {
        const int error = d_.record(call("claim", n));
        return error == 0 && d_.driverBound ? LIBUSB_ERROR_BUSY : error;
    }
    int releaseInterface(std::uint8_t n) override { return d_.record(call("release", n)); }
    int stringDescriptor(std::uint8_t index, std::string &text) override
    {
        text = d_.strings[index];
        return d_.unplugged ? LIBUSB_ERROR_NO_DEVICE : d_.errors["string"];
    }
    int controlOut(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                   std::uint16_t index) override
    {
        return d_.record(
            type == 0x40 && index == 0
                ? QString::asprintf("request %02X %04X", request, value)
                : QString::asprintf("control %02X %02X %04X %04X", type, request, value, index));
    }
    int clearHalt(std::uint8_t endpoint) override
    {
        return d_.record(QString::asprintf("clear-halt %02X", endpoint));
    }
    int bulkTransfer(std::uint8_t endpoint, std::uint8_t *data, int length, int *transferred,
                     unsigned timeoutMs) override
    {
        *transferred = 0;
        const bool out = (endpoint & LIBUSB_ENDPOINT_IN) == 0;
        if (out && ++d_.outCalls == d_.goneAtOut)
            d_.unplugged = true;
        if (d_.unplugged)
            return LIBUSB_ERROR_NO_DEVICE;
        if (out) {
            d_.outTimeouts.push_back(timeoutMs);
            *transferred = d_.outAccepted < 0 ? length : std::min(length, d_.outAccepted);
            if (const int error = d_.errors["out"])
                return error;
            if (d_.onOut)
                d_.onOut(Bytes(data, data + *transferred));
            d_.unplugged = d_.outCalls == d_.goneAfterOut;
            return LIBUSB_SUCCESS;
        }
        d_.inLengths.push_back(length);
        if (d_.inScript.empty() && !d_.inSource) // nothing arrives before the time-out
            deviceClock().sleepFor(std::chrono::milliseconds(timeoutMs));
        const FakeInTransfer answer = !d_.inScript.empty() ? d_.inScript.front()
                                      : d_.inSource        ? d_.inSource(length)
                                                    : FakeInTransfer{{}, LIBUSB_ERROR_TIMEOUT};
        if (!d_.inScript.empty())
            d_.inScript.pop_front();
        if (static_cast<int>(answer.bytes.size()) > length)
            return LIBUSB_ERROR_OVERFLOW; // the device sent more than was asked for
        std::copy(answer.bytes.begin(), answer.bytes.end(), data);
        *transferred = static_cast<int>(answer.bytes.size());
        return answer.error;
    }

private:
    static QString call(const char *name, std::uint8_t interface)
    {
        return QString::asprintf("%s %d", name, interface);
    }

    FakeUsbDevice &d_;
};

inline int FakeUsbDevice::open(std::unique_ptr<UsbTransportConnection> &connection)
{
    if (const int failed = record(QStringLiteral("open")))
        return failed;
    connection = std::make_unique<FakeConnection>(*this);
    return LIBUSB_SUCCESS;
}

// The bus the devices are attached to. The library it is given to owns it, and so it outlives
// every device and connection the library holds.
struct FakeUsbBus final : UsbTransport {
    std::deque<FakeUsbDevice> devices; // a deque keeps references valid as devices are added
    int listError = 0;

    int listDevices(std::vector<std::shared_ptr<UsbTransportDevice>> &listed) override
    {
        listed.clear();
        for (FakeUsbDevice &device : devices) {
            if (!device.unplugged) // the bus holds the device: the listing only points at it
                listed.push_back(
                    std::shared_ptr<UsbTransportDevice>(std::shared_ptr<void>(), &device));
        }
        return listError;
    }
};

// A library over a fake bus, which the library owns; the tool IDs are those built in and those
// the environment adds.
struct Rig {
    FakeUsbBus &bus = *new FakeUsbBus;
    LibusbTool usb{std::unique_ptr<UsbTransport>(&bus)};

    std::uint32_t count()
    {
        std::uint32_t count = 0;
        return usb.UsbDeviceCount(&count) == kUsbSuccess ? count : 0xFFFFFFFF;
    }
};

// A tool on the fake bus whose firmware is a virtual tool: each command block goes to it, and its
// reply comes back in pieces of at most five bytes, each with a time-out status.
struct ToolOnFakeBus : Rig {
    VirtualTool firmware;
    UsbHandle handle = kNoUsbHandle;
    FakeUsbDevice &device = bus.devices.emplace_back();

    ToolOnFakeBus()
    {
        firmware.UsbOpenByIndex(0, &handle);
        device.onOut = [this](const Bytes &block) {
            std::uint32_t n = 0;
            Bytes reply(64);
            firmware.UsbWriteBlock(handle, block.data(), std::uint32_t(block.size()), &n, 0);
            firmware.UsbReadBlock(handle, reply.data(), 64, &n, 0);
            for (std::uint32_t i = 0; i < n; i += 5)
                device.inScript.push_back(
                    {Bytes(&reply[i], &reply[std::min(n, i + 5)]), LIBUSB_ERROR_TIMEOUT});
        };
    }
};
