#pragma once

#include <cstdint>

#include "K7Core/Support/Bytes.h"
#include "K7MIDI/Alsa/AlsaEndpointCatalog.h"

namespace k7 {

// A sequencer event as the input thread sees it, independent of libasound's structures.
struct AlsaInputEvent {
    enum class Kind {
        noteOff,
        noteOn,
        keyPressure,
        controller,
        programChange,
        channelPressure,
        pitchBend,
        control14,
        nonRegisteredParameter,
        registeredParameter,
        songPosition,
        songSelect,
        quarterFrame,
        tuneRequest,
        clock,
        tick,
        start,
        continueSong,
        stop,
        activeSensing,
        reset,
        sysEx,
        endpointsChanged,  // a client or port came, went or changed
        inputOverrun,      // the kernel dropped input events we read too slowly
        other,
    };

    Kind kind = Kind::other;
    AlsaPortAddress source;
    uint8_t channel = 0;
    uint32_t parameter = 0;  // note, controller or parameter number
    int32_t value = 0;       // velocity, value, program, bend (-8192...8191) or position
    Bytes data;              // a SysEx event's bytes as they came, possibly one piece of a message

    // Appends the MIDI 1.0 bytes of the event; events without MIDI bytes append nothing.
    void appendMIDIBytes(Bytes& out) const;
};

}  // namespace k7
