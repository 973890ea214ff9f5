#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

// The Varnex HDMI tool's protocol: how it is recognised, the EDID images it holds, its command
// set with the place of every field, its timing and the control requests its USB side takes.
// Whatever speaks to the tool or plays it takes these from here and spells no byte of its own.

// The tool reports this number, in decimal, as its USB serial string.
constexpr std::uint16_t kToolSerial = 2011;

// The EDID images the tool can address, in the order of the window's source selector.
struct EdidSource {
    const char *name; // as the selector shows it
    const char *key;  // as the command line names it
    std::uint8_t address;
    bool writable; // only the custom images; the tool keeps the current and sink EDIDs itself
};

inline constexpr std::array<EdidSource, 5> kEdidSources{{
    {"Current EDID", "current", 0xB0, false},
    {"Sink EDID", "sink", 0xA0, false},
    {"Custom EDID 6", "custom6", 0xB2, true},
    {"Custom EDID 7", "custom7", 0xB4, true},
    {"Custom/Sink EDID 8", "custom8", 0xB6, true},
}};

// Only the tool's custom images may be written; an address of no source is not writable.
constexpr bool isWritableEdidAddress(std::uint8_t address)
{
    for (const EdidSource &source : kEdidSources)
        if (source.address == address)
            return source.writable;
    return false;
}

// Commands start with an opcode and a length byte; read and write commands go on with the EDID
// address byte and the offset of the first byte in the 256-byte image, a write with its row.
constexpr std::uint8_t kOpReadEdid = 0x11;
constexpr std::uint8_t kOpWriteEdid = 0x10;
constexpr std::uint8_t kOpGetCounters = 0x02;

constexpr std::size_t kOpcodeAt = 0;
constexpr std::size_t kLengthAt = 1; // a read: the bytes asked for; a write: its own length
constexpr std::size_t kAddressAt = 2;
constexpr std::size_t kOffsetAt = 3;
constexpr std::size_t kRowAt = 4; // a write's EDID bytes

constexpr std::uint32_t kReadCommandLength = 4;
constexpr std::uint32_t kWriteCommandLength = 12;
constexpr std::uint32_t kCountersCommandLength = 8;

constexpr std::uint32_t kMaxReadLength = 16;   // EDID bytes one read command returns at most
constexpr std::uint32_t kWriteRowLength = 8;   // EDID bytes one write command carries
constexpr std::uint32_t kWriteReplyLength = 1; // the tool's one-byte answer, never examined
constexpr std::uint32_t kCountersReplyLength = 10;

// The counters reply: failed reads, then answered reads, then zeros.
constexpr std::size_t kReadErrorsAt = 0;
constexpr std::size_t kReadingsAt = 1;

// The write's one-byte answers: stored, or refused for an image that is not the tool's to write.
constexpr std::uint8_t kWriteStored = 0x00;
constexpr std::uint8_t kWriteRefused = 0x01;

// How long the tool has to begin its reply.
constexpr std::chrono::milliseconds kReplyTimeLimit{3000};

// The tool is given this long to store a row before the next command follows.
constexpr std::chrono::milliseconds kWriteRowPause{50};

// Control requests of the tool's USB side, host to device, no data stage: after claiming its
// interface the host enables it and tells it to serve the bulk endpoints, and before releasing
// the interface tells it to stop.
constexpr std::uint8_t kVendorRequestOut = 0x40;
constexpr std::uint8_t kRequestEnable = 0x00;
constexpr std::uint16_t kEnableAll = 0xFFFF;
constexpr std::uint8_t kRequestControl = 0x02;
constexpr std::uint16_t kStartServing = 0x0002;
constexpr std::uint16_t kStopServing = 0x0004;
