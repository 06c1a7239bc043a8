#pragma once

// Scans for the bytes that end a run of MIDI data: message bodies are long runs of data bytes,
// so these look at many bytes a step, with vector compares where the target has them (SSE2) and
// eight bytes a word otherwise.

#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k7::sysex_scan {

// Index of the first byte at or after `from` with the high bit set, or `size`.
std::size_t findStatusByte(const uint8_t* data, std::size_t from, std::size_t size);
// Index of the first system byte (F0-FF) at or after `from`, or `size`.
std::size_t findSystemByte(const uint8_t* data, std::size_t from, std::size_t size);

// The same with plain integer arithmetic, eight bytes a step: what a target without vector
// compares runs.
std::size_t findStatusByteByWords(const uint8_t* data, std::size_t from, std::size_t size);
std::size_t findSystemByteByWords(const uint8_t* data, std::size_t from, std::size_t size);

// findStatusByte in place, a vector a step, for a run that most often ends soon, as a message
// body in a chunk of live input does: without a call, that costs less than the wider steps.
inline std::size_t findNearStatusByte(const uint8_t* data, std::size_t from, std::size_t size) {
    std::size_t i = from;
#if defined(__SSE2__)
    for (; size - i >= 32; i += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) == 0) continue;
        const auto found = static_cast<unsigned>(_mm_movemask_epi8(a)) |
                           static_cast<unsigned>(_mm_movemask_epi8(b)) << 16;
        return i + static_cast<std::size_t>(std::countr_zero(found));
    }
    if (size - i >= 16) {
        const auto found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i))));
        if (found) return i + static_cast<std::size_t>(std::countr_zero(found));
        i += 16;
    }
#endif
    while (i < size && data[i] < 0x80) ++i;
    return i;
}

}  // namespace k7::sysex_scan
