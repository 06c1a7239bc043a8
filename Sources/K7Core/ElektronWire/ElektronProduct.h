#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace k7 {

// The product byte (offset 4) of an Elektron SysEx message.
enum class ElektronProduct : uint8_t {
    sidstation = 1,
    machinedrum = 2,
    monomachine = 3,
    octatrack = 5,
    analogFour = 6,
    analogRytm = 7,
};

std::optional<ElektronProduct> elektronProductFromByte(uint8_t byte);
std::string_view displayName(ElektronProduct product);

}  // namespace k7
