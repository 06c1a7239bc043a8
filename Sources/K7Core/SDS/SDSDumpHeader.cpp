#include "K7Core/SDS/SDSDumpHeader.h"

#include <algorithm>
#include <cmath>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

SDSDumpHeader::SDSDumpHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, double sampleRate,
                             uint32_t sampleLength, uint32_t loopStart, uint32_t loopEnd, uint8_t loopType)
    : deviceID_(deviceID),
      sampleNumber_(sampleNumber),
      significantBits_(significantBits),
      sampleLength_(sampleLength),
      loopStart_(loopStart),
      loopEnd_(loopEnd),
      loopType_(loopType) {
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) throw SDSError(SDSError::InvalidSampleRate{sampleRate});
    const double period = std::floor(1e9 / sampleRate);
    if (period < 1) throw SDSError(SDSError::InvalidSampleRate{sampleRate});
    if (period > maximumSamplePeriod) {
        // Clamped before the conversion: a very low rate would overflow the integer.
        const double shown = std::min(period, 9.0e18);
        throw SDSError(SDSError::ValueOutOfRange{"samplePeriod", static_cast<int64_t>(shown), maximumSamplePeriod});
    }
    samplePeriod_ = static_cast<uint32_t>(period);
    validate();
}

SDSDumpHeader SDSDumpHeader::withSamplePeriod(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits,
                                              uint32_t samplePeriodNanoseconds, uint32_t sampleLength,
                                              uint32_t loopStart, uint32_t loopEnd, uint8_t loopType) {
    SDSDumpHeader header;
    header.deviceID_ = deviceID;
    header.sampleNumber_ = sampleNumber;
    header.significantBits_ = significantBits;
    header.samplePeriod_ = samplePeriodNanoseconds;
    header.sampleLength_ = sampleLength;
    header.loopStart_ = loopStart;
    header.loopEnd_ = loopEnd;
    header.loopType_ = loopType;
    if (samplePeriodNanoseconds == 0) throw SDSError(SDSError::InvalidSampleRate{INFINITY});
    requireRange("samplePeriod", samplePeriodNanoseconds, maximumSamplePeriod);
    header.validate();
    return header;
}

void SDSDumpHeader::validate() const {
    requireRange("deviceID", deviceID_, 0x7F);
    requireRange("sampleNumber", sampleNumber_, 0x3FFF);
    requireSignificantBits(significantBits_);
    requireRange("sampleLength", sampleLength_, maximumWordField);
    requireRange("loopStart", loopStart_, maximumWordField);
    requireRange("loopEnd", loopEnd_, maximumWordField);
    requireRange("loopType", loopType_, 0x7F);
}

Bytes SDSDumpHeader::encode() const {
    Bytes frame{sysExStart, universalNonRealTime, deviceID_, dumpHeader};
    frame.reserve(byteCount);
    appendGroups(frame, sampleNumber_, 2);
    frame.push_back(significantBits_);
    appendGroups(frame, samplePeriod_, 3);
    appendGroups(frame, sampleLength_, 3);
    appendGroups(frame, loopStart_, 3);
    appendGroups(frame, loopEnd_, 3);
    frame.push_back(loopType_);
    frame.push_back(sysExEnd);
    return frame;
}

SDSDumpHeader SDSDumpHeader::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (!hasSubID(frame, dumpHeader)) throw SDSError(SDSError::UnexpectedMessage{"dump header"});
    requireFrame(frame, byteCount, "dump header");
    return withSamplePeriod(frame[2], static_cast<uint16_t>(readGroups(frame, 4, 2)), frame[6],
                            static_cast<uint32_t>(readGroups(frame, 7, 3)),
                            static_cast<uint32_t>(readGroups(frame, 10, 3)),
                            static_cast<uint32_t>(readGroups(frame, 13, 3)),
                            static_cast<uint32_t>(readGroups(frame, 16, 3)), frame[19]);
}

}  // namespace k7
