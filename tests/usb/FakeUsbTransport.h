#pragma once

#include "DeviceClock.h"
#include "LibusbUsbLibrary.h"
#include "UsbTransport.h"
#include "VirtualTool.h"

#include <QStringList>
#include <libusb.h>

#include <deque>
#include <functional>
#include <map>

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kBulk = LIBUSB_TRANSFER_TYPE_BULK;
constexpr std::uint8_t kInterrupt = LIBUSB_TRANSFER_TYPE_INTERRUPT;
constexpr std::uint8_t kVendor = LIBUSB_CLASS_VENDOR_SPEC;

// One answer of the device to an IN transfer: the bytes it delivered and the status with them.
struct FakeInTransfer {
    Bytes bytes;
    int error = LIBUSB_SUCCESS;
};

// A scripted USB device: its descriptors and strings, the errors its calls give, and a record of
// what was done to it. Unless told otherwise it is a tool (10C4:EA61, interface 0 vendor-specific
// with bulk IN 0x81 and bulk OUT 0x02, serial "2011") whose firmware is a virtual tool: each OUT
// block goes to it, and the reply comes back in pieces of at most five bytes, each with a
// time-out status, as from a slow device.
struct FakeUsbDevice final : UsbTransportDevice {
    UsbDeviceDescription description{
        0x10C4, 0xEA61, 3, 2, {{0, kVendor, {{0x81, kBulk, 64}, {0x02, kBulk, 64}}}}};
    std::map<std::uint8_t, std::string> strings{{3, "2011"}, {2, "HDMI"}}; // by index
    std::map<std::string, std::string> kernelStrings;                      // what sysfs would show
    // By call as recorded ("request 02 0002") or by its first word ("claim", "out", "describe").
    std::map<std::string, int> errors;
    bool driverBound = false;
    bool unplugged = false; // from now on every call fails as for a device that is gone
    // The nth OUT block finds the device gone; or gets through, and then the device is gone.
    int goneAtOut = 0, goneAfterOut = 0;
    VirtualTool firmware;
    UsbHandle firmwareHandle = kNoUsbHandle;
    int longReply = 0; // the reply to this OUT block gets a byte more, as from a faulty firmware
    std::deque<FakeInTransfer> inScript; // what IN transfers deliver; then nothing arrives

    QStringList calls; // "open", "claim 0", "request 02 0002", "clear-halt 81", "close", ...
    int openConnections = 0, outCalls = 0;

    FakeUsbDevice() { firmware.UsbOpenByIndex(0, &firmwareHandle); }
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
    // The firmware's reply to an OUT block, queued in pieces.
    void answer(const Bytes &block)
    {
        std::uint32_t n = 0;
        Bytes reply(64);
        firmware.UsbWriteBlock(firmwareHandle, block.data(), std::uint32_t(block.size()), &n, 0);
        firmware.UsbReadBlock(firmwareHandle, reply.data(), 64, &n, 0);
        reply.resize(n);
        if (outCalls == longReply)
            reply.push_back(0x99);
        for (std::size_t i = 0; i < reply.size(); i += 5)
            inScript.push_back(
                {Bytes(reply.begin() + i, reply.begin() + std::min(reply.size(), i + 5)),
                 LIBUSB_ERROR_TIMEOUT});
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
    int detachKernelDriver(std::uint8_t n) override
    {
        return d_.record(QString::asprintf("detach %d", n), 0);
    }
    int attachKernelDriver(std::uint8_t n) override
    {
        return d_.record(QString::asprintf("attach %d", n), 1);
    }
    int claimInterface(std::uint8_t n) override
    {
        const int error = d_.record(QString::asprintf("claim %d", n));
        return error == 0 && d_.driverBound ? LIBUSB_ERROR_BUSY : error;
    }
    int releaseInterface(std::uint8_t n) override
    {
        return d_.record(QString::asprintf("release %d", n));
    }
    int stringDescriptor(std::uint8_t index, std::string &text) override
    {
        text = d_.strings[index];
        return d_.unplugged ? LIBUSB_ERROR_NO_DEVICE : d_.errors["string"];
    }
    int controlOut(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                   std::uint16_t index) override
    {
        const bool vendorOut = type == 0x40 && index == 0; // the only kind a tool is sent
        return d_.record(
            QString::asprintf("request %02X %04X%s", request, value, vendorOut ? "" : " ?"));
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
            // Writes must have a bounded time-out: libusb reads 0 as "wait for ever".
            if (timeoutMs == 0 || timeoutMs > 5000)
                return LIBUSB_ERROR_INVALID_PARAM;
            *transferred = length;
            d_.answer(Bytes(data, data + length));
            d_.unplugged = d_.outCalls == d_.goneAfterOut;
            return LIBUSB_SUCCESS;
        }
        if (d_.inScript.empty()) { // nothing arrives before the time-out
            deviceClock().sleepFor(std::chrono::milliseconds(timeoutMs));
            return LIBUSB_ERROR_TIMEOUT;
        }
        const FakeInTransfer answer = d_.inScript.front();
        d_.inScript.pop_front();
        if (static_cast<int>(answer.bytes.size()) > length)
            return LIBUSB_ERROR_OVERFLOW; // the device sent more than was asked for
        std::copy(answer.bytes.begin(), answer.bytes.end(), data);
        *transferred = static_cast<int>(answer.bytes.size());
        return answer.error;
    }

private:
    FakeUsbDevice &d_;
};

inline int FakeUsbDevice::open(std::unique_ptr<UsbTransportConnection> &connection)
{
    if (const int failed = record(QStringLiteral("open")))
        return failed;
    connection = std::make_unique<FakeConnection>(*this);
    return LIBUSB_SUCCESS;
}

// A bus with one device attached. The library it is given to owns it, so that it outlives every
// device and connection the library holds.
struct FakeUsbBus final : UsbTransport {
    FakeUsbDevice device;

    int listDevices(std::vector<std::shared_ptr<UsbTransportDevice>> &listed) override
    {
        listed.clear();
        if (!device.unplugged) // the bus holds the device: the listing only points at it
            listed.push_back(std::shared_ptr<UsbTransportDevice>(std::shared_ptr<void>(), &device));
        return LIBUSB_SUCCESS;
    }
};
