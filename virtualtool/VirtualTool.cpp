#include "VirtualTool.h"

#include "SampleEdids.h"
#include "ToolCommands.h"

#include <algorithm>
#include <cstring>
#include <string>

VirtualTool::VirtualTool()
{
    reset();
}

void VirtualTool::reset()
{
    calls_.fill(0);
    clearFaults();
    received_.clear();
    attachDevices({{std::to_string(kToolSerial), "Varnex HDMI Virtual Tool"}});
}

void VirtualTool::clearFaults()
{
    failures_.clear();
    delays_.clear();
    withheld_.clear();
    discarded_.clear();
    shortened_.clear();
    withholdFrom_ = 0;
}

void VirtualTool::attachDevices(const std::vector<Device> &devices)
{
    devices_.clear();
    openHandles_.clear();
    for (const Device &identity : devices) {
        ToolState tool;
        tool.identity = identity;
        for (const EdidSource &source : kEdidSources)
            tool.images[source.address] = sampleEdid(source.address);
        devices_.push_back(std::move(tool));
    }
}

void VirtualTool::failOnCall(Operation operation, int nthCall, UsbStatus status)
{
    failures_[{static_cast<int>(operation), nthCall}] = status;
}

int VirtualTool::callCount(Operation operation) const
{
    return calls_[static_cast<std::size_t>(operation)];
}

void VirtualTool::delayReply(int nthCommand, std::chrono::milliseconds delay)
{
    delays_[nthCommand] = delay;
}

void VirtualTool::withholdReply(int nthCommand)
{
    withheld_[nthCommand] = true;
}

void VirtualTool::withholdRepliesFrom(int nthCommand)
{
    withholdFrom_ = nthCommand;
}

void VirtualTool::discardWrite(int nthCommand)
{
    discarded_[nthCommand] = true;
}

void VirtualTool::shortenReply(int nthCommand)
{
    shortened_[nthCommand] = true;
}

EdidImage VirtualTool::image(std::uint8_t address, std::size_t device) const
{
    const auto &images = devices_.at(device).images;
    const auto found = images.find(address);
    return found == images.end() ? EdidImage{} : found->second;
}

void VirtualTool::setImage(std::uint8_t address, const EdidImage &image, std::size_t device)
{
    devices_.at(device).images[address] = image;
}

bool VirtualTool::injectedFailure(Operation operation, UsbStatus *status)
{
    const int op = static_cast<int>(operation);
    const int nth = ++calls_[static_cast<std::size_t>(op)];
    const auto found = failures_.find({op, nth});
    if (found == failures_.end())
        return false;
    *status = found->second;
    return true;
}

VirtualTool::ToolState *VirtualTool::toolFor(UsbHandle handle)
{
    const auto found = openHandles_.find(handle);
    return found == openHandles_.end() ? nullptr : &devices_[found->second];
}

std::size_t VirtualTool::dueReplyBytes(const ToolState &tool) const
{
    const auto now = deviceClock().now();
    std::size_t due = 0;
    while (due < tool.replies.size() && tool.replies[due].due <= now)
        ++due;
    return due;
}

std::vector<std::uint8_t> VirtualTool::answerRead(ToolState &tool, const ReadRequest &request)
{
    const auto image = tool.images.find(request.address);
    if (request.count == 0 || request.count > kMaxReadLength || image == tool.images.end()) {
        ++tool.readErrors;
        return {};
    }
    ++tool.readings;
    std::vector<std::uint8_t> reply(request.count);
    for (std::uint8_t i = 0; i < request.count; ++i) // an offset near the end wraps to the start
        reply[i] = image->second.bytes[static_cast<std::uint8_t>(request.offset + i)];
    return reply;
}

std::vector<std::uint8_t> VirtualTool::answerWrite(ToolState &tool, const WriteRequest &request,
                                                   bool store)
{
    if (!isWritableEdidAddress(request.address))
        return {kWriteRefused};
    if (!store)
        return {kWriteStored};
    EdidImage &image = tool.images[request.address];
    for (std::uint8_t i = 0; i < kWriteRowLength; ++i)
        image.bytes[static_cast<std::uint8_t>(request.offset + i)] = request.row[i];
    return {kWriteStored};
}

std::vector<std::uint8_t> VirtualTool::answer(ToolState &tool,
                                              const std::vector<std::uint8_t> &packet, bool store)
{
    // Silent to whatever it does not understand, as the real tool is.
    if (const auto read = parseReadCommand(packet.data(), packet.size()))
        return answerRead(tool, *read);
    if (const auto write = parseWriteCommand(packet.data(), packet.size()))
        return answerWrite(tool, *write, store);
    if (isCountersCommand(packet.data(), packet.size())) {
        const CountersReply reply = countersReply(tool.readErrors, tool.readings);
        return {reply.begin(), reply.end()};
    }
    return {};
}

