#pragma once

#include <cstddef>
#include <cstdint>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// F0 7E dd 05 04 ss ss F7: asks a device for one sample's name.
struct SDSSampleNameRequest {
    static constexpr std::size_t byteCount = 8;

    uint8_t deviceID = 0;
    uint16_t sampleNumber = 0;

    // Throws SDSError valueOutOfRange for a device ID above 7F or a sample number above 16383.
    static SDSSampleNameRequest make(uint8_t deviceID, uint16_t sampleNumber);

    Bytes encode() const;
    // Throws SDSError unless the frame is exactly a sample-name request.
    static SDSSampleNameRequest decode(ByteView frame);

    bool operator==(const SDSSampleNameRequest&) const = default;
};

}  // namespace k7
