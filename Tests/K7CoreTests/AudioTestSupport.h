#pragma once

// Byte-level builders for hand-made WAV and AIFF files.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "K7Core/Bytes.h"

namespace k7::test {

inline void putLE(Bytes& out, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void putBE(Bytes& out, uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline Bytes le(uint64_t value, int count) {
    Bytes out;
    putLE(out, value, count);
    return out;
}
inline Bytes be(uint64_t value, int count) {
    Bytes out;
    putBE(out, value, count);
    return out;
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A chunk with its size field and, for an odd size, the pad byte.
inline Bytes chunk(const std::string& id, const Bytes& body, bool bigEndian) {
    Bytes out = text(id);
    bigEndian ? putBE(out, body.size(), 4) : putLE(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    return out;
}
inline Bytes riffChunk(const std::string& id, const Bytes& body) { return chunk(id, body, false); }
inline Bytes formChunk(const std::string& id, const Bytes& body) { return chunk(id, body, true); }

inline Bytes riff(std::initializer_list<Bytes> chunks) {
    Bytes body = text("WAVE");
    for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return cat({text("RIFF"), le(body.size(), 4), body});
}
inline Bytes form(const std::string& type, std::initializer_list<Bytes> chunks) {
    Bytes body = text(type);
    for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return cat({text("FORM"), be(body.size(), 4), body});
}

inline Bytes wavFmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign) {
    return riffChunk("fmt ", cat({le(tag, 2), le(channels, 2), le(rate, 4), le(uint64_t{rate} * blockAlign, 4),
                                  le(blockAlign, 2), le(bits, 2)}));
}
inline Bytes wavExtensibleFmt(uint16_t subFormat, uint16_t channels, uint32_t rate, uint16_t containerBits,
                              uint16_t validBits) {
    const uint16_t blockAlign = static_cast<uint16_t>(channels * containerBits / 8);
    return riffChunk("fmt ", cat({le(0xFFFE, 2), le(channels, 2), le(rate, 4), le(uint64_t{rate} * blockAlign, 4),
                                  le(blockAlign, 2), le(containerBits, 2), le(22, 2), le(validBits, 2), le(0, 4),
                                  le(subFormat, 2),
                                  Bytes{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                                        0x9B, 0x71}}));
}
inline Bytes wavSmpl(uint32_t loopCount, uint32_t start, uint32_t end) {
    Bytes body = cat({le(0, 4), le(0, 4), le(22675, 4), le(60, 4), le(0, 4), le(0, 4), le(0, 4), le(loopCount, 4),
                      le(0, 4)});
    if (loopCount > 0) body = cat({body, le(0, 4), le(0, 4), le(start, 4), le(end, 4), le(0, 4), le(0, 4)});
    return riffChunk("smpl", body);
}

// 80-bit extended of any finite positive value, or raw exponent and mantissa.
inline Bytes extended(uint16_t signAndExponent, uint64_t mantissa) {
    return cat({be(signAndExponent, 2), be(mantissa, 8)});
}
inline Bytes extended(double value) {
    const uint16_t sign = value < 0 ? 0x8000 : 0;
    int exponent = 0;
    const double fraction = std::frexp(std::abs(value), &exponent);  // in [0.5, 1)
    const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
    return extended(static_cast<uint16_t>(sign | (16383 + exponent - 1)), mantissa);
}

inline Bytes aiffComm(int16_t channels, uint32_t frames, int16_t bits, double rate) {
    return formChunk("COMM", cat({be(static_cast<uint16_t>(channels), 2), be(frames, 4),
                                  be(static_cast<uint16_t>(bits), 2), extended(rate)}));
}
inline Bytes aifcComm(int16_t channels, uint32_t frames, int16_t bits, double rate, const std::string& type) {
    return formChunk("COMM", cat({be(static_cast<uint16_t>(channels), 2), be(frames, 4),
                                  be(static_cast<uint16_t>(bits), 2), extended(rate), text(type), Bytes{0, 0}}));
}
inline Bytes aiffSsnd(const Bytes& data, uint32_t offset = 0) {
    return formChunk("SSND", cat({be(offset, 4), be(0, 4), Bytes(offset, 0xEE), data}));
}
inline Bytes aiffMarker(int16_t id, uint32_t position, const std::string& name) {
    Bytes out = cat({be(static_cast<uint16_t>(id), 2), be(position, 4), Bytes{static_cast<uint8_t>(name.size())},
                     text(name)});
    if ((name.size() + 1) & 1) out.push_back(0);
    return out;
}
inline Bytes aiffInst(int16_t playMode, int16_t beginMarker, int16_t endMarker) {
    return formChunk("INST", cat({Bytes{60, 0, 0, 127, 1, 127}, be(0, 2), be(static_cast<uint16_t>(playMode), 2),
                                  be(static_cast<uint16_t>(beginMarker), 2), be(static_cast<uint16_t>(endMarker), 2),
                                  be(0, 6)}));
}

// The RIFF or FORM size field made to cover the whole file.
inline Bytes withFormSizeOfFile(Bytes file, bool bigEndian) {
    const Bytes size = bigEndian ? be(file.size() - 8, 4) : le(file.size() - 8, 4);
    std::copy(size.begin(), size.end(), file.begin() + 4);
    return file;
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace k7::test