UsbStatus VirtualTool::UsbDeviceCount(std::uint32_t *count)
{
    UsbStatus status;
    if (injectedFailure(Operation::DeviceCount, &status))
        return status;
    *count = static_cast<std::uint32_t>(devices_.size());
    return kUsbSuccess;
}

UsbStatus VirtualTool::UsbDeviceString(std::uint32_t index, UsbStringBuffer &text,
                                       std::uint32_t selector)
{
    UsbStatus status;
    if (injectedFailure(Operation::DeviceString, &status))
        return status;
    if (index >= devices_.size())
        return kInvalidParameter;
    const Device &identity = devices_[index].identity;
    const std::string *source = nullptr;
    if (selector == kUsbSerialString)
        source = &identity.serial;
    else if (selector == kUsbProductString)
        source = &identity.product;
    else
        return kInvalidParameter;
    const std::size_t length = std::min(source->size(), kUsbStringCapacity - 1);
    std::memcpy(text, source->data(), length);
    text[length] = '\0';
    return kUsbSuccess;
}

UsbStatus VirtualTool::UsbOpenByIndex(std::uint32_t index, UsbHandle *handle)
{
    UsbStatus status;
    if (injectedFailure(Operation::OpenByIndex, &status))
        return status;
    if (index >= devices_.size())
        return kInvalidParameter;
    *handle = nextHandle_++;
    openHandles_[*handle] = index;
    return kUsbSuccess;
}

UsbStatus VirtualTool::UsbCloseHandle(UsbHandle handle)
{
    UsbStatus status;
    if (injectedFailure(Operation::CloseHandle, &status))
        return status;
    return openHandles_.erase(handle) == 1 ? kUsbSuccess : kInvalidHandle;
}

UsbStatus VirtualTool::UsbReadBlock(UsbHandle handle, std::uint8_t *buffer,
                                    std::uint32_t bytesToRead, std::uint32_t *bytesRead,
                                    std::uint32_t)
{
    UsbStatus status;
    if (injectedFailure(Operation::ReadBlock, &status))
        return status;
    ToolState *tool = toolFor(handle);
    if (!tool)
        return kInvalidHandle;
    const std::size_t count = std::min<std::size_t>(bytesToRead, dueReplyBytes(*tool));
    for (std::size_t i = 0; i < count; ++i) {
        buffer[i] = tool->replies.front().value;
        tool->replies.pop_front();
    }
    *bytesRead = static_cast<std::uint32_t>(count);
    return kUsbSuccess;
}

UsbStatus VirtualTool::UsbWriteBlock(UsbHandle handle, const std::uint8_t *buffer,
                                     std::uint32_t bytesToWrite, std::uint32_t *bytesWritten,
                                     std::uint32_t)
{
    UsbStatus status;
    if (injectedFailure(Operation::WriteBlock, &status))
        return status;
    ToolState *tool = toolFor(handle);
    if (!tool)
        return kInvalidHandle;
    std::vector<std::uint8_t> packet(buffer, buffer + bytesToWrite);
    received_.push_back({openHandles_[handle], packet});
    *bytesWritten = bytesToWrite;

    const int nth = static_cast<int>(received_.size());
    std::vector<std::uint8_t> reply = answer(*tool, packet, discarded_.count(nth) == 0);
    if (shortened_.count(nth) != 0 && !reply.empty())
        reply.pop_back();
    if (withheld_.count(nth) != 0 || (withholdFrom_ > 0 && nth >= withholdFrom_))
        return kUsbSuccess;
    const auto delay = delays_.count(nth) != 0 ? delays_[nth] : std::chrono::milliseconds(0);
    // A reply arrives as one block: all of its bytes fall due together.
    const DeviceClock::TimePoint due = deviceClock().now() + delay;
    for (std::uint8_t value : reply)
        tool->replies.push_back({value, due});
    return kUsbSuccess;
}

UsbStatus VirtualTool::UsbPurge(UsbHandle handle, std::uint8_t purgeReceive, std::uint8_t)
{
    UsbStatus status;
    if (injectedFailure(Operation::Purge, &status))
        return status;
    ToolState *tool = toolFor(handle);
    if (!tool)
        return kInvalidHandle;
    if (purgeReceive != 0)
        tool->replies.clear();
    return kUsbSuccess;
}

UsbStatus VirtualTool::UsbQueueStatus(UsbHandle handle, std::uint32_t *bytesWaiting,
                                      std::uint32_t *queueStatus)
{
    UsbStatus status;
    if (injectedFailure(Operation::QueueStatus, &status))
        return status;
    ToolState *tool = toolFor(handle);
    if (!tool)
        return kInvalidHandle;
    *bytesWaiting = static_cast<std::uint32_t>(dueReplyBytes(*tool));
    *queueStatus = 0;
    return kUsbSuccess;
}
