#pragma once

#include <cstddef>

namespace k7 {

// A sustain loop in sample frames; the end frame is played (inclusive).
struct AudioLoop {
    std::size_t start = 0;
    std::size_t end = 0;

    // Only such a loop may be used to cut or play the sample.
    bool fits(std::size_t frameCount) const { return start <= end && end < frameCount; }

    bool operator==(const AudioLoop&) const = default;
};

}  // namespace k7
