#pragma once

#include <optional>
#include <span>
#include <vector>

#include "K7Core/SDS/SDSFileTransfer.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Splits stored SysEx messages into SDS dumps. A dump is: an optional SPS-1UW name message, the
// dump header (classic or extended), any SPS-1UW and SDS sample-name messages, exactly the data
// packets the header announces (numbered from 0, wrapping after 127, each with a good checksum
// and the header's device ID) and an optional end-of-file message. Dumps follow each other with
// nothing between them.
struct SDSFileTransferCodec {
    // nil when the list does not start with a dump header (after at most one SPS-1UW name
    // message); else every dump in order. Throws SDSFileTransferError malformed when the list
    // starts like a dump and then breaks.
    static std::optional<std::vector<SDSFileTransfer>> transfers(std::span<const Bytes> messages);
};

}  // namespace k7
