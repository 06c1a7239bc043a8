#include "K7Core/Turbo/TurboSpeed.h"

#include <array>

namespace k7 {

namespace {
struct SpeedFacts {
    const char* name;
    double multiplier;
    int bytesPerSecond;
};

constexpr std::array<SpeedFacts, 12> facts{{
    {"legacy", 1, 3125},
    {"x1", 1, 3125},
    {"x2", 2, 6250},
    {"x3Point3", 3.3, 10312},
    {"x4", 4, 12500},
    {"x5", 5, 15625},
    {"x6Point7", 6.7, 20625},
    {"x8", 8, 25000},
    {"x10", 10, 31250},
    {"x13Point3", 13.3, 41562},
    {"x16", 16, 50000},
    {"x20", 20, 62500},
}};
}  // namespace

std::optional<TurboSpeed> turboSpeedFromCode(uint8_t code) {
    if (code > turboSpeedMaximumCode) return std::nullopt;
    return static_cast<TurboSpeed>(code);
}

double multiplier(TurboSpeed speed) { return facts[code(speed)].multiplier; }
int nominalBytesPerSecond(TurboSpeed speed) { return facts[code(speed)].bytesPerSecond; }
std::string caseName(TurboSpeed speed) { return facts[code(speed)].name; }

}  // namespace k7
