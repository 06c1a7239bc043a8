#pragma once

// Byte-level builders for hand-made WAV and AIFF files.

#include <bit>
#include <cmath>
#include <string>

#include "K7Core/Audio/AudioSample.h"
#include "TestBytes.h"

namespace k7::test {

inline Bytes le(uint64_t value, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}
inline Bytes be(uint64_t value, int count) {
    Bytes out = le(value, count);
    return Bytes(out.rbegin(), out.rend());
}
inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// IEEE samples of 4 or 8 bytes in either byte order.
inline Bytes floatSamples(const std::vector<double>& values, int width, bool bigEndian) {
    Bytes out;
    for (double value : values) {
        const uint64_t bits =
            width == 4 ? std::bit_cast<uint32_t>(static_cast<float>(value)) : std::bit_cast<uint64_t>(value);
        const Bytes sample = bigEndian ? be(bits, width) : le(bits, width);
        out.insert(out.end(), sample.begin(), sample.end());
    }
    return out;
}

// A chunk with its size field and, for an odd size, the pad byte.
inline Bytes chunk(const std::string& id, const Bytes& body, bool bigEndian) {
    Bytes out = concat({text(id), bigEndian ? be(body.size(), 4) : le(body.size(), 4), body});
    if (body.size() & 1) out.push_back(0);
    return out;
}
inline Bytes riffChunk(const std::string& id, const Bytes& body) { return chunk(id, body, false); }
inline Bytes formChunk(const std::string& id, const Bytes& body) { return chunk(id, body, true); }

inline Bytes riff(std::initializer_list<Bytes> chunks) {
    const Bytes body = concat({text("WAVE"), concat(chunks)});
    return concat({text("RIFF"), le(body.size(), 4), body});
}
inline Bytes form(const std::string& type, std::initializer_list<Bytes> chunks) {
    const Bytes body = concat({text(type), concat(chunks)});
    return concat({text("FORM"), be(body.size(), 4), body});
}

inline Bytes wavFmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign) {
    return riffChunk("fmt ", concat({le(tag, 2), le(channels, 2), le(rate, 4), le(uint64_t{rate} * blockAlign, 4),
                                     le(blockAlign, 2), le(bits, 2)}));
}
inline Bytes wavExtensibleFmt(uint16_t subFormat, uint16_t channels, uint32_t rate, uint16_t containerBits,
                              uint16_t validBits) {
    const uint16_t blockAlign = static_cast<uint16_t>(channels * containerBits / 8);
    return riffChunk("fmt ", concat({le(0xFFFE, 2), le(channels, 2), le(rate, 4), le(uint64_t{rate} * blockAlign, 4),
                                     le(blockAlign, 2), le(containerBits, 2), le(22, 2), le(validBits, 2), le(0, 4),
                                     le(subFormat, 2), bytes({0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71})}));
}
inline Bytes wavSmpl(uint32_t loopCount, uint32_t start, uint32_t end) {
    Bytes body = concat({le(0, 8), le(22675, 4), le(60, 4), Bytes(12, 0), le(loopCount, 4), le(0, 4)});
    if (loopCount > 0) body = concat({body, le(0, 8), le(start, 4), le(end, 4), le(0, 8)});
    return riffChunk("smpl", body);
}

// 80-bit extended of a finite value, or of a raw exponent and mantissa.
inline Bytes extended(uint16_t signAndExponent, uint64_t mantissa) {
    return concat({be(signAndExponent, 2), be(mantissa, 8)});
}
inline Bytes extended(double value) {
    int exponent = 0;
    const double fraction = std::frexp(std::abs(value), &exponent);  // in [0.5, 1)
    return extended(static_cast<uint16_t>((value < 0 ? 0x8000 : 0) | (16383 + exponent - 1)),
                    static_cast<uint64_t>(std::ldexp(fraction, 64)));
}

// An AIFC COMM chunk when a compression type is given.
inline Bytes aiffComm(int16_t channels, uint32_t frames, int16_t bits, double rate, const std::string& type = "") {
    return formChunk("COMM", concat({be(static_cast<uint16_t>(channels), 2), be(frames, 4),
                                     be(static_cast<uint16_t>(bits), 2), extended(rate),
                                     type.empty() ? Bytes{} : concat({text(type), Bytes{0, 0}})}));
}
inline Bytes aiffSsnd(const Bytes& data, uint32_t offset = 0) {
    return formChunk("SSND", concat({be(offset, 4), be(0, 4), Bytes(offset, 0xEE), data}));
}
inline Bytes aiffMarker(int16_t id, uint32_t position, const std::string& name) {
    Bytes out = concat({be(static_cast<uint16_t>(id), 2), be(position, 4), Bytes{static_cast<uint8_t>(name.size())},
                        text(name)});
    if ((name.size() + 1) & 1) out.push_back(0);
    return out;
}
inline Bytes aiffInst(int16_t playMode, int16_t beginMarker, int16_t endMarker) {
    return formChunk("INST", concat({Bytes{60, 0, 0, 127, 1, 127}, be(0, 2), be(static_cast<uint16_t>(playMode), 2),
                                     be(static_cast<uint16_t>(beginMarker), 2), be(static_cast<uint16_t>(endMarker), 2),
                                     be(0, 6)}));
}

// Every bit used, both extremes and the sign boundary in every channel.
inline AudioSample testSample(std::size_t channels, std::size_t frames, std::optional<AudioLoop> loop = std::nullopt) {
    AudioSample sample{44100, std::vector<std::vector<int32_t>>(channels), 32, false, loop};
    uint32_t state = 7;
    for (auto& channel : sample.channels) {
        channel = {INT32_MIN, INT32_MAX, 0, -1, 1};
        while (channel.size() < frames) channel.push_back(static_cast<int32_t>(state = state * 1664525u + 1013904223u));
        channel.resize(frames);
    }
    return sample;
}

// What a file of `bits` bits keeps of full-scale samples.
inline std::vector<std::vector<int32_t>> keepTopBits(std::vector<std::vector<int32_t>> channels, int bits) {
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : ~((1u << (32 - bits)) - 1);
    for (auto& channel : channels) {
        for (auto& value : channel) value = static_cast<int32_t>(static_cast<uint32_t>(value) & mask);
    }
    return channels;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

}  // namespace k7::test
