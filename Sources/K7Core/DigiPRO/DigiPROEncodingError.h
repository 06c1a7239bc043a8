#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace digipro_encoding_error {
struct TooManySamples {
    std::size_t actual;
    std::size_t maximum;
    bool operator==(const TooManySamples&) const = default;
};
struct InvalidPosition {
    int position;
    bool operator==(const InvalidPosition&) const = default;
};
struct EmptySample {
    bool operator==(const EmptySample&) const = default;
};
}  // namespace digipro_encoding_error

using DigiPROEncodingErrorCase =
    std::variant<digipro_encoding_error::TooManySamples, digipro_encoding_error::InvalidPosition,
                 digipro_encoding_error::EmptySample>;

class DigiPROEncodingError : public K7Error<DigiPROEncodingError, DigiPROEncodingErrorCase> {
public:
    using K7Error::K7Error;
    using TooManySamples = digipro_encoding_error::TooManySamples;
    using InvalidPosition = digipro_encoding_error::InvalidPosition;
    using EmptySample = digipro_encoding_error::EmptySample;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
