#include "K7MIDI/SDS/SDSSenderDriverCompletion.h"

#include "K7Core/Support/ErrorDescription.h"

namespace k7 {

std::string SDSSenderDriverCompletion::describe() const {
    const char* name = kind == Kind::handshakeAcknowledged ? "handshakeAcknowledged" : "openLoopTransportSubmitted";
    return describeCase(name, {labelled("nextSamplePosition", nextSamplePosition)});
}

}  // namespace k7
