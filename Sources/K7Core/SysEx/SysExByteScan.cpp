#include "K7Core/SysEx/SysExByteScan.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k7::sysex_scan {

namespace {

// Floor 0x80 finds any status byte; 0xF0 a system byte.
template <uint8_t Floor>
concept ScanFloor = Floor == 0x80 || Floor == 0xF0;

template <uint8_t Floor>
    requires ScanFloor<Floor>
std::size_t findAtLeastByWords(const uint8_t* data, std::size_t from, std::size_t size) {
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t highBits = 0x8080808080808080ULL;
        while (size - i >= 8) {
            uint64_t word;
            std::memcpy(&word, data + i, sizeof word);
            // Against 0xF0 a byte counts when its top four bits are all set: the shifts bring
            // bits 6, 5 and 4 of each byte up to its bit 7.
            uint64_t found = word & highBits;
            if constexpr (Floor == 0xF0) found &= (word << 1) & (word << 2) & (word << 3);
            if (found) return i + static_cast<std::size_t>(std::countr_zero(found)) / 8;
            i += 8;
        }
    }
    while (i < size && data[i] < Floor) ++i;
    return i;
}

#if defined(__SSE2__)
// One bit per byte of the sixteen at `at`: set where the byte is at least `Floor`.
template <uint8_t Floor>
unsigned atLeastMask(const uint8_t* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if constexpr (Floor == 0x80) {
        return static_cast<unsigned>(_mm_movemask_epi8(bytes));
    } else {
        const __m128i floor = _mm_set1_epi8(static_cast<char>(Floor));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(bytes, floor), bytes)));
    }
}
#endif

// One vector a step: the runs are mostly short enough that unrolling loses more at their end than
// it gains on the way.
template <uint8_t Floor>
    requires ScanFloor<Floor>
std::size_t findAtLeast(const uint8_t* data, std::size_t from, std::size_t size) {
#if defined(__SSE2__)
    std::size_t i = from;
    while (size - i >= 16) {
        if (const unsigned found = atLeastMask<Floor>(data + i)) {
            return i + static_cast<std::size_t>(std::countr_zero(found));
        }
        i += 16;
    }
    while (i < size && data[i] < Floor) ++i;
    return i;
#else
    return findAtLeastByWords<Floor>(data, from, size);
#endif
}

}  // namespace

std::size_t findStatusByte(const uint8_t* data, std::size_t from, std::size_t size) {
    return findAtLeast<0x80>(data, from, size);
}

std::size_t findSystemByte(const uint8_t* data, std::size_t from, std::size_t size) {
    return findAtLeast<0xF0>(data, from, size);
}

std::size_t findStatusByteByWords(const uint8_t* data, std::size_t from, std::size_t size) {
    return findAtLeastByWords<0x80>(data, from, size);
}

std::size_t findSystemByteByWords(const uint8_t* data, std::size_t from, std::size_t size) {
    return findAtLeastByWords<0xF0>(data, from, size);
}

}  // namespace k7::sysex_scan
