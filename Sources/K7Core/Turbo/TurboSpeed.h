#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace k7 {

// Turbo MIDI speed codes; ordering by raw value is ordering by speed.
enum class TurboSpeed : uint8_t {
    legacy = 0,
    x1 = 1,
    x2 = 2,
    x3Point3 = 3,
    x4 = 4,
    x5 = 5,
    x6Point7 = 6,
    x8 = 7,
    x10 = 8,
    x13Point3 = 9,
    x16 = 10,
    x20 = 11,
};

inline constexpr uint8_t turboSpeedMaximumCode = 11;

std::optional<TurboSpeed> turboSpeedFromCode(uint8_t code);
inline uint8_t code(TurboSpeed speed) { return static_cast<uint8_t>(speed); }

double multiplier(TurboSpeed speed);
// The nominal SysEx byte rate at this speed (3125 bytes per second at 1x).
int nominalBytesPerSecond(TurboSpeed speed);
// The case name, as the textual form of states that carry a speed uses it ("x3Point3").
std::string caseName(TurboSpeed speed);

}  // namespace k7
