#pragma once

#include <cstddef>
#include <cstdint>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// The classic 21-byte SDS dump header F0 7E dd 01 ...: 14-bit sample number, 8...28 significant
// bits, the sample period in nanoseconds (21 bits) and 21-bit length and loop points in words.
// Every value held is one the wire can carry; the constructors throw SDSError otherwise.
class SDSDumpHeader {
public:
    static constexpr std::size_t byteCount = 21;
    static constexpr uint32_t maximumWordField = (1u << 21) - 1;
    static constexpr uint32_t maximumSamplePeriod = (1u << 21) - 1;

    // The period is 1e9 / sampleRate with the fraction dropped (44100 Hz gives 22675 ns), as
    // other writers of the format compute it. Throws valueOutOfRange for a field beyond its width
    // (fields "deviceID", "sampleNumber", "significantBits", "samplePeriod", "sampleLength",
    // "loopStart", "loopEnd", "loopType") and invalidSampleRate for a rate that is not a positive
    // number or gives a period below 1 ns.
    SDSDumpHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, double sampleRate,
                  uint32_t sampleLength, uint32_t loopStart, uint32_t loopEnd, uint8_t loopType);

    // The same with the period given as sent; a period of 0 is refused.
    static SDSDumpHeader withSamplePeriod(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits,
                                          uint32_t samplePeriodNanoseconds, uint32_t sampleLength, uint32_t loopStart,
                                          uint32_t loopEnd, uint8_t loopType);

    uint8_t deviceID() const { return deviceID_; }
    uint16_t sampleNumber() const { return sampleNumber_; }
    uint8_t significantBits() const { return significantBits_; }
    uint32_t samplePeriodNanoseconds() const { return samplePeriod_; }
    double sampleRate() const { return 1e9 / samplePeriod_; }
    uint32_t sampleLength() const { return sampleLength_; }
    uint32_t loopStart() const { return loopStart_; }
    uint32_t loopEnd() const { return loopEnd_; }
    // 00 forward, 01 alternating, 7F off; other seven-bit values are carried unchanged.
    uint8_t loopType() const { return loopType_; }

    Bytes encode() const;
    // Throws SDSError unless the frame is exactly a well-formed classic dump header.
    static SDSDumpHeader decode(ByteView frame);

    bool operator==(const SDSDumpHeader&) const = default;

private:
    SDSDumpHeader() = default;
    void validate() const;

    uint8_t deviceID_ = 0;
    uint16_t sampleNumber_ = 0;
    uint8_t significantBits_ = 0;
    uint32_t samplePeriod_ = 0;
    uint32_t sampleLength_ = 0;
    uint32_t loopStart_ = 0;
    uint32_t loopEnd_ = 0;
    uint8_t loopType_ = 0;
};

}  // namespace k7
