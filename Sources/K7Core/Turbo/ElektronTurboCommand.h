#pragma once

#include <cstdint>
#include <optional>

namespace k7 {

// The command byte (offset 6) of a Turbo frame F0 00 20 3C 04 00 cc ... F7.
enum class ElektronTurboCommand : uint8_t {
    query = 0x01,
    response = 0x02,
    limit = 0x03,
};

inline std::optional<ElektronTurboCommand> elektronTurboCommandFromByte(uint8_t byte) {
    if (byte >= 0x01 && byte <= 0x03) return static_cast<ElektronTurboCommand>(byte);
    return std::nullopt;
}

}  // namespace k7
