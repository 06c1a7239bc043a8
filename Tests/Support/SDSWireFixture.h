#pragma once

// SDS messages written out by hand from the published byte layout, independent of the project's
// SDS codec, so that the simulated instruments check the codec rather than repeat it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "K7Core/Support/Bytes.h"

namespace k7::testing::sds_wire {

inline constexpr uint8_t ack = 0x7F;
inline constexpr uint8_t nak = 0x7E;
inline constexpr uint8_t cancel = 0x7D;
inline constexpr uint8_t wait = 0x7C;
inline constexpr uint8_t endOfFile = 0x7B;
inline constexpr std::size_t packetByteCount = 127;
inline constexpr std::size_t packetPayloadByteCount = 120;

// F0 7E dd 01 ss ss ee ff ff ff gg gg gg hh hh hh ii ii ii jj F7, numbers in 7-bit groups, LSB first.
Bytes classicHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, uint32_t periodNanoseconds,
                    uint32_t sampleLength, uint32_t loopStart = 0, uint32_t loopEnd = 0, uint8_t loopType = 0x7F);

// F0 7E dd 05 05 ss ss ee rr rr rr rr ff ff ff ff ll*5 mm*5 nn*5 jj cc F7, 34 bytes: the rate as
// whole hertz and a fraction over 2^28 (28 bits each), the length and loop points 35-bit, all
// numbers in 7-bit groups, LSB first; then the loop type and the channel count.
Bytes extendedHeader(uint8_t deviceID, uint16_t sampleNumber, uint8_t significantBits, uint32_t rateHertz,
                     uint32_t rateFraction, uint64_t sampleLength, uint64_t loopStart = 0, uint64_t loopEnd = 0,
                     uint8_t loopType = 0x7F, uint8_t channelCount = 1);

// F0 7E dd kk pp F7.
Bytes control(uint8_t kind, uint8_t deviceID, uint8_t packetNumber);

std::size_t bytesPerWord(int significantBits);
std::size_t wordsPerPacket(int significantBits);

// F0 7E dd 02 kk <120 bytes> ll F7: signed words as offset binary, left-justified, most
// significant 7 bits first; unused payload bytes zero.
Bytes packet(uint8_t deviceID, uint8_t packetNumber, std::span<const int32_t> words, int significantBits);
// XOR of bytes 1 ... 124, seven bits.
uint8_t checksum(ByteView packet);
// `count` signed words from a packet's payload.
std::vector<int32_t> words(ByteView packet, int significantBits, std::size_t count);

bool isPacket(ByteView message);
bool isHeader(ByteView message);
// F0 7E dd 05 05 ... F7, 34 bytes: the extended dump header.
bool isExtendedHeader(ByteView message);
// The kind byte of a six-byte handshake message, or 0.
uint8_t controlKind(ByteView message);

// Every packet of a dump, numbered from 0 and wrapping after 7F.
std::vector<Bytes> packets(uint8_t deviceID, std::span<const int32_t> samples, int significantBits);

// A 16-bit test signal of `count` words: a sweep that reaches both extremes.
std::vector<int32_t> testSignal(std::size_t count, int significantBits = 16);

}  // namespace k7::testing::sds_wire
