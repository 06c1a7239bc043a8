#pragma once

#include <cstdint>
#include <variant>

#include "K7Core/SDS/SDSTransferFailure.h"

namespace k7 {

namespace sds_receiver_status {
struct Receiving {
    int64_t receivedSampleWords;
    int64_t totalSampleWords;
    uint8_t expectedPacketNumber;
    bool operator==(const Receiving&) const = default;
};
struct Failed {
    SDSTransferFailure failure;
    bool operator==(const Failed&) const = default;
};
struct Idle {
    bool operator==(const Idle&) const = default;
};
struct Completed {
    bool operator==(const Completed&) const = default;
};
}  // namespace sds_receiver_status

// Where the receiver stands: in a dump, or after the last one (failed, completed) or none yet.
using SDSReceiverStatus = std::variant<sds_receiver_status::Receiving, sds_receiver_status::Failed,
                                       sds_receiver_status::Idle, sds_receiver_status::Completed>;

}  // namespace k7
