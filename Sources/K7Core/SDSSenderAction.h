#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Bytes.h"
#include "K7Core/SDSControlMessage.h"
#include "K7Core/SDSTransferFailure.h"

namespace k7 {

namespace sds_sender_action {
// Put this message on the wire.
struct Send {
    Bytes message;
    bool operator==(const Send&) const = default;
};
// Start a timer; when it fires, hand back Timeout with the same id.
struct ScheduleTimeout {
    uint64_t id;
    std::chrono::nanoseconds delay;
    bool operator==(const ScheduleTimeout&) const = default;
};
// The timer is no longer wanted; a late firing is answered with ignoredTimeout anyway.
struct CancelTimeout {
    uint64_t id;
    bool operator==(const CancelTimeout&) const = default;
};
struct Progress {
    int64_t sentSampleWords;
    int64_t totalSampleWords;
    int64_t completedWireBytes;
    int64_t totalWireBytes;
    bool operator==(const Progress&) const = default;
};
// The last message is out (and, with the handshake, acknowledged). Position = sample number + 1.
struct Completed {
    uint16_t nextSamplePosition;
    bool operator==(const Completed&) const = default;
};
struct Failed {
    SDSTransferFailure failure;
    bool operator==(const Failed&) const = default;
};
// A handshake message for another device or packet, or one that does not apply now.
struct IgnoredControl {
    SDSControlMessage message;
    bool operator==(const IgnoredControl&) const = default;
};
// A timer that is no longer current.
struct IgnoredTimeout {
    uint64_t id;
    bool operator==(const IgnoredTimeout&) const = default;
};
}  // namespace sds_sender_action

using SDSSenderAction =
    std::variant<sds_sender_action::Send, sds_sender_action::ScheduleTimeout, sds_sender_action::CancelTimeout,
                 sds_sender_action::Progress, sds_sender_action::Completed, sds_sender_action::Failed,
                 sds_sender_action::IgnoredControl, sds_sender_action::IgnoredTimeout>;

// The case with its labelled values, for diagnostics and test failure messages.
std::string describe(const SDSSenderAction& action);

}  // namespace k7
