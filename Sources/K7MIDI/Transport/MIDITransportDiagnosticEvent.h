#pragma once

#include <map>
#include <string>

namespace k7 {

// A structured diagnostic: a dotted lower-camel name ("midi.send.completed") and flat string fields.
struct MIDITransportDiagnosticEvent {
    std::string name;
    std::map<std::string, std::string> fields;

    bool operator==(const MIDITransportDiagnosticEvent&) const = default;
};

}  // namespace k7
