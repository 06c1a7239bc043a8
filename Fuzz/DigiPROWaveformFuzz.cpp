// The DigiPRO decoder on raw bytes and on damaged copies of a valid message (random bytes almost
// never reach the checksum), and the encoder on arbitrary cycles. Whatever decodes must re-assemble
// to exactly the bytes it came from.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "K7Core/DigiPRO/DigiPROEncodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/ElektronWire/ElektronSevenBit.h"

namespace {

const k7::Bytes& validMessage() {
    static const k7::Bytes message = [] {
        std::vector<int32_t> cycle(100);
        for (std::size_t i = 0; i < cycle.size(); ++i) cycle[i] = static_cast<int32_t>(i * 40000000u);
        return k7::DigiPROEncoder::encode(cycle, 12, k7::SPS1UWFileName::normalizing("FUZZ"));
    }();
    return message;
}

k7::Bytes reassembled(const k7::DigiPROWaveform& waveform) {
    k7::Bytes message(k7::ElektronSysEx::digiPROWaveformPrefix.begin(), k7::ElektronSysEx::digiPROWaveformPrefix.end());
    message.push_back(static_cast<uint8_t>(waveform.position));
    message.insert(message.end(), waveform.name.bytes().begin(), waveform.name.bytes().end());
    k7::ElektronSevenBit::encode(waveform.rawPayload, message);
    const int checksum = k7::DigiPROWaveform::checksum(message);
    message.insert(message.end(), {static_cast<uint8_t>(checksum >> 7), static_cast<uint8_t>(checksum & 0x7F), 0x36,
                                   0x69, 0xF7});
    return message;
}

void decodeAndCheck(const k7::Bytes& message) {
    try {
        const auto waveform = k7::DigiPROWaveform::decode(message);
        if (reassembled(waveform) != message) std::abort();
    } catch (const k7::DigiPRODecodingError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 0) {
        decodeAndCheck(k7::Bytes(data, data + size));
    } else if (mode == 1) {
        // Triples of (index high, index low, value) overwrite bytes; a leftover byte shortens the message.
        k7::Bytes message = validMessage();
        std::size_t i = 0;
        for (; i + 3 <= size; i += 3) {
            message[(static_cast<std::size_t>(data[i]) << 8 | data[i + 1]) % message.size()] = data[i + 2];
        }
        if (i < size) message.resize(message.size() - data[i] % 16);
        decodeAndCheck(message);
    } else if (size > 0) {
        const int position = data[0] % 64;
        const std::size_t count = std::min<std::size_t>((size - 1) / 4, 512);
        std::vector<int32_t> cycle(count);
        if (count > 0) std::memcpy(cycle.data(), data + 1, count * 4);
        try {
            const auto message = k7::DigiPROEncoder::encode(cycle, position, k7::SPS1UWFileName::normalizing("CYC"));
            const auto waveform = k7::DigiPROWaveform::decode(message);
            if (waveform.position != position || message.size() != k7::DigiPROEncoder::frameByteCount) std::abort();
            for (int32_t point : waveform.points()) {
                if (point > k7::DigiPROWaveform::maximumPointValue || point < -k7::DigiPROWaveform::maximumPointValue) {
                    std::abort();
                }
            }
        } catch (const k7::DigiPROEncodingError&) {
            if (!cycle.empty()) std::abort();
        }
    }
    return 0;
}
