#pragma once

#include <cstdint>
#include <vector>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// One pass over everything a receive kept: each truncated DigiPRO waveform message still in the
// list is joined with the continuation messages directly before it (they arrived first) or
// directly after it, when together they make exactly one waveform message that decodes. The
// joined message takes the place of the whole run; nothing else moves.
struct DigiPROFinalFragmentConsolidator {
    struct Join {
        int position = 0;
        int64_t fragmentCount = 0;  // the truncated message and its continuations
        int64_t rawByteCount = 0;
        bool operator==(const Join&) const = default;
    };

    struct Output {
        std::vector<Bytes> messages;
        std::vector<Join> joins;  // in the order they were made
        bool operator==(const Output&) const = default;
    };

    static Output consolidate(std::vector<Bytes> messages);
};

}  // namespace k7
