#pragma once

#include <cstdint>
#include <variant>

#include "K7Core/SDS/SDSControlMessage.h"

namespace k7 {

namespace sds_sender_event {
struct Start {
    bool operator==(const Start&) const = default;
};
// A timer asked for by scheduleTimeout has fired.
struct Timeout {
    uint64_t id;
    bool operator==(const Timeout&) const = default;
};
// A handshake message from the device.
struct Control {
    SDSControlMessage message;
    bool operator==(const Control&) const = default;
};
// The local user stops the transfer.
struct Cancel {
    bool operator==(const Cancel&) const = default;
};
}  // namespace sds_sender_event

using SDSSenderEvent = std::variant<sds_sender_event::Start, sds_sender_event::Timeout, sds_sender_event::Control,
                                    sds_sender_event::Cancel>;

}  // namespace k7
