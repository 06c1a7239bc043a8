#pragma once

// Shared byte-level helpers of the SDS codecs; not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <string>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/Support/Bytes.h"

namespace k7::sds_wire {

inline constexpr uint8_t universalNonRealTime = 0x7E;
inline constexpr uint8_t dumpHeader = 0x01;
inline constexpr uint8_t dataPacket = 0x02;
inline constexpr uint8_t dumpRequest = 0x03;
inline constexpr uint8_t extensions = 0x05;
inline constexpr uint8_t sampleName = 0x03;         // after 05
inline constexpr uint8_t sampleNameRequest = 0x04;  // after 05
inline constexpr uint8_t extendedHeader = 0x05;     // after 05

// F0 7E <device> <subID> with data bytes up to F7.
inline bool hasSubID(ByteView frame, uint8_t subID) {
    return frame.size() >= 5 && frame[0] == sysExStart && frame[1] == universalNonRealTime && frame[3] == subID;
}

inline bool hasExtensionSubID(ByteView frame, uint8_t subID2) {
    return frame.size() >= 6 && hasSubID(frame, extensions) && frame[4] == subID2;
}

// Throws unless the frame is framed SysEx of data bytes with the given length.
inline void requireFrame(ByteView frame, std::size_t length, const char* name) {
    if (!isFramedSysEx(frame)) throw SDSError(SDSError::InvalidEnvelope{});
    if (frame.size() != length) throw SDSError(SDSError::InvalidLength{name, length, frame.size()});
}

inline void requireRange(const char* field, int64_t value, int64_t maximum) {
    if (value < 0 || value > maximum) throw SDSError(SDSError::ValueOutOfRange{field, value, maximum});
}

inline void requireSignificantBits(int64_t bits) {
    if (bits < 8 || bits > 28) throw SDSError(SDSError::ValueOutOfRange{"significantBits", bits, 28});
}

// Seven-bit groups, least significant group first, as every SDS number is sent.
inline void appendGroups(Bytes& out, uint64_t value, int groups) {
    for (int i = 0; i < groups; ++i) out.push_back(static_cast<uint8_t>((value >> (7 * i)) & 0x7F));
}

inline uint64_t readGroups(ByteView frame, std::size_t offset, int groups) {
    uint64_t value = 0;
    for (int i = 0; i < groups; ++i) value |= static_cast<uint64_t>(frame[offset + i] & 0x7F) << (7 * i);
    return value;
}

}  // namespace k7::sds_wire
