#pragma once

#include <cstdint>
#include <variant>

#include "K7Core/Support/Bytes.h"

namespace k7 {

namespace sds_receiver_event {
// One complete SysEx message from the input.
struct Message {
    Bytes message;
    bool operator==(const Message&) const = default;
};
struct Timeout {
    uint64_t id;
    bool operator==(const Timeout&) const = default;
};
struct Cancel {
    bool operator==(const Cancel&) const = default;
};
}  // namespace sds_receiver_event

using SDSReceiverEvent =
    std::variant<sds_receiver_event::Message, sds_receiver_event::Timeout, sds_receiver_event::Cancel>;

}  // namespace k7
