#pragma once

#include <cstdint>
#include <optional>

#include "K7Core/Audio/AudioSample.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Writes WAV (PCM, with a `smpl` chunk for the loop) and AIFF (with `MARK` and `INST` for the loop).
// Samples are reduced from 32-bit full scale by dropping low bits. A loop that does not lie inside
// the frames is not written.
struct AudioFileEncoder {
    struct WAVEncoding {
        int bitDepth = 16;  // 8 (unsigned), 16, 24 or 32
        static WAVEncoding integerPCM(int bitDepth) { return WAVEncoding{bitDepth}; }
    };
    struct AIFFEncoding {
        int significantBits = 16;  // 1 ... 32, left-justified in whole bytes
        static AIFFEncoding integerPCM(int significantBits) { return AIFFEncoding{significantBits}; }
    };

    // The loop's sample period goes into the `smpl` chunk; without one it follows from the rate.
    // Throws AudioCodecError.
    static Bytes wav(const AudioSample& sample, WAVEncoding encoding,
                     std::optional<uint32_t> loopSamplePeriodNanoseconds = std::nullopt);
    // Throws AudioCodecError.
    static Bytes aiff(const AudioSample& sample, AIFFEncoding encoding);
};

}  // namespace k7
