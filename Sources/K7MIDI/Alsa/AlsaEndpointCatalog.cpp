#include "K7MIDI/Alsa/AlsaEndpointCatalog.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace k7 {

namespace {

constexpr uint32_t largestID = 0x7FFFFFFF;

std::string displayName(const AlsaPortDescription& port) {
    // Device ports usually repeat their client's name; when not, the client says whose port it is.
    if (port.portName.rfind(port.clientName, 0) == 0) return port.portName;
    return port.clientName + ": " + port.portName;
}

}  // namespace

int32_t AlsaEndpointCatalog::stableID(std::string_view clientName, std::string_view portName) {
    // 32-bit FNV-1a over both names with a separator that names cannot contain.
    uint32_t hash = 2166136261u;
    auto mix = [&hash](std::string_view text) {
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 16777619u;
        }
    };
    mix(clientName);
    mix(std::string_view("\0", 1));
    mix(portName);
    const uint32_t id = hash & largestID;
    return static_cast<int32_t>(id == 0 ? 1 : id);
}

AlsaEndpointCatalog AlsaEndpointCatalog::build(const std::vector<AlsaPortDescription>& ports, int ownClient) {
    struct Candidate {
        int32_t hash;
        const AlsaPortDescription* port;
    };
    std::vector<Candidate> candidates;
    for (const auto& port : ports) {
        if (port.address.client == systemClient || port.address.client == ownClient || port.hidden) continue;
        if (!port.readable && !port.writable) continue;
        candidates.push_back({stableID(port.clientName, port.portName), &port});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.hash, a.port->clientName, a.port->portName, a.port->address) <
               std::tie(b.hash, b.port->clientName, b.port->portName, b.port->address);
    });

    AlsaEndpointCatalog catalog;
    std::set<int32_t> used;
    std::vector<std::pair<const AlsaPortDescription*, int32_t>> assigned;
    for (const auto& candidate : candidates) {
        auto id = static_cast<uint32_t>(candidate.hash);
        while (used.count(static_cast<int32_t>(id))) id = id == largestID ? 1 : id + 1;
        used.insert(static_cast<int32_t>(id));
        assigned.emplace_back(candidate.port, static_cast<int32_t>(id));
        catalog.addresses.emplace(static_cast<int32_t>(id), candidate.port->address);
    }
    // Lists in the system's order, which follows how devices were plugged in.
    std::sort(assigned.begin(), assigned.end(),
              [](const auto& a, const auto& b) { return a.first->address < b.first->address; });
    for (const auto& [port, id] : assigned) {
        MIDIEndpoint endpoint{id, displayName(*port), std::nullopt, port->clientName, true};
        if (port->readable) catalog.snapshot.inputs.push_back(endpoint);
        if (port->writable) catalog.snapshot.outputs.push_back(endpoint);
    }
    return catalog;
}

std::optional<AlsaPortAddress> AlsaEndpointCatalog::address(int32_t id) const {
    auto found = addresses.find(id);
    if (found == addresses.end()) return std::nullopt;
    return found->second;
}

}  // namespace k7
