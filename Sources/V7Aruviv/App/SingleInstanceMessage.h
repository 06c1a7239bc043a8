#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// What a later start sends the running copy over its socket: the absolute paths of its files, in
// order, as one delivery. "V764", a version byte, the path count, then each path as its length and
// its bytes; counts and lengths are 32-bit big-endian. The running copy answers `accepted`, and opens
// the files only once the start has sent `confirmed` back: a start that gave up before the answer
// never sends it, so its files are never opened behind its back. Version 1 had no confirmation;
// the two versions refuse each other's messages, so a mixed pair fails whole rather than half.
struct SingleInstanceMessage {
    static constexpr uint8_t version = 2;
    static constexpr uint8_t accepted = 0x06;
    static constexpr uint8_t confirmed = 0x04;
    static constexpr std::size_t maximumSize = std::size_t{8} << 20;  // far above the longest command line
    static constexpr std::size_t maximumPathSize = 4096;
    static constexpr std::array<uint8_t, 5> header = {'V', '7', '6', '4', version};
    static constexpr std::size_t countSize = 4;

    enum class Status { incomplete, complete, invalid };
    struct Decoded {
        Status status = Status::incomplete;
        std::vector<std::filesystem::path> paths;  // when complete
    };

    static Bytes encode(const std::vector<std::filesystem::path>& paths);

    // Reads what has arrived so far: incomplete until the last path's bytes are in. Anything
    // longer than the bounds, a relative or empty path, a NUL byte or bytes after the last path
    // make the message invalid. A connection reads its bytes with SingleInstanceMessageDecoder.
    static Decoded decode(ByteView received);
};

}  // namespace k7
