#pragma once

#include <memory>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "K7MIDI/Alsa/AlsaEndpointCatalog.h"
#include "K7MIDI/Alsa/AlsaInputEvent.h"

namespace k7 {

// The little of the ALSA sequencer the transport needs. The libasound implementation lives in
// one file; tests and benchmarks put a fake behind this seam.
//
// readEvents is called by the transport's input thread only; every other call may come from any
// thread and the implementation serialises them.
class AlsaSequencing {
public:
    virtual ~AlsaSequencing() = default;

    virtual int clientID() const = 0;
    virtual std::vector<AlsaPortDescription> ports() = 0;

    // Subscribes our input port to a source, or our output port to a destination. Throw
    // MIDITransportError::system when the sequencer refuses.
    virtual void connectInput(AlsaPortAddress source) = 0;
    virtual void disconnectInput(AlsaPortAddress source) = 0;
    virtual void connectOutput(AlsaPortAddress destination) = 0;
    virtual void disconnectOutput(AlsaPortAddress destination) = 0;

    // Hands one piece of a SysEx message to the output's subscribers at once.
    virtual void sendSysEx(ByteView piece) = 0;

    // Blocks until events arrive (data from subscribed sources and system announcements) or
    // wake() is called; returns what arrived, possibly nothing.
    virtual std::vector<AlsaInputEvent> readEvents() = 0;
    virtual void wake() = 0;
};

// Opens the system's sequencer as a client of that name with one input and one output port.
// Throws MIDITransportError::system when there is no sequencer; prints nothing either way.
std::unique_ptr<AlsaSequencing> openAlsaSequencer(const std::string& clientName);

}  // namespace k7
