#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace sds_file_transfer_error {
// The list starts like an SDS dump and then breaks at the message with this index (from 0).
// The reason is a clause that completes "message N ...", without a final full stop.
struct Malformed {
    std::size_t messageIndex;
    std::string reason;
    bool operator==(const Malformed&) const = default;
};
}  // namespace sds_file_transfer_error

using SDSFileTransferErrorCase = std::variant<sds_file_transfer_error::Malformed>;

class SDSFileTransferError : public K7Error<SDSFileTransferError, SDSFileTransferErrorCase> {
public:
    using K7Error::K7Error;
    using Malformed = sds_file_transfer_error::Malformed;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
