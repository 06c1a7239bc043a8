#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace sysex_parse_error {
// A status byte (80-F6) arrived inside a message and cut it short.
struct UnexpectedStatusByte {
    uint8_t byte;
    std::size_t offset;
    bool operator==(const UnexpectedStatusByte&) const = default;
};
// A byte outside any message that is neither white space nor the start of a message.
struct StrayByte {
    uint8_t byte;
    std::size_t offset;
    bool operator==(const StrayByte&) const = default;
};
struct OversizedMessage {
    std::size_t messageIndex;
    std::size_t offset;  // where the message started
    std::size_t limit;
    bool operator==(const OversizedMessage&) const = default;
};
struct TooManyMessages {
    std::size_t limit;
    bool operator==(const TooManyMessages&) const = default;
};
struct EndWithoutStart {
    std::size_t offset;
    bool operator==(const EndWithoutStart&) const = default;
};
struct NestedStart {
    std::size_t offset;
    bool operator==(const NestedStart&) const = default;
};
struct UnterminatedMessage {
    std::size_t messageIndex;
    std::size_t offset;  // where the message started
    std::size_t byteCount;
    bool operator==(const UnterminatedMessage&) const = default;
};
// A real-time byte inside a stored message: keeping the message would need it removed.
struct UnpreservableByte {
    uint8_t byte;
    std::size_t messageIndex;
    std::size_t offset;
    bool operator==(const UnpreservableByte&) const = default;
};
}  // namespace sysex_parse_error

using SysExParseErrorCase =
    std::variant<sysex_parse_error::UnexpectedStatusByte, sysex_parse_error::StrayByte,
                 sysex_parse_error::OversizedMessage, sysex_parse_error::TooManyMessages,
                 sysex_parse_error::EndWithoutStart, sysex_parse_error::NestedStart,
                 sysex_parse_error::UnterminatedMessage, sysex_parse_error::UnpreservableByte>;

class SysExParseError : public K7Error<SysExParseError, SysExParseErrorCase> {
public:
    using K7Error::K7Error;
    using UnexpectedStatusByte = sysex_parse_error::UnexpectedStatusByte;
    using StrayByte = sysex_parse_error::StrayByte;
    using OversizedMessage = sysex_parse_error::OversizedMessage;
    using TooManyMessages = sysex_parse_error::TooManyMessages;
    using EndWithoutStart = sysex_parse_error::EndWithoutStart;
    using NestedStart = sysex_parse_error::NestedStart;
    using UnterminatedMessage = sysex_parse_error::UnterminatedMessage;
    using UnpreservableByte = sysex_parse_error::UnpreservableByte;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
