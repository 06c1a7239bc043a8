#include "K7Core/ElektronWire/ElektronSevenBit.h"

#include <algorithm>

namespace k7 {

Bytes ElektronSevenBit::encode(ByteView raw) {
    Bytes out;
    encode(raw, out);
    return out;
}

void ElektronSevenBit::encode(ByteView raw, Bytes& out) {
    out.reserve(out.size() + encodedSize(raw.size()));
    for (std::size_t group = 0; group < raw.size(); group += 7) {
        const std::size_t count = std::min<std::size_t>(7, raw.size() - group);
        uint8_t highBits = 0;
        for (std::size_t k = 0; k < count; ++k) {
            highBits |= static_cast<uint8_t>((raw[group + k] >> 7) << (6 - k));
        }
        out.push_back(highBits);
        for (std::size_t k = 0; k < count; ++k) out.push_back(raw[group + k] & 0x7F);
    }
}

std::optional<Bytes> ElektronSevenBit::decode(ByteView encoded) {
    const auto size = decodedSize(encoded.size());
    if (!size) return std::nullopt;
    Bytes raw;
    raw.reserve(*size);
    for (std::size_t group = 0; group < encoded.size(); group += 8) {
        const std::size_t count = std::min<std::size_t>(8, encoded.size() - group) - 1;
        const uint8_t highBits = encoded[group];
        if (highBits & 0x80) return std::nullopt;
        for (std::size_t k = 0; k < count; ++k) {
            const uint8_t low = encoded[group + 1 + k];
            if (low & 0x80) return std::nullopt;
            raw.push_back(static_cast<uint8_t>(low | (((highBits >> (6 - k)) & 1) << 7)));
        }
    }
    return raw;
}

}  // namespace k7
