#pragma once

#include <cstdint>
#include <optional>

#include "K7Core/SPS1UW/SPS1UWFileName.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// F0 00 20 3C 02 <device ID> 73 <sample number> <four name bytes> F7: names a Machinedrum UW
// sample slot. Sent between an SDS header and its first packet, the slot byte is ignored by the
// instrument in favour of the header's sample number.
struct SPS1UWFileNameMessage {
    static constexpr std::size_t byteCount = 13;

    // Throws SPS1UWFileNameError when the device ID or sample number is not seven-bit.
    SPS1UWFileNameMessage(uint8_t deviceID, uint8_t sampleNumber, SPS1UWFileName fileName);

    uint8_t deviceID;
    uint8_t sampleNumber;
    SPS1UWFileName fileName;

    Bytes encode() const;
    // nil unless the frame is exactly a well-formed sample-name message.
    static std::optional<SPS1UWFileNameMessage> decode(ByteView frame);

    bool operator==(const SPS1UWFileNameMessage&) const = default;
};

}  // namespace k7
