#pragma once

#include <cstdint>

namespace k7 {

// One stored SDS dump's cost on the wire, as stored.
struct SDSDumpWireWorkload {
    int64_t sampleWords = 0;
    int64_t wireBytes = 0;
    bool operator==(const SDSDumpWireWorkload&) const = default;
};

}  // namespace k7
