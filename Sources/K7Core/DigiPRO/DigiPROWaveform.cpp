#include "K7Core/DigiPRO/DigiPROWaveform.h"

#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/ElektronWire/ElektronMessagePrefixes.h"
#include "K7Core/ElektronWire/ElektronSevenBit.h"

namespace k7 {

int DigiPROWaveform::checksum(ByteView message) {
    unsigned sum = 0;
    for (std::size_t i = nameIndex; i < checksumIndex; ++i) sum += message[i];
    return static_cast<int>(sum & 0x3FFF);
}

DigiPROWaveform DigiPROWaveform::decode(ByteView message) {
    using Error = DigiPRODecodingError;
    if (message.size() != messageByteCount) throw Error(Error::InvalidLength{messageByteCount, message.size()});
    const auto& prefix = elektronDigiPROWaveformPrefix;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (message[i] != prefix[i]) throw Error(Error::InvalidHeader{i, prefix[i], message[i]});
    }
    if (message.back() != sysExEnd) throw Error(Error::InvalidEndByte{message.back()});
    for (std::size_t i = positionIndex; i + 1 < message.size(); ++i) {
        if (message[i] & 0x80) throw Error(Error::NonSevenBitByte{i, message[i]});
    }
    const int position = message[positionIndex];
    if (position > maximumPosition) throw Error(Error::InvalidPosition{position});
    const int lengthField = message[lengthFieldIndex] << 7 | message[lengthFieldIndex + 1];
    if (lengthField != lengthFieldValue) throw Error(Error::LengthFieldMismatch{lengthFieldValue, lengthField});
    const int stored = message[checksumIndex] << 7 | message[checksumIndex + 1];
    const int computed = checksum(message);
    if (stored != computed) throw Error(Error::ChecksumMismatch{computed, stored});

    // Every byte is seven-bit and 7008 is a whole number of groups, so this cannot fail.
    auto payload = ElektronSevenBit::decode(message.subspan(payloadIndex, checksumIndex - payloadIndex));
    return DigiPROWaveform{position, SPS1UWFileName(message.subspan(nameIndex, SPS1UWFileName::byteCount)),
                           std::move(*payload)};
}

std::vector<int32_t> DigiPROWaveform::points() const {
    std::vector<int32_t> values;
    values.reserve(rawPayload.size() / 3);
    for (std::size_t i = 0; i + 3 <= rawPayload.size(); i += 3) {
        const uint32_t raw = static_cast<uint32_t>(rawPayload[i]) << 24 |
                             static_cast<uint32_t>(rawPayload[i + 1]) << 16 |
                             static_cast<uint32_t>(rawPayload[i + 2]) << 8;
        values.push_back(static_cast<int32_t>(raw) >> 8);
    }
    return values;
}

}  // namespace k7
