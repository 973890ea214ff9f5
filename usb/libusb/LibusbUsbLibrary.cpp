#include "LibusbUsbLibrary.h"

#include "DeviceClock.h"
#include "ToolProtocol.h"

#include <libusb.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

using std::chrono::milliseconds;

constexpr std::uint16_t kPacketSizeMask = 0x07FF; // bits 11 and 12 count extra transactions

bool isBulk(const UsbEndpointDescription &endpoint)
{
    return (endpoint.attributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
}

bool isIn(const UsbEndpointDescription &endpoint)
{
    return (endpoint.address & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
}

std::uint32_t clampedCount(std::size_t count)
{
    return static_cast<std::uint32_t>(std::min<std::size_t>(count, UINT32_MAX));
}

void copyCut(const std::string &source, UsbStringBuffer &text)
{
    const std::size_t length = std::min(source.size(), kUsbStringCapacity - 1);
    std::memcpy(text, source.data(), length);
    text[length] = '\0';
}

} // namespace

UsbStatus LibusbUsbLibrary::statusOf(int libusbError)
{
    if (libusbError == LIBUSB_SUCCESS)
        return kUsbSuccess;
    // libusb errors are small negative numbers; anything else still must not read as success.
    if (libusbError < 0 && libusbError > -0x1000)
        return kLibusbErrorBase - libusbError;
    return kLibusbErrorBase;
}

LibusbUsbLibrary::LibusbUsbLibrary(std::unique_ptr<UsbTransport> transport,
                                   std::vector<UsbId> toolIds)
    : transport_(std::move(transport)), toolIds_(std::move(toolIds))
{}

bool LibusbUsbLibrary::hasToolId(const UsbDeviceDescription &description) const
{
    const UsbId id{description.vendorId, description.productId};
    return std::find(toolIds_.begin(), toolIds_.end(), id) != toolIds_.end();
}

LibusbUsbLibrary::~LibusbUsbLibrary()
{
    for (auto &entry : open_) {
        int ignored = 0;
        closeTool(entry.second, &ignored);
    }
}

bool LibusbUsbLibrary::findToolInterface(const UsbDeviceDescription &description,
                                         ToolInterface *found)
{
    for (const UsbInterfaceDescription &interface : description.interfaces) {
        if (interface.interfaceClass != LIBUSB_CLASS_VENDOR_SPEC || interface.endpoints.size() != 2)
            continue;
        const UsbEndpointDescription *in = nullptr;
        const UsbEndpointDescription *out = nullptr;
        for (const UsbEndpointDescription &endpoint : interface.endpoints) {
            if (isBulk(endpoint))
                (isIn(endpoint) ? in : out) = &endpoint;
        }
        if (!in || !out || (in->maxPacketSize & kPacketSizeMask) == 0)
            continue;
        found->number = interface.number;
        found->in = in->address;
        found->out = out->address;
        found->inPacketSize = in->maxPacketSize & kPacketSizeMask;
        return true;
    }
    return false;
}

LibusbUsbLibrary::OpenTool *LibusbUsbLibrary::openTool(UsbHandle handle)
{
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : &found->second;
}

UsbHandle LibusbUsbLibrary::newHandle()
{
    // Handles count up from 1, wrap and skip those in use: never -1, never 0.
    const auto advance = [this] { nextHandle_ = nextHandle_ == INT32_MAX ? 1 : nextHandle_ + 1; };
    while (open_.count(nextHandle_) != 0)
        advance();
    const UsbHandle handle = nextHandle_;
    advance();
    return handle;
}

int LibusbUsbLibrary::receive(OpenTool &tool, milliseconds timeout)
{
    const int length = tool.interface.inPacketSize * kPacketsPerTransfer;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(length));
    int transferred = 0;
    const unsigned timeoutMs =
        static_cast<unsigned>(std::max<milliseconds::rep>(timeout.count(), 1));
    const int error = tool.connection->bulkTransfer(tool.interface.in, chunk.data(), length,
                                                    &transferred, timeoutMs);
    // Bytes that came before a time-out or an error are part of the reply all the same.
    transferred = std::clamp(transferred, 0, length);
    tool.received.insert(tool.received.end(), chunk.begin(), chunk.begin() + transferred);
    return error;
}

int LibusbUsbLibrary::vendorRequest(UsbTransportConnection &connection, std::uint8_t request,
                                    std::uint16_t value)
{
    const int error = connection.controlOut(kVendorRequestOut, request, value, /*index=*/0);
    // A device that does not know the request stalls it, and that does no harm.
    return error == LIBUSB_ERROR_PIPE ? LIBUSB_SUCCESS : error;
}

int LibusbUsbLibrary::startServing(OpenTool &tool)
{
    UsbTransportConnection &connection = *tool.connection;
    if (const int error = vendorRequest(connection, kRequestEnable, kEnableAll))
        return error;
    for (std::uint8_t endpoint : {tool.interface.in, tool.interface.out}) {
        const int error = connection.clearHalt(endpoint);
        if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_PIPE) // a stall is as harmless here
            return error;
    }
    return vendorRequest(connection, kRequestControl, kStartServing);
}

