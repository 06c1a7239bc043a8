#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "K7Core/Bytes.h"
#include "K7Core/ElektronSysExFamily.h"

namespace k7 {

struct ElektronSysEx {
    static constexpr std::array<uint8_t, 3> manufacturerID{0x00, 0x20, 0x3C};
    static constexpr std::array<uint8_t, 6> turboPrefix{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00};
    static constexpr std::array<uint8_t, 9> digiPROWaveformPrefix{0xF0, 0x00, 0x20, 0x3C, 0x03,
                                                                   0x00, 0x5D, 0x01, 0x01};
    // F0 00 20 3C 02 <device> 73: the Machinedrum's SPS-1UW sample-name message.
    static constexpr uint8_t sps1UWFileNameCommand = 0x73;

    // The family from the header shape alone.
    static std::optional<ElektronSysExFamily> family(ByteView frame);

    // The family only when the frame is a well-formed message of it: F0 ... F7 of data bytes,
    // and Turbo frames, SPS-1UW names and DigiPRO waveforms that decode.
    static std::optional<ElektronSysExFamily> validatedFamily(ByteView frame);

    static bool hasManufacturerID(ByteView frame);
};

}  // namespace k7
