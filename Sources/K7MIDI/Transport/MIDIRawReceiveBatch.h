#pragma once

#include <cstdint>
#include <optional>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// Input bytes exactly as they left the ingress ring, before any framing.
struct MIDIRawReceiveBatch {
    Bytes bytes;
    std::optional<int32_t> sourceEndpointID;
    // Position of bytes[0] in the input's stream since it was selected.
    uint64_t streamOffset = 0;
    // Bytes the full ring lost right after this batch.
    uint64_t droppedByteCountAfter = 0;
    uint64_t timestampNanoseconds = 0;

    bool operator==(const MIDIRawReceiveBatch&) const = default;
};

}  // namespace k7
