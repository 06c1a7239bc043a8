#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "K7MIDI/Transport/MIDIEndpoint.h"

namespace k7 {

struct MIDIEndpointSnapshot {
    std::vector<MIDIEndpoint> inputs;
    std::vector<MIDIEndpoint> outputs;

    bool operator==(const MIDIEndpointSnapshot&) const = default;

    static const MIDIEndpoint* find(const std::vector<MIDIEndpoint>& endpoints, int32_t id) {
        for (const auto& endpoint : endpoints) {
            if (endpoint.id == id) return &endpoint;
        }
        return nullptr;
    }
    const MIDIEndpoint* input(int32_t id) const { return find(inputs, id); }
    const MIDIEndpoint* output(int32_t id) const { return find(outputs, id); }
};

}  // namespace k7
