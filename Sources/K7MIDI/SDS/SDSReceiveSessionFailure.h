#pragma once

#include <string>
#include <variant>

#include "K7Core/SDS/SDSTransferFailure.h"
#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace sds_receive_session_failure {
struct Transfer {
    SDSTransferFailure failure;
    bool operator==(const Transfer&) const = default;
};
// An answer to the sender could not be sent; `description` is the transport's text.
struct Transport {
    std::string description;
    bool operator==(const Transport&) const = default;
};
// A dump completed whose header does not describe playable audio.
struct InvalidCompletion {
    bool operator==(const InvalidCompletion&) const = default;
};
}  // namespace sds_receive_session_failure

using SDSReceiveSessionFailureCase =
    std::variant<sds_receive_session_failure::Transfer, sds_receive_session_failure::Transport,
                 sds_receive_session_failure::InvalidCompletion>;

// Why a dump of a receive session did not arrive; the session itself goes on.
class SDSReceiveSessionFailure : public K7Error<SDSReceiveSessionFailure, SDSReceiveSessionFailureCase> {
public:
    using K7Error::K7Error;
    using Transfer = sds_receive_session_failure::Transfer;
    using Transport = sds_receive_session_failure::Transport;
    using InvalidCompletion = sds_receive_session_failure::InvalidCompletion;

    static SDSReceiveSessionFailure transfer(SDSTransferFailure failure) {
        return SDSReceiveSessionFailure(Transfer{std::move(failure)});
    }

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
