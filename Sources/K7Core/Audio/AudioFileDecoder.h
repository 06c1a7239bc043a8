#pragma once

#include <cstddef>

#include "K7Core/Audio/AudioSample.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Reads WAV (PCM 1-32 bits, IEEE float 32/64, WAVE_FORMAT_EXTENSIBLE, the first loop of a `smpl`
// chunk), AIFF (1-32 bits, the `INST` sustain loop between its `MARK` markers) and AIFC (NONE,
// twos, sowt, in24, in32, raw, fl32, fl64). Integer samples are shifted to 32-bit full scale;
// floating-point samples are clamped to [-1, 1] and scaled, saturating at the 32-bit maximum. A loop
// that does not lie inside the frames is dropped.
struct AudioFileDecoder {
    // The largest file the importer hands over (512 MiB).
    static constexpr std::size_t maximumInputBytes = 536870912;

    // Throws AudioCodecError.
    static AudioSample decode(ByteView file);
};

}  // namespace k7
