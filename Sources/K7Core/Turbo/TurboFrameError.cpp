#include "K7Core/Turbo/TurboFrameError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string TurboFrameError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InvalidLength& e) {
                return "The Turbo MIDI message is " + std::to_string(e.actual) + " bytes long, but " +
                       std::to_string(e.expected) + " bytes were expected.";
            },
            [](const UnsupportedCommand& e) {
                return "The Turbo MIDI message carries the unsupported command " + hexByte(e.command) + ".";
            },
            [](const UnknownSpeedCode& e) {
                return "The Turbo MIDI message names the unknown speed code " + std::to_string(e.code) + ".";
            },
            [](const InvalidEnvelope&) {
                return std::string("The Turbo MIDI message is not a complete SysEx message of MIDI data bytes.");
            },
            [](const WrongFamily&) { return std::string("The SysEx message is not a Turbo MIDI message."); },
        },
        errorCase);
}

std::string TurboFrameError::describeCase(const Case& errorCase) {
    return std::visit(Overloaded{
                          [](const InvalidLength& e) {
                              return k7::describeCase("invalidLength", {labelled("expected", e.expected),
                                                                        labelled("actual", e.actual)});
                          },
                          [](const UnsupportedCommand& e) {
                              return k7::describeCase("unsupportedCommand", {labelled("", e.command)});
                          },
                          [](const UnknownSpeedCode& e) {
                              return k7::describeCase("unknownSpeedCode", {labelled("", e.code)});
                          },
                          [](const InvalidEnvelope&) { return k7::describeCase("invalidEnvelope"); },
                          [](const WrongFamily&) { return k7::describeCase("wrongFamily"); },
                      },
                      errorCase);
}

}  // namespace k7
