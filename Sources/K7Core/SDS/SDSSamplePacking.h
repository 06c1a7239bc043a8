#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// Sample words in SDS data packets: signed words of 8...28 significant bits sent as offset binary
// (the sign bit flipped), left-justified in 2, 3 or 4 seven-bit bytes, most significant byte first.
// A word w of b bits lies in [-2^(b-1), 2^(b-1) - 1]; packing keeps only its low b bits, so callers
// check the range first (the sender does).
struct SDSSamplePacking {
    static constexpr std::size_t packetPayloadByteCount = 120;

    // 2 for 8...14 bits, 3 for 15...21, 4 for 22...28; throws SDSError valueOutOfRange otherwise.
    static std::size_t bytesPerWord(int significantBits);
    // 60, 40 or 30.
    static std::size_t wordsPerPacket(int significantBits);
    // Packets needed for the words (0 for none).
    static int64_t packetCount(int64_t sampleWords, int significantBits);

    static int32_t minimumWord(int significantBits) { return -(int32_t{1} << (significantBits - 1)); }
    static int32_t maximumWord(int significantBits) { return (int32_t{1} << (significantBits - 1)) - 1; }

    // Writes words.size() * bytesPerWord bytes to out; throws SDSError invalidLength when out is shorter.
    static void pack(std::span<const int32_t> words, int significantBits, std::span<uint8_t> out);
    // Reads out.size() words; throws SDSError invalidLength when bytes holds fewer than
    // out.size() * bytesPerWord bytes. Bits below the significant ones are ignored.
    static void unpack(ByteView bytes, int significantBits, std::span<int32_t> out);
};

}  // namespace k7
