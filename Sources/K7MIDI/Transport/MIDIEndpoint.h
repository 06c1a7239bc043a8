#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace k7 {

// A MIDI source or destination. `id` is stable across restarts and re-plugging, so a saved
// selection finds the same device again.
struct MIDIEndpoint {
    int32_t id = 0;
    std::string name;
    std::optional<std::string> manufacturer;
    std::optional<std::string> model;
    bool isOnline = true;

    bool operator==(const MIDIEndpoint&) const = default;
};

}  // namespace k7
