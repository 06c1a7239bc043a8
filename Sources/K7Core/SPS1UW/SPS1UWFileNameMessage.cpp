#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"

#include <algorithm>

#include "K7Core/ElektronWire/ElektronMessagePrefixes.h"
#include "K7Core/ElektronWire/ElektronProduct.h"
#include "K7Core/SPS1UW/SPS1UWFileNameError.h"

namespace k7 {

namespace {
constexpr std::array<uint8_t, 5> header{0xF0, 0x00, 0x20, 0x3C, static_cast<uint8_t>(ElektronProduct::machinedrum)};

void requireSevenBit(const char* field, uint8_t value) {
    if (value > 0x7F) throw SPS1UWFileNameError(SPS1UWFileNameError::ValueOutOfRange{field, value, 0x7F});
}
}  // namespace

SPS1UWFileNameMessage::SPS1UWFileNameMessage(uint8_t deviceID, uint8_t sampleNumber, SPS1UWFileName fileName)
    : deviceID(deviceID), sampleNumber(sampleNumber), fileName(fileName) {
    requireSevenBit("device ID", deviceID);
    requireSevenBit("sample number", sampleNumber);
}

Bytes SPS1UWFileNameMessage::encode() const {
    Bytes frame(header.begin(), header.end());
    frame.push_back(deviceID);
    frame.push_back(elektronSPS1UWFileNameCommand);
    frame.push_back(sampleNumber);
    frame.insert(frame.end(), fileName.bytes().begin(), fileName.bytes().end());
    frame.push_back(sysExEnd);
    return frame;
}

std::optional<SPS1UWFileNameMessage> SPS1UWFileNameMessage::decode(ByteView frame) {
    if (frame.size() != byteCount || !isFramedSysEx(frame)) return std::nullopt;
    if (!std::equal(header.begin(), header.end(), frame.begin())) return std::nullopt;
    if (frame[6] != elektronSPS1UWFileNameCommand) return std::nullopt;
    return SPS1UWFileNameMessage(frame[5], frame[7], SPS1UWFileName(frame.subspan(8, SPS1UWFileName::byteCount)));
}

}  // namespace k7
