#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSReceivedDump.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSTransferFailure.h"
#include "K7Core/SDS/SDSWireAction.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

namespace sds_receiver_action {
using Send = sds_wire_action::Send;
using ScheduleTimeout = sds_wire_action::ScheduleTimeout;
using CancelTimeout = sds_wire_action::CancelTimeout;
using Failed = sds_wire_action::Failed;
using IgnoredTimeout = sds_wire_action::IgnoredTimeout;

struct HeaderAccepted {
    SDSDumpHeaderMessage header;
    bool operator==(const HeaderAccepted&) const = default;
};
struct SampleNameReceived {
    SDSSampleNameMessage name;
    bool operator==(const SampleNameReceived&) const = default;
};
struct SPS1UWNameReceived {
    SPS1UWFileNameMessage name;
    bool operator==(const SPS1UWNameReceived&) const = default;
};
// A packet was accepted.
struct Progress {
    uint8_t packetNumber;
    int64_t receivedSampleWords;
    int64_t totalSampleWords;
    bool operator==(const Progress&) const = default;
};
struct Completed {
    SDSReceivedDump dump;
    bool operator==(const Completed&) const = default;
};
// A message that is not part of a dump being received (other SysEx, another device's traffic,
// a repeated packet in open loop).
struct IgnoredMessage {
    Bytes message;
    bool operator==(const IgnoredMessage&) const = default;
};
// The sender's end-of-file message right after a completed dump; it belongs to that dump.
struct TrailingEndOfFile {
    Bytes message;
    bool operator==(const TrailingEndOfFile&) const = default;
};
// The completed dump's last packet arrived again and was acknowledged again: the sender missed our
// answer, and its end-of-file may still follow.
struct LastPacketRepeated {
    Bytes message;
    bool operator==(const LastPacketRepeated&) const = default;
};
}  // namespace sds_receiver_action

using SDSReceiverAction =
    std::variant<sds_receiver_action::Send, sds_receiver_action::ScheduleTimeout, sds_receiver_action::CancelTimeout,
                 sds_receiver_action::HeaderAccepted, sds_receiver_action::SampleNameReceived,
                 sds_receiver_action::SPS1UWNameReceived, sds_receiver_action::Progress,
                 sds_receiver_action::Completed, sds_receiver_action::Failed, sds_receiver_action::IgnoredMessage,
                 sds_receiver_action::IgnoredTimeout, sds_receiver_action::TrailingEndOfFile,
                 sds_receiver_action::LastPacketRepeated>;

// The case with its labelled values, for diagnostics and test failure messages.
std::string describe(const SDSReceiverAction& action);

}  // namespace k7
