#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace turbo_frame_error {
struct InvalidLength {
    std::size_t expected;
    std::size_t actual;
    bool operator==(const InvalidLength&) const = default;
};
struct UnsupportedCommand {
    uint8_t command;
    bool operator==(const UnsupportedCommand&) const = default;
};
struct UnknownSpeedCode {
    uint8_t code;
    bool operator==(const UnknownSpeedCode&) const = default;
};
// Not a framed SysEx message of data bytes.
struct InvalidEnvelope {
    bool operator==(const InvalidEnvelope&) const = default;
};
// A SysEx message, but not a Turbo frame.
struct WrongFamily {
    bool operator==(const WrongFamily&) const = default;
};
}  // namespace turbo_frame_error

using TurboFrameErrorCase =
    std::variant<turbo_frame_error::InvalidLength, turbo_frame_error::UnsupportedCommand,
                 turbo_frame_error::UnknownSpeedCode, turbo_frame_error::InvalidEnvelope, turbo_frame_error::WrongFamily>;

class TurboFrameError : public K7Error<TurboFrameError, TurboFrameErrorCase> {
public:
    using K7Error::K7Error;
    using InvalidLength = turbo_frame_error::InvalidLength;
    using UnsupportedCommand = turbo_frame_error::UnsupportedCommand;
    using UnknownSpeedCode = turbo_frame_error::UnknownSpeedCode;
    using InvalidEnvelope = turbo_frame_error::InvalidEnvelope;
    using WrongFamily = turbo_frame_error::WrongFamily;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
