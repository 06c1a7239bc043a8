#include "K7MIDI/SDS/SDSReceiveSessionFailure.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string SDSReceiveSessionFailure::messageFor(const Case& errorCase) {
    return std::visit(Overloaded{
                          [](const Transfer& e) {
                              return "The SDS dump was not received completely (" + k7::describe(e.failure) +
                                     "); the bytes that arrived were kept.";
                          },
                          [](const Transport& e) {
                              return "The SDS dump was abandoned because the answer to the sender could not be "
                                     "sent: " +
                                     e.description;
                          },
                          [](const InvalidCompletion&) {
                              return std::string(
                                  "The SDS dump arrived, but its header does not describe audio that can be "
                                  "decoded; the bytes that arrived were kept.");
                          },
                      },
                      errorCase);
}

std::string SDSReceiveSessionFailure::describeCase(const Case& errorCase) {
    return std::visit(Overloaded{
                          [](const Transfer& e) { return k7::describeCase("transfer", {field("", k7::describe(e.failure))}); },
                          [](const Transport& e) { return k7::describeCase("transport", {labelled("", e.description)}); },
                          [](const InvalidCompletion&) { return k7::describeCase("invalidCompletion"); },
                      },
                      errorCase);
}

}  // namespace k7
