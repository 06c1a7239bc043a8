#pragma once

#include <vector>

#include "K7Core/Support/Bytes.h"
#include "K7MIDI/Transport/MockMIDITransport.h"

namespace k7::testing {

using PeerReply = MockMIDITransport::PeerReply;

// An instrument on the far side of a MockMIDITransport: it hears every message the program sends
// and answers with bytes that arrive at the program's input after a delay.
class SimulatedPeer {
public:
    virtual ~SimulatedPeer() = default;
    // Called on the sending thread; must not call back into the transport.
    virtual std::vector<PeerReply> hear(const Bytes& message) = 0;
};

}  // namespace k7::testing
