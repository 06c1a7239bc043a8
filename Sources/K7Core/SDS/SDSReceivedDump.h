#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// One dump received completely.
struct SDSReceivedDump {
    SDSDumpHeaderMessage header;
    std::optional<SDSSampleNameMessage> sampleName;
    std::optional<SPS1UWFileNameMessage> sps1UWName;
    // Signed words of the header's significant bits, as the sender packed them.
    std::vector<int32_t> samples;
    // The messages that make up the dump, byte for byte as received, in arrival order: an
    // SPS-1UW name directly before the header, the header, name messages and each packet once.
    // Packets that were refused or repeated are not part of it.
    std::vector<Bytes> messages;

    uint16_t nextSamplePosition() const { return static_cast<uint16_t>(header.sampleNumber() + 1); }

    bool operator==(const SDSReceivedDump&) const = default;
};

}  // namespace k7
