#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSRetryCause.h"

namespace k7 {

namespace sds_failure {
struct ProtocolError {
    SDSError error;
    bool operator==(const ProtocolError&) const = default;
};
struct RetryExhausted {
    SDSRetryCause cause;
    uint8_t packetNumber;
    bool operator==(const RetryExhausted&) const = default;
};
struct InterruptedByNewHeader {
    int64_t receivedSampleWords;
    int64_t totalSampleWords;
    bool operator==(const InterruptedByNewHeader&) const = default;
};
struct LocalCancelled {
    bool operator==(const LocalCancelled&) const = default;
};
struct RemoteCancelled {
    bool operator==(const RemoteCancelled&) const = default;
};
struct UnexpectedEndOfFile {
    bool operator==(const UnexpectedEndOfFile&) const = default;
};
}  // namespace sds_failure

// Why an SDS transfer ended without success; shared by the sender and the receiver.
using SDSTransferFailure =
    std::variant<sds_failure::ProtocolError, sds_failure::RetryExhausted, sds_failure::InterruptedByNewHeader,
                 sds_failure::LocalCancelled, sds_failure::RemoteCancelled, sds_failure::UnexpectedEndOfFile>;

// The case with its labelled values, e.g. `retryExhausted(cause: timeout, packetNumber: 3)`.
std::string describe(const SDSTransferFailure& failure);

}  // namespace k7
