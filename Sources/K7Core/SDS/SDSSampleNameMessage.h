#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// F0 7E dd 05 03 ss ss tt <tt tag bytes> nn <nn name bytes> F7: a sample's name, up to 127 ASCII
// bytes. Sent with no language tag; a received tag is kept so the message re-encodes unchanged.
class SDSSampleNameMessage {
public:
    static constexpr std::size_t maximumNameByteCount = 127;

    // Throws SDSError nonASCIIName for a byte above 7F, valueOutOfRange for a name longer than
    // 127 bytes ("nameLength"), a device ID above 7F or a sample number above 16383.
    SDSSampleNameMessage(uint8_t deviceID, uint16_t sampleNumber, std::string_view asciiName);

    uint8_t deviceID() const { return deviceID_; }
    uint16_t sampleNumber() const { return sampleNumber_; }
    const std::string& asciiName() const { return name_; }
    const Bytes& languageTag() const { return languageTag_; }

    Bytes encode() const;
    std::size_t encodedByteCount() const { return 10 + languageTag_.size() + name_.size(); }
    // Throws SDSError unless the frame is exactly a well-formed sample-name message.
    static SDSSampleNameMessage decode(ByteView frame);
    static bool hasNameShape(ByteView frame);

    bool operator==(const SDSSampleNameMessage&) const = default;

private:
    uint8_t deviceID_;
    uint16_t sampleNumber_;
    Bytes languageTag_;
    std::string name_;
};

}  // namespace k7