void LibusbUsbLibrary::closeTool(OpenTool &tool, int *releaseError)
{
    // The device is told to stop serving; gone or not, the interface is released after.
    vendorRequest(*tool.connection, kRequestControl, kStopServing);
    *releaseError = tool.connection->releaseInterface(tool.interface.number);
    if (tool.driverDetached)
        tool.connection->attachKernelDriver(tool.interface.number); // hand the device back
}

UsbStatus LibusbUsbLibrary::UsbDeviceCount(std::uint32_t *count)
{
    if (!count)
        return kInvalidParameter;
    listed_.clear();
    std::vector<std::shared_ptr<UsbTransportDevice>> devices;
    const int error = transport_->listDevices(devices);
    if (error != LIBUSB_SUCCESS)
        return statusOf(error);
    for (const auto &device : devices) {
        CountedTool tool;
        tool.device = device;
        // A device whose descriptors cannot be read is not known to be a tool.
        if (device->describe(tool.description) == LIBUSB_SUCCESS && hasToolId(tool.description) &&
            findToolInterface(tool.description, &tool.interface))
            listed_.push_back(std::move(tool));
    }
    *count = clampedCount(listed_.size());
    return kUsbSuccess;
}

UsbStatus LibusbUsbLibrary::listDevices(bool withOthers, std::vector<Listing> &listing)
{
    listing.clear();
    std::uint32_t count = 0;
    if (const UsbStatus status = UsbDeviceCount(&count); status != kUsbSuccess)
        return status;
    for (std::uint32_t index = 0; index < count; ++index) {
        const CountedTool &tool = listed_[index];
        Listing entry;
        entry.id = {tool.description.vendorId, tool.description.productId};
        entry.location = tool.device->location();
        entry.inIdList = true;
        entry.index = index;
        UsbStringBuffer text{};
        if (UsbDeviceString(index, text, kUsbSerialString) == kUsbSuccess)
            entry.serial = text;
        if (UsbDeviceString(index, text, kUsbProductString) == kUsbSuccess)
            entry.product = text;
        std::unique_ptr<UsbTransportConnection> connection;
        entry.accessible = tool.device->open(connection) != LIBUSB_ERROR_ACCESS;
        listing.push_back(entry);
    }
    std::vector<std::shared_ptr<UsbTransportDevice>> devices;
    if (!withOthers || transport_->listDevices(devices) != LIBUSB_SUCCESS)
        return kUsbSuccess;
    for (const auto &device : devices) {
        UsbDeviceDescription description;
        ToolInterface interface;
        if (device->describe(description) != LIBUSB_SUCCESS || hasToolId(description) ||
            !findToolInterface(description, &interface))
            continue;
        Listing entry;
        entry.id = {description.vendorId, description.productId};
        entry.location = device->location();
        device->kernelString("serial", entry.serial);
        device->kernelString("product", entry.product);
        listing.push_back(entry);
    }
    return kUsbSuccess;
}

UsbStatus LibusbUsbLibrary::UsbDeviceString(std::uint32_t index, UsbStringBuffer &text,
                                            std::uint32_t selector)
{
    if (index >= listed_.size() || (selector != kUsbSerialString && selector != kUsbProductString))
        return kInvalidParameter;
    const CountedTool &tool = listed_[index];
    const bool serial = selector == kUsbSerialString;
    const std::uint8_t descriptor =
        serial ? tool.description.serialStringIndex : tool.description.productStringIndex;
    if (descriptor == 0) {
        copyCut(std::string(), text); // the device has no such string
        return kUsbSuccess;
    }

    std::unique_ptr<UsbTransportConnection> connection;
    int error = tool.device->open(connection);
    if (error == LIBUSB_ERROR_ACCESS) {
        // Not ours to open (no access rule installed): the kernel read the strings already.
        std::string kept;
        if (!tool.device->kernelString(serial ? "serial" : "product", kept))
            return statusOf(error);
        copyCut(kept, text);
        return kUsbSuccess;
    }
    if (error != LIBUSB_SUCCESS)
        return statusOf(error);
    std::string value;
    error = connection->stringDescriptor(descriptor, value);
    if (error != LIBUSB_SUCCESS)
        return statusOf(error);
    copyCut(value, text);
    return kUsbSuccess;
}

UsbStatus LibusbUsbLibrary::UsbOpenByIndex(std::uint32_t index, UsbHandle *handle)
{
    if (!handle || index >= listed_.size())
        return kInvalidParameter;
    const CountedTool &listed = listed_[index];
    OpenTool tool;
    tool.device = listed.device;
    tool.interface = listed.interface;
    int error = listed.device->open(tool.connection);
    if (error != LIBUSB_SUCCESS)
        return statusOf(error);

    const std::uint8_t number = tool.interface.number;
    const int active = tool.connection->kernelDriverActive(number);
    if (active == 1) {
        error = tool.connection->detachKernelDriver(number);
        if (error != LIBUSB_SUCCESS)
            return statusOf(error);
        tool.driverDetached = true;
    } else if (active < 0 && active != LIBUSB_ERROR_NOT_SUPPORTED) {
        return statusOf(active);
    }
    error = tool.connection->claimInterface(number);
    if (error == LIBUSB_SUCCESS) {
        error = startServing(tool);
        if (error != LIBUSB_SUCCESS)
            tool.connection->releaseInterface(number);
    }
    if (error != LIBUSB_SUCCESS) {
        if (tool.driverDetached)
            tool.connection->attachKernelDriver(number);
        return statusOf(error);
    }

    const UsbHandle opened = newHandle();
    open_.emplace(opened, std::move(tool));
    *handle = opened;
    return kUsbSuccess;
}

