#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/SPS1UW/SPS1UWFileName.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Renders one cycle of a waveform into a Monomachine DigiPRO waveform message.
struct DigiPROEncoder {
    static constexpr std::size_t frameByteCount = DigiPROWaveform::messageByteCount;
    static constexpr std::size_t maximumSampleCount = 16384;
    // Full-resolution peak of factory-style banks (about -20.5 dBFS of 24-bit full scale).
    static constexpr double factoryPeakLevel = 795169.0;

    // `monoPCM32` is exactly one cycle in 32-bit full scale. Throws DigiPROEncodingError.
    static Bytes encode(std::span<const int32_t> monoPCM32, int position, const SPS1UWFileName& name);
};

}  // namespace k7
