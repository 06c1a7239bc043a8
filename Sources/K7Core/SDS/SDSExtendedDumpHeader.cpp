#include "K7Core/SDS/SDSExtendedDumpHeader.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

namespace {
constexpr double fractionScale = double(uint64_t{1} << 28);
}

SDSExtendedDumpHeader::SDSExtendedDumpHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits,
                                             double sampleRate, uint64_t sampleLength, uint64_t loopStart,
                                             uint64_t loopEnd, uint8_t loopType, uint8_t channelCount)
    : deviceID_(deviceID),
      sampleNumber_(sampleNumber),
      significantBits_(significantBits),
      sampleLength_(sampleLength),
      loopStart_(loopStart),
      loopEnd_(loopEnd),
      loopType_(loopType),
      channelCount_(channelCount) {
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) throw SDSError(SDSError::InvalidSampleRate{sampleRate});
    double integer = std::floor(sampleRate);
    double fraction = std::round((sampleRate - integer) * fractionScale);
    if (fraction >= fractionScale) {
        integer += 1;
        fraction = 0;
    }
    // A rate below half the fraction's step would go out as 0 Hz.
    if (integer == 0 && fraction == 0) throw SDSError(SDSError::InvalidSampleRate{sampleRate});
    if (integer > maximumRateField) {
        const double shown = std::min(integer, 9.0e18);
        throw SDSError(SDSError::ValueOutOfRange{"sampleRate", static_cast<int64_t>(shown), maximumRateField});
    }
    rateInteger_ = static_cast<uint32_t>(integer);
    rateFraction_ = static_cast<uint32_t>(fraction);
    validate();
}

SDSExtendedDumpHeader SDSExtendedDumpHeader::withRateFields(uint8_t deviceID, uint16_t sampleNumber,
                                                            uint8_t significantBits, uint32_t sampleRateInteger,
                                                            uint32_t sampleRateFraction, uint64_t sampleLength,
                                                            uint64_t loopStart, uint64_t loopEnd, uint8_t loopType,
                                                            uint8_t channelCount) {
    SDSExtendedDumpHeader header;
    header.deviceID_ = deviceID;
    header.sampleNumber_ = sampleNumber;
    header.significantBits_ = significantBits;
    header.rateInteger_ = sampleRateInteger;
    header.rateFraction_ = sampleRateFraction;
    header.sampleLength_ = sampleLength;
    header.loopStart_ = loopStart;
    header.loopEnd_ = loopEnd;
    header.loopType_ = loopType;
    header.channelCount_ = channelCount;
    requireRange("sampleRate", sampleRateInteger, maximumRateField);
    requireRange("sampleRateFraction", sampleRateFraction, maximumRateField);
    header.validate();
    return header;
}

void SDSExtendedDumpHeader::validate() const {
    requireRange("deviceID", deviceID_, 0x7F);
    requireRange("sampleNumber", sampleNumber_, 0x3FFF);
    requireSignificantBits(significantBits_);
    requireRange("sampleLength", static_cast<int64_t>(std::min<uint64_t>(sampleLength_, INT64_MAX)),
                 maximumWordField);
    requireRange("loopStart", static_cast<int64_t>(std::min<uint64_t>(loopStart_, INT64_MAX)), maximumWordField);
    requireRange("loopEnd", static_cast<int64_t>(std::min<uint64_t>(loopEnd_, INT64_MAX)), maximumWordField);
    requireRange("loopType", loopType_, 0x7F);
    requireRange("channelCount", channelCount_, 0x7F);
}

Bytes SDSExtendedDumpHeader::encode() const {
    Bytes frame{sysExStart, universalNonRealTime, deviceID_, extensions, extendedHeader};
    frame.reserve(byteCount);
    appendGroups(frame, sampleNumber_, 2);
    frame.push_back(significantBits_);
    appendGroups(frame, rateInteger_, 4);
    appendGroups(frame, rateFraction_, 4);
    appendGroups(frame, sampleLength_, 5);
    appendGroups(frame, loopStart_, 5);
    appendGroups(frame, loopEnd_, 5);
    frame.push_back(loopType_);
    frame.push_back(channelCount_);
    frame.push_back(sysExEnd);
    return frame;
}

SDSExtendedDumpHeader SDSExtendedDumpHeader::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (!hasExtensionSubID(frame, extendedHeader)) throw SDSError(SDSError::UnexpectedMessage{"extended dump header"});
    requireFrame(frame, byteCount, "extended dump header");
    return withRateFields(frame[2], static_cast<uint16_t>(readGroups(frame, 5, 2)), frame[7],
                          static_cast<uint32_t>(readGroups(frame, 8, 4)),
                          static_cast<uint32_t>(readGroups(frame, 12, 4)), readGroups(frame, 16, 5),
                          readGroups(frame, 21, 5), readGroups(frame, 26, 5), frame[31], frame[32]);
}

}  // namespace k7
