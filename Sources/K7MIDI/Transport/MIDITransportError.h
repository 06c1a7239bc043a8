#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace midi_transport_error {
struct NoOutputSelected {
    bool operator==(const NoOutputSelected&) const = default;
};
struct Cancelled {
    bool operator==(const Cancelled&) const = default;
};
// The endpoint is not (or no longer) in the system's list, or it went offline.
struct EndpointUnavailable {
    bool operator==(const EndpointUnavailable&) const = default;
};
// The MIDI system refused a call: `operation` names it, `status` is its negative errno result.
struct System {
    std::string operation;
    int status;
    bool operator==(const System&) const = default;
};
// The bytes handed to send are not one complete F0 ... F7 message of data bytes.
struct InvalidSysEx {
    std::size_t byteCount;
    bool operator==(const InvalidSysEx&) const = default;
};
struct InvalidSysExSpeed {
    long long bytesPerSecond;
    bool operator==(const InvalidSysExSpeed&) const = default;
};
}  // namespace midi_transport_error

using MIDITransportErrorCase =
    std::variant<midi_transport_error::NoOutputSelected, midi_transport_error::Cancelled,
                 midi_transport_error::EndpointUnavailable, midi_transport_error::System,
                 midi_transport_error::InvalidSysEx, midi_transport_error::InvalidSysExSpeed>;

class MIDITransportError : public K7Error<MIDITransportError, MIDITransportErrorCase> {
public:
    using K7Error::K7Error;
    using NoOutputSelected = midi_transport_error::NoOutputSelected;
    using Cancelled = midi_transport_error::Cancelled;
    using EndpointUnavailable = midi_transport_error::EndpointUnavailable;
    using System = midi_transport_error::System;
    using InvalidSysEx = midi_transport_error::InvalidSysEx;
    using InvalidSysExSpeed = midi_transport_error::InvalidSysExSpeed;

    static MIDITransportError noOutputSelected() { return MIDITransportError(NoOutputSelected{}); }
    static MIDITransportError cancelled() { return MIDITransportError(Cancelled{}); }
    static MIDITransportError endpointUnavailable() { return MIDITransportError(EndpointUnavailable{}); }
    static MIDITransportError system(std::string operation, int status) {
        return MIDITransportError(System{std::move(operation), status});
    }

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
