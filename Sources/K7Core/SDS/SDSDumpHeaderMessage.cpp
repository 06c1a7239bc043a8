#include "K7Core/SDS/SDSDumpHeaderMessage.h"

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

using namespace sds_wire;

uint8_t SDSDumpHeaderMessage::deviceID() const {
    return std::visit([](const auto& h) { return h.deviceID(); }, header_);
}

uint16_t SDSDumpHeaderMessage::sampleNumber() const {
    return std::visit([](const auto& h) { return h.sampleNumber(); }, header_);
}

uint8_t SDSDumpHeaderMessage::significantBits() const {
    return std::visit([](const auto& h) { return h.significantBits(); }, header_);
}

std::optional<uint32_t> SDSDumpHeaderMessage::samplePeriodNanoseconds() const {
    if (const auto* h = classic()) return h->samplePeriodNanoseconds();
    return std::nullopt;
}

int64_t SDSDumpHeaderMessage::announcedSampleWords() const {
    return std::visit([](const auto& h) { return static_cast<int64_t>(h.sampleLength()); }, header_);
}

Bytes SDSDumpHeaderMessage::encode() const {
    return std::visit([](const auto& h) { return h.encode(); }, header_);
}

std::size_t SDSDumpHeaderMessage::encodedByteCount() const {
    return classic() ? SDSDumpHeader::byteCount : SDSExtendedDumpHeader::byteCount;
}

bool SDSDumpHeaderMessage::hasHeaderShape(ByteView frame) {
    return (frame.size() == SDSDumpHeader::byteCount && hasSubID(frame, dumpHeader)) ||
           (frame.size() == SDSExtendedDumpHeader::byteCount && hasExtensionSubID(frame, extendedHeader));
}

SDSDumpHeaderMessage SDSDumpHeaderMessage::decode(ByteView frame) {
    if (hasExtensionSubID(frame, extendedHeader)) return SDSExtendedDumpHeader::decode(frame);
    if (hasSubID(frame, dumpHeader)) return SDSDumpHeader::decode(frame);
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    throw SDSError(SDSError::UnexpectedMessage{"dump header"});
}

}  // namespace k7
