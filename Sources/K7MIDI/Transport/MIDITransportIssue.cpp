#include "K7MIDI/Transport/MIDITransportIssue.h"

#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
std::string bytes(std::size_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }
}  // namespace

std::string MIDITransportIssue::description() const {
    return std::visit(
        Overloaded{
            [](const ReceiveTruncated& e) {
                return "MIDI input arrived faster than it could be stored and " + bytes(e.totalCount) +
                       (e.totalCount == 1 ? " was" : " were") + " lost, so the message being received was discarded. Messages received before it were "
                       "kept; receive the data again.";
            },
            [](const MalformedReceive& e) {
                std::string source = e.sourceEndpointID ? " from MIDI input " + std::to_string(*e.sourceEndpointID) : "";
                return "A malformed SysEx message received" + source + " was discarded (" +
                       bytes(e.discardedByteCount) + "). " + e.reason +
                       " Complete messages were kept; send the data again.";
            },
        },
        issueCase);
}

}  // namespace k7
