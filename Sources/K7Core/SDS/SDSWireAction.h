#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "K7Core/SDS/SDSTransferFailure.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// The actions the SDS sender and receiver state machines have in common.
namespace sds_wire_action {
// Put this message on the wire.
struct Send {
    Bytes message;
    bool operator==(const Send&) const = default;
};
// Start a timer; when it fires, hand back a timeout event with the same id.
struct ScheduleTimeout {
    uint64_t id;
    std::chrono::nanoseconds delay;
    bool operator==(const ScheduleTimeout&) const = default;
};
// The timer is no longer wanted; a late firing is answered with IgnoredTimeout anyway.
struct CancelTimeout {
    uint64_t id;
    bool operator==(const CancelTimeout&) const = default;
};
struct Failed {
    SDSTransferFailure failure;
    bool operator==(const Failed&) const = default;
};
// A timer that is no longer current.
struct IgnoredTimeout {
    uint64_t id;
    bool operator==(const IgnoredTimeout&) const = default;
};

std::string describe(const Send& action);
std::string describe(const ScheduleTimeout& action);
std::string describe(const CancelTimeout& action);
std::string describe(const Failed& action);
std::string describe(const IgnoredTimeout& action);
}  // namespace sds_wire_action

}  // namespace k7
