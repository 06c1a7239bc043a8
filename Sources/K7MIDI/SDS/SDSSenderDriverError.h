#pragma once

#include <optional>
#include <string>
#include <variant>

#include "K7Core/SDS/SDSTransferFailure.h"
#include "K7Core/Support/K7Error.h"
#include "K7MIDI/Transport/MIDITransportError.h"

namespace k7 {

namespace sds_sender_driver_error {
// The state machine ended the transfer without success.
struct Transfer {
    SDSTransferFailure failure;
    bool operator==(const Transfer&) const = default;
};
// Sending a message failed. `error` is the transport's own error when it threw one; `description`
// is the text of whatever it threw.
struct Transport {
    std::optional<MIDITransportError> error;
    std::string description;
    bool operator==(const Transport&) const = default;
};
// The state machine asked for something the driver cannot do (or threw).
struct InvalidStateMachineOutput {
    std::string description;
    bool operator==(const InvalidStateMachineOutput&) const = default;
};
struct AlreadyActive {
    bool operator==(const AlreadyActive&) const = default;
};
}  // namespace sds_sender_driver_error

using SDSSenderDriverErrorCase =
    std::variant<sds_sender_driver_error::Transfer, sds_sender_driver_error::Transport,
                 sds_sender_driver_error::InvalidStateMachineOutput, sds_sender_driver_error::AlreadyActive>;

class SDSSenderDriverError : public K7Error<SDSSenderDriverError, SDSSenderDriverErrorCase> {
public:
    using K7Error::K7Error;
    using Transfer = sds_sender_driver_error::Transfer;
    using Transport = sds_sender_driver_error::Transport;
    using InvalidStateMachineOutput = sds_sender_driver_error::InvalidStateMachineOutput;
    using AlreadyActive = sds_sender_driver_error::AlreadyActive;

    static SDSSenderDriverError transfer(SDSTransferFailure failure) { return SDSSenderDriverError(Transfer{failure}); }
    static SDSSenderDriverError transport(const MIDITransportError& error) {
        return SDSSenderDriverError(Transport{error, error.what()});
    }
    static SDSSenderDriverError alreadyActive() { return SDSSenderDriverError(AlreadyActive{}); }

    // The local user stopped it: a local cancel, or the transport's pending sends were cancelled.
    bool isLocalCancellation() const;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
