#pragma once

#include <cstddef>

namespace k7 {

struct MIDIReceiveDrainResult {
    // No SysEx arrived for the asked interval before the timeout.
    bool didReachQuiescence = false;
    // Bytes of a final message without F7 that the drain discarded; 0 when none.
    std::size_t incompleteMessageByteCount = 0;

    bool operator==(const MIDIReceiveDrainResult&) const = default;
};

}  // namespace k7
