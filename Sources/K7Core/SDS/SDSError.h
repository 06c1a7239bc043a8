#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace sds_error {
// A field that does not fit its wire width, or significant bits outside 8...28.
struct ValueOutOfRange {
    std::string field;
    int64_t value;
    int64_t maximum;
    bool operator==(const ValueOutOfRange&) const = default;
};
// Zero, negative or not a number: no sample period or rate field can express it.
struct InvalidSampleRate {
    double sampleRate;
    bool operator==(const InvalidSampleRate&) const = default;
};
struct InvalidLength {
    std::string message;
    std::size_t expected;
    std::size_t actual;
    bool operator==(const InvalidLength&) const = default;
};
// Not F0 ... F7 with only seven-bit data bytes between.
struct InvalidEnvelope {
    bool operator==(const InvalidEnvelope&) const = default;
};
// A SysEx message, but not the SDS message that was expected.
struct UnexpectedMessage {
    std::string expected;
    bool operator==(const UnexpectedMessage&) const = default;
};
struct UnknownControlCode {
    uint8_t code;
    bool operator==(const UnknownControlCode&) const = default;
};
struct NonASCIIName {
    std::size_t index;
    uint8_t byte;
    bool operator==(const NonASCIIName&) const = default;
};
struct SampleCountMismatch {
    int64_t announced;
    int64_t actual;
    bool operator==(const SampleCountMismatch&) const = default;
};
// A sample word that the header's significant bits cannot carry.
struct SampleOutOfRange {
    int64_t index;
    int32_t value;
    uint8_t significantBits;
    bool operator==(const SampleOutOfRange&) const = default;
};
struct SampleNameMismatch {
    uint8_t deviceID;
    uint16_t sampleNumber;
    bool operator==(const SampleNameMismatch&) const = default;
};
// A supplemental message that is not a complete SysEx message of data bytes.
struct InvalidPreambleMessage {
    std::size_t index;
    bool operator==(const InvalidPreambleMessage&) const = default;
};
struct ChecksumMismatch {
    uint8_t packetNumber;
    uint8_t expected;
    uint8_t actual;
    bool operator==(const ChecksumMismatch&) const = default;
};
struct PacketOutOfSequence {
    uint8_t expected;
    uint8_t actual;
    bool operator==(const PacketOutOfSequence&) const = default;
};
// The header announces more sample words than the receiver accepts.
struct TooManySampleWords {
    int64_t announced;
    int64_t maximum;
    bool operator==(const TooManySampleWords&) const = default;
};
}  // namespace sds_error

using SDSErrorCase =
    std::variant<sds_error::ValueOutOfRange, sds_error::InvalidSampleRate, sds_error::InvalidLength,
                 sds_error::InvalidEnvelope, sds_error::UnexpectedMessage, sds_error::UnknownControlCode,
                 sds_error::NonASCIIName, sds_error::SampleCountMismatch, sds_error::SampleOutOfRange,
                 sds_error::SampleNameMismatch, sds_error::InvalidPreambleMessage, sds_error::ChecksumMismatch,
                 sds_error::PacketOutOfSequence, sds_error::TooManySampleWords>;

// The Sample Dump Standard's wire and validation failures. `describe()` is the labelled case text,
// e.g. `valueOutOfRange(field: "significantBits", value: 29, maximum: 28)`, which transfer failure
// texts quote; `what()` is a whole sentence for the user.
class SDSError : public K7Error<SDSError, SDSErrorCase> {
public:
    using K7Error::K7Error;
    using ValueOutOfRange = sds_error::ValueOutOfRange;
    using InvalidSampleRate = sds_error::InvalidSampleRate;
    using InvalidLength = sds_error::InvalidLength;
    using InvalidEnvelope = sds_error::InvalidEnvelope;
    using UnexpectedMessage = sds_error::UnexpectedMessage;
    using UnknownControlCode = sds_error::UnknownControlCode;
    using NonASCIIName = sds_error::NonASCIIName;
    using SampleCountMismatch = sds_error::SampleCountMismatch;
    using SampleOutOfRange = sds_error::SampleOutOfRange;
    using SampleNameMismatch = sds_error::SampleNameMismatch;
    using InvalidPreambleMessage = sds_error::InvalidPreambleMessage;
    using ChecksumMismatch = sds_error::ChecksumMismatch;
    using PacketOutOfSequence = sds_error::PacketOutOfSequence;
    using TooManySampleWords = sds_error::TooManySampleWords;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
