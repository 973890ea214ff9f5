#include "LibusbTransport.h"

#include <libusb.h>

#include <fstream>
#include <iterator>
#include <string>

struct LibusbSession {
    libusb_context *context = nullptr;

    ~LibusbSession()
    {
        if (context)
            libusb_exit(context);
    }
};

namespace {

constexpr unsigned kControlTimeoutMs = 1000;

// The kernel's name of a device's place: "<bus>-<port>[.<port>...]"; empty for a root hub.
std::string kernelLocation(libusb_device *device)
{
    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth <= 0)
        return std::string();
    std::string location = std::to_string(libusb_get_bus_number(device));
    for (int i = 0; i < depth; ++i)
        location += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return location;
}

class LibusbConnection final : public UsbTransportConnection {
public:
    LibusbConnection(std::shared_ptr<LibusbSession> session, libusb_device_handle *handle)
        : session_(std::move(session)), handle_(handle)
    {}
    ~LibusbConnection() override { libusb_close(handle_); }
    LibusbConnection(const LibusbConnection &) = delete;
    LibusbConnection &operator=(const LibusbConnection &) = delete;

    int kernelDriverActive(std::uint8_t interfaceNumber) override
    {
        return libusb_kernel_driver_active(handle_, interfaceNumber);
    }
    int detachKernelDriver(std::uint8_t interfaceNumber) override
    {
        return libusb_detach_kernel_driver(handle_, interfaceNumber);
    }
    int attachKernelDriver(std::uint8_t interfaceNumber) override
    {
        return libusb_attach_kernel_driver(handle_, interfaceNumber);
    }
    int claimInterface(std::uint8_t interfaceNumber) override
    {
        return libusb_claim_interface(handle_, interfaceNumber);
    }
    int releaseInterface(std::uint8_t interfaceNumber) override
    {
        return libusb_release_interface(handle_, interfaceNumber);
    }
    int stringDescriptor(std::uint8_t index, std::string &text) override
    {
        unsigned char buffer[256];
        const int length =
            libusb_get_string_descriptor_ascii(handle_, index, buffer, sizeof buffer);
        if (length < 0)
            return length;
        text.assign(reinterpret_cast<const char *>(buffer), static_cast<std::size_t>(length));
        return LIBUSB_SUCCESS;
    }
    int controlOut(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                   std::uint16_t index) override
    {
        const int result = libusb_control_transfer(handle_, requestType, request, value, index,
                                                   nullptr, 0, kControlTimeoutMs);
        return result < 0 ? result : LIBUSB_SUCCESS;
    }
    int clearHalt(std::uint8_t endpoint) override { return libusb_clear_halt(handle_, endpoint); }
    int bulkTransfer(std::uint8_t endpoint, std::uint8_t *data, int length, int *transferred,
                     unsigned timeoutMs) override
    {
        return libusb_bulk_transfer(handle_, endpoint, data, length, transferred, timeoutMs);
    }

private:
    std::shared_ptr<LibusbSession> session_; // closed before the context ends
    libusb_device_handle *handle_;
};

class LibusbDevice final : public UsbTransportDevice {
public:
    LibusbDevice(std::shared_ptr<LibusbSession> session, libusb_device *device)
        : session_(std::move(session)), device_(libusb_ref_device(device))
    {}
    ~LibusbDevice() override { libusb_unref_device(device_); }
    LibusbDevice(const LibusbDevice &) = delete;
    LibusbDevice &operator=(const LibusbDevice &) = delete;

    int describe(UsbDeviceDescription &description) override
    {
        libusb_device_descriptor device{};
        int error = libusb_get_device_descriptor(device_, &device);
        if (error != LIBUSB_SUCCESS)
            return error;
        description.vendorId = device.idVendor;
        description.productId = device.idProduct;
        description.serialStringIndex = device.iSerialNumber;
        description.productStringIndex = device.iProduct;

        libusb_config_descriptor *config = nullptr;
        error = libusb_get_active_config_descriptor(device_, &config);
        if (error != LIBUSB_SUCCESS)
            return error;
        description.interfaces.clear();
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface &interface = config->interface[i];
            if (interface.num_altsetting < 1)
                continue;
            const libusb_interface_descriptor &setting = interface.altsetting[0];
            UsbInterfaceDescription described;
            described.number = setting.bInterfaceNumber;
            described.interfaceClass = setting.bInterfaceClass;
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
                described.endpoints.push_back(
                    {endpoint.bEndpointAddress, endpoint.bmAttributes, endpoint.wMaxPacketSize});
            }
            description.interfaces.push_back(std::move(described));
        }
        libusb_free_config_descriptor(config);
        return LIBUSB_SUCCESS;
    }

    int open(std::unique_ptr<UsbTransportConnection> &connection) override
    {
        libusb_device_handle *handle = nullptr;
        const int error = libusb_open(device_, &handle);
        if (error != LIBUSB_SUCCESS)
            return error;
        connection = std::make_unique<LibusbConnection>(session_, handle);
        return LIBUSB_SUCCESS;
    }

    bool kernelString(const std::string &attribute, std::string &text) override
    {
        const std::string place = kernelLocation(device_);
        if (place.empty())
            return false;
        std::ifstream file("/sys/bus/usb/devices/" + place + "/" + attribute);
        if (!file)
            return false;
        std::string value((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (file.bad())
            return false;
        if (!value.empty() && value.back() == '\n')
            value.pop_back();
        text = value;
        return true;
    }

    std::string location() override { return kernelLocation(device_); }

private:
    std::shared_ptr<LibusbSession> session_;
    libusb_device *device_;
};

} // namespace

LibusbTransport::LibusbTransport() = default;
LibusbTransport::~LibusbTransport() = default;

int LibusbTransport::listDevices(std::vector<std::shared_ptr<UsbTransportDevice>> &devices)
{
    devices.clear();
    if (!session_) {
        auto session = std::make_shared<LibusbSession>();
        const int error = libusb_init(&session->context);
        if (error != LIBUSB_SUCCESS) {
            session->context = nullptr;
            return error; // tried again on the next listing
        }
        // The library reports through its statuses only, never on the terminal.
        libusb_set_option(session->context, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
        session_ = std::move(session);
    }

    libusb_device **list = nullptr;
    const ssize_t count = libusb_get_device_list(session_->context, &list);
    if (count < 0)
        return static_cast<int>(count);
    for (ssize_t i = 0; i < count; ++i)
        devices.push_back(std::make_shared<LibusbDevice>(session_, list[i]));
    libusb_free_device_list(list, 1);
    return LIBUSB_SUCCESS;
}
