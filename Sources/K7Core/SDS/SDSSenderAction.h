#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSTransferFailure.h"
#include "K7Core/SDS/SDSWireAction.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

namespace sds_sender_action {
using Send = sds_wire_action::Send;
using ScheduleTimeout = sds_wire_action::ScheduleTimeout;
using CancelTimeout = sds_wire_action::CancelTimeout;
using Failed = sds_wire_action::Failed;
using IgnoredTimeout = sds_wire_action::IgnoredTimeout;

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
// A handshake message for another device or packet, or one that does not apply now.
struct IgnoredControl {
    SDSControlMessage message;
    bool operator==(const IgnoredControl&) const = default;
};
}  // namespace sds_sender_action

using SDSSenderAction =
    std::variant<sds_sender_action::Send, sds_sender_action::ScheduleTimeout, sds_sender_action::CancelTimeout,
                 sds_sender_action::Progress, sds_sender_action::Completed, sds_sender_action::Failed,
                 sds_sender_action::IgnoredControl, sds_sender_action::IgnoredTimeout>;

// The case with its labelled values, for diagnostics and test failure messages.
std::string describe(const SDSSenderAction& action);

}  // namespace k7
