#pragma once

#include <cstddef>
#include <cstdint>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// F0 7E dd 03 ss ss F7: asks a device to dump one sample.
struct SDSDumpRequest {
    static constexpr std::size_t byteCount = 7;

    uint8_t deviceID = 0;
    uint16_t sampleNumber = 0;

    // Throws SDSError valueOutOfRange for a device ID above 7F or a sample number above 16383.
    static SDSDumpRequest make(uint8_t deviceID, uint16_t sampleNumber);

    Bytes encode() const;
    // Throws SDSError unless the frame is exactly a dump request.
    static SDSDumpRequest decode(ByteView frame);

    bool operator==(const SDSDumpRequest&) const = default;
};

}  // namespace k7
