#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSSenderConfiguration.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// What an audio item becomes on the wire before its data packets.
struct AudioSDSEnvelope {
    SDSDumpHeaderMessage header;
    std::optional<SDSSampleNameMessage> sampleName;
    // Further complete messages sent before the dump, such as the SPS-1UW sample-name message.
    std::vector<Bytes> supplementalPreambleMessages;
    uint8_t significantBits = 16;
    int64_t sampleWordCount = 0;

    // Exactly the bytes the SDS send of this envelope puts on the wire when nothing is resent.
    // Throws SDSError valueOutOfRange for significant bits outside 8...28.
    int64_t estimatedWireBytes(const SDSSenderConfiguration& configuration) const;
};

}  // namespace k7
