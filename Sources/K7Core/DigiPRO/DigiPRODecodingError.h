#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace digipro_decoding_error {
struct InvalidLength {
    std::size_t expected;
    std::size_t actual;
    bool operator==(const InvalidLength&) const = default;
};
// A byte of the F0 00 20 3C 03 00 5D 01 01 opening that differs.
struct InvalidHeader {
    std::size_t index;
    uint8_t expected;
    uint8_t actual;
    bool operator==(const InvalidHeader&) const = default;
};
struct InvalidEndByte {
    uint8_t actual;
    bool operator==(const InvalidEndByte&) const = default;
};
struct NonSevenBitByte {
    std::size_t index;
    uint8_t byte;
    bool operator==(const NonSevenBitByte&) const = default;
};
struct InvalidPosition {
    int position;
    bool operator==(const InvalidPosition&) const = default;
};
struct LengthFieldMismatch {
    int expected;
    int actual;
    bool operator==(const LengthFieldMismatch&) const = default;
};
struct ChecksumMismatch {
    int computed;
    int stored;
    bool operator==(const ChecksumMismatch&) const = default;
};
}  // namespace digipro_decoding_error

using DigiPRODecodingErrorCase =
    std::variant<digipro_decoding_error::InvalidLength, digipro_decoding_error::InvalidHeader,
                 digipro_decoding_error::InvalidEndByte, digipro_decoding_error::NonSevenBitByte,
                 digipro_decoding_error::InvalidPosition, digipro_decoding_error::LengthFieldMismatch,
                 digipro_decoding_error::ChecksumMismatch>;

class DigiPRODecodingError : public K7Error<DigiPRODecodingError, DigiPRODecodingErrorCase> {
public:
    using K7Error::K7Error;
    using InvalidLength = digipro_decoding_error::InvalidLength;
    using InvalidHeader = digipro_decoding_error::InvalidHeader;
    using InvalidEndByte = digipro_decoding_error::InvalidEndByte;
    using NonSevenBitByte = digipro_decoding_error::NonSevenBitByte;
    using InvalidPosition = digipro_decoding_error::InvalidPosition;
    using LengthFieldMismatch = digipro_decoding_error::LengthFieldMismatch;
    using ChecksumMismatch = digipro_decoding_error::ChecksumMismatch;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
