#include "K7Core/ElektronWire/ElektronSevenBit.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

namespace {

// Decodes one whole group of eight bytes into seven (plus a zero byte after them, which the
// next group or the caller's slack absorbs), and returns the group's bytes for the high-bit check.
// The multiplier places bit 6 - k of the leading byte at bit 7 of output byte k; its seven
// shifted copies of the leading byte do not overlap, so nothing carries.
uint64_t decodeGroup(const uint8_t* in, uint8_t* out) {
    uint64_t group;
    std::memcpy(&group, in, sizeof group);
    const uint64_t lowBits = group >> 8;
    const uint64_t highBits = ((group & 0x7F) * 0x0080402010080402ULL) & 0x0080808080808080ULL;
    const uint64_t decoded = lowBits | highBits;
    std::memcpy(out, &decoded, sizeof decoded);
    return group;
}

}  // namespace

std::optional<Bytes> ElektronSevenBit::decode(ByteView encoded) {
    const auto size = decodedSize(encoded.size());
    if (!size) return std::nullopt;
    Bytes raw;
    raw.reserve(*size);
    const uint8_t* in = encoded.data();
    std::size_t groups = encoded.size() / 8;
    if constexpr (std::endian::native == std::endian::little) {
        // Whole groups a block at a time into a small buffer, appended from there: the output is
        // never zero-filled, and the loop has no data-dependent branch.
        constexpr std::size_t blockGroups = 128;
        uint8_t block[blockGroups * 7 + 1];
        while (groups > 0) {
            const std::size_t count = std::min(blockGroups, groups);
            uint64_t seen = 0;
            for (std::size_t g = 0; g < count; ++g) seen |= decodeGroup(in + 8 * g, block + 7 * g);
            if (seen & 0x8080808080808080ULL) return std::nullopt;
            raw.insert(raw.end(), block, block + 7 * count);
            in += 8 * count;
            groups -= count;
        }
    }
    // What is left: a short final group, or every group where words are big-endian.
    for (const uint8_t* end = encoded.data() + encoded.size(); in < end; in += 8) {
        const std::size_t count = std::min<std::size_t>(8, static_cast<std::size_t>(end - in)) - 1;
        const uint8_t highBits = in[0];
        if (highBits & 0x80) return std::nullopt;
        for (std::size_t k = 0; k < count; ++k) {
            const uint8_t low = in[1 + k];
            if (low & 0x80) return std::nullopt;
            raw.push_back(static_cast<uint8_t>(low | (((highBits >> (6 - k)) & 1) << 7)));
        }
    }
    return raw;
}

}  // namespace k7
