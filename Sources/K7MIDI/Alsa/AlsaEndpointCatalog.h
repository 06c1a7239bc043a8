#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "K7MIDI/Transport/MIDIEndpointSnapshot.h"

namespace k7 {

struct AlsaPortAddress {
    int client = 0;
    int port = 0;
    bool operator==(const AlsaPortAddress&) const = default;
    auto operator<=>(const AlsaPortAddress&) const = default;
};

// One sequencer port as the system lists it.
struct AlsaPortDescription {
    AlsaPortAddress address;
    std::string clientName;
    std::string portName;
    bool readable = false;  // others may subscribe to read from it: one of our inputs
    bool writable = false;  // others may subscribe to write to it: one of our outputs
    bool hidden = false;    // the port asks not to be exported
};

// The endpoint lists built from the system's ports, with each endpoint's port address.
struct AlsaEndpointCatalog {
    static constexpr int systemClient = 0;

    MIDIEndpointSnapshot snapshot;
    std::map<int32_t, AlsaPortAddress> addresses;

    // A positive 31-bit hash of the names alone, so it survives restarts and re-plugging (which
    // changes client numbers but not names).
    static int32_t stableID(std::string_view clientName, std::string_view portName);

    // Inputs are other clients' readable ports, outputs their writable ports; the system client,
    // our own client and hidden ports are left out. Ids that collide are moved to the next free
    // value, in an order fixed by names then addresses, so the result depends only on the ports.
    static AlsaEndpointCatalog build(const std::vector<AlsaPortDescription>& ports, int ownClient);

    std::optional<AlsaPortAddress> address(int32_t id) const;
};

}  // namespace k7
