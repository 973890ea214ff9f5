#pragma once

#include "UsbLibrary.h"

#include <cstdint>

enum class ExchangeResult {
    Success,  // the reply was read, exactly replyLength bytes
    Failed,   // a library call failed or the reply had another length; its warning was shown
    TimedOut, // no reply began within kReplyTimeLimit; nothing shown, nothing read
};

// Sends one command block to the open tool and reads a reply of replyLength bytes into reply as
// soon as the tool begins to answer. A reply shorter or longer than replyLength fails the
// exchange. The handle is read from its location for every call. Bytes that are not read keep
// their earlier values.
ExchangeResult ExchangeCommand(const UsbHandle *handle, std::uint8_t *reply,
                               const std::uint8_t *command, std::uint32_t replyLength,
                               std::uint32_t commandLength);
