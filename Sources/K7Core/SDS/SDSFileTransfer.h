#pragma once

#include <cstdint>
#include <vector>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// One SDS dump as stored in a SysEx file, every message byte for byte as stored.
struct SDSFileTransfer {
    SDSDumpHeaderMessage header;
    // Every message before the first data packet in stored order: the header message itself,
    // SPS-1UW name messages (before or after it) and SDS sample-name messages.
    std::vector<Bytes> preambleMessages;
    std::vector<Bytes> packetMessages;
    // What follows the last packet: the end-of-file message, when stored.
    std::vector<Bytes> completionMessages;
    // Sample words carried by each packet; only the last may be short.
    std::vector<int64_t> packetSampleWordCounts;

    int64_t totalSampleWords() const;
    // The bytes of all its stored messages.
    int64_t wireByteCount() const;

    bool operator==(const SDSFileTransfer&) const = default;
};

}  // namespace k7
