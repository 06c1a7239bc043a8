#include "V7Aruviv/Support/DecimalText.h"

#include <array>
#include <charconv>

namespace k7 {

std::string decimalText(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace k7
