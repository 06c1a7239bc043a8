#pragma once

#include <cstddef>
#include <cstdint>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// The 34-byte extended dump header F0 7E dd 05 05 ...: the sample rate as a 28-bit integer part
// in Hz plus a 28-bit binary fraction, 35-bit length and loop points in words, and a channel
// count. Every value held is one the wire can carry; the constructors throw SDSError otherwise.
class SDSExtendedDumpHeader {
public:
    static constexpr std::size_t byteCount = 34;
    static constexpr uint64_t maximumWordField = (uint64_t{1} << 35) - 1;
    static constexpr uint32_t maximumRateField = (1u << 28) - 1;

    // The rate's fraction is rounded to the nearest 1/2^28 Hz. Throws valueOutOfRange (fields
    // "deviceID", "sampleNumber", "significantBits", "sampleRate", "sampleLength", "loopStart",
    // "loopEnd", "loopType", "channelCount") or invalidSampleRate for a rate that is not a
    // positive number or that rounds to 0 Hz.
    SDSExtendedDumpHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, double sampleRate,
                          uint64_t sampleLength, uint64_t loopStart, uint64_t loopEnd, uint8_t loopType,
                          uint8_t channelCount);

    // The same with the rate given as its two wire fields.
    static SDSExtendedDumpHeader withRateFields(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits,
                                                uint32_t sampleRateInteger, uint32_t sampleRateFraction,
                                                uint64_t sampleLength, uint64_t loopStart, uint64_t loopEnd,
                                                uint8_t loopType, uint8_t channelCount);

    uint8_t deviceID() const { return deviceID_; }
    uint16_t sampleNumber() const { return sampleNumber_; }
    uint8_t significantBits() const { return significantBits_; }
    uint32_t sampleRateInteger() const { return rateInteger_; }
    // Numerator over 2^28.
    uint32_t sampleRateFraction() const { return rateFraction_; }
    double sampleRate() const { return rateInteger_ + rateFraction_ / double(uint64_t{1} << 28); }
    uint64_t sampleLength() const { return sampleLength_; }
    uint64_t loopStart() const { return loopStart_; }
    uint64_t loopEnd() const { return loopEnd_; }
    uint8_t loopType() const { return loopType_; }
    uint8_t channelCount() const { return channelCount_; }

    Bytes encode() const;
    // Throws SDSError unless the frame is exactly a well-formed extended dump header.
    static SDSExtendedDumpHeader decode(ByteView frame);

    bool operator==(const SDSExtendedDumpHeader&) const = default;

private:
    SDSExtendedDumpHeader() = default;
    void validate() const;

    uint8_t deviceID_ = 0;
    uint16_t sampleNumber_ = 0;
    uint8_t significantBits_ = 0;
    uint32_t rateInteger_ = 0;
    uint32_t rateFraction_ = 0;
    uint64_t sampleLength_ = 0;
    uint64_t loopStart_ = 0;
    uint64_t loopEnd_ = 0;
    uint8_t loopType_ = 0;
    uint8_t channelCount_ = 0;
};

}  // namespace k7
