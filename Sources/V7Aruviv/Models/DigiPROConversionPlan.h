#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"

namespace k7 {

// The plan of creating DigiPRO waveform files from selected audio, one position per item from the
// sample position on. When `warning` is present the plan must not be carried out.
struct DigiPROConversionPlan {
    int64_t itemCount = 0;
    int64_t startingPosition = 0;
    int64_t endingPosition = 0;  // the largest 64-bit value when the last position overflows
    std::string summary;
    std::string help;
    std::optional<std::string> warning;

    // Nothing for no items or any item that is not WAV or AIFF.
    static std::optional<DigiPROConversionPlan> make(const std::vector<const TransferItem*>& orderedItems,
                                                     int64_t samplePosition);
    static std::optional<DigiPROConversionPlan> make(const std::vector<TransferItem>& orderedItems,
                                                     int64_t samplePosition);

    bool operator==(const DigiPROConversionPlan&) const = default;
};

}  // namespace k7
