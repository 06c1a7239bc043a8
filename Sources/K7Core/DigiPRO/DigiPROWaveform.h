#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "K7Core/SPS1UW/SPS1UWFileName.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// A Monomachine DigiPRO waveform message: F0 00 20 3C 03 00 5D 01 01, the position (0-63), four
// name bytes, 6132 raw payload bytes in Elektron 7-bit encoding (7008 bytes), a 14-bit checksum of
// the name and encoded payload (the position is not summed, so a message can be moved to another
// slot by changing that byte alone), the length field 7017 and F7.
struct DigiPROWaveform {
    static constexpr std::size_t messageByteCount = 7027;
    static constexpr std::size_t positionIndex = 9;
    static constexpr std::size_t nameIndex = 10;
    static constexpr std::size_t payloadIndex = 14;
    static constexpr std::size_t rawPayloadByteCount = 6132;
    static constexpr std::size_t checksumIndex = 7022;
    static constexpr std::size_t lengthFieldIndex = 7024;
    static constexpr int lengthFieldValue = 7017;
    static constexpr int maximumPosition = 63;

    // The payload is one cycle at nine resolutions, full resolution first, each point a signed
    // 24-bit big-endian value.
    static constexpr std::array<std::size_t, 9> tableSizes{1024, 512, 256, 128, 64, 32, 16, 8, 4};
    static constexpr std::size_t pointCount = 2044;
    static constexpr int32_t maximumPointValue = 8388607;

    int position = 0;
    SPS1UWFileName name;
    Bytes rawPayload;

    // Throws DigiPRODecodingError for a wrong length, header or end byte, a byte that is not a
    // MIDI data byte, a position above 63, a wrong length field or checksum.
    static DigiPROWaveform decode(ByteView message);

    // The 2044 points of the payload, sign-extended.
    std::vector<int32_t> points() const;

    // Sum of the name and encoded payload bytes, low 14 bits.
    static int checksum(ByteView message);
};

}  // namespace k7
