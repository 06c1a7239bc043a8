#include "K7Core/SDS/SDSSampleNameMessage.h"

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

SDSSampleNameMessage::SDSSampleNameMessage(uint8_t deviceID, uint16_t sampleNumber, std::string_view asciiName)
    : deviceID_(deviceID), sampleNumber_(sampleNumber), name_(asciiName) {
    requireRange("deviceID", deviceID, 0x7F);
    requireRange("sampleNumber", sampleNumber, 0x3FFF);
    for (std::size_t i = 0; i < name_.size(); ++i) {
        const auto byte = static_cast<uint8_t>(name_[i]);
        if (byte > 0x7F) throw SDSError(SDSError::NonASCIIName{i, byte});
    }
    requireRange("nameLength", static_cast<int64_t>(name_.size()), maximumNameByteCount);
}

Bytes SDSSampleNameMessage::encode() const {
    Bytes frame{sysExStart, universalNonRealTime, deviceID_, extensions, sampleName};
    frame.reserve(encodedByteCount());
    appendGroups(frame, sampleNumber_, 2);
    frame.push_back(static_cast<uint8_t>(languageTag_.size()));
    frame.insert(frame.end(), languageTag_.begin(), languageTag_.end());
    frame.push_back(static_cast<uint8_t>(name_.size()));
    frame.insert(frame.end(), name_.begin(), name_.end());
    frame.push_back(sysExEnd);
    return frame;
}

bool SDSSampleNameMessage::hasNameShape(ByteView frame) { return hasExtensionSubID(frame, sampleName); }

SDSSampleNameMessage SDSSampleNameMessage::decode(ByteView frame) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (!hasExtensionSubID(frame, sampleName)) throw SDSError(SDSError::UnexpectedMessage{"sample-name message"});
    // Both length bytes are checked against what is left before F7.
    if (frame.size() < 10) throw SDSError(SDSError::InvalidLength{"sample-name message", 10, frame.size()});
    const std::size_t tagLength = frame[7];
    const std::size_t nameOffset = 8 + tagLength;
    if (nameOffset + 2 > frame.size()) {
        throw SDSError(SDSError::InvalidLength{"sample-name message", nameOffset + 2, frame.size()});
    }
    const std::size_t nameLength = frame[nameOffset];
    const std::size_t expected = nameOffset + 1 + nameLength + 1;
    if (expected != frame.size()) throw SDSError(SDSError::InvalidLength{"sample-name message", expected, frame.size()});
    std::string name(frame.begin() + nameOffset + 1, frame.begin() + nameOffset + 1 + nameLength);
    SDSSampleNameMessage message(frame[2], static_cast<uint16_t>(readGroups(frame, 5, 2)), name);
    message.languageTag_.assign(frame.begin() + 8, frame.begin() + nameOffset);
    return message;
}

}  // namespace k7
