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
// Bytes at least `Floor` are those with the high bit set in the result.
template <uint8_t Floor>
__m128i atLeast(__m128i bytes) {
    if constexpr (Floor == 0x80) {
        return bytes;
    } else {
        const __m128i floor = _mm_set1_epi8(static_cast<char>(Floor));
        return _mm_cmpeq_epi8(_mm_max_epu8(bytes, floor), bytes);
    }
}

// One bit per byte of the sixteen at `at`: set where the byte is at least `Floor`.
template <uint8_t Floor>
unsigned atLeastMask(const uint8_t* at) {
    return static_cast<unsigned>(
        _mm_movemask_epi8(atLeast<Floor>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)))));
}

// One bit per byte of the 64 at `at`: set where the byte is at least `Floor`.
template <uint8_t Floor>
uint64_t atLeastMask64(const uint8_t* at) {
    const auto* p = reinterpret_cast<const __m128i*>(at);
    const __m128i a = atLeast<Floor>(_mm_loadu_si128(p));
    const __m128i b = atLeast<Floor>(_mm_loadu_si128(p + 1));
    const __m128i c = atLeast<Floor>(_mm_loadu_si128(p + 2));
    const __m128i d = atLeast<Floor>(_mm_loadu_si128(p + 3));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) return 0;
    return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(a))) |
           static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(b))) << 16 |
           static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(c))) << 32 |
           static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(d))) << 48;
}
#endif

// A vector a step at first, as many runs are short; past 32 bytes, four vectors a step.
template <uint8_t Floor>
    requires ScanFloor<Floor>
std::size_t findAtLeast(const uint8_t* data, std::size_t from, std::size_t size) {
#if defined(__SSE2__)
    std::size_t i = from;
    for (int step = 0; step < 2 && size - i >= 16; ++step) {
        if (const unsigned found = atLeastMask<Floor>(data + i)) {
            return i + static_cast<std::size_t>(std::countr_zero(found));
        }
        i += 16;
    }
    for (; size - i >= 64; i += 64) {
        if (const uint64_t found = atLeastMask64<Floor>(data + i)) {
            return i + static_cast<std::size_t>(std::countr_zero(found));
        }
    }
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
