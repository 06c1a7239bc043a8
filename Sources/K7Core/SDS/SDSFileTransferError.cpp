#include "K7Core/SDS/SDSFileTransferError.h"

#include "K7Core/Support/ErrorDescription.h"

namespace k7 {

std::string SDSFileTransferError::messageFor(const Case& errorCase) {
    const auto& e = std::get<Malformed>(errorCase);
    return "The SysEx data holds SDS sample dumps, but message " + std::to_string(e.messageIndex + 1) + " " +
           e.reason + ". The data was kept unchanged and cannot be sent as SDS; export or receive the dump again.";
}

std::string SDSFileTransferError::describeCase(const Case& errorCase) {
    const auto& e = std::get<Malformed>(errorCase);
    return k7::describeCase("malformed", {labelled("messageIndex", e.messageIndex), labelled("reason", e.reason)});
}

}  // namespace k7
