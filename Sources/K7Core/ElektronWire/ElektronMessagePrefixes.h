#pragma once

#include <array>
#include <cstdint>

namespace k7 {

// The leading bytes that name each Elektron message family. The Turbo, SPS-1UW and DigiPRO codecs
// build their frames from these alone, so the ElektronSysEx classifier can sit above them and
// decode every family without a circle.
inline constexpr std::array<uint8_t, 3> elektronManufacturerID{0x00, 0x20, 0x3C};
inline constexpr std::array<uint8_t, 6> elektronTurboPrefix{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00};
inline constexpr std::array<uint8_t, 9> elektronDigiPROWaveformPrefix{0xF0, 0x00, 0x20, 0x3C, 0x03,
                                                                      0x00, 0x5D, 0x01, 0x01};
// F0 00 20 3C 02 <device> 73: the Machinedrum's SPS-1UW sample-name message.
inline constexpr uint8_t elektronSPS1UWFileNameCommand = 0x73;

}  // namespace k7
