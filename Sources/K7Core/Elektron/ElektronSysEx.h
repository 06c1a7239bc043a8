#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "K7Core/Elektron/ElektronSysExFamily.h"
#include "K7Core/ElektronWire/ElektronMessagePrefixes.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

struct ElektronSysEx {
    static constexpr std::array<uint8_t, 3> manufacturerID = elektronManufacturerID;
    static constexpr std::array<uint8_t, 6> turboPrefix = elektronTurboPrefix;
    static constexpr std::array<uint8_t, 9> digiPROWaveformPrefix = elektronDigiPROWaveformPrefix;
    static constexpr uint8_t sps1UWFileNameCommand = elektronSPS1UWFileNameCommand;

    // The family from the header shape alone.
    static std::optional<ElektronSysExFamily> family(ByteView frame);

    // The family only when the frame is a well-formed message of it: F0 ... F7 of data bytes,
    // and Turbo frames, SPS-1UW names and DigiPRO waveforms that decode.
    static std::optional<ElektronSysExFamily> validatedFamily(ByteView frame);

    static bool hasManufacturerID(ByteView frame);
};

}  // namespace k7