UsbStatus LibusbUsbLibrary::UsbCloseHandle(UsbHandle handle)
{
    OpenTool *tool = openTool(handle);
    if (!tool)
        return kInvalidHandle;
    int releaseError = LIBUSB_SUCCESS;
    closeTool(*tool, &releaseError);
    open_.erase(handle);
    // A tool that is gone has nothing left to release; the handle is free either way.
    if (releaseError == LIBUSB_ERROR_NO_DEVICE)
        return kUsbSuccess;
    return statusOf(releaseError);
}

UsbStatus LibusbUsbLibrary::UsbReadBlock(UsbHandle handle, std::uint8_t *buffer,
                                         std::uint32_t bytesToRead, std::uint32_t *bytesRead,
                                         std::uint32_t)
{
    if ((!buffer && bytesToRead != 0) || !bytesRead)
        return kInvalidParameter;
    OpenTool *tool = openTool(handle);
    if (!tool)
        return kInvalidHandle;

    DeviceClock &clock = deviceClock();
    const auto deadline = clock.now() + kTransferTimeout;
    int error = LIBUSB_SUCCESS;
    while (tool->received.size() < bytesToRead) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - clock.now());
        if (left <= milliseconds(0)) {
            error = LIBUSB_ERROR_TIMEOUT;
            break;
        }
        error = receive(*tool, left);
        if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_TIMEOUT)
            break;
        error = LIBUSB_SUCCESS;
    }

    const std::size_t count = std::min<std::size_t>(bytesToRead, tool->received.size());
    std::copy_n(tool->received.begin(), count, buffer);
    tool->received.erase(tool->received.begin(),
                         tool->received.begin() + static_cast<std::ptrdiff_t>(count));
    *bytesRead = clampedCount(count);
    return statusOf(error);
}

UsbStatus LibusbUsbLibrary::UsbWriteBlock(UsbHandle handle, const std::uint8_t *buffer,
                                          std::uint32_t bytesToWrite, std::uint32_t *bytesWritten,
                                          std::uint32_t)
{
    if ((!buffer && bytesToWrite != 0) || !bytesWritten || bytesToWrite > INT_MAX)
        return kInvalidParameter;
    OpenTool *tool = openTool(handle);
    if (!tool)
        return kInvalidHandle;
    *bytesWritten = 0;
    if (bytesToWrite == 0)
        return kUsbSuccess;

    std::vector<std::uint8_t> block(buffer, buffer + bytesToWrite);
    const int length = static_cast<int>(bytesToWrite);
    int transferred = 0;
    const int error =
        tool->connection->bulkTransfer(tool->interface.out, block.data(), length, &transferred,
                                       static_cast<unsigned>(kTransferTimeout.count()));
    transferred = std::clamp(transferred, 0, length);
    *bytesWritten = static_cast<std::uint32_t>(transferred);
    if (error != LIBUSB_SUCCESS)
        return statusOf(error);
    return transferred == length ? kUsbSuccess : kIncompleteWrite;
}

UsbStatus LibusbUsbLibrary::UsbPurge(UsbHandle handle, std::uint8_t purgeReceive, std::uint8_t)
{
    OpenTool *tool = openTool(handle);
    if (!tool)
        return kInvalidHandle;
    // Writes leave nothing behind (each block is out before UsbWriteBlock returns), so only the
    // receiving side has anything to discard.
    if (purgeReceive == 0)
        return kUsbSuccess;
    DeviceClock &clock = deviceClock();
    const auto deadline = clock.now() + kTransferTimeout;
    for (;;) {
        const int error = receive(*tool, kPollTimeout);
        const bool drained = tool->received.empty();
        tool->received.clear();
        if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_TIMEOUT)
            return statusOf(error);
        if (drained)
            return kUsbSuccess;
        if (clock.now() >= deadline)
            return kStillReceiving;
    }
}

UsbStatus LibusbUsbLibrary::UsbQueueStatus(UsbHandle handle, std::uint32_t *bytesWaiting,
                                           std::uint32_t *queueStatus)
{
    if (!bytesWaiting || !queueStatus)
        return kInvalidParameter;
    OpenTool *tool = openTool(handle);
    if (!tool)
        return kInvalidHandle;
    const int error = receive(*tool, kPollTimeout);
    if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_TIMEOUT)
        return statusOf(error);
    *bytesWaiting = clampedCount(tool->received.size());
    *queueStatus = 0; // no conditions to report beyond the count
    return kUsbSuccess;
}
