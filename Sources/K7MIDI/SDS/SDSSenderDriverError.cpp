#include "K7MIDI/SDS/SDSSenderDriverError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {

std::string transferMessage(const SDSTransferFailure& failure) {
    using namespace sds_failure;
    return std::visit(
        Overloaded{
            [](const ProtocolError& f) {
                return "The SDS transfer stopped on a protocol error: " + std::string(f.error.what()) +
                       " The device may hold an incomplete sample; send it again.";
            },
            [](const RetryExhausted& f) {
                return "The device did not accept SDS packet " + std::to_string(f.packetNumber) + " after repeated " +
                       "attempts (" + caseName(f.cause) + "). Check the MIDI cables in both directions, then send " +
                       "the sample again.";
            },
            [](const InterruptedByNewHeader&) {
                return std::string("A new SDS dump interrupted the transfer. Send the sample again.");
            },
            [](const LocalCancelled&) {
                return std::string("The SDS transfer was cancelled; the device may hold an incomplete sample.");
            },
            [](const RemoteCancelled&) {
                return std::string(
                    "The device cancelled the SDS transfer. Check that it is ready to receive a sample and has room "
                    "for it, then send it again.");
            },
            [](const UnexpectedEndOfFile&) {
                return std::string("The SDS transfer ended before all sample data was sent. Send the sample again.");
            },
        },
        failure);
}

}  // namespace

bool SDSSenderDriverError::isLocalCancellation() const {
    if (const auto* transfer = as<Transfer>()) return std::holds_alternative<sds_failure::LocalCancelled>(transfer->failure);
    if (const auto* transport = as<Transport>()) return transport->error && *transport->error == MIDITransportError::cancelled();
    return false;
}

std::string SDSSenderDriverError::messageFor(const Case& errorCase) {
    return std::visit(Overloaded{
                          [](const Transfer& e) { return transferMessage(e.failure); },
                          [](const Transport& e) {
                              return "The SDS transfer stopped because a MIDI message could not be sent: " +
                                     e.description;
                          },
                          [](const InvalidStateMachineOutput& e) {
                              return "The SDS transfer could not run: " + e.description +
                                     " Prepare the sample again, then send it.";
                          },
                          [](const AlreadyActive&) {
                              return std::string(
                                  "An SDS transfer is already running. Wait for it to finish or stop it, then try "
                                  "again.");
                          },
                      },
                      errorCase);
}

std::string SDSSenderDriverError::describeCase(const Case& errorCase) {
    return std::visit(Overloaded{
                          [](const Transfer& e) { return k7::describeCase("transfer", {field("", k7::describe(e.failure))}); },
                          [](const Transport& e) {
                              return k7::describeCase(
                                  "transport", {field("", e.error ? e.error->describe() : describeValue(e.description))});
                          },
                          [](const InvalidStateMachineOutput& e) {
                              return k7::describeCase("invalidStateMachineOutput", {labelled("", e.description)});
                          },
                          [](const AlreadyActive&) { return k7::describeCase("alreadyActive"); },
                      },
                      errorCase);
}

}  // namespace k7
