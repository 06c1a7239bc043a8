#include "K7MIDI/Transport/MIDITransportError.h"

#include <cstring>

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
std::string statusText(int status) {
    const int code = status < 0 ? -status : status;
    // strerrordesc_np is thread-safe and not localised, unlike strerror.
    const char* text = code > 0 ? strerrordesc_np(code) : nullptr;
    std::string result = "error " + std::to_string(status);
    if (text) result += std::string(", ") + text;
    return result;
}
}  // namespace

std::string MIDITransportError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const NoOutputSelected&) {
                return std::string("No MIDI output is selected. Choose a MIDI output in Settings, then try again.");
            },
            [](const Cancelled&) {
                return std::string("The MIDI send was cancelled before it finished; the rest of the data was not sent.");
            },
            [](const EndpointUnavailable&) {
                return std::string(
                    "The selected MIDI endpoint is not available. Reconnect the MIDI device or choose another "
                    "endpoint in Settings.");
            },
            [](const System& e) {
                return "ALSA refused " + e.operation + " (" + statusText(e.status) +
                       "). Check that the MIDI device is connected and the ALSA sequencer is available, then try "
                       "again.";
            },
            [](const InvalidSysEx& e) {
                return "The " + std::to_string(e.byteCount) +
                       " bytes to send are not one complete SysEx message (F0 … F7 with only data bytes between), "
                       "so nothing was sent.";
            },
            [](const InvalidSysExSpeed& e) {
                return "The MIDI output cannot be set to " + std::to_string(e.bytesPerSecond) +
                       " bytes per second; its speed was left unchanged.";
            },
        },
        errorCase);
}

std::string MIDITransportError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const NoOutputSelected&) { return k7::describeCase("noOutputSelected"); },
            [](const Cancelled&) { return k7::describeCase("cancelled"); },
            [](const EndpointUnavailable&) { return k7::describeCase("endpointUnavailable"); },
            [](const System& e) {
                return k7::describeCase("system", {labelled("operation", e.operation), labelled("status", e.status)});
            },
            [](const InvalidSysEx& e) {
                return k7::describeCase("invalidSysEx", {labelled("byteCount", e.byteCount)});
            },
            [](const InvalidSysExSpeed& e) {
                return k7::describeCase("invalidSysExSpeed", {labelled("bytesPerSecond", e.bytesPerSecond)});
            },
        },
        errorCase);
}

}  // namespace k7
