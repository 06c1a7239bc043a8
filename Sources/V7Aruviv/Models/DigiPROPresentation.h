#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "V7Aruviv/Models/DigiPROFrameMetadata.h"

namespace k7 {

// The texts that describe DigiPRO waveform positions.
struct DigiPROPresentation {
    // "Position 3", "Positions 3–5", "Positions 1, 5", or the first eight and last two of a long
    // scattered list with the count.
    static std::string positionDescription(const std::vector<int64_t>& positions);
    // The file information line for an item's waveforms; nothing when it has none.
    static std::optional<std::string> fileInfo(const std::vector<DigiPROFrameMetadata>& frames);
};

}  // namespace k7
