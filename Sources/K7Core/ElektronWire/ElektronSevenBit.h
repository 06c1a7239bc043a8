#pragma once

#include <cstddef>
#include <optional>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// Elektron's 7-bit encoding of 8-bit data: each group of up to seven bytes is sent as one byte
// holding their high bits (bit 6 for the first byte, bit 5 for the second, ...) followed by their
// low seven bits. Seven bytes become eight; a final group of n bytes becomes n + 1.
struct ElektronSevenBit {
    static constexpr std::size_t encodedSize(std::size_t rawSize) {
        return rawSize / 7 * 8 + (rawSize % 7 == 0 ? 0 : rawSize % 7 + 1);
    }
    // nil when no raw size encodes to this many bytes (a final group of one byte).
    static constexpr std::optional<std::size_t> decodedSize(std::size_t encodedSize) {
        const std::size_t tail = encodedSize % 8;
        if (tail == 1) return std::nullopt;
        return encodedSize / 8 * 7 + (tail == 0 ? 0 : tail - 1);
    }

    static Bytes encode(ByteView raw);
    static void encode(ByteView raw, Bytes& out);
    // nil when the input holds a byte with the high bit set or a one-byte final group.
    static std::optional<Bytes> decode(ByteView encoded);
};

}  // namespace k7
