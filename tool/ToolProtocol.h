#pragma once

#include <array>
#include <cstdint>

// The Varnex HDMI tool's protocol: how it is recognised, the EDID images it holds, and its
// command set. The window, the command line, the virtual tool and the benchmark all take these
// from here.

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

// Commands start with an opcode and their length; read and write commands go on with the EDID
// address byte and the offset of the first byte in the 256-byte image.
constexpr std::uint8_t kOpReadEdid = 0x11;
constexpr std::uint8_t kOpWriteEdid = 0x10;
constexpr std::uint8_t kOpGetCounters = 0x02;

constexpr std::uint32_t kReadCommandLength = 4;
constexpr std::uint32_t kWriteCommandLength = 12;
constexpr std::uint32_t kCountersCommandLength = 8;

constexpr std::uint32_t kMaxReadLength = 16;   // EDID bytes one read command returns at most
constexpr std::uint32_t kWriteRowLength = 8;   // EDID bytes one write command carries
constexpr std::uint32_t kWriteReplyLength = 1; // the tool's one-byte answer, never examined
constexpr std::uint32_t kCountersReplyLength = 10;

// The write's one-byte answers: stored, or refused for an image that is not the tool's to write.
constexpr std::uint8_t kWriteStored = 0x00;
constexpr std::uint8_t kWriteRefused = 0x01;
