#pragma once

#include <cstddef>
#include <optional>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// How a received message looks to the DigiPRO fragment joiners: a (possibly cut) waveform
// message, another Elektron or universal message, and where its slot byte is.
struct DigiPROFragmentShape {
    // Bytes of a waveform message without its closing F7.
    static constexpr std::size_t frameByteCount = 7026;
    static constexpr std::size_t messageByteCount = frameByteCount + 1;

    // F0 ... F7, longer than the waveform prefix, starting with it.
    static bool isDigiPRO(ByteView message);
    // F0 and the Elektron manufacturer ID; the end does not matter.
    static bool isElektron(ByteView message);
    // F0 7E or F0 7F ... F7.
    static bool isUniversal(ByteView message);
    // The slot byte when there is one and it is a valid slot (at most 63).
    static std::optional<int> position(ByteView message);
};

}  // namespace k7
