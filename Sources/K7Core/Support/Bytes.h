#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace k7 {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

inline constexpr uint8_t sysExStart = 0xF0;
inline constexpr uint8_t sysExEnd = 0xF7;

// True when every byte is a MIDI data byte (high bit clear).
inline bool isSevenBitClean(ByteView bytes) {
    for (uint8_t byte : bytes) {
        if (byte & 0x80) return false;
    }
    return true;
}

// True when the frame is F0 ... F7 with only data bytes between.
inline bool isFramedSysEx(ByteView frame) {
    return frame.size() >= 2 && frame.front() == sysExStart && frame.back() == sysExEnd &&
           isSevenBitClean(frame.subspan(1, frame.size() - 2));
}

}  // namespace k7
