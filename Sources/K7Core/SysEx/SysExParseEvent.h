#pragma once

#include <cstddef>
#include <cstdint>
#include <variant>

#include "K7Core/Support/Bytes.h"
#include "K7Core/SysEx/SysExParseError.h"

namespace k7 {

namespace sysex_parse_event {
// One complete F0 ... F7 message, real-time bytes removed.
struct Message {
    Bytes bytes;
    bool operator==(const Message&) const = default;
};
// A real-time byte (F8-FF), wherever it arrived.
struct RealTime {
    uint8_t byte;
    std::size_t offset;
    bool operator==(const RealTime&) const = default;
};
// A framing failure; `discardedByteCount` counts the message bytes that were dropped because of it.
struct Error {
    SysExParseError error;
    std::size_t discardedByteCount;
    bool operator==(const Error&) const = default;
};
}  // namespace sysex_parse_event

using SysExParseEvent = std::variant<sysex_parse_event::Message, sysex_parse_event::RealTime, sysex_parse_event::Error>;

}  // namespace k7
