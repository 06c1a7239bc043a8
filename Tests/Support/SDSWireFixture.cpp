#include "Support/SDSWireFixture.h"

namespace k7::testing::sds_wire {

namespace {

void appendSevenBitGroups(Bytes& out, uint64_t value, int groups) {
    for (int i = 0; i < groups; ++i) out.push_back(static_cast<uint8_t>((value >> (7 * i)) & 0x7F));
}

}  // namespace

Bytes classicHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, uint32_t periodNanoseconds,
                    uint32_t sampleLength, uint32_t loopStart, uint32_t loopEnd, uint8_t loopType) {
    Bytes header{0xF0, 0x7E, deviceID, 0x01};
    appendSevenBitGroups(header, sampleNumber, 2);
    header.push_back(significantBits);
    appendSevenBitGroups(header, periodNanoseconds, 3);
    appendSevenBitGroups(header, sampleLength, 3);
    appendSevenBitGroups(header, loopStart, 3);
    appendSevenBitGroups(header, loopEnd, 3);
    header.push_back(loopType);
    header.push_back(0xF7);
    return header;
}

Bytes extendedHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, uint32_t rateHertz,
                     uint32_t rateFraction, uint64_t sampleLength, uint64_t loopStart, uint64_t loopEnd,
                     uint8_t loopType, uint8_t channelCount) {
    Bytes header{0xF0, 0x7E, deviceID, 0x05, 0x05};
    appendSevenBitGroups(header, sampleNumber, 2);
    header.push_back(significantBits);
    appendSevenBitGroups(header, rateHertz, 4);
    appendSevenBitGroups(header, rateFraction, 4);
    appendSevenBitGroups(header, sampleLength, 5);
    appendSevenBitGroups(header, loopStart, 5);
    appendSevenBitGroups(header, loopEnd, 5);
    header.push_back(loopType);
    header.push_back(channelCount);
    header.push_back(0xF7);
    return header;
}

Bytes control(uint8_t kind, uint8_t deviceID, uint8_t packetNumber) {
    return Bytes{0xF0, 0x7E, deviceID, kind, packetNumber, 0xF7};
}

std::size_t bytesPerWord(int significantBits) { return static_cast<std::size_t>((significantBits + 6) / 7); }

std::size_t wordsPerPacket(int significantBits) { return packetPayloadByteCount / bytesPerWord(significantBits); }

Bytes packet(uint8_t deviceID, uint8_t packetNumber, std::span<const int32_t> words, int significantBits) {
    const std::size_t width = bytesPerWord(significantBits);
    const int shift = static_cast<int>(7 * width) - significantBits;
    Bytes message{0xF0, 0x7E, deviceID, 0x02, packetNumber};
    for (int32_t word : words) {
        const uint64_t offset = static_cast<uint64_t>(static_cast<int64_t>(word) + (int64_t{1} << (significantBits - 1)));
        const uint64_t justified = offset << shift;
        for (std::size_t i = width; i-- > 0;) message.push_back(static_cast<uint8_t>((justified >> (7 * i)) & 0x7F));
    }
    message.resize(5 + packetPayloadByteCount, 0);
    message.push_back(0);
    message.push_back(0xF7);
    message[125] = checksum(message);
    return message;
}

uint8_t checksum(ByteView packet) {
    uint8_t sum = 0;
    for (std::size_t i = 1; i <= 124 && i < packet.size(); ++i) sum ^= packet[i];
    return sum & 0x7F;
}

std::vector<int32_t> words(ByteView packet, int significantBits, std::size_t count) {
    const std::size_t width = bytesPerWord(significantBits);
    const int shift = static_cast<int>(7 * width) - significantBits;
    std::vector<int32_t> result;
    for (std::size_t w = 0; w < count && 5 + (w + 1) * width <= 125; ++w) {
        uint64_t justified = 0;
        for (std::size_t i = 0; i < width; ++i) justified = justified << 7 | packet[5 + w * width + i];
        const int64_t offset = static_cast<int64_t>(justified >> shift);
        result.push_back(static_cast<int32_t>(offset - (int64_t{1} << (significantBits - 1))));
    }
    return result;
}

bool isPacket(ByteView message) {
    return message.size() == packetByteCount && message[0] == 0xF0 && message[1] == 0x7E && message[3] == 0x02 &&
           message.back() == 0xF7;
}

bool isHeader(ByteView message) {
    return message.size() == 21 && message[0] == 0xF0 && message[1] == 0x7E && message[3] == 0x01;
}

bool isExtendedHeader(ByteView message) {
    return message.size() == 34 && message[0] == 0xF0 && message[1] == 0x7E && message[3] == 0x05 &&
           message[4] == 0x05 && message[33] == 0xF7;
}

uint8_t controlKind(ByteView message) {
    if (message.size() != 6 || message[0] != 0xF0 || message[1] != 0x7E || message[5] != 0xF7) return 0;
    return message[3] >= endOfFile ? message[3] : 0;
}

std::vector<Bytes> packets(uint8_t deviceID, std::span<const int32_t> samples, int significantBits) {
    std::vector<Bytes> result;
    const std::size_t perPacket = wordsPerPacket(significantBits);
    for (std::size_t start = 0, number = 0; start < samples.size(); start += perPacket, ++number) {
        const auto words = samples.subspan(start, std::min(perPacket, samples.size() - start));
        result.push_back(packet(deviceID, static_cast<uint8_t>(number & 0x7F), words, significantBits));
    }
    return result;
}

std::vector<int32_t> testSignal(std::size_t count, int significantBits) {
    const int64_t low = -(int64_t{1} << (significantBits - 1));
    const int64_t span = int64_t{1} << significantBits;
    std::vector<int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<int32_t>(low + static_cast<int64_t>((i * 2654435761ULL) % static_cast<uint64_t>(span)));
    }
    if (count > 0) samples.front() = static_cast<int32_t>(low);
    if (count > 1) samples.back() = static_cast<int32_t>(low + span - 1);
    return samples;
}

}  // namespace k7::testing::sds_wire
