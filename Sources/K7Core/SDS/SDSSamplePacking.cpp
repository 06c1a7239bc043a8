#include "K7Core/SDS/SDSSamplePacking.h"

#include "K7Core/SDS/SDSWireDetail.h"

namespace k7 {

namespace {

// One loop per byte width, so the compiler can unroll the inner byte writes.
template <int N>
void packWords(const int32_t* words, std::size_t count, int bits, uint8_t* out) {
    const uint32_t offset = uint32_t{1} << (bits - 1);
    const uint32_t mask = (bits == 32) ? ~uint32_t{0} : (uint32_t{1} << bits) - 1;
    const int shift = 7 * N - bits;
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t value = ((static_cast<uint32_t>(words[i]) + offset) & mask) << shift;
        for (int b = 0; b < N; ++b) out[b] = static_cast<uint8_t>((value >> (7 * (N - 1 - b))) & 0x7F);
        out += N;
    }
}

template <int N>
void unpackWords(const uint8_t* bytes, std::size_t count, int bits, int32_t* out) {
    const int32_t offset = int32_t{1} << (bits - 1);
    const int shift = 7 * N - bits;
    for (std::size_t i = 0; i < count; ++i) {
        uint32_t value = 0;
        for (int b = 0; b < N; ++b) value = (value << 7) | (bytes[b] & 0x7F);
        out[i] = static_cast<int32_t>(value >> shift) - offset;
        bytes += N;
    }
}

}  // namespace

std::size_t SDSSamplePacking::bytesPerWord(int significantBits) {
    sds_wire::requireSignificantBits(significantBits);
    return static_cast<std::size_t>((significantBits + 6) / 7);
}

std::size_t SDSSamplePacking::wordsPerPacket(int significantBits) {
    return packetPayloadByteCount / bytesPerWord(significantBits);
}

int64_t SDSSamplePacking::packetCount(int64_t sampleWords, int significantBits) {
    const auto perPacket = static_cast<int64_t>(wordsPerPacket(significantBits));
    if (sampleWords <= 0) return 0;
    return (sampleWords + perPacket - 1) / perPacket;
}

void SDSSamplePacking::pack(std::span<const int32_t> words, int significantBits, std::span<uint8_t> out) {
    const std::size_t width = bytesPerWord(significantBits);
    if (out.size() < words.size() * width) {
        throw SDSError(SDSError::InvalidLength{"packed sample data", words.size() * width, out.size()});
    }
    switch (width) {
        case 2:
            return packWords<2>(words.data(), words.size(), significantBits, out.data());
        case 3:
            return packWords<3>(words.data(), words.size(), significantBits, out.data());
        default:
            return packWords<4>(words.data(), words.size(), significantBits, out.data());
    }
}

void SDSSamplePacking::unpack(ByteView bytes, int significantBits, std::span<int32_t> out) {
    const std::size_t width = bytesPerWord(significantBits);
    if (bytes.size() < out.size() * width) {
        throw SDSError(SDSError::InvalidLength{"packed sample data", out.size() * width, bytes.size()});
    }
    switch (width) {
        case 2:
            return unpackWords<2>(bytes.data(), out.size(), significantBits, out.data());
        case 3:
            return unpackWords<3>(bytes.data(), out.size(), significantBits, out.data());
        default:
            return unpackWords<4>(bytes.data(), out.size(), significantBits, out.data());
    }
}

}  // namespace k7
