#pragma once

#include <cstdint>
#include <string>

namespace k7 {

// One DigiPRO waveform message of an item, as the send analysis decoded it.
struct DigiPROFrameMetadata {
    int64_t position = 0;  // waveform slot 0...63
    std::string name;      // the four-character name
    bool operator==(const DigiPROFrameMetadata&) const = default;
};

}  // namespace k7
