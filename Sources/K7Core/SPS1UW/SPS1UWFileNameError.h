#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace sps1uw_error {
struct InvalidLength {
    std::size_t expected;
    std::size_t actual;
    bool operator==(const InvalidLength&) const = default;
};
// A name byte with the high bit set.
struct InvalidNameByte {
    std::size_t index;
    uint8_t byte;
    bool operator==(const InvalidNameByte&) const = default;
};
struct ValueOutOfRange {
    std::string field;
    int value;
    int maximum;
    bool operator==(const ValueOutOfRange&) const = default;
};
}  // namespace sps1uw_error

using SPS1UWFileNameErrorCase =
    std::variant<sps1uw_error::InvalidLength, sps1uw_error::InvalidNameByte, sps1uw_error::ValueOutOfRange>;

class SPS1UWFileNameError : public K7Error<SPS1UWFileNameError, SPS1UWFileNameErrorCase> {
public:
    using K7Error::K7Error;
    using InvalidLength = sps1uw_error::InvalidLength;
    using InvalidNameByte = sps1uw_error::InvalidNameByte;
    using ValueOutOfRange = sps1uw_error::ValueOutOfRange;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
