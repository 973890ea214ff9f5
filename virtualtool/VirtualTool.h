#pragma once

#include "DeviceClock.h"
#include "EdidImage.h"
#include "ToolCommands.h"
#include "UsbLibrary.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

// An HDMI tool in memory that answers the tool's command set like the real one, plus what tests
// need: a chosen list of attached devices, failing operations, late or missing replies, and a
// record of every command packet it received.
class VirtualTool final : public UsbLibrary {
public:
    enum class Operation {
        DeviceCount,
        DeviceString,
        OpenByIndex,
        CloseHandle,
        ReadBlock,
        WriteBlock,
        Purge,
        QueueStatus,
    };
    static constexpr int kOperationCount = 8;

    // Status of an operation made to fail, and of calls the tool cannot serve.
    static constexpr UsbStatus kInjectedFailure = 0x0F;
    static constexpr UsbStatus kInvalidHandle = 0x01;
    static constexpr UsbStatus kInvalidParameter = 0x02;

    struct Device {
        std::string serial;
        std::string product;
    };

    struct Command {
        std::size_t device; // index of the device the packet went to
        std::vector<std::uint8_t> bytes;
    };

    VirtualTool();

    // One tool with the tool's serial holding the sample images; no faults, records or open
    // handles.
    void reset();
    void attachDevices(const std::vector<Device> &devices);
    std::size_t deviceCount() const { return devices_.size(); }

    // The nth call (1-based, counted since reset) of the operation returns status instead.
    void failOnCall(Operation operation, int nthCall, UsbStatus status = kInjectedFailure);
    int callCount(Operation operation) const;

    // Drops every planned failure, delay and withheld reply; images and records stay.
    void clearFaults();

    // Replies to the nth command packet (1-based, since reset) come late or never. Time is the
    // device clock's, so tests that drive that clock wait for nothing.
    void delayReply(int nthCommand, std::chrono::milliseconds delay);
    void withholdReply(int nthCommand);
    void withholdRepliesFrom(int nthCommand);
    // The nth command packet is answered as usual, but a row it writes is not stored: a write
    // that does not stick.
    void discardWrite(int nthCommand);
    // The reply to the nth command packet lacks its last byte.
    void shortenReply(int nthCommand);

    const std::vector<Command> &receivedCommands() const { return received_; }
    int openHandleCount() const { return static_cast<int>(openHandles_.size()); }

    EdidImage image(std::uint8_t address, std::size_t device = 0) const;
    void setImage(std::uint8_t address, const EdidImage &image, std::size_t device = 0);

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
    struct PendingByte {
        std::uint8_t value;
        DeviceClock::TimePoint due;
    };

    struct ToolState {
        Device identity;
        std::map<std::uint8_t, EdidImage> images;
        std::uint8_t readErrors = 0;
        std::uint8_t readings = 0;
        std::deque<PendingByte> replies;
    };

    // Counts the call and tells whether it was made to fail (and with which status).
    bool injectedFailure(Operation operation, UsbStatus *status);
    ToolState *toolFor(UsbHandle handle);
    // The tool's reply to a command packet; none to a packet it does not understand.
    std::vector<std::uint8_t> answer(ToolState &tool, const std::vector<std::uint8_t> &packet,
                                     bool store);
    static std::vector<std::uint8_t> answerRead(ToolState &tool, const ReadRequest &request);
    static std::vector<std::uint8_t> answerWrite(ToolState &tool, const WriteRequest &request,
                                                 bool store);
    std::size_t dueReplyBytes(const ToolState &tool) const;

    std::vector<ToolState> devices_;
    std::array<int, kOperationCount> calls_{};
    std::map<std::pair<int, int>, UsbStatus> failures_; // (operation, nth call) -> status
    std::map<int, std::chrono::milliseconds> delays_;
    std::map<int, bool> withheld_;
    std::map<int, bool> discarded_;
    std::map<int, bool> shortened_;
    int withholdFrom_ = 0;
    std::vector<Command> received_;
    std::map<UsbHandle, std::size_t> openHandles_;
    UsbHandle nextHandle_ = 1;
};
