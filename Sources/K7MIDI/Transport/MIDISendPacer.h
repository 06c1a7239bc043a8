#pragma once

#include <chrono>
#include <cstddef>

namespace k7 {

// Pacing arithmetic for sends at an output's maximum SysEx speed. A message is cut into small
// chunks; chunk k may be handed to the system once the bytes before it would have left the wire,
// and the send is over when all of its bytes would have. Handing over more at once would fill a
// hardware port's 4 KiB kernel buffer, and the kernel drops what overflows without telling anyone.
struct MIDISendPacer {
    using Duration = std::chrono::nanoseconds;

    static constexpr std::size_t largestChunk = 256;
    static constexpr std::size_t smallestChunk = 16;

    // About 20 ms of wire time per chunk, within the bounds above.
    static std::size_t chunkSize(long long bytesPerSecond) {
        const long long size = bytesPerSecond / 50;
        if (size < static_cast<long long>(smallestChunk)) return smallestChunk;
        if (size > static_cast<long long>(largestChunk)) return largestChunk;
        return static_cast<std::size_t>(size);
    }

    // Time `bytes` take at `bytesPerSecond`, rounded up to the nanosecond.
    static Duration wireTime(std::size_t bytes, long long bytesPerSecond) {
        if (bytesPerSecond <= 0) return Duration::zero();
        const auto rate = static_cast<unsigned long long>(bytesPerSecond);
        const unsigned long long whole = bytes / rate;
        const unsigned long long rest = bytes % rate;  // below rate, so rest * 1e9 fits
        return Duration(static_cast<long long>(whole * 1000000000ull + (rest * 1000000000ull + rate - 1) / rate));
    }
};

}  // namespace k7
