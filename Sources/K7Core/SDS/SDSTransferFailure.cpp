#include "K7Core/SDS/SDSTransferFailure.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string describe(const SDSTransferFailure& failure) {
    using namespace sds_failure;
    return std::visit(
        Overloaded{
            [](const ProtocolError& f) { return describeCase("protocolError", {field("", f.error.describe())}); },
            [](const RetryExhausted& f) {
                return describeCase("retryExhausted",
                                    {field("cause", caseName(f.cause)), labelled("packetNumber", f.packetNumber)});
            },
            [](const InterruptedByNewHeader& f) {
                return describeCase("interruptedByNewHeader", {labelled("receivedSampleWords", f.receivedSampleWords),
                                                               labelled("totalSampleWords", f.totalSampleWords)});
            },
            [](const LocalCancelled&) { return describeCase("localCancelled"); },
            [](const RemoteCancelled&) { return describeCase("remoteCancelled"); },
            [](const UnexpectedEndOfFile&) { return describeCase("unexpectedEndOfFile"); },
        },
        failure);
}

}  // namespace k7
